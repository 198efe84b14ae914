#include "documents/LMDocumentRow.h"

namespace LogMonitoring {

// The cells themselves belong to the concrete row, which deletes them.
LMDocumentRow::~LMDocumentRow() = default;

std::list<Column> LMDocumentRow::getTemplateColumnList() { return {}; }

std::list<LMDocumentColumn*> LMDocumentRow::getSecondaryColumnList() { return secondaryColumns_; }

}
