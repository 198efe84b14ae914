#pragma once
// The text reader of an indexing run: it stops at the file size seen when the file was opened, so
// a file that grows while it is read is finished at a well-defined point and what was appended is
// left for the next run.
#include <string>

#include "LMExport.h"
#include "documents/LMTextFileDocument.h"
#include "pipeline/MonitoringType.h"

namespace LogMonitoring {

class LM_EXPORT LMTextFileDocumentWithCurrentState : public LMTextFileDocument {
public:
    LMTextFileDocumentWithCurrentState(const std::string& path, MonitoringType type);
    ~LMTextFileDocumentWithCurrentState() override;

    // Reopens the file when it is not open and takes its size again as the last offset to read.
    int openDocument() override;
    // An offset beyond the last offset to read is clamped to it.
    void setOffset(unsigned long offset) override;
    void setLastOffsetToRead(unsigned long offset) override;
    unsigned long getLastOffsetToRead() const override;
    // A line number means something only with an offset: without one it is stored as 0.
    void setLineNumber(unsigned long lineNumber) override;
    bool isEOF() const override;

private:
    uint64_t lastOffsetToRead_ = 0;
};

}
