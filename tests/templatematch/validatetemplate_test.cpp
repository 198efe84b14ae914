// Template validation: a sample line against a template, answered with each column's value or
// with the localised "does not match" message.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "documents/LMTemplateMatch.h"
#include "platform/events/EvMessageCatalogue.h"
#include "platform/log/EvLMDebug.h"

using namespace LogMonitoring;

namespace {

using Values = std::vector<std::pair<int64_t, std::string>>;

void addColumn(TemplateXML& t, int64_t id, const std::string& name, DataType type, TypeFormat format) {
    Column& c = t.add_columns();
    c.mutable_columnEntity().set_id(id);
    c.mutable_columnEntity().set_name(name);
    c.set_dataType(type);
    c.set_typeFormat(format);
}

// code, time and message, separated by blanks.
TemplateXML blankTemplate() {
    TemplateXML t;
    t.set_separatorFlags(1);
    addColumn(t, 11, "code", Number, Decimal);
    addColumn(t, 12, "time", Time, HoursMinutesSeconds);
    addColumn(t, 13, "message", String, FreeText);
    return t;
}

TemplateXML csvTemplate() {
    TemplateXML t;
    t.set_separatorFlags(8);
    addColumn(t, 21, "count", Number, Decimal);
    addColumn(t, 22, "user", String, FreeText);
    addColumn(t, 23, "when", Date, DayMonthYearDash);
    return t;
}

std::string requestText(const TemplateXML& t) {
    ValidateTemplateRequest request;
    request.set_templateXml(t);
    std::string text;
    request.serialize(text);
    return text;
}

struct Answer {
    int64_t code = -1;
    std::string message;
    Values values;
};

Answer validate(const std::string& sample, std::string text, unsigned long locale = 1033) {
    EXPECT_EQ(validateTemplateText(sample, text, locale), 0);
    ValidateTemplateResponse response;
    EXPECT_EQ(response.unserialize(text), 0) << text;
    Answer answer;
    if (response.result()) {
        answer.code = response.result()->errorCode();
        answer.message = response.result()->errorMessage();
    }
    for (size_t i = 0; i < response.columnValuePairs_size(); ++i) {
        const auto& pair = response.columnValuePairs(i);
        answer.values.emplace_back(pair.columnEntity() ? pair.columnEntity()->id() : -1, pair.value());
    }
    return answer;
}

const std::string kMismatch = EvMessageCatalogue::text(EvMessageCatalogue::kTemplateSampleMismatch, 1033);

}

TEST(ValidateTemplate, SamplesAgainstTemplates) {
    struct Case {
        const char* name;
        TemplateXML templateXml;
        std::string sample;
        int64_t code;
        Values values;
    };
    const std::vector<Case> cases = {
        {"pattern: every column takes its group", blankTemplate(), "500 12:30:01 disk is full", 0,
         {{11, "500"}, {12, "12:30:01"}, {13, "disk is full"}}},
        {"pattern: groups are not trimmed", blankTemplate(), "7   01:02:03  ends in blanks  ", 0,
         {{11, "7"}, {12, "01:02:03"}, {13, "ends in blanks  "}}},
        {"pattern: not found", blankTemplate(), "error at 12:30:01", 1, {}},
        {"csv: fields paired with columns", csvTemplate(), "3,bob,24-12-2024", 0,
         {{21, "3"}, {22, "bob"}, {23, "24-12-2024"}}},
        {"csv: fewer fields than columns", csvTemplate(), "3,bob", 0, {{21, "3"}, {22, "bob"}}},
        {"csv: a field that does not fit its column", csvTemplate(), "3,bob,2024-12-24", 1, {}},
        {"csv: quoted fields", csvTemplate(), "\"4\",\"a, b\"", 0, {{21, "4"}, {22, "a, b"}}},
    };
    for (const auto& c : cases) {
        const Answer answer = validate(c.sample, requestText(c.templateXml));
        EXPECT_EQ(answer.code, c.code) << c.name;
        EXPECT_EQ(answer.values, c.values) << c.name;
        EXPECT_EQ(answer.message, c.code == 0 ? "" : kMismatch) << c.name;
    }
}

TEST(ValidateTemplate, TheMessageIsInTheCallersLocale) {
    const std::string request = requestText(blankTemplate());
    const Answer german = validate("no match", request, 1031);
    EXPECT_EQ(german.code, 1);
    EXPECT_EQ(german.message, EvMessageCatalogue::text(EvMessageCatalogue::kTemplateSampleMismatch, 1031));
    EXPECT_NE(german.message, kMismatch);
    EXPECT_EQ(validate("no match", request, 0x0C07).message, german.message);  // German, Austria
    EXPECT_EQ(validate("no match", request, 4242).message, kMismatch);         // unknown: English
    EXPECT_FALSE(kMismatch.empty());
}

TEST(ValidateTemplate, RequestsWithoutATemplateAndBrokenPatterns) {
    EXPECT_EQ(validate("anything", "not a message").code, 1);
    ValidateTemplateRequest empty;
    std::string text;
    empty.serialize(text);
    const Answer none = validate("anything", text);
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.message, kMismatch);

    // A separator the expression syntax rejects.
    TemplateXML broken;
    broken.set_separatorFlags(32);
    broken.set_customSeparator("[");
    addColumn(broken, 1, "a", Number, Decimal);
    addColumn(broken, 2, "b", String, FreeText);
    addColumn(broken, 3, "c", Number, Decimal);
    EvLogCapture capture;
    const Answer answer = validate("1[x[2", requestText(broken));
    EXPECT_EQ(answer.code, 1);
    EXPECT_EQ(answer.message, kMismatch);
    EXPECT_TRUE(answer.values.empty());
    EXPECT_TRUE(capture.contains("LMTextFileDocument::validateTemplate", -1, "Error in regex creation "));
}

TEST(ValidateTemplate, LogsThePatternTheColumnsAndTheResponse) {
    EvLMDebug::setThreshold(10);
    EvLogCapture capture;
    validate("500 12:30:01 disk is full", requestText(blankTemplate()));
    EvLMDebug::setThreshold(EvLMDebug::kDefaultThreshold);
    const char* op = "LMTextFileDocument::validateTemplate";
    EXPECT_TRUE(capture.contains(op, 10, " Pattern generated ^"));
    EXPECT_TRUE(capture.contains(op, 10, " Column String [13]: [message] Value  [disk is full]"));
    EXPECT_TRUE(capture.contains(op, 10, " Response XMl [<"));
}
