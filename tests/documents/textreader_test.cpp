#include <gtest/gtest.h>

#include <fstream>

#include "DocumentTestHelpers.h"
#include "documents/LMTextFile.h"
#include "documents/LMTextFileDocument.h"
#include "documents/LMTextFileDocumentWithCurrentState.h"
#include "platform/log/EvLMDebug.h"
#include "support/TestSupport.h"

using namespace LogMonitoring;
using namespace doctest;

namespace {

std::string utf16(const std::string& ascii, bool littleEndian) {
    std::string out = littleEndian ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
    for (char c : ascii) {
        if (littleEndian) {
            out.push_back(c);
            out.push_back('\0');
        } else {
            out.push_back('\0');
            out.push_back(c);
        }
    }
    return out;
}

void appendTo(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary | std::ios::app);
    f << text;
}

}

TEST(TextReader, RecordPatternAndGroupIndices) {
    TemplateXML t = numberWordText();
    LMTextFileDocument doc("");
    doc.setTemplateXml(&t);
    EXPECT_EQ(doc.getTemplatePattern(), "^([+-]?[0-9]+)(( ))+([^ ]+)(( ))+(.*)");
    EXPECT_EQ(doc.getIndexList(), (std::vector<uint32_t>{1, 4, 7}));
    EXPECT_EQ(doc.getTemplateColumns().size(), 3u);

    TemplateXML unanchored = numberWordText();
    unanchored.set_unanchored(1);
    unanchored.set_separatorFlags(1 | 4);
    LMTextFileDocument doc2("");
    doc2.setTemplateXml(&unanchored);
    EXPECT_EQ(doc2.getTemplatePattern(), "([+-]?[0-9]+)(( )|(;))+([^ ;]+)(( )|(;))+(.*)");
    EXPECT_EQ(doc2.getIndexList(), (std::vector<uint32_t>{1, 5, 9}));

    EvLogCapture log;
    LMTextFileDocument none("");
    EXPECT_EQ(none.getTemplatePattern(), "");
    EXPECT_TRUE(log.contains("", -1, "TemplateXML is null"));
}

// The same two records in every encoding; offsets stay byte offsets of the file.
TEST(TextReader, EachEncoding) {
    const std::string content = "1 alpha first message\n2 beta second\n";
    struct Case {
        const char* name;
        std::string bytes;
        int encoding;
        const char* lineEnd; // UTF-16 lines keep their line feed
    } cases[] = {
        {"plain", content, 0, ""},
        {"utf8bom", "\xEF\xBB\xBF" + content, 1, ""},
        {"utf16le", utf16(content, true), 2, "\n"},
        {"utf16be", utf16(content, false), 3, "\n"},
    };
    lmtest::TempDir dir;
    TemplateXML t = numberWordText();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir.file(c.name);
        lmtest::writeFile(path, c.bytes);
        LMTextFileDocumentWithCurrentState doc(path, MonitoringTextLog);
        EXPECT_EQ(doc.getEncoding(), c.encoding);
        doc.setTemplateXml(&t);
        ASSERT_EQ(doc.openDocument(), 0);
        auto rows = readAll(doc);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].text, std::string("1 alpha first message") + c.lineEnd);
        EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"1", "alpha", std::string("first message") + c.lineEnd}));
        EXPECT_EQ(rows[0].line, 1u);
        EXPECT_EQ(rows[1].cells[0], "2");
        EXPECT_EQ(rows[1].line, 2u);
        EXPECT_EQ(doc.getOffset(), c.bytes.size());
        EXPECT_EQ(doc.getLineNumber(), 2u);
    }
}

TEST(TextReader, Utf16KeepsCharactersHoldingALineFeedByte) {
    // U+4E0A is 0A 4E in little endian: its 0x0A byte is no line end.
    std::string bytes("\xFF\xFE", 2);
    for (char c : std::string("7 x ")) bytes += std::string{c, '\0'};
    bytes += std::string("\x0A\x4E", 2);
    bytes += std::string("\x3D\xD8\x00\xDE", 4); // U+1F600 as a surrogate pair
    bytes += std::string("\n\0", 2);
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("u16"), bytes);
    TemplateXML t = numberWordText();
    LMTextFileDocument doc(dir.file("u16"));
    doc.setTemplateXml(&t);
    auto rows = readAll(doc);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text, "7 x \xE4\xB8\x8A\xF0\x9F\x98\x80\n");
    EXPECT_EQ(doc.getOffset(), bytes.size());
}

TEST(TextReader, ContinuationLinesJoinTheLastStringCell) {
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("log"), "orphan before any record\n"
                                       "1 a started\n"
                                       "  at frame one\n"
                                       "\n"
                                       "  at frame two\n"
                                       "2 b next\n");
    TemplateXML t = numberWordText();
    LMTextFileDocument doc(dir.file("log"));
    doc.setTemplateXml(&t);
    auto rows = readAll(doc);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "1 a started\n  at frame one\n  at frame two");
    EXPECT_EQ(rows[0].cells[2], "started\n  at frame one\n  at frame two");
    EXPECT_EQ(rows[0].line, 2u);
    EXPECT_EQ(rows[1].line, 6u);
    EXPECT_EQ(rows[1].text, "2 b next");
}

TEST(TextReader, ContinuationLinesAreDroppedWhenTheLastColumnIsNoString) {
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("log"), "a 1\nnot a record\nb 2\n");
    TemplateXML t = makeTemplate({{String, FreeText}, {Number, Decimal}});
    LMTextFileDocument doc(dir.file("log"));
    doc.setTemplateXml(&t);
    auto rows = readAll(doc);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, "a 1");
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"a", "1"}));
}

TEST(TextReader, ContinuationLimitOfAHundredLines) {
    std::string content = "1 a head\n";
    for (int i = 0; i < 250; ++i) content += "extra " + std::to_string(i) + "\n";
    content += "2 b tail\n";
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("log"), content);
    TemplateXML t = numberWordText();
    EvLogCapture log;
    LMTextFileDocument doc(dir.file("log"));
    doc.setTemplateXml(&t);
    auto rows = readAll(doc);
    ASSERT_EQ(rows.size(), 2u);
    const std::string& text = rows[0].text;
    EXPECT_NE(text.find("\nextra 99"), std::string::npos);
    EXPECT_EQ(text.find("extra 100"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100);
    EXPECT_TRUE(log.contains("", -1, "too many rows not honoring template, flushing buffered lines..100"));
    EXPECT_TRUE(log.contains("", -1, "flushing buffered lines..200"));
    EXPECT_FALSE(log.contains("", "flushing buffered lines..101"));
    EXPECT_EQ(rows[1].line, 252u);
}

TEST(TextReader, ResumingByOffset) {
    const std::string content = "1 a one\n2 b two\n  more of two\n3 c three\n4 d four\n";
    const unsigned long afterTwo = std::string("1 a one\n2 b two\n").size();
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("log"), content);
    TemplateXML t = numberWordText();
    {
        // With the line number of the offset: reading goes on from there.
        LMTextFileDocumentWithCurrentState doc(dir.file("log"), MonitoringTextLog);
        doc.setTemplateXml(&t);
        doc.setOffset(afterTwo);
        doc.setLineNumber(2);
        doc.openDocument();
        auto rows = readAll(doc);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].text, "3 c three");
        EXPECT_EQ(rows[0].line, 4u);
        EXPECT_EQ(rows[1].line, 5u);
        EXPECT_EQ(doc.getOffset(), content.size());
    }
    {
        // Offset alone: the file is read again from the start to count lines; the continuation
        // line after the offset has no record to join and is dropped.
        LMTextFileDocumentWithCurrentState doc(dir.file("log"), MonitoringTextLog);
        doc.setTemplateXml(&t);
        doc.setOffset(afterTwo);
        doc.setLineNumber(0);
        doc.openDocument();
        auto rows = readAll(doc);
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].text, "3 c three");
        EXPECT_EQ(rows[0].line, 4u);
        EXPECT_EQ(doc.getLineNumber(), 5u);
    }
    {
        // A line number without an offset means nothing.
        LMTextFileDocumentWithCurrentState doc(dir.file("log"), MonitoringTextLog);
        doc.setLineNumber(7);
        EXPECT_EQ(doc.getLineNumber(), 0u);
    }
}

TEST(TextReader, GrowingFileIsReadUpToItsSizeAtOpening) {
    lmtest::TempDir dir;
    const std::string path = dir.file("log");
    const std::string first = "1 a one\n2 b two\n";
    lmtest::writeFile(path, first);
    TemplateXML t = numberWordText();
    unsigned long offset = 0, line = 0;
    {
        LMTextFileDocumentWithCurrentState doc(path, MonitoringTextLog);
        doc.setTemplateXml(&t);
        doc.openDocument();
        LMDocumentRow* row = doc.read();
        ASSERT_NE(row, nullptr);
        delete row;
        appendTo(path, "3 c three\n");
        auto rows = readAll(doc);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].text, "2 b two");
        offset = doc.getOffset();
        line = doc.getLineNumber();
        EXPECT_EQ(offset, first.size());
        EXPECT_EQ(doc.getLastOffsetToRead(), first.size());
    }
    // The next run takes up what was appended.
    LMTextFileDocumentWithCurrentState next(path, MonitoringTextLog);
    next.setTemplateXml(&t);
    next.setOffset(offset);
    next.setLineNumber(line);
    next.openDocument();
    auto rows = readAll(next);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text, "3 c three");
    EXPECT_EQ(rows[0].line, 3u);
}

TEST(TextReader, OffsetBeyondTheSizeIsClamped) {
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("log"), "1 a one\n");
    EvLogCapture log;
    LMTextFileDocumentWithCurrentState doc(dir.file("log"), MonitoringTextLog);
    doc.setOffset(500);
    EXPECT_EQ(doc.getOffset(), 8u);
    EXPECT_TRUE(log.contains("", 0, "Current offset[500] is greater than getLastOffSetToRead [8]"));
    EXPECT_TRUE(doc.isEOF());
}

TEST(TextReader, LineDelimiters) {
    struct Case {
        const char* delimiter;
        std::string content;
        std::vector<std::string> texts;
    } cases[] = {
        {"||", "1 a x|y||2 b z||3 c |", {"1 a x|y||", "2 b z||", "3 c |"}},
        // "|3 c" does not match the anchored pattern: it continues the record before it.
        {"|||", "1 a x|||2 b ||||3 c", {"1 a x|||", "2 b |||\n|3 c"}},
        {";", "1 a x;2 b y;", {"1 a x", "2 b y"}},
    };
    lmtest::TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delimiter);
        lmtest::writeFile(dir.file("log"), c.content);
        TemplateXML t = numberWordText();
        t.set_lineDelimiter(c.delimiter);
        LMTextFileDocument doc(dir.file("log"));
        doc.setTemplateXml(&t);
        auto rows = readAll(doc);
        std::vector<std::string> texts;
        for (auto& r : rows) texts.push_back(r.text);
        EXPECT_EQ(texts, c.texts);
        EXPECT_EQ(doc.getOffset(), c.content.size());
    }
}

TEST(TextReader, CsvLines) {
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("csv"), "1,\"a,b\",c\n2,only\nx,bad,row\n");
    TemplateXML t = makeTemplate({{Number, Decimal}, {String, FreeText}, {String, FreeText}}, 8);
    LMTextFileDocument doc(dir.file("csv"));
    doc.setTemplateXml(&t);
    doc.setIsCSV(true);
    auto rows = readAll(doc);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].cells, (std::vector<std::string>{"1", "a,b", "c"}));
    EXPECT_EQ(rows[1].cells, (std::vector<std::string>{"2", "only"}));
    // A field that does not fit its column leaves the record without cells.
    EXPECT_TRUE(rows[2].cells.empty());
    EXPECT_EQ(rows[2].text, "x,bad,row");
}

TEST(TextReader, HeaderLines) {
    lmtest::TempDir dir;
    const std::string content = "\xEF\xBB\xBF#Fields: n w text\n#Version 1\n1 a one\n";
    lmtest::writeFile(dir.file("log"), content);
    TemplateXML t = numberWordText();
    LMTextFileDocumentWithCurrentState doc(dir.file("log"), MonitoringTextLog);
    doc.setTemplateXml(&t);
    doc.openDocument();
    auto header = doc.readHeader(2);
    ASSERT_EQ(header.size(), 2u);
    EXPECT_EQ(header.front()->toString(), "#Fields: n w text");
    EXPECT_EQ(header.back()->getLineNumber(), 2u);
    EXPECT_TRUE(header.front()->getColumnList().empty());
    for (auto* r : header) delete r;
    auto rows = readAll(doc);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].line, 3u);

    // Asking for more header lines than the file has gives what there is.
    LMTextFileDocument shortDoc(dir.file("log"));
    auto all = shortDoc.readHeader(10);
    EXPECT_EQ(all.size(), 3u);
    EXPECT_EQ(shortDoc.getOffset(), content.size());
    for (auto* r : all) delete r;
}

TEST(TextReader, CountLinesOnly) {
    lmtest::TempDir dir;
    const std::string content = "1 a one\nx\n2 b two";
    lmtest::writeFile(dir.file("log"), content);
    TemplateXML t = numberWordText();
    LMTextFileDocument doc(dir.file("log"));
    doc.setTemplateXml(&t);
    doc.setCountLinesOnly(true);
    EXPECT_EQ(doc.read(), nullptr);
    EXPECT_EQ(doc.getLineNumber(), 3u);
    EXPECT_EQ(doc.getOffset(), content.size());
}

TEST(TextReader, LongLineKeepsItsStartAndExactOffsets) {
    lmtest::TempDir dir;
    const std::string longLine = "1 a " + std::string(3u << 20, 'x');
    const std::string content = longLine + "\n2 b after\n";
    lmtest::writeFile(dir.file("log"), content);
    TemplateXML t = numberWordText();
    EvLogCapture log;
    LMTextFileDocument doc(dir.file("log"));
    doc.setMaxRecordLength(1000);
    doc.setTemplateXml(&t);
    auto rows = readAll(doc);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text, longLine.substr(0, 1000));
    EXPECT_EQ(rows[1].text, "2 b after");
    EXPECT_EQ(rows[1].line, 2u);
    EXPECT_EQ(doc.getOffset(), content.size());
    EXPECT_TRUE(log.contains("", -1, "only its first 1000 bytes are kept"));
}

TEST(TextReader, MissingFileYieldsNothing) {
    EvLogCapture log;
    TemplateXML t = numberWordText();
    LMTextFileDocumentWithCurrentState doc("/nonexistent/dir/file.log", MonitoringTextLog);
    doc.setTemplateXml(&t);
    EXPECT_EQ(doc.read(), nullptr);
    EXPECT_TRUE(log.contains("", -1, "Unable to open file [/nonexistent/dir/file.log] with error"));
}

TEST(TextReader, SecondaryKeyValueCells) {
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("log"), "1 a login user=bob took=15 junk=1 User Name = alice smith\n"
                                       "2 b retry took=slow user=carol\n");
    TemplateXML t = numberWordText();
    TemplateXML keys = makeTemplate({{String, FreeText, "user"}, {Number, Decimal, "took"}, {String, FreeText, "User Name"}});
    LMTextFileDocument doc(dir.file("log"));
    doc.setTemplateXml(&t);
    doc.setSecondaryTemplateXml(&keys);
    std::vector<std::vector<std::pair<std::string, std::string>>> seen;
    while (LMDocumentRow* row = doc.read()) {
        std::vector<std::pair<std::string, std::string>> cells;
        for (LMDocumentColumn* cell : row->getSecondaryColumnList()) {
            EXPECT_EQ(cell->getIndex(), 0u);
            cells.emplace_back(cell->getColumnData()->getColumnName(), cell->getColumnData()->getDataAsString());
        }
        seen.push_back(cells);
        delete row;
    }
    using P = std::pair<std::string, std::string>;
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::vector<P>{{"user", "bob"}, {"took", "15"}, {"User Name", "alice"}}));
    // A value that does not fit its column's type gives no cell.
    EXPECT_EQ(seen[1], (std::vector<P>{{"user", "carol"}}));
}

// Offsets of UTF-16 files count the byte-order mark, so a stored offset resumes at a line start.
TEST(TextReader, Utf16ResumesAtTheStoredOffset) {
    const std::string bytes = utf16("1 a one\n2 b two\n3 c three\n", true);
    lmtest::TempDir dir;
    lmtest::writeFile(dir.file("u16"), bytes);
    TemplateXML t = numberWordText();
    unsigned long offset = 0;
    {
        LMTextFileDocumentWithCurrentState doc(dir.file("u16"), MonitoringTextLog);
        doc.setTemplateXml(&t);
        doc.openDocument();
        delete doc.read(); // holds line 2 back as the pending record
        offset = doc.getOffset();
        EXPECT_EQ(offset, 2u + 2 * std::string("1 a one\n2 b two\n").size());
    }
    for (unsigned long line : {2ul, 0ul}) {
        SCOPED_TRACE(line);
        LMTextFileDocumentWithCurrentState doc(dir.file("u16"), MonitoringTextLog);
        doc.setTemplateXml(&t);
        doc.setOffset(offset);
        doc.setLineNumber(line);
        doc.openDocument();
        auto rows = readAll(doc);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].text, "3 c three\n");
        EXPECT_EQ(rows[0].line, 3u);
        EXPECT_EQ(doc.getOffset(), bytes.size());
    }
}
