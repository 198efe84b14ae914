#pragma once
// Buffered reading of a file in large blocks, by lines or by bytes, with byte positions.
//
// Reading a line stops after its delimiter or at the end of the file; the end flag is raised only
// when a read reached the end of the file before it found the delimiter (a line that ends the
// file with its delimiter leaves the flag down, as a stream's getline does). Seeking lowers the
// flag, so data appended to the file after the end was seen is read after a seek.
//
// A line longer than the given limit keeps its first `maxLength` bytes; the rest is read past and
// counted in the bytes consumed, so positions stay exact while memory stays bounded.
// Used by one thread at a time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace LogMonitoring {

class LMLineReader {
public:
    static constexpr size_t kBlockSize = 1u << 20;

    LMLineReader() = default;
    ~LMLineReader();
    LMLineReader(const LMLineReader&) = delete;
    LMLineReader& operator=(const LMLineReader&) = delete;

    // False with errno set when the file cannot be opened.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // Open and the end not reached.
    bool good() const { return fd_ >= 0 && !eof_; }
    // The end was reached (always true for a reader that is not open).
    bool eof() const { return fd_ < 0 || eof_; }
    // Position of the next byte to read.
    uint64_t position() const { return filePos_ - (end_ - pos_); }
    bool seek(uint64_t position);
    // Current size of the file; false when it cannot be had.
    bool size(uint64_t& bytes) const;

    // Reads up to the delimiter (one byte or more; empty means a line feed). The line gets the
    // bytes before the delimiter, and the delimiter itself when `keepDelimiter`. Returns the
    // bytes consumed, delimiter included.
    uint64_t readLine(std::string& line, std::string_view delimiter, bool keepDelimiter, size_t maxLength);
    // Copies up to n bytes; fewer (and the end flag) at the end of the file.
    size_t readBytes(char* out, size_t n);

private:
    bool fill();
    uint64_t readToByte(std::string& line, char delimiter, bool keepDelimiter, size_t maxLength);
    uint64_t readToText(std::string& line, std::string_view delimiter, size_t maxLength);

    int fd_ = -1;
    bool eof_ = false;
    std::vector<char> buffer_;
    size_t pos_ = 0;
    size_t end_ = 0;
    uint64_t filePos_ = 0; // file position of buffer_[end_]
};

}
