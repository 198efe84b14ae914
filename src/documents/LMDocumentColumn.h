#pragma once
// One typed cell of a row: the value parsed from the record's text, where in that text it was
// found, and the id of the template column it belongs to.
//
// The cell owns its value. Not thread-safe; a row and its cells are used by one thread at a time.
#include "LMExport.h"
#include "values/ColumnData.h"

namespace LogMonitoring {

class LM_EXPORT LMDocumentColumn {
public:
    // Takes ownership of `data` (which may be null: an empty cell).
    LMDocumentColumn(ColumnData* data, unsigned long index);
    virtual ~LMDocumentColumn();
    LMDocumentColumn(const LMDocumentColumn&) = delete;
    LMDocumentColumn& operator=(const LMDocumentColumn&) = delete;

    // Replaces the value by a clone of `data`; the caller keeps ownership of what it passed.
    // Null leaves the cell empty.
    virtual void setColumnData(ColumnData* data);
    virtual ColumnData* getColumnData() const;
    // Position in the record's text where the value was found; 0 when not found by position.
    virtual void setIndex(unsigned long index);
    virtual unsigned long getIndex();
    virtual void setColumnId(unsigned long id);
    virtual unsigned long getColumnId();

private:
    ColumnData* data_ = nullptr;
    unsigned long index_ = 0;
    unsigned long columnId_ = 0;
};

}
