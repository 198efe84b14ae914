#include "documents/LMCsvParser.h"

#include <new>

namespace LogMonitoring {

LMCsvParser::~LMCsvParser() { closeOwnedFile(); }

void LMCsvParser::setFeildEncasingChar(char c) {
    if (c == 0) return;
    encasing_ = c;
    encasingSet_ = true;
}

void LMCsvParser::setcolumnSeprator(char c) {
    if (c == 0) return;
    columnSeparator_ = c;
    columnSeparatorSet_ = true;
}

void LMCsvParser::setLineSeprator(char c) {
    if (c == 0) return;
    lineSeparator_ = c;
    lineSeparatorSet_ = true;
}

void LMCsvParser::appendField(std::vector<std::string>& fields, const char* begin, size_t length) const {
    if (length >= 2 && begin[0] == encasing_ && begin[length - 1] == encasing_)
        fields.emplace_back(begin + 1, length - 2);
    else
        fields.emplace_back(begin, length);
}

int LMCsvParser::getColumns(std::vector<std::string>& fields, char* text, unsigned& size) {
    if (size == 0 || text == nullptr) return 0;
    try {
        size_t start = 0;
        bool quoted = false;
        bool terminated = false; // whether the last byte was a line separator or a zero byte
        for (size_t i = 0; i < size; ++i) {
            const char c = text[i];
            terminated = false;
            if (c == columnSeparator_ && !quoted) {
                appendField(fields, text + start, i - start);
                start = i + 1;
            } else if (c == lineSeparator_ || c == '\0') {
                // The field start stays: only a column separator moves on to a new field.
                appendField(fields, text + start, i - start);
                terminated = true;
            } else if (c == encasing_) {
                quoted = !quoted;
            }
        }
        // A text handed over without its terminating zero would otherwise lose its last field.
        if (!terminated) appendField(fields, text + start, size - start);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    return 0;
}

void LMCsvParser::closeOwnedFile() {
    if (file_ && ownsFile_) fclose(file_);
    file_ = nullptr;
    ownsFile_ = false;
}

int LMCsvParser::init(const std::string& path) {
    closeOwnedFile();
    try {
        fileName_ = path;
    } catch (const std::bad_alloc&) {
        fprintf(stderr, "Fatal error : unable to allocate memory for file name buffer %s\n", path.c_str());
        return 0;
    }
    file_ = fopen(path.c_str(), "rb");
    if (!file_) {
        fprintf(stderr, "Fatal error : unable to open input file %s\n", path.c_str());
        return 0;
    }
    ownsFile_ = true;
    moreRows_ = true;
    rowCount_ = 0;
    if (!readHeader()) {
        fprintf(stderr, "Fatal error : invalid input file %s\n", path.c_str());
        return 0;
    }
    return 1;
}

int LMCsvParser::init(FILE* file) {
    closeOwnedFile();
    if (!file) {
        fprintf(stderr, "Fatal error : unable to open input file from file pointer\n");
        return 0;
    }
    file_ = file;
    rewind(file_);
    moreRows_ = true;
    rowCount_ = 0;
    if (!readHeader()) {
        fprintf(stderr, "Fatal error : invalid input file %s\n", fileName_.c_str());
        return 0;
    }
    return 1;
}

bool LMCsvParser::readLine(std::string& buffer, unsigned& size) {
    buffer.clear();
    size = 0;
    if (!file_) {
        moreRows_ = false;
        return false;
    }
    bool any = false;
    int c;
    while ((c = fgetc(file_)) != EOF) {
        any = true;
        if (buffer.size() < kMaxRowBytes) buffer.push_back(static_cast<char>(c));
        if (static_cast<char>(c) == lineSeparator_) break;
    }
    if (c == EOF) moreRows_ = false;
    else {
        const int next = fgetc(file_);
        if (next == EOF) moreRows_ = false;
        else ungetc(next, file_);
    }
    size = static_cast<unsigned>(buffer.size());
    return any;
}

std::vector<std::string> LMCsvParser::get_row() {
    std::vector<std::string> fields;
    std::string line;
    unsigned size = 0;
    if (!readLine(line, size)) return fields;
    getColumns(fields, line.data(), size);
    ++rowCount_;
    return fields;
}

int LMCsvParser::readHeader() {
    header_.clear();
    const unsigned skip = headerRowsToSkip_ == 0 ? 1 : headerRowsToSkip_;
    for (unsigned looked = 0; looked <= skip && moreRows_; ++looked) {
        std::vector<std::string> row = get_row();
        if (row.empty()) continue;
        if (row.front().rfind('#', 0) != 0) {
            header_ = std::move(row);
            return 1;
        }
    }
    return header_.empty() ? 0 : 1;
}

}
