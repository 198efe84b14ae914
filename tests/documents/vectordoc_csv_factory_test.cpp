#include <gtest/gtest.h>

#include <cstring>

#include "DocumentTestHelpers.h"
#include "documents/LMCsvParser.h"
#include "documents/LMDocumentFactory.h"
#include "documents/LMTextFileDocumentWithCurrentState.h"
#include "documents/LMTextVectorDocument.h"
#include "platform/log/EvLMDebug.h"
#include "support/TestSupport.h"

using namespace LogMonitoring;
using namespace doctest;

namespace {

std::vector<RowSummary> readVector(const std::string& data, unsigned long firstLine, TemplateXML& t,
                                   unsigned long* lastLine = nullptr) {
    LMTextVectorDocument doc("pushed.log");
    doc.setData(data);
    doc.setLineNumber(firstLine);
    doc.setTemplateXml(&t);
    doc.openDocument();
    auto rows = readAll(doc);
    if (lastLine) *lastLine = doc.getLineNumber();
    EXPECT_EQ(doc.getDocumentName(), "pushed.log");
    return rows;
}

}

TEST(VectorDocument, RecordsCarryTheNumbersOfTheirLines) {
    TemplateXML t = numberWordText();
    const std::string data = "1 a one\n2 b two\n3 c three\n4 d four\n";
    struct Case {
        unsigned long firstLine;
        unsigned long expectedFirstRecordLine;
        const char* expectedFirstText;
    } cases[] = {{0, 1, "1 a one"}, {1, 1, "1 a one"}, {3, 3, "3 c three"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstLine);
        unsigned long last = 0;
        auto rows = readVector(data, c.firstLine, t, &last);
        ASSERT_FALSE(rows.empty());
        EXPECT_EQ(rows[0].line, c.expectedFirstRecordLine);
        EXPECT_EQ(rows[0].text, c.expectedFirstText);
        EXPECT_EQ(rows.back().line, 4u);
        EXPECT_EQ(last, 4u);
    }
}

TEST(VectorDocument, ContinuationAndNoMatch) {
    // The last column is a number, yet continuation lines still join the last cell as text.
    TemplateXML t = makeTemplate({{String, FreeText}, {Number, Decimal}});
    auto rows = readVector("lead\na 1\ntrailing one\ntrailing two", 1, t);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].line, 2u);
    EXPECT_EQ(rows[0].text, "a 1\ntrailing one\ntrailing two");
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"a", "1\ntrailing one\ntrailing two"}));

    TemplateXML numbers = makeTemplate({{Number, Decimal}});
    EXPECT_TRUE(readVector("no numbers\nhere\n", 1, numbers).empty());
}

TEST(VectorDocument, ContinuationLimitMessage) {
    TemplateXML t = numberWordText();
    std::string data = "1 a head\n";
    for (int i = 0; i < 120; ++i) data += "more\n";
    EvLogCapture log;
    auto rows = readVector(data, 1, t);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(std::count(rows[0].text.begin(), rows[0].text.end(), '\n'), 100);
    EXPECT_TRUE(log.contains("", -1, " too many rows not honoring template, flushing buffered lines..100"));
}

TEST(CsvParser, Fields) {
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> fields;
    } cases[] = {
        {"quoted comma", "1,\"a,b\",c", {"1", "a,b", "c"}},
        {"trailing separator", "a,b,", {"a", "b", ""}},
        {"quoted empty", "x,\"\",y", {"x", "", "y"}},
        {"doubled quotes stay", "\"say \"\"hi\"\"\",z", {"say \"\"hi\"\"", "z"}},
        {"one-sided quote kept", "\"open,b", {"\"open,b"}},
        {"single field", "solo", {"solo"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LMCsvParser parser;
        std::vector<std::string> fields;
        std::string text = c.text;
        unsigned size = static_cast<unsigned>(text.size() + 1); // with the terminating zero
        EXPECT_EQ(parser.getColumns(fields, text.data(), size), 0);
        EXPECT_EQ(fields, c.fields);
        // Without the terminating zero the last field is still there.
        std::vector<std::string> exact;
        unsigned length = static_cast<unsigned>(text.size());
        parser.getColumns(exact, text.data(), length);
        EXPECT_EQ(exact, c.fields);
    }
    LMCsvParser parser;
    std::vector<std::string> fields;
    char text[] = "a,b";
    unsigned zero = 0;
    EXPECT_EQ(parser.getColumns(fields, text, zero), 0);
    EXPECT_TRUE(fields.empty());

    parser.setcolumnSeprator(';');
    parser.setcolumnSeprator(0); // ignored
    char semi[] = "a;b,c";
    unsigned size = sizeof(semi);
    parser.getColumns(fields, semi, size);
    EXPECT_EQ(fields, (std::vector<std::string>{"a", "b,c"}));
}

TEST(CsvParser, FileMode) {
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("data.csv"), "#comment\nname,age\nbob,42\n\"smith, j\",7\n");
    LMCsvParser parser;
    ASSERT_EQ(parser.init(dir.file("data.csv")), 1);
    EXPECT_EQ(parser.getHeader(), (std::vector<std::string>{"name", "age"}));
    EXPECT_TRUE(parser.has_nextRows());
    EXPECT_EQ(parser.get_row(), (std::vector<std::string>{"bob", "42"}));
    EXPECT_EQ(parser.get_row(), (std::vector<std::string>{"smith, j", "7"}));
    EXPECT_FALSE(parser.has_nextRows());
    EXPECT_TRUE(parser.get_row().empty());

    LMCsvParser missing;
    EXPECT_EQ(missing.init(dir.file("none.csv")), 0);
    EXPECT_EQ(missing.init(static_cast<FILE*>(nullptr)), 0);
}

TEST(DocumentFactory, DocumentByType) {
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("log"), "1 a x\n");
    for (MonitoringType type : {MonitoringTextLog, MonitoringTextLogNoHeader, MonitoringTextLogAlternate}) {
        std::unique_ptr<LMDocument> doc(LMDocumentFactory::getDocumentObject(dir.file("log"), type));
        ASSERT_NE(dynamic_cast<LMTextFileDocumentWithCurrentState*>(doc.get()), nullptr) << type;
        EXPECT_EQ(doc->getMonitoringType(), static_cast<unsigned>(type));
        EXPECT_EQ(doc->getLastOffsetToRead(), 6u);
    }
    for (unsigned type : {1u, 3u, 4u, 5u, 6u, 7u, 8u})
        EXPECT_EQ(LMDocumentFactory::getDocumentObject(dir.file("log"), static_cast<MonitoringType>(type)), nullptr)
            << type;
    EXPECT_EQ(LMDocumentFactory::getDocumentObject(1, "LMGetAlertDataSetForCI", MonitoringDataSet, 0, 10), nullptr);
    std::unique_ptr<LMDocument> byName(
        LMDocumentFactory::getDocumentObject(1, dir.file("log"), MonitoringTextLog, 0, 0));
    EXPECT_NE(byName, nullptr);
}
