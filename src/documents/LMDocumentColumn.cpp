#include "documents/LMDocumentColumn.h"

namespace LogMonitoring {

LMDocumentColumn::LMDocumentColumn(ColumnData* data, unsigned long index) : data_(data), index_(index) {}

LMDocumentColumn::~LMDocumentColumn() { delete data_; }

void LMDocumentColumn::setColumnData(ColumnData* data) {
    ColumnData* copy = data ? data->clone() : nullptr;
    delete data_;
    data_ = copy;
}

ColumnData* LMDocumentColumn::getColumnData() const { return data_; }

void LMDocumentColumn::setIndex(unsigned long index) { index_ = index; }

unsigned long LMDocumentColumn::getIndex() { return index_; }

void LMDocumentColumn::setColumnId(unsigned long id) { columnId_ = id; }

unsigned long LMDocumentColumn::getColumnId() { return columnId_; }

}
