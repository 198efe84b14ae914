#pragma once
// Lines handed over in memory (pushed by a caller rather than read from a file), parsed with the
// same templates, record pattern and continuation rules as a log file.
//
// Calling order: construct, setData, setLineNumber (the number of the first line given, 1 when
// the caller has none), set file id, policy id and templates, openDocument, read until null, and
// getLineNumber to learn the number of the last line read. Each record carries the number of its
// own first line. Used by one thread at a time.
#include <string>

#include "LMExport.h"
#include "documents/LMTextFileDocument.h"

namespace LogMonitoring {

class LM_EXPORT LMTextVectorDocument : public LMTextFileDocument {
public:
    // The name is kept as the document name; no file is read.
    explicit LMTextVectorDocument(const std::string& name);
    ~LMTextVectorDocument() override;

    // Replaces the text to parse (one input line per line feed) and starts reading it afresh.
    void setData(const std::string& text);
    void setLineNumber(unsigned long lineNumber) override;
    // Positions reading at the line whose number was set (0 is taken as 1).
    int openDocument() override;
    int closeDocument() override;
    LMDocumentRow* read() override;
    bool isEOF() const override;

private:
    // The next line of the data, without its line feed; false when nothing was left.
    bool nextLine(std::string& line);

    std::string data_;
    size_t position_ = 0;
    bool eof_ = false;
};

}
