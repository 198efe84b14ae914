#pragma once
// One record of a text document: a line that matched the template and the non-matching lines that
// continue it, with the record's typed cells and key/value cells.
//
// The row owns and deletes every cell it holds. Used by one thread at a time.
#include <list>
#include <string>

#include "LMExport.h"
#include "documents/LMDocumentRow.h"

namespace LogMonitoring {

class LM_EXPORT LMTextFile : public LMDocumentRow {
public:
    // Takes ownership of the cells of both lists.
    LMTextFile(std::list<LMDocumentColumn*> cells, std::list<LMDocumentColumn*> secondaryCells,
               std::string text, unsigned long lineNumber);
    ~LMTextFile() override;

    std::list<LMDocumentColumn*> getColumnList() override;
    // The record's text; for a record without text, the cells' texts joined by one blank.
    std::string toString() override;
    unsigned long getLineNumber() override;

private:
    std::list<LMDocumentColumn*> cells_;
    std::string text_;
    unsigned long lineNumber_ = 0;
};

}
