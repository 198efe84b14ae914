#include <gtest/gtest.h>

#include <algorithm>

#include "DateMath.h"
#include "IndexCore.h"
#include "support/TestSupport.h"

using namespace lmindexd;

namespace {

UpdateCommand add(std::vector<std::pair<std::string, std::string>> fields) {
    UpdateCommand c;
    c.type = UpdateCommand::Type::Add;
    c.doc.fields = std::move(fields);
    return c;
}

UpdateCommand deleteQuery(const std::string& q) {
    UpdateCommand c;
    c.type = UpdateCommand::Type::DeleteByQuery;
    c.text = q;
    return c;
}

class IndexCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(parseIsoDate("2024-03-10T12:00:00Z", now_));
        open();
        std::vector<UpdateCommand> cmds = {
            add({{"contentid", "d1"}, {"MonitoringPolicyId", "5"}, {"status_if", "500"}, {"ratio_df", "0.5"},
                 {"LogLine", "GET /index.html failed with Error 500"}, {"FileName", "access.log"},
                 {"tag_ss", "web"}, {"tag_ss", "prod"}, {"eventTime", "2024-3-1T7:4:9.0Z"},
                 {"timestamp", "2024-3-1T7:4:9.0Z"}}),
            add({{"contentid", "d2"}, {"MonitoringPolicyId", "5"}, {"status_if", "200"}, {"ratio_df", "1.25"},
                 {"LogLine", "POST /login ok"}, {"FileName", "app-1.log"}, {"tag_ss", "web"},
                 {"eventTime", "2024-3-9T23:59:59.0Z"}}),
            add({{"contentid", "d3"}, {"MonitoringPolicyId", "7"}, {"status_if", "500"},
                 {"LogLine", "disk error on /dev/sda"}, {"FileName", "kern.log"},
                 {"FileUniqueId", "J12_F3456"}, {"eventTime", "2024-3-10T11:0:0.0Z"}}),
        };
        ASSERT_EQ(apply(cmds), kOk) << error_;
    }

    void open() {
        core_ = std::make_unique<IndexCore>("c", dir_.path());
        ASSERT_EQ(core_->open(error_), kOk) << error_;
    }

    int apply(std::vector<UpdateCommand> cmds) { return core_->apply(cmds, now_, error_); }

    // The contentids a query finds, in result order; "!" and the reason on failure.
    std::string ids(const std::string& q, const std::string& fq = "", const std::string& sort = "",
                    size_t start = 0, size_t rows = 100) {
        QueryParser parser;
        auto main = parser.parse(q, error_);
        if (!main) return "!" + error_;
        std::unique_ptr<QueryNode> filter;
        SearchRequest req;
        req.query = main.get();
        if (!fq.empty()) {
            filter = parser.parse(fq, error_);
            req.filters.push_back(filter.get());
        }
        if (!parseSort(sort, req.sort, error_)) return "!" + error_;
        req.start = start;
        req.rows = rows;
        req.nowMs = now_;
        SearchResult r;
        if (core_->search(req, r, error_) != kOk) return "!" + error_;
        std::string out = std::to_string(r.numFound) + ":";
        for (const auto& d : r.docs) out += " " + *d.value("contentid");
        return out;
    }

    lmtest::TempDir dir_{"indexcore"};
    std::unique_ptr<IndexCore> core_;
    std::string error_;
    int64_t now_ = 0;
};

}  // namespace

TEST_F(IndexCoreTest, AnswersEachQueryForm) {
    const std::pair<const char*, const char*> cases[] = {
        {"*:*", "3: d1 d2 d3"},
        {"MonitoringPolicyId:5 AND status_if:500", "1: d1"},
        {"MonitoringPolicyId:5 OR status_if:500", "3: d1 d2 d3"},
        {"status_if:500 -MonitoringPolicyId:7", "1: d1"},
        {"NOT MonitoringPolicyId:5", "1: d3"},
        {"error", "2: d1 d3"},                       // the default field, any letter case
        {"LogLine:\"failed with error\"", "1: d1"},
        {"LogLine:\"with failed\"", "0:"},
        {"LogLine:fail*", "1: d1"},
        {"LogLine:log?n", "1: d2"},
        {"LogLine:*", "3: d1 d2 d3"},
        {"FileName:access.log", "1: d1"},
        {"FileName:Access.log", "0:"},               // exact strings keep their case
        {"FileName:app*", "1: d2"},
        {"FileName:*.log", "3: d1 d2 d3"},
        {"FileName:[b TO l]", "1: d3"},
        {"tag_ss:prod", "1: d1"},
        {"tag_ss:web", "2: d1 d2"},
        {"status_if:[200 TO 500}", "1: d2"},
        {"status_if:{200 TO *]", "2: d1 d3"},
        {"ratio_df:[0.6 TO 2]", "1: d2"},
        {"eventTime:[2024-03-09T00:00:00Z TO NOW]", "2: d2 d3"},
        {"eventTime:[* TO NOW-7DAY]", "1: d1"},
        {"eventTime:[NOW/DAY TO NOW/DAY+1DAY}", "1: d3"},
        {"eventTime:\"2024-03-01T07:04:09Z\"", "1: d1"},
        {"FileUniqueId:J12_F3456", "1: d3"},         // an odd value of a numeric name stays findable
        {"timestamp:[* TO 2024-03-02T00:00:00Z]", "1: d1"},
        {"nosuchfield:x", "0:"},
        {"contentid:d2", "1: d2"},
        {"contentid:d* -contentid:d1", "2: d2 d3"},
        {"contentid:{d1 TO *]", "2: d2 d3"},
        {"contentid:?3", "1: d3"},
        {"(MonitoringPolicyId:5 AND tag_ss:web) AND NOT LogLine:login", "1: d1"},
    };
    for (const auto& [q, expected] : cases) EXPECT_EQ(ids(q), expected) << q;
}

TEST_F(IndexCoreTest, FiltersSortsAndPages) {
    EXPECT_EQ(ids("*:*", "status_if:500"), "2: d1 d3");
    EXPECT_EQ(ids("*:*", "", "status_if desc, ratio_df asc"), "3: d1 d3 d2");
    EXPECT_EQ(ids("*:*", "", "ratio_df desc"), "3: d2 d1 d3");  // a missing value sorts last
    EXPECT_EQ(ids("*:*", "", "eventTime desc", 1, 1), "3: d2");
    EXPECT_EQ(ids("*:*", "", "", 2, 5), "3: d3");
    EXPECT_EQ(ids("*:*", "", "", 0, 0), "3:");
    EXPECT_EQ(ids("*:*", "", "eventTime sideways").substr(0, 1), "!");
}

TEST_F(IndexCoreTest, ReplacesByContentidAndDeletesByQueryAndId) {
    ASSERT_EQ(apply({add({{"contentid", "d1"}, {"MonitoringPolicyId", "9"}, {"LogLine", "replaced"}})}), kOk) << error_;
    EXPECT_EQ(ids("*:*"), "3: d2 d3 d1");
    EXPECT_EQ(ids("error"), "1: d3");  // the old text left the index with the old document
    EXPECT_EQ(ids("MonitoringPolicyId:9"), "1: d1");
    EXPECT_EQ(ids("tag_ss:prod"), "0:");

    // d2 has no timestamp of its own: it got the time of indexing, which is not old.
    ASSERT_EQ(apply({add({{"contentid", "old"}, {"MonitoringPolicyId", "5"}, {"timestamp", "2024-3-2T0:0:0Z"}}),
                     deleteQuery("MonitoringPolicyId:5 AND timestamp:[* TO NOW-7DAY]")}),
              kOk)
        << error_;
    EXPECT_EQ(ids("MonitoringPolicyId:5"), "1: d2");

    UpdateCommand byId;
    byId.type = UpdateCommand::Type::DeleteById;
    byId.text = "d3";
    UpdateCommand missing = byId;
    missing.text = "never-indexed";
    ASSERT_EQ(apply({byId, missing}), kOk) << error_;
    EXPECT_EQ(ids("*:*"), "2: d2 d1");
    ASSERT_EQ(core_->optimize(error_), kOk) << error_;
    EXPECT_EQ(ids("LogLine:replaced"), "1: d1");
}

TEST_F(IndexCoreTest, RefusedRequestChangesNothing) {
    const std::vector<std::vector<UpdateCommand>> refused = {
        {add({{"contentid", "n1"}}), add({{"MonitoringPolicyId", "1"}})},               // no contentid
        {add({{"contentid", "n1"}}), add({{"contentid", "n2"}, {"code_if", "12a"}})},   // not an integer
        {add({{"contentid", "n1"}}), add({{"contentid", "n2"}, {"when_tf", "2024-3-5T7:4:9:0Z"}})},
        {add({{"contentid", "n1"}}), add({{"contentid", "n2"}, {"eventTime", "2024-3-5T10:20:30:0Z"}})},
        {add({{"contentid", "n1"}}), deleteQuery("MonitoringPolicyId:(5")},
    };
    for (const auto& cmds : refused) {
        EXPECT_EQ(apply(cmds), kBadRequest);
        EXPECT_FALSE(error_.empty());
        EXPECT_EQ(ids("*:*"), "3: d1 d2 d3");
    }
}

TEST_F(IndexCoreTest, KeepsEverythingAcrossReopen) {
    core_->close();
    core_.reset();
    open();
    EXPECT_EQ(ids("MonitoringPolicyId:5 AND status_if:500"), "1: d1");
    EXPECT_EQ(ids("LogLine:\"disk error\""), "1: d3");
    IndexCore::Status s;
    ASSERT_EQ(core_->status(s, error_), kOk);
    EXPECT_EQ(s.numDocs, 3);
    EXPECT_GT(s.sizeInBytes, 0);
}
