// Template validation: a sample line checked against a template, for a host that lets a user try
// a template out before using it.
#include <memory>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "documents/LMCsvParser.h"
#include "documents/LMTemplateMatch.h"
#include "documents/LMTextFileDocument.h"
#include "platform/events/EvMessageCatalogue.h"
#include "platform/log/EvLMDebug.h"
#include "values/LMRegexCache.h"

namespace LogMonitoring {

namespace {

constexpr const char* kOperation = "LMTextFileDocument::validateTemplate";

// The answer under construction. A failure replaces any pairs collected so far.
class ValidationAnswer {
public:
    explicit ValidationAnswer(unsigned long localeId) : localeId_(localeId) {
        response_.mutable_result().set_errorCode(0);
    }

    void fail() {
        response_.set_columnValuePairs_empty();
        std::string message;
        EvMessageCatalogue::lookup(EvMessageCatalogue::kTemplateSampleMismatch, localeId_, message);
        response_.mutable_result().set_errorCode(1);
        response_.mutable_result().set_errorMessage(message);
    }

    void addPair(const Column& column, const std::string& value) {
        ColumnValuePair& pair = response_.add_columnValuePairs();
        if (const auto* entity = column.columnEntity()) pair.set_columnEntity(*entity);
        pair.set_value(value);
    }

    void writeTo(std::string& text) const {
        text.clear();
        response_.serialize(text);
        EvLMDebug().DebugLvl(kOperation, 10, " Response XMl [%s]", text.c_str());
    }

private:
    unsigned long localeId_;
    ValidateTemplateResponse response_;
};

// CSV templates: the sample's fields paired with the template's columns in order.
void validateCsv(const std::string& sample, TemplateXML& templateXml, ValidationAnswer& answer) {
    std::vector<char> buffer(sample.begin(), sample.end());
    buffer.push_back('\0');
    unsigned size = static_cast<unsigned>(buffer.size());
    std::vector<std::string> fields;
    LMCsvParser parser;
    if (parser.getColumns(fields, buffer.data(), size) != 0) {
        answer.fail();
        return;
    }
    for (size_t i = 0; i < fields.size() && i < templateXml.columns_size(); ++i) {
        Column& column = templateXml.mutable_columns(i);
        if (!checkForTemplateMatch(column, fields[i])) {
            answer.fail();
            return;
        }
        answer.addPair(column, fields[i]);
    }
}

// Other templates: the record pattern searched in the sample, each column taking its group.
void validatePattern(const std::string& sample, LMTextFileDocument& document,
                     ValidationAnswer& answer) {
    EvLMDebug log;
    const std::string pattern = document.getTemplatePattern();
    log.DebugLvl(kOperation, 10, " Pattern generated %s", pattern.c_str());
    std::string error;
    auto re = LMRegexCache::get(pattern, boost::regex::perl | boost::regex::icase, error);
    if (!re) {
        log.DebugLvl(kOperation, EvLMDebug::kErrorLevel, "Error in regex creation %s", error.c_str());
        answer.fail();
        return;
    }
    boost::smatch m;
    if (!searchRegex(sample, *re, m)) {
        answer.fail();
        return;
    }
    const std::vector<uint32_t> groups = document.getIndexList();
    const std::vector<Column>& columns = document.getTemplateColumns();
    for (size_t i = 0; i < columns.size() && i < groups.size(); ++i) {
        const std::string value = groups[i] < m.size() ? m[groups[i]].str() : std::string();
        const auto* entity = columns[i].columnEntity();
        log.DebugLvl(kOperation, 10, " Column String [%d]: [%s] Value  [%s]",
                     entity ? static_cast<int>(entity->id()) : 0,
                     entity ? entity->name().c_str() : "", value.c_str());
        answer.addPair(columns[i], value);
    }
}

}

int validateTemplateText(const std::string& sample, std::string& text, unsigned long localeId) {
    ValidationAnswer answer(localeId);
    ValidateTemplateRequest request;
    // Without a template there is nothing the sample could match: answer so instead of
    // reporting an empty success.
    if (request.unserialize(text) != 0 || !request.has_templateXml() || !request.templateXml()) {
        answer.fail();
        answer.writeTo(text);
        return 0;
    }
    TemplateXML& templateXml = request.mutable_templateXml();
    LMTextFileDocument document("");
    document.setTemplateXml(&templateXml);
    const bool csv = templateXml.has_separatorFlags() && templateXml.separatorFlags() == 8;
    if (csv) document.setIsCSV(true);
    if (csv && templateXml.columns_size() > 0) {
        validateCsv(sample, templateXml, answer);
    } else {
        validatePattern(sample, document, answer);
    }
    answer.writeTo(text);
    return 0;
}

}
