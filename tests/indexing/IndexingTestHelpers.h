#pragma once
// Rows, documents and columns for the index helper's tests: a row is built from a template's
// columns and the texts of its cells, the way a reader would type them.
#include <cstdlib>
#include <ctime>
#include <list>
#include <string>
#include <vector>

#include "documents/FilteredMessageInfo.h"
#include "documents/LMDocument.h"
#include "documents/LMDocumentColumn.h"
#include "documents/LMDocumentRow.h"
#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/ColumnDataGenerator.h"
#include "values/LMColumnTypes.h"

namespace indextest {

struct ColumnDef {
    std::string name;
    int dataType = LogMonitoring::String;
    int typeFormat = LogMonitoring::FreeText;
    bool filterable = false;
    bool tokenize = false;
    bool keyword = false;
};

inline LogMonitoring::Column makeColumn(const ColumnDef& d) {
    LogMonitoring::Column c;
    c.set_columnName(d.name);
    c.set_dataType(d.dataType);
    c.set_typeFormat(d.typeFormat);
    c.set_filterable(d.filterable ? 1 : 0);
    if (d.tokenize) c.set_tokenize(1);
    if (d.keyword) c.set_keyword(1);
    return c;
}

inline LogMonitoring::TemplateXML makeTemplate(const std::vector<ColumnDef>& defs) {
    LogMonitoring::TemplateXML t;
    for (const ColumnDef& d : defs) t.add_columns(makeColumn(d));
    return t;
}

// A row whose cells are typed from the template's columns; an empty text gives a null cell when
// asked for.
class TestRow : public LogMonitoring::LMDocumentRow {
public:
    TestRow(LogMonitoring::TemplateXML& t, const std::vector<std::string>& texts, std::string text,
            unsigned long line = 1, bool nullForEmpty = false)
        : text_(std::move(text)), line_(line) {
        for (size_t i = 0; i < texts.size() && i < t.columns_size(); ++i) {
            if (nullForEmpty && texts[i].empty()) {
                cells_.push_back(nullptr);
                continue;
            }
            cells_.push_back(new LogMonitoring::LMDocumentColumn(
                LogMonitoring::ColumnDataGenerator(t.mutable_columns(i), texts[i]), 0));
            templateColumns_.push_back(t.columns(i));
        }
    }
    ~TestRow() override {
        for (auto* c : cells_) delete c;
        for (auto* c : secondaryColumns_) delete c;
    }
    // A key/value cell found in the record, typed by the secondary column whose key it carries.
    void addSecondary(LogMonitoring::Column& column, const std::string& key, const std::string& value) {
        LogMonitoring::ColumnData* data = LogMonitoring::ColumnDataGenerator(column, value);
        if (data) data->setColumnName(key);
        secondaryColumns_.push_back(new LogMonitoring::LMDocumentColumn(data, 0));
    }
    std::list<LogMonitoring::LMDocumentColumn*> getColumnList() override { return cells_; }
    std::string toString() override { return text_; }
    unsigned long getLineNumber() override { return line_; }
    std::list<LogMonitoring::Column> getTemplateColumnList() override { return templateColumns_; }

private:
    std::list<LogMonitoring::LMDocumentColumn*> cells_;
    std::list<LogMonitoring::Column> templateColumns_;
    std::string text_;
    unsigned long line_;
};

class TestDocument : public LogMonitoring::LMDocument {
public:
    TestDocument() : LogMonitoring::LMDocument("test") {}
    int openDocument() override { return 0; }
    int closeDocument() override { return 0; }
    LogMonitoring::LMDocumentRow* read() override { return nullptr; }
};

inline FilteredMessageInfo makeInfo(const std::string& path = "/var/log/app/x.log", uint32_t line = 7) {
    FilteredMessageInfo info;
    info.uniqueFileId = 3;
    info.templateId = 11;
    info.monitoringPolicyId = 5;
    info.source = path;
    info.lines.push_back({line, "text"});
    info.templateName = "tmpl";
    info.policyName = "policy";
    return info;
}

// Every "<field name = "N">V</field>" of a document text, in order, as "N=V".
inline std::vector<std::string> fieldsOf(const std::string& doc) {
    std::vector<std::string> out;
    const std::string open = "<field name = \"";
    size_t at = 0;
    while ((at = doc.find(open, at)) != std::string::npos) {
        const size_t nameEnd = doc.find("\">", at + open.size());
        const size_t valueEnd = doc.find("</field>", nameEnd);
        out.push_back(doc.substr(at + open.size(), nameEnd - at - open.size()) + "=" +
                      doc.substr(nameEnd + 2, valueEnd - nameEnd - 2));
        at = valueEnd;
    }
    return out;
}

// The value of the first field of that name, or "<none>".
inline std::string fieldValue(const std::string& doc, const std::string& name) {
    for (const std::string& f : fieldsOf(doc)) {
        if (f.compare(0, name.size() + 1, name + "=") == 0) return f.substr(name.size() + 1);
    }
    return "<none>";
}

inline bool hasField(const std::string& doc, const std::string& name) { return fieldValue(doc, name) != "<none>"; }

// Runs the tests in UTC, so that event times read the same everywhere.
struct UtcZone {
    UtcZone() {
        setenv("TZ", "UTC", 1);
        tzset();
    }
};

}
