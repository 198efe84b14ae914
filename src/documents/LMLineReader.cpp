#include "documents/LMLineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace LogMonitoring {

namespace {

void appendBounded(std::string& line, const char* data, size_t length, size_t maxLength) {
    if (line.size() >= maxLength) return;
    line.append(data, std::min(length, maxLength - line.size()));
}

}

LMLineReader::~LMLineReader() { close(); }

bool LMLineReader::open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    buffer_.resize(kBlockSize);
    return true;
}

void LMLineReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    eof_ = false;
    pos_ = end_ = 0;
    filePos_ = 0;
}

bool LMLineReader::seek(uint64_t position) {
    if (fd_ < 0) return false;
    eof_ = false;
    const uint64_t bufferStart = filePos_ - end_;
    if (position >= bufferStart && position <= filePos_) {
        pos_ = static_cast<size_t>(position - bufferStart);
        return true;
    }
    pos_ = end_ = 0;
    filePos_ = position;
    return true;
}

bool LMLineReader::size(uint64_t& bytes) const {
    struct stat st {};
    if (fd_ < 0 || fstat(fd_, &st) != 0) return false;
    bytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool LMLineReader::fill() {
    if (fd_ < 0) return false;
    pos_ = end_ = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer_.data(), buffer_.size(), static_cast<off_t>(filePos_));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        end_ = static_cast<size_t>(n);
        filePos_ += end_;
        return true;
    }
}

uint64_t LMLineReader::readLine(std::string& line, std::string_view delimiter, bool keepDelimiter,
                                size_t maxLength) {
    if (delimiter.empty()) return readToByte(line, '\n', false, maxLength);
    if (delimiter.size() == 1) return readToByte(line, delimiter[0], keepDelimiter, maxLength);
    return readToText(line, delimiter, maxLength);
}

uint64_t LMLineReader::readToByte(std::string& line, char delimiter, bool keepDelimiter, size_t maxLength) {
    uint64_t consumed = 0;
    for (;;) {
        if (pos_ == end_ && !fill()) {
            eof_ = true;
            return consumed;
        }
        const char* begin = buffer_.data() + pos_;
        const size_t available = end_ - pos_;
        const void* hit = memchr(begin, delimiter, available);
        if (hit) {
            const size_t length = static_cast<const char*>(hit) - begin;
            appendBounded(line, begin, keepDelimiter ? length + 1 : length, maxLength);
            pos_ += length + 1;
            return consumed + length + 1;
        }
        appendBounded(line, begin, available, maxLength);
        consumed += available;
        pos_ = end_;
    }
}

// Finds the first occurrence of a delimiter of several bytes, even across blocks and after a
// partial match (the bytes of a partial match stay in the line). The delimiter is kept.
uint64_t LMLineReader::readToText(std::string& line, std::string_view delimiter, size_t maxLength) {
    // Prefix table of the delimiter, so that a partial match never re-reads the file.
    std::vector<size_t> fail(delimiter.size(), 0);
    for (size_t i = 1, k = 0; i < delimiter.size(); ++i) {
        while (k > 0 && delimiter[i] != delimiter[k]) k = fail[k - 1];
        if (delimiter[i] == delimiter[k]) ++k;
        fail[i] = k;
    }
    uint64_t consumed = 0;
    size_t matched = 0;
    for (;;) {
        if (pos_ == end_ && !fill()) {
            eof_ = true;
            return consumed;
        }
        const char* begin = buffer_.data() + pos_;
        const size_t available = end_ - pos_;
        size_t i = 0;
        while (i < available) {
            if (matched == 0) {
                const void* hit = memchr(begin + i, delimiter[0], available - i);
                if (!hit) {
                    i = available;
                    break;
                }
                i = static_cast<const char*>(hit) - begin + 1;
                matched = 1;
            } else {
                const char c = begin[i];
                while (matched > 0 && c != delimiter[matched]) matched = fail[matched - 1];
                if (c == delimiter[matched]) ++matched;
                ++i;
            }
            if (matched == delimiter.size()) {
                appendBounded(line, begin, i, maxLength);
                pos_ += i;
                return consumed + i;
            }
        }
        appendBounded(line, begin, available, maxLength);
        consumed += available;
        pos_ = end_;
    }
}

size_t LMLineReader::readBytes(char* out, size_t n) {
    size_t copied = 0;
    while (copied < n) {
        if (pos_ == end_ && !fill()) {
            eof_ = true;
            break;
        }
        const size_t take = std::min(n - copied, end_ - pos_);
        memcpy(out + copied, buffer_.data() + pos_, take);
        pos_ += take;
        copied += take;
    }
    return copied;
}

}
