#pragma once
// Templates, files and row checks shared by the reader tests.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "documents/LMDocumentRow.h"
#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/LMColumnTypes.h"

namespace doctest {

struct ColumnSpec {
    int dataType;
    int typeFormat;
    std::string name = std::string();
};

// A template of the given columns; separator flags 1 (blank) unless told otherwise.
inline LogMonitoring::TemplateXML makeTemplate(const std::vector<ColumnSpec>& columns, int64_t separatorFlags = 1) {
    LogMonitoring::TemplateXML t;
    int id = 1;
    for (const ColumnSpec& wanted : columns) {
        LogMonitoring::Column& c = t.add_columns();
        c.set_dataType(wanted.dataType);
        c.set_typeFormat(wanted.typeFormat);
        c.mutable_columnEntity().set_id(id++);
        c.mutable_columnEntity().set_name(wanted.name.empty() ? "c" + std::to_string(id) : wanted.name);
    }
    if (separatorFlags) t.set_separatorFlags(separatorFlags);
    return t;
}

// Number, word, free text: "42 alpha the rest".
inline LogMonitoring::TemplateXML numberWordText() {
    using namespace LogMonitoring;
    return makeTemplate({{Number, Decimal}, {String, FreeText}, {String, FreeText}});
}

// The texts of a row's cells (empty for a null value).
inline std::vector<std::string> cellTexts(LogMonitoring::LMDocumentRow& row) {
    std::vector<std::string> texts;
    for (LogMonitoring::LMDocumentColumn* cell : row.getColumnList())
        texts.push_back(cell && cell->getColumnData() ? cell->getColumnData()->getDataAsString() : "");
    return texts;
}

struct RowSummary {
    std::string text;
    unsigned long line;
    std::vector<std::string> cells;
};

// Reads every row, summarising and deleting each.
template <class Doc> std::vector<RowSummary> readAll(Doc& doc) {
    std::vector<RowSummary> rows;
    while (LogMonitoring::LMDocumentRow* row = doc.read()) {
        rows.push_back({row->toString(), row->getLineNumber(), cellTexts(*row)});
        delete row;
    }
    return rows;
}

}
