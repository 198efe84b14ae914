#include "documents/LMTextVectorDocument.h"

#include <cstring>

namespace LogMonitoring {

LMTextVectorDocument::LMTextVectorDocument(const std::string& name) : LMTextFileDocument(std::string()) {
    name_ = name;
}

LMTextVectorDocument::~LMTextVectorDocument() = default;

void LMTextVectorDocument::setData(const std::string& text) {
    data_ = text;
    position_ = 0;
    eof_ = false;
}

void LMTextVectorDocument::setLineNumber(unsigned long lineNumber) { lineNumber_ = lineNumber; }

bool LMTextVectorDocument::nextLine(std::string& line) {
    line.clear();
    if (position_ >= data_.size()) {
        eof_ = true;
        return false;
    }
    const char* begin = data_.data() + position_;
    const size_t available = data_.size() - position_;
    const void* hit = memchr(begin, '\n', available);
    if (!hit) {
        line.assign(begin, std::min(available, maxRecordBytes_));
        position_ = data_.size();
        eof_ = true;
        return true;
    }
    const size_t length = static_cast<const char*>(hit) - begin;
    line.assign(begin, std::min(length, maxRecordBytes_));
    position_ += length + 1;
    return true;
}

// The line number set is the number of the first line given. Lines before it are skipped, and
// the counter stands one below it so that the first line read takes exactly that number: the
// number is the L part of the records' content identifiers and must name the line.
int LMTextVectorDocument::openDocument() {
    if (lineNumber_ == 0) lineNumber_ = 1;
    std::string skipped;
    for (unsigned long n = 1; n < lineNumber_ && !eof_; ++n) nextLine(skipped);
    --lineNumber_;
    return 0;
}

int LMTextVectorDocument::closeDocument() { return 0; }

bool LMTextVectorDocument::isEOF() const { return eof_; }

LMDocumentRow* LMTextVectorDocument::read() {
    // Values as captured, continuation lines always as text, never CSV.
    static const LineRules rules{false, true, false,
                                 " too many rows not honoring template, flushing buffered lines..%llu",
                                 "LMTextVectorDocument::read"};
    ensurePattern();
    std::string line;
    while (!isEOF()) {
        if (!nextLine(line)) break;
        ++lineNumber_;
        if (LMDocumentRow* row = assembleLine(line, rules)) return row;
    }
    return takePending();
}

}
