#pragma once
// One record of a document: its typed cells in template column order, the key/value cells found
// through a secondary template, and the record's text.
//
// A row belongs to the caller that obtained it from `LMDocument::read`; the concrete row owns and
// deletes its cells. Not thread-safe.
#include <list>
#include <string>

#include "LMExport.h"
#include "documents/LMDocumentColumn.h"
#include "platform/messages/catalogue/TemplateMessages.h"

namespace LogMonitoring {

class LM_EXPORT LMDocumentRow {
public:
    LMDocumentRow() = default;
    virtual ~LMDocumentRow();
    LMDocumentRow(const LMDocumentRow&) = delete;
    LMDocumentRow& operator=(const LMDocumentRow&) = delete;

    // A copy of the list of cells, in template column order; a cell may be null. The cells stay
    // owned by the row.
    virtual std::list<LMDocumentColumn*> getColumnList() = 0;
    virtual std::string toString() = 0;
    // Line number of the record's first line (text rows) or row id (data-set rows).
    virtual unsigned long getLineNumber() = 0;
    // The columns that describe the row; only rows that carry their own description fill it.
    virtual std::list<Column> getTemplateColumnList();
    // A copy of the list of secondary (key/value) cells; owned by the row.
    virtual std::list<LMDocumentColumn*> getSecondaryColumnList();

protected:
    std::list<LMDocumentColumn*> secondaryColumns_;
};

}
