#include "documents/LMTextFileDocumentWithCurrentState.h"

namespace LogMonitoring {

LMTextFileDocumentWithCurrentState::LMTextFileDocumentWithCurrentState(const std::string& path, MonitoringType type)
    : LMTextFileDocument(path) {
    lastOffsetToRead_ = getSizeOfFile();
    monitoringType_ = static_cast<uint32_t>(type);
}

LMTextFileDocumentWithCurrentState::~LMTextFileDocumentWithCurrentState() = default;

int LMTextFileDocumentWithCurrentState::openDocument() {
    const int result = LMTextFileDocument::openDocument();
    lastOffsetToRead_ = getSizeOfFile();
    return result;
}

void LMTextFileDocumentWithCurrentState::setOffset(unsigned long offset) {
    if (offset > lastOffsetToRead_) {
        debug_.DebugLvl("LMTextFileDocumentWithCurrentState::setOffset", 0,
                        "Current offset[%llu] is greater than getLastOffSetToRead [%llu]: so setting current "
                        "offset to maxoffset. logname %s",
                        static_cast<unsigned long long>(offset), static_cast<unsigned long long>(lastOffsetToRead_),
                        name_.c_str());
        offset = lastOffsetToRead_;
    }
    LMTextFileDocument::setOffset(offset);
}

void LMTextFileDocumentWithCurrentState::setLastOffsetToRead(unsigned long offset) { lastOffsetToRead_ = offset; }

unsigned long LMTextFileDocumentWithCurrentState::getLastOffsetToRead() const { return lastOffsetToRead_; }

void LMTextFileDocumentWithCurrentState::setLineNumber(unsigned long lineNumber) {
    lineNumber_ = offset_ != 0 ? lineNumber : 0;
}

bool LMTextFileDocumentWithCurrentState::isEOF() const {
    return offset_ >= lastOffsetToRead_ || LMTextFileDocument::isEOF();
}

}
