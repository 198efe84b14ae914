// The demo's sample access log read through the demo's checked-in template, with the engine's own
// document classes: what the demo indexes and the fields its searches name.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AccessLogGenerator.h"
#include "documents/LMDocumentFactory.h"
#include "indexing/IndexingTestHelpers.h"
#include "indexing/LMCIHelper.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/messages/catalogue/TemplateMessages.h"
#include "support/TestSupport.h"
#include "values/DateColumnData.h"
#include "values/IntColumnData.h"
#include "values/TimeColumnData.h"

using namespace LogMonitoring;

namespace {

const std::string kTemplatePath = std::string(LM_SOURCE_DIR) + "/examples/access-log.template.xml";

TemplateXML loadTemplate() {
    const std::string text = lmtest::readFile(kTemplatePath);
    std::unique_ptr<CNMessageBase> m(XMLDecoder::unSerialize(text, nullptr));
    const TemplateXML* t = m ? m->as<TemplateXML>() : nullptr;
    return t ? *t : TemplateXML();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::vector<std::string> words(const std::string& line, size_t count, std::string& rest) {
    std::vector<std::string> out;
    size_t at = 0;
    while (out.size() < count) {
        const size_t end = line.find(' ', at);
        out.push_back(line.substr(at, end - at));
        at = end == std::string::npos ? line.size() : end + 1;
    }
    rest = line.substr(at);
    return out;
}

// A record as this log's reader must see it, worked out from the raw lines: a line that starts
// with a digit (a date) starts a record, every other line belongs to the record before it.
struct Expected {
    unsigned long line = 0;
    std::string text;
    std::vector<std::string> fields; // the eight blank-separated columns of the first line
    std::string agent;               // the rest of the first line and the continuation lines
};

std::vector<Expected> expectedRecords(const std::string& content) {
    std::vector<Expected> out;
    unsigned long number = 0;
    for (const std::string& line : lines(content)) {
        ++number;
        if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
            Expected e;
            e.line = number;
            e.text = line;
            e.fields = words(line, 8, e.agent);
            out.push_back(std::move(e));
        } else if (!out.empty()) {
            out.back().text += "\n" + line;
            out.back().agent += "\n" + line;
        }
    }
    return out;
}

std::string cellText(LMDocumentColumn* cell) {
    return cell && cell->getColumnData() ? cell->getColumnData()->getDataAsString() : "<null>";
}

std::string generate(const lmtest::TempDir& dir, uint64_t count, uint64_t seed, lmgenlog::AccessLogStats& stats) {
    const std::string path = dir.file("access-" + std::to_string(count) + "-" + std::to_string(seed) + ".log");
    std::string error;
    EXPECT_EQ(0, lmgenlog::writeAccessLog(path, count, seed, stats, error)) << error;
    return path;
}

} // namespace

TEST(AccessLogExample, TemplateFileIsWhatTheMessageClassesWrite) {
    const std::string text = lmtest::readFile(kTemplatePath);
    std::unique_ptr<CNMessageBase> m(XMLDecoder::unSerialize(text, nullptr));
    ASSERT_TRUE(m && m->as<TemplateXML>()) << "not a TemplateXML: " << kTemplatePath;
    // Written by serialize and checked in unchanged: a hand edit that the classes would not
    // write (a misspelt field is dropped silently when read) shows up here.
    std::string again;
    ASSERT_EQ(0, m->serialize(again));
    EXPECT_EQ(again + "\n", text);

    const TemplateXML& t = *m->as<TemplateXML>();
    ASSERT_EQ(9u, t.columns_size());
    // Continuation lines join a record only when its last column is text.
    EXPECT_EQ(String, t.columns(8).dataType());
    EXPECT_EQ(1, t.separatorFlags());
}

TEST(AccessLogExample, EveryRecordParsesIntoTypedColumnsAndContinuationLinesJoinTheirRecord) {
    TemplateXML t = loadTemplate();
    ASSERT_EQ(9u, t.columns_size());
    lmtest::TempDir dir;
    struct Case {
        uint64_t lines, seed;
    };
    for (const Case& c : {Case{1, 1}, Case{2, 3}, Case{5000, 1}, Case{5000, 42}}) {
        SCOPED_TRACE(std::to_string(c.lines) + " lines, seed " + std::to_string(c.seed));
        lmgenlog::AccessLogStats stats;
        const std::string path = generate(dir, c.lines, c.seed, stats);
        const std::vector<Expected> expected = expectedRecords(lmtest::readFile(path));
        ASSERT_EQ(c.lines, stats.lines);
        ASSERT_EQ(stats.lines - stats.continuationLines, expected.size());
        ASSERT_EQ(stats.records, expected.size());
        if (c.lines > 1000) {
            ASSERT_GT(stats.continuationLines, 0u);
        }

        std::unique_ptr<LMDocument> doc(LMDocumentFactory::getDocumentObject(path, MonitoringTextLog));
        ASSERT_TRUE(doc);
        doc->setTemplateXml(&t);
        ASSERT_EQ(0, doc->openDocument());
        size_t n = 0, joined = 0;
        while (LMDocumentRow* raw = doc->read()) {
            std::unique_ptr<LMDocumentRow> row(raw);
            ASSERT_LT(n, expected.size());
            const Expected& e = expected[n++];
            SCOPED_TRACE("record at line " + std::to_string(e.line));
            EXPECT_EQ(e.line, row->getLineNumber());
            EXPECT_EQ(e.text, row->toString());
            const std::list<LMDocumentColumn*> list = row->getColumnList();
            const std::vector<LMDocumentColumn*> cells(list.begin(), list.end());
            ASSERT_EQ(9u, cells.size());

            auto* date = dynamic_cast<DateColumnData*>(cells[0]->getColumnData());
            ASSERT_TRUE(date);
            EXPECT_EQ(std::stoi(e.fields[0].substr(0, 2)), static_cast<int>(date->getValue().getDay()));
            EXPECT_EQ(12, static_cast<int>(date->getValue().getMonth()));
            EXPECT_EQ(2026, static_cast<int>(date->getValue().getYear()));
            auto* time = dynamic_cast<TimeColumnData*>(cells[1]->getColumnData());
            ASSERT_TRUE(time);
            EXPECT_EQ(std::stoi(e.fields[1].substr(0, 2)), static_cast<int>(time->getValue().getHour()));
            EXPECT_EQ(std::stoi(e.fields[1].substr(6, 2)), static_cast<int>(time->getValue().getSecond()));
            for (size_t i : {2u, 3u, 4u}) EXPECT_EQ(e.fields[i], cellText(cells[i])) << "column " << i;
            for (size_t i : {5u, 6u, 7u}) {
                auto* number = dynamic_cast<IntColumnData*>(cells[i]->getColumnData());
                ASSERT_TRUE(number) << "column " << i << " is not an integer";
                EXPECT_EQ(std::stoll(e.fields[i]), number->getValue()) << "column " << i;
            }
            EXPECT_EQ(e.agent, cellText(cells[8]));
            if (e.agent.find('\n') != std::string::npos) ++joined;
        }
        EXPECT_EQ(expected.size(), n);
        EXPECT_EQ(c.lines > 1000, joined > 0) << "records that took continuation lines";
    }
}

// The demo's searches and its benchmark name these fields; a change to the template or to how
// the engine names typed columns must show up here, not as a search that finds nothing.
TEST(AccessLogExample, IndexFieldsTheDemoSearches) {
    indextest::UtcZone zone;
    TemplateXML t = loadTemplate();
    lmtest::TempDir dir;
    lmgenlog::AccessLogStats stats;
    const std::string path = generate(dir, 3000, 1, stats);
    const std::vector<Expected> expected = expectedRecords(lmtest::readFile(path));

    std::unique_ptr<LMDocument> doc(LMDocumentFactory::getDocumentObject(path, MonitoringTextLog));
    ASSERT_TRUE(doc);
    doc->setTemplateXml(&t);
    ASSERT_EQ(0, doc->openDocument());
    bool sawTrace = false;
    for (size_t n = 0; LMDocumentRow* raw = doc->read(); ++n) {
        std::unique_ptr<LMDocumentRow> row(raw);
        ASSERT_LT(n, expected.size());
        const Expected& e = expected[n];
        // Records with a trace are the interesting ones; the first one stands for the plain kind.
        const bool trace = e.agent.find('\n') != std::string::npos;
        if (n != 0 && !(trace && !sawTrace)) continue;
        sawTrace = sawTrace || trace;

        LMCIHelper helper(2, "lm-demo");
        FilteredMessageInfo info = indextest::makeInfo(path, static_cast<uint32_t>(e.line));
        LMDocument* d = doc.get();
        ASSERT_EQ(0, helper.generateCIXMLFromTemplate(d, row.get(), info));
        const std::string& got = helper.currentDoc;
        SCOPED_TRACE(got);
        EXPECT_EQ(e.fields[5], indextest::fieldValue(got, "status_if"));
        EXPECT_EQ(e.fields[6], indextest::fieldValue(got, "bytes_if"));
        EXPECT_EQ(e.fields[7], indextest::fieldValue(got, "duration_if"));
        EXPECT_EQ(e.fields[3], indextest::fieldValue(got, "method_sf"));
        EXPECT_EQ(e.fields[4], indextest::fieldValue(got, "path_sf"));
        EXPECT_EQ(e.fields[2], indextest::fieldValue(got, "client_sf"));
        EXPECT_EQ(e.agent, indextest::fieldValue(got, "agent_lt"));
        // The record's own time, in UTC as the demo runs its host: day, hour, minute, second.
        const int day = std::stoi(e.fields[0].substr(0, 2));
        const std::string expectedTime = "2026-12-" + std::to_string(day) + "T" +
                                         std::to_string(std::stoi(e.fields[1].substr(0, 2))) + ":" +
                                         std::to_string(std::stoi(e.fields[1].substr(3, 2))) + ":" +
                                         std::to_string(std::stoi(e.fields[1].substr(6, 2))) + ".0Z";
        EXPECT_EQ(expectedTime, indextest::fieldValue(got, "eventTime"));
    }
    EXPECT_TRUE(sawTrace);
}

TEST(AccessLogGenerator, DeterministicExactAndVaried) {
    lmtest::TempDir dir;
    lmgenlog::AccessLogStats a, b, other;
    const std::string first = lmtest::readFile(generate(dir, 20000, 5, a));
    const std::string path = dir.file("again.log");
    std::string error;
    ASSERT_EQ(0, lmgenlog::writeAccessLog(path, 20000, 5, b, error)) << error;
    EXPECT_EQ(first, lmtest::readFile(path)) << "same count and seed, same bytes";
    EXPECT_NE(first, lmtest::readFile(generate(dir, 20000, 6, other)));
    EXPECT_EQ(first.size(), a.bytes);

    const std::vector<std::string> all = lines(first);
    ASSERT_EQ(20000u, all.size());
    const double share = static_cast<double>(a.continuationLines) / static_cast<double>(a.lines);
    EXPECT_GT(share, 0.03);
    EXPECT_LT(share, 0.07);
    std::set<int> classes;
    std::string lastStamp;
    uint64_t slow = 0, serverErrors = 0;
    for (const std::string& line : all) {
        if (line.empty() || line[0] < '0' || line[0] > '9') continue;
        std::string rest;
        const std::vector<std::string> f = words(line, 8, rest);
        ASSERT_EQ("-12-2026", f[0].substr(2)) << line;
        const int day = std::stoi(f[0].substr(0, 2));
        EXPECT_TRUE(day >= 1 && day <= 7) << line;
        const std::string stamp = f[0].substr(0, 2) + f[1];
        EXPECT_LE(lastStamp, stamp) << "time runs forward: " << line;
        lastStamp = stamp;
        const int status = std::stoi(f[5]);
        classes.insert(status / 100);
        if (status >= 500) ++serverErrors;
        if (std::stoll(f[7]) >= 1000) ++slow;
    }
    EXPECT_EQ((std::set<int>{2, 3, 4, 5}), classes);
    EXPECT_EQ(a.serverErrors, serverErrors);
    EXPECT_GT(slow, 0u);
    EXPECT_EQ("07", lastStamp.substr(0, 2)) << "the log spans the whole week";
}

TEST(AccessLogGenerator, CommandLine) {
    struct Case {
        std::vector<std::string> args;
        int rc;
        uint64_t lines = 0, seed = 1;
        std::string out = std::string(), error = std::string();
    };
    const std::vector<Case> cases = {
        {{"--lines", "10", "out.log"}, 0, 10, 1, "out.log"},
        {{"out.log", "--seed", "9", "--lines", "50000000"}, 0, 50000000, 9, "out.log"},
        {{"--lines", "0", "x"}, 2, 0, 1, "", "between 1 and"},
        {{"--lines", "50000001", "x"}, 2, 0, 1, "", "between 1 and"},
        {{"--lines", "-5", "x"}, 2, 0, 1, "", "decimal number"},
        {{"--lines", "12abc", "x"}, 2, 0, 1, "", "decimal number"},
        {{"--lines", "99999999999999999999999", "x"}, 2, 0, 1, "", "decimal number"},
        {{"--seed", "", "--lines", "3", "x"}, 2, 0, 1, "", "decimal number"},
        {{"x", "--lines"}, 2, 0, 1, "", "needs a value"},
        {{"x"}, 2, 0, 1, "", "--lines is needed"},
        {{"--lines", "5"}, 2, 0, 1, "", "output file is needed"},
        {{"--lines", "5", "a", "b"}, 2, 0, 1, "", "one output file"},
        {{"--bogus", "1", "x"}, 2, 0, 1, "", "unknown option"},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.args) joined += "[" + a + "]";
        lmgenlog::GenLogOptions o;
        std::string error;
        EXPECT_EQ(c.rc, lmgenlog::parseGenLogArgs(c.args, o, error)) << joined;
        if (c.rc != 0) {
            EXPECT_NE(std::string::npos, error.find(c.error)) << joined << ": " << error;
            continue;
        }
        EXPECT_EQ(c.lines, o.lines) << joined;
        EXPECT_EQ(c.seed, o.seed) << joined;
        EXPECT_EQ(c.out, o.out) << joined;
    }
    lmgenlog::GenLogOptions o;
    std::string error;
    EXPECT_EQ(0, lmgenlog::parseGenLogArgs({"--help"}, o, error));
    EXPECT_TRUE(o.help);

    // Writing refuses what the parser would refuse, and never writes into something that is not
    // a plain file.
    lmtest::TempDir dir;
    lmgenlog::AccessLogStats stats;
    EXPECT_EQ(1, lmgenlog::writeAccessLog(dir.path(), 10, 1, stats, error));
    EXPECT_NE(std::string::npos, error.find("not a regular file")) << error;
    EXPECT_EQ(1, lmgenlog::writeAccessLog(dir.file("none.log"), 0, 1, stats, error));
    EXPECT_FALSE(std::filesystem::exists(dir.file("none.log")));
    EXPECT_EQ(1, lmgenlog::writeAccessLog(dir.file("missing/x.log"), 10, 1, stats, error));
    EXPECT_NE(std::string::npos, error.find("cannot create")) << error;
}
