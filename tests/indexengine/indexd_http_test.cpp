// lm-indexd over real HTTP: each test starts the program on a free loopback port in a fresh
// folder and stops it by pid.
#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <thread>
#include <nlohmann/json.hpp>

#include "support/TestSupport.h"

#ifndef LM_INDEXD_BIN
#error "the tests need the lm-indexd program"
#endif

namespace {

using namespace std::chrono_literals;
using nlohmann::json;

class Indexd {
public:
    explicit Indexd(const std::string& dataDir, int port = 0) : dataDir_(dataDir) { start(port); }

    void start(int port) {
        ASSERT_TRUE(proc_.start({LM_INDEXD_BIN, "--data", dataDir_, "--port", std::to_string(port)}));
        const std::string line = proc_.waitForLine("listening on", 10s);
        ASSERT_FALSE(line.empty()) << proc_.output();
        const size_t colon = line.rfind(':');
        port_ = std::stoi(line.substr(colon + 1));
        ASSERT_GT(port_, 0);
    }

    int port() const { return port_; }
    std::string hostPort() const { return "127.0.0.1:" + std::to_string(port_); }
    lmtest::ChildProcess& process() { return proc_; }

    httplib::Result get(const std::string& path) {
        httplib::Client c("127.0.0.1", port_);
        c.set_read_timeout(60);
        return c.Get(path.c_str());
    }
    httplib::Result post(const std::string& path, const std::string& body,
                         const std::string& type = "application/xml; charset=utf-8 ") {
        httplib::Client c("127.0.0.1", port_);
        c.set_read_timeout(60);
        return c.Post(path.c_str(), body, type.c_str());
    }
    json selectJson(const std::string& core, const std::string& query) {
        auto r = get("/solr/" + core + "/select?wt=json&" + query);
        if (!r) return json();
        return json::parse(r->body, nullptr, false);
    }
    int64_t count(const std::string& core, const std::string& q = "*:*") {
        const json j = selectJson(core, "rows=0&q=" + httplib::detail::encode_query_param(q));
        return j.is_discarded() || !j.contains("response") ? -1 : j["response"]["numFound"].get<int64_t>();
    }

private:
    std::string dataDir_;
    lmtest::ChildProcess proc_;
    int port_ = 0;
};

std::string doc(const std::string& id, int policy, int status, const std::string& line,
                const std::string& extra = "") {
    return "<doc>\n<field name = \"contentid\">" + id + "</field>\n<field name = \"LogLine\">" + line +
           "</field>\n<field name = \"MonitoringPolicyId\">" + std::to_string(policy) +
           "</field>\n<field name = \"status_if\">" + std::to_string(status) +
           "</field>\n<field name = \"eventTime\">2024-3-5T7:4:9.0Z</field>\n" + extra + "</doc>\n";
}

std::string batch(const std::string& docs) { return "<add> " + docs + "</add>"; }

std::vector<std::string> ids(const json& j) {
    std::vector<std::string> out;
    if (!j.contains("response")) return out;
    for (const auto& d : j["response"]["docs"]) out.push_back(d["contentid"].get<std::string>());
    return out;
}

class IndexdHttp : public ::testing::Test {
protected:
    lmtest::TempDir dir_{"indexd"};
};

}  // namespace

TEST_F(IndexdHttp, AddsReplacesAndAnswersInBothFormats) {
    Indexd s(dir_.path());
    auto r = s.post("/solr/kqcorelm0/LMUpdateHandler?",
                    batch(doc("a", 5, 500, "GET /x failed &amp;amp; Error", "<field name = \"tag_ss\">t1</field>\n"
                                                                             "<field name = \"tag_ss\">t2</field>\n") +
                          doc("b", 5, 200, "POST /login ok") + doc("c", 7, 500, "disk error")));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_NE(r->body.find("<int name=\"status\">0</int>"), std::string::npos) << r->body;
    r = s.post("/solr/kqcorelm0/LMUpdateHandler?softCommit=true", "<add> </add>");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);

    json j = s.selectJson("kqcorelm0", "q=MonitoringPolicyId:5%20AND%20status_if:500");
    ASSERT_EQ(ids(j), std::vector<std::string>{"a"});
    const json& a = j["response"]["docs"][0];
    EXPECT_EQ(a["LogLine"], "GET /x failed &amp; Error");  // entities decoded once
    EXPECT_EQ(a["MonitoringPolicyId"], 5);
    EXPECT_EQ(a["tag_ss"], json::array({"t1", "t2"}));
    EXPECT_EQ(a["eventTime"], "2024-3-5T7:4:9.0Z");
    EXPECT_TRUE(a.contains("timestamp"));

    // Replace b by its id; rows, start, sort and fl.
    r = s.post("/solr/kqcorelm0/update?commit=true", batch(doc("b", 5, 404, "POST /login refused")));
    ASSERT_TRUE(r);
    EXPECT_EQ(s.count("kqcorelm0"), 3);
    EXPECT_EQ(s.count("kqcorelm0", "LogLine:ok"), 0);
    j = s.selectJson("kqcorelm0", "q=*:*&sort=status_if%20asc&start=1&rows=1&fl=contentid,status_if");
    EXPECT_EQ(j["response"]["numFound"], 3);
    ASSERT_EQ(ids(j), std::vector<std::string>{"a"});
    EXPECT_EQ(j["response"]["docs"][0].size(), 2u);
    j = s.selectJson("kqcorelm0", "q=error&fq=MonitoringPolicyId:7&fq=status_if:500");
    EXPECT_EQ(ids(j), std::vector<std::string>{"c"});

    // Each query form once over HTTP (the forms' details are covered below the server).
    const std::pair<const char*, int64_t> forms[] = {
        {"LogLine:\"failed &amp; error\"", 1}, {"LogLine:refus*", 1}, {"LogLine:l?gin", 1}, {"disk", 1},
        {"status_if:[400 TO *]", 3}, {"status_if:{404 TO 500}", 0}, {"eventTime:[* TO NOW-1YEAR/DAY]", 3},
        {"eventTime:[NOW-1DAY TO NOW]", 0}, {"timestamp:[NOW-1HOUR TO NOW+1HOUR]", 3},
        {"+MonitoringPolicyId:5 -tag_ss:t1", 1}, {"NOT MonitoringPolicyId:5", 1},
        {"(MonitoringPolicyId:7 OR tag_ss:t2) AND status_if:500", 2}, {"contentid:a*", 1}, {"tag_ss:*", 1},
    };
    for (const auto& [q, n] : forms) EXPECT_EQ(s.count("kqcorelm0", q), n) << q;

    // The XML shape, as the default.
    r = s.get("/solr/kqcorelm0/select?q=contentid:c&fl=contentid,status_if");
    ASSERT_TRUE(r);
    EXPECT_NE(r->body.find("<int name=\"status\">0</int>"), std::string::npos);
    EXPECT_NE(r->body.find("<result name=\"response\" numFound=\"1\" start=\"0\"><doc><str name=\"contentid\">c</str>"
                           "<long name=\"status_if\">500</long></doc></result>"),
              std::string::npos)
        << r->body;

    // POST with form parameters selects too.
    httplib::Client c("127.0.0.1", s.port());
    r = c.Post("/solr/kqcorelm0/select", httplib::Params{{"q", "status_if:404"}, {"wt", "json"}});
    ASSERT_TRUE(r);
    EXPECT_EQ(ids(json::parse(r->body)), std::vector<std::string>{"b"});
}

TEST_F(IndexdHttp, DeletesByQueryWithDateMathAndOptimizes) {
    Indexd s(dir_.path());
    const std::string old = "<field name = \"timestamp\">2020-1-1T0:0:0.0Z</field>\n";
    for (const char* core : {"kqcorelm0", "kqcorelm1"}) {
        auto r = s.post(std::string("/solr/") + core + "/update",
                        batch(doc("old", 5, 1, "x", old) + doc("new", 5, 1, "y") + doc("other", 6, 1, "z", old)));
        ASSERT_TRUE(r);
        ASSERT_EQ(r->status, 200) << r->body;
    }
    // The space check's request, byte for byte (note the encoded blank after commit=true).
    auto r = s.post("/solr/kqcorelm0/update?stream.body=%3Cdelete%3E%3Cquery%3EMonitoringPolicyId:5%20AND%20timestamp:"
                    "[*%20TO%20NOW-7DAY]%20%3C/query%3E%3C/delete%3E&commit=true%20",
                    " ", "application/x-www-form-urlencoded");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(s.count("kqcorelm0"), 2);
    EXPECT_EQ(s.count("kqcorelm0", "contentid:old"), 0);
    EXPECT_EQ(s.count("kqcorelm1"), 3);

    // Without a core the delete reaches every core.
    r = s.post("/solr/update?stream.body=%3Cdelete%3E%3Cquery%3EMonitoringPolicyId:6%3C/query%3E%3C/delete%3E"
               "&commit=true%20",
               "  ");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(s.count("kqcorelm0"), 1);
    EXPECT_EQ(s.count("kqcorelm1"), 2);

    r = s.post("/solr/kqcorelm1/update?optimize=true", " ");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    r = s.get("/solr/kqcorelm1/update?stream.body=%3Coptimize/%3E");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_EQ(s.count("kqcorelm1", "LogLine:y"), 1);
}

TEST_F(IndexdHttp, AdministersCores) {
    Indexd s(dir_.path());
    ASSERT_TRUE(s.post("/solr/kqcorelm_12_2021_3_7/update", batch(doc("a", 12, 1, "x") + doc("b", 12, 1, "y"))));
    auto r = s.get("/solr/admin/cores?action=CREATE&name=empty");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;

    r = s.post("/solr/admin/cores?action=STATUS&wt=xml", " ");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->body.rfind("<?xml", 0), 0u);
    EXPECT_NE(r->body.find("<lst name=\"kqcorelm_12_2021_3_7\"><str name=\"name\">kqcorelm_12_2021_3_7</str>"),
              std::string::npos)
        << r->body;
    EXPECT_NE(r->body.find("<int name=\"numDocs\">2</int>"), std::string::npos);
    EXPECT_EQ(r->body.find('\''), std::string::npos);

    r = s.get("/solr/admin/cores?action=STATUS&core=kqcorelm_12_2021_3_7&wt=json");
    ASSERT_TRUE(r);
    json j = json::parse(r->body);
    EXPECT_EQ(j["responseHeader"]["status"], 0);
    ASSERT_EQ(j["status"].size(), 1u);
    EXPECT_EQ(j["status"]["kqcorelm_12_2021_3_7"]["index"]["numDocs"], 2);
    EXPECT_GT(j["status"]["kqcorelm_12_2021_3_7"]["index"]["sizeInBytes"].get<int64_t>(), 0);

    r = s.get("/solr/api/admin/cores");
    ASSERT_TRUE(r);
    EXPECT_EQ(json::parse(r->body)["response"], json::array({"empty", "kqcorelm_12_2021_3_7"}));

    // The unload the retention check sends.
    const std::string folder = dir_.path() + "/kqcorelm_12_2021_3_7";
    ASSERT_TRUE(std::filesystem::exists(folder + "/index.db"));
    r = s.post("/solr/admin/cores?action=UNLOAD&core=kqcorelm_12_2021_3_7&deleteIndex=true&deleteDataDir=true", " ");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200) << r->body;
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(json::parse(s.get("/solr/api/admin/cores")->body)["response"], json::array({"empty"}));
    r = s.get("/solr/kqcorelm_12_2021_3_7/select?q=*:*");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 404);

    // Unloading without deletion keeps the files but the core stays away after a restart.
    r = s.get("/solr/admin/cores?action=UNLOAD&core=empty");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 200);
    EXPECT_TRUE(std::filesystem::exists(dir_.path() + "/empty/index.db"));
    r = s.get("/solr/admin/cores?action=UNLOAD&core=empty");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 400);
}

TEST_F(IndexdHttp, SearchesShardsOnOneAndTwoServers) {
    lmtest::TempDir other("indexd2");
    Indexd s1(dir_.path());
    Indexd s2(other.path());
    ASSERT_TRUE(s1.post("/solr/kqcorelm_5_2024_3_5/update", batch(doc("a1", 5, 500, "x") + doc("a2", 5, 200, "x"))));
    ASSERT_TRUE(s1.post("/solr/kqcorelm_5_2024_3_6/update", batch(doc("b1", 5, 500, "x"))));
    ASSERT_TRUE(s2.post("/solr/kqcorelm_5_2024_3_7/update", batch(doc("c1", 5, 500, "x") + doc("c2", 5, 300, "x"))));

    const std::string local = s1.hostPort() + "/solr/kqcorelm_5_2024_3_5," + s1.hostPort() + "/solr/kqcorelm_5_2024_3_6,";
    json j = s1.selectJson("kqcorelm_5_2024_3_5", "q=status_if:500&shards=" + local);
    EXPECT_EQ(j["response"]["numFound"], 2);
    EXPECT_EQ(ids(j), (std::vector<std::string>{"a1", "b1"}));

    const std::string both = local + s2.hostPort() + "/solr/kqcorelm_5_2024_3_7";
    j = s1.selectJson("kqcorelm_5_2024_3_5", "q=*:*&sort=status_if%20desc,contentid%20asc&rows=3&shards=" + both);
    EXPECT_EQ(j["response"]["numFound"], 5);
    EXPECT_EQ(ids(j), (std::vector<std::string>{"a1", "b1", "c1"}));
    j = s1.selectJson("kqcorelm_5_2024_3_5", "q=*:*&sort=status_if%20desc,contentid%20asc&start=3&shards=" + both);
    EXPECT_EQ(ids(j), (std::vector<std::string>{"c2", "a2"}));

    // A shard that does not answer fails the whole query with status 500.
    const int dead = lmtest::freeLoopbackPort();
    auto r = s1.get("/solr/kqcorelm_5_2024_3_5/select?q=*:*&wt=xml&shards=" + local + "127.0.0.1:" +
                    std::to_string(dead) + "/solr/kqcorelm_5_2024_3_9");
    ASSERT_TRUE(r);
    EXPECT_NE(r->body.find("<int name=\"status\">500<"), std::string::npos) << r->body;
}

TEST_F(IndexdHttp, KeepsCommittedDataAcrossKillAndStop) {
    int port = 0;
    {
        Indexd s(dir_.path());
        port = s.port();
        ASSERT_TRUE(s.post("/solr/kqcorelm0/update", batch(doc("a", 5, 500, "alpha") + doc("b", 5, 200, "beta"))));
        ASSERT_TRUE(s.post("/solr/kqcorelm0/update?commit=true", batch(doc("a", 5, 501, "alpha again"))));
        ASSERT_TRUE(s.process().signal(SIGKILL));
        EXPECT_NE(s.process().wait(10s), -1);
    }
    {
        Indexd s(dir_.path(), port);
        EXPECT_EQ(s.count("kqcorelm0"), 2);
        EXPECT_EQ(s.count("kqcorelm0", "status_if:501 AND LogLine:again"), 1);
        EXPECT_EQ(s.count("kqcorelm0", "status_if:500"), 0);
        ASSERT_TRUE(s.post("/solr/kqcorelm1/update", batch(doc("c", 6, 1, "gamma"))));
        ASSERT_TRUE(s.process().signal(SIGTERM));
        const int status = s.process().wait(20s);
        ASSERT_NE(status, -1);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/kqcorelm1/index.db-wal") &&
                     std::filesystem::file_size(dir_.path() + "/kqcorelm1/index.db-wal") > 0);
    }
    Indexd s(dir_.path());
    EXPECT_EQ(s.count("kqcorelm1", "LogLine:gamma"), 1);
    EXPECT_EQ(s.count("kqcorelm0"), 2);
}

TEST_F(IndexdHttp, StopSignalFinishesTheUpdateInFlight) {
    std::string docs;
    for (int i = 0; i < 20000; ++i) docs += doc("d" + std::to_string(i), 5, 200, "line number " + std::to_string(i));
    const std::string body = batch(docs);
    int port = 0;
    {
        Indexd s(dir_.path());
        port = s.port();
        int replyStatus = 0;
        std::string replyBody;
        std::thread poster([&] {
            auto r = s.post("/solr/kqcorelm0/update", body);
            if (r) {
                replyStatus = r->status;
                replyBody = r->body;
            }
        });
        // The core's file appears once the body has been read and the update has begun.
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        while (!std::filesystem::exists(dir_.path() + "/kqcorelm0/index.db") &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(5ms);
        }
        ASSERT_TRUE(s.process().signal(SIGTERM));
        poster.join();
        EXPECT_EQ(replyStatus, 200) << replyBody;
        const int status = s.process().wait(30s);
        ASSERT_NE(status, -1);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    Indexd s(dir_.path(), port);
    EXPECT_EQ(s.count("kqcorelm0"), 20000);
}

TEST_F(IndexdHttp, RefusesBadInputAndKeepsServing) {
    Indexd s(dir_.path());
    ASSERT_TRUE(s.post("/solr/kqcorelm0/update", batch(doc("a", 5, 500, "alpha"))));
    struct Case {
        const char* what;
        std::string method, path, body;
        int status;
    };
    const Case cases[] = {
        {"malformed XML", "POST", "/solr/kqcorelm0/update", "<add><doc><field name=\"contentid\">z</field></add>", 400},
        {"half a batch bad", "POST", "/solr/kqcorelm0/update",
         batch(doc("z1", 5, 1, "ok") + "<doc><field name = \"code_if\">12x</field><field name = \"contentid\">z2</field></doc>"),
         400},
        {"unknown command", "POST", "/solr/kqcorelm0/update", "<rollback/>", 400},
        {"unknown action", "GET", "/solr/admin/cores?action=SPLIT", "", 400},
        {"query that does not parse", "GET", "/solr/kqcorelm0/select?q=status_if:(500", "", 400},
        {"delete query that does not parse", "GET",
         "/solr/kqcorelm0/update?stream.body=%3Cdelete%3E%3Cquery%3Ea:[1%3C/query%3E%3C/delete%3E", "", 400},
        {"core name with ..", "POST", "/solr/..%2Fescape/update", batch(doc("z3", 1, 1, "x")), 400},
        {"core name with /", "POST", "/solr/a%2Fb/update", batch(doc("z4", 1, 1, "x")), 400},
        {"create with ..", "GET", "/solr/admin/cores?action=CREATE&name=..", "", 400},
        {"bad rows", "GET", "/solr/kqcorelm0/select?q=*:*&rows=ten", "", 400},
        {"select on a missing core", "GET", "/solr/nosuchcore/select?q=*:*", "", 404},
        {"body over 64 MiB", "POST", "/solr/kqcorelm0/update", std::string(64 * 1024 * 1024 + 1, ' '), 413},
    };
    for (const Case& c : cases) {
        auto r = c.method == "GET" ? s.get(c.path) : s.post(c.path, c.body);
        ASSERT_TRUE(r) << c.what;
        EXPECT_EQ(r->status, c.status) << c.what << ": " << r->body;
        EXPECT_NE(r->body.find("<int name=\"status\">" + std::to_string(c.status) + "</int>"), std::string::npos)
            << c.what << ": " << r->body;
        EXPECT_NE(r->body.find("<lst name=\"error\">"), std::string::npos) << c.what;
        EXPECT_EQ(s.count("kqcorelm0"), 1) << c.what;  // nothing half-written, still serving
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/escape"));
    EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/../escape"));
    auto r = s.get("/solr/kqcorelm0/select?q=*:*&wt=json&rows=x");
    ASSERT_TRUE(r);
    EXPECT_EQ(json::parse(r->body)["responseHeader"]["status"], 400);
}
