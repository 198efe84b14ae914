#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <curl/curl.h>

#include <filesystem>

#include "network/SessionTestMessages.h"
#include "platform/gateway/KqCurlGlobal.h"
#include "platform/mgmt/KQClient.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LogMonitor.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/registry/KQRegistryStore.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;

namespace {

struct CtlResult {
    int exitCode = -1;
    std::string output;
};

CtlResult lmctl(const std::string& registry, std::vector<std::string> args) {
    std::vector<std::string> argv = {LMCTL_BIN, "--registry", registry};
    argv.insert(argv.end(), args.begin(), args.end());
    lmtest::ChildProcess p;
    CtlResult r;
    if (!p.start(argv)) return r;
    int status = p.wait(30s);
    r.output = p.output();
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// lmctl builds an instance that lm-host serves and the management client reads.
TEST(Lmctl, BuildsAnInstanceThatTheHostServes) {
    lmtest::TempDir dir("lmctl");
    const std::string reg = dir.file("instance/registry.ini");
    const int port = lmtest::freeLoopbackPort();
    lmtest::writeFile(dir.file("web.xml"),
                      "<LogMonitoring_TemplateXML><customSeparator>|</customSeparator></LogMonitoring_TemplateXML>");
    lmtest::writeFile(dir.file("junk.xml"), "<nothing/>");

    struct Step {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Step steps[] = {
        {{"init", "--instance", "Inst7", "--client-name", "hostA", "--port", std::to_string(port), "--home",
          dir.file("instance")},
         0, "initialised instance Inst7"},
        {{"init"}, 1, "initialised already"},
        {{"client", "add", "engine1", "--host", "127.0.0.1", "--port", "9301", "--id", "7"}, 0, "id 7"},
        {{"client", "add", "engine1", "--host", "127.0.0.1", "--port", "9301"}, 1, "exists already"},
        {{"client", "add", "engine2", "--host", "127.0.0.1"}, 1, "--port"},
        {{"cloud", "add", "main", "--id", "3"}, 0, "id 3"},
        {{"node", "add", "main", "--client", "engine1", "--host", "127.0.0.1", "--port", "8983", "--free-space", "9"},
         0, "added to cloud main"},
        {{"node", "add", "nocloud", "--client", "engine1", "--host", "h", "--port", "1"}, 1, "no cloud named"},
        {{"template", "add", dir.file("web.xml"), "--type", "2"}, 0, "template web added"},
        {{"template", "add", dir.file("junk.xml")}, 1, "not a template definition"},
        {{"template", "add", dir.file("missing.xml")}, 1, "cannot read"},
        {{"policy", "add", "weblogs", "--template", "web", "--type", "4", "--cloud", "main", "--property",
          "Factor=1"},
         0, "policy weblogs added"},
        {{"policy", "add", "broken", "--template", "nope"}, 1, "no template named [nope]"},
        {{"policy", "set-property", "weblogs", "age ci data after days", "30"}, 0, "age ci data after days = 30"},
        {{"policy", "set-property", "ghost", "Factor", "1"}, 1, "no policy named"},
        {{"frobnicate"}, 2, "unknown command"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args[0] + (s.args.size() > 1 ? " " + s.args[1] : ""));
        CtlResult r = lmctl(reg, s.args);
        EXPECT_EQ(s.exitCode, r.exitCode) << r.output;
        EXPECT_NE(std::string::npos, r.output.find(s.says)) << r.output;
    }
    CtlResult shown = lmctl(reg, {"show"});
    ASSERT_EQ(0, shown.exitCode) << shown.output;
    for (const char* line : {"2 hostA (short hostA) at 127.0.0.1:", "7 engine1", "3 main: node client 7 engine1 engine "
                             "127.0.0.1:8983 free 9", "web type 2", "weblogs type 4 templates web",
                             "weblogs: Cloud Id = 3", "weblogs: age ci data after days = 30", "never reported"})
        EXPECT_NE(std::string::npos, shown.output.find(line)) << line << "\n" << shown.output;

    // The registry lmctl wrote is the instance's: the management client and the host use it.
    KQPlatformInfo::useRegistryFile(reg);
    std::string value, error;
    EXPECT_EQ(0, LogMonitor().getProperties(2, 1, "Factor", value, error, nullptr)) << error;
    EXPECT_EQ("1", value);
    std::string mangled;
    ASSERT_EQ(0, KQClient("hostA", 0, 0).getNetworkHostnameMangled(mangled));
    EXPECT_EQ("127.0.0.1:" + std::to_string(port), mangled);

    KQRegistryStore store(reg);
    ASSERT_TRUE(store.set("RemoteModules", "sTestEcho/sTestEchoEntry.library",
                          std::string(LM_BINARY_DIR) + "/lib/liblm_test_echo_module.so"));
    ASSERT_TRUE(store.set("RemoteModules", "sTestEcho/sTestEchoEntry.symbol", "LMTestEchoEntry"));
    lmtest::ChildProcess host;
    ASSERT_TRUE(host.start({LM_HOST_BIN, "--registry", reg}));
    ASSERT_FALSE(host.waitForLine("listening on 127.0.0.1:" + std::to_string(port), 10s).empty()) << host.output();
    CKqNetwork c;
    bool aborted = false;
    CZuError e = c.Attach_RemoteDLL(mangled, KqRemoteModuleDescriptor("sTestEcho", "sTestEchoEntry"), "hostA", 120,
                                    aborted);
    ASSERT_FALSE(e.IsError()) << e.AsString();
    LMTest::SessionEcho m;
    m.set_body("through the instance lmctl built");
    ASSERT_FALSE(c.SendXMLMessage(m, 0, 10, aborted).IsError());
    std::unique_ptr<CNMessageBase> got;
    ASSERT_FALSE(c.ReceiveXMLMessage(got, 10, aborted).IsError());
    EXPECT_EQ(m.body(), got->as<LMTest::SessionEcho>()->body());
    EXPECT_FALSE(c.Disconnect(120, aborted).IsError());
    ASSERT_TRUE(host.signal(SIGTERM));
    int status = host.wait(15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t nl = text.find('\n', at);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    return out;
}

// An instance whose host listens on `hostPort` (when started) and whose policy "weblogs" (id 21)
// posts into the index engine on `enginePort`. Answers the registry's path.
std::string uploadInstance(const lmtest::TempDir& dir, int hostPort, int enginePort) {
    const std::string reg = dir.file("instance/registry.ini");
    lmtest::writeFile(dir.file("web.xml"),
                      "<LogMonitoring_TemplateXML><customSeparator>|</customSeparator></LogMonitoring_TemplateXML>");
    const std::vector<std::vector<std::string>> steps = {
        {"init", "--client-name", "hostA", "--port", std::to_string(hostPort), "--home", dir.file("instance")},
        {"client", "add", "engine1", "--host", "127.0.0.1", "--port", "9301", "--id", "7"},
        {"cloud", "add", "main", "--id", "3"},
        {"node", "add", "main", "--client", "engine1", "--host", "127.0.0.1", "--port", std::to_string(enginePort)},
        {"template", "add", dir.file("web.xml")},
        {"policy", "add", "weblogs", "--template", "web", "--cloud", "main", "--id", "21"},
        {"policy", "add", "other", "--template", "web", "--cloud", "main", "--id", "22"},
    };
    for (const auto& s : steps) {
        CtlResult r = lmctl(reg, s);
        EXPECT_EQ(0, r.exitCode) << s[0] << ": " << r.output;
    }
    return reg;
}

// What an upload left in the instance: staged folders, file rows and the policy's state.
struct UploadTraces {
    size_t stagedFolders = 0;
    int64_t fileRows = -1;
    bool hasState = true;
};

UploadTraces tracesOf(const lmtest::TempDir& dir) {
    UploadTraces t;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir.file("instance/uploads"), ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++t.stagedFolders;
    KQManagementDB db;
    if (db.open(dir.file("instance/management.db")) != 0) return t;
    KQSqlStatement rows(db.handle(), "SELECT count(*) FROM policy_files");
    if (rows.step()) t.fileRows = rows.getInt(0);
    KQSqlStatement state(db.handle(), "SELECT state FROM policies WHERE id = 21");
    if (state.step()) t.hasState = !state.isNull(0);
    return t;
}

// An upload that does not get through leaves nothing behind: no staged copy, no file row, and
// the policy's state as it was. The host is missing, or answers with something else than a
// processing response (the echo module standing in for the dispatcher sends the request back).
TEST(LmctlUpload, UploadThatDoesNotGetThroughLeavesNothingBehind) {
    lmtest::TempDir dir("lmctlup");
    const int hostPort = lmtest::freeLoopbackPort();
    const std::string reg = uploadInstance(dir, hostPort, lmtest::freeLoopbackPort());
    lmtest::writeFile(dir.file("a.log"), "one\ntwo\n");
    lmtest::writeFile(dir.file("b.log"), "three");
    std::filesystem::create_directory(dir.file("folder"));

    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case before[] = {
        {{"upload", "weblogs", dir.file("a.log"), dir.file("missing.log")}, "cannot upload"},
        {{"upload", "weblogs", dir.file("folder"), dir.file("a.log")}, "not a regular file"},
        {{"upload", "nosuch", dir.file("a.log")}, "no policy named [nosuch]"},
        {{"upload", "weblogs", dir.file("a.log"), dir.file("b.log")}, "cannot reach the engine host"},
        {{"upload", "weblogs"}, "needs POLICY and at least one FILE"},
    };
    for (const Case& c : before) {
        SCOPED_TRACE(c.args.back());
        CtlResult r = lmctl(reg, c.args);
        EXPECT_NE(0, r.exitCode) << r.output;
        EXPECT_NE(std::string::npos, r.output.find(c.says)) << r.output;
        UploadTraces t = tracesOf(dir);
        EXPECT_EQ(0u, t.stagedFolders);
        EXPECT_EQ(0, t.fileRows);
        EXPECT_FALSE(t.hasState);
    }

    KQRegistryStore store(reg);
    ASSERT_TRUE(store.set("RemoteModules", "sLMCIUTIL/sLMCIUTILENTRY.library",
                          std::string(LM_BINARY_DIR) + "/lib/liblm_test_echo_module.so"));
    ASSERT_TRUE(store.set("RemoteModules", "sLMCIUTIL/sLMCIUTILENTRY.symbol", "LMTestEchoEntry"));
    lmtest::ChildProcess host;
    ASSERT_TRUE(host.start({LM_HOST_BIN, "--registry", reg}));
    ASSERT_FALSE(host.waitForLine("listening on", 10s).empty()) << host.output();
    CtlResult r = lmctl(reg, {"upload", "weblogs", dir.file("a.log"), "--wait"});
    EXPECT_EQ(1, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("another message than a processing response")) << r.output;
    UploadTraces t = tracesOf(dir);
    EXPECT_EQ(0u, t.stagedFolders);
    EXPECT_EQ(0, t.fileRows);
    EXPECT_FALSE(t.hasState);
    host.signal(SIGTERM);
    host.wait(15s);
}

// A whole upload with --wait, against a stand-in for the engine's dispatcher that reports each
// file indexed and removes its staging folder: the lines a demo script reads, and exit 0.
TEST(LmctlUpload, WaitFollowsTheRunToItsSummary) {
    lmtest::TempDir dir("lmctlwait");
    const std::string reg = uploadInstance(dir, lmtest::freeLoopbackPort(), lmtest::freeLoopbackPort());
    lmtest::writeFile(dir.file("a.log"), "one\ntwo\n");
    lmtest::writeFile(dir.file("b.log"), "three");
    KQRegistryStore store(reg);
    ASSERT_TRUE(store.set("RemoteModules", "sLMCIUTIL/sLMCIUTILENTRY.library",
                          std::string(LM_BINARY_DIR) + "/lib/liblm_test_echo_module.so"));
    ASSERT_TRUE(store.set("RemoteModules", "sLMCIUTIL/sLMCIUTILENTRY.symbol", "LMTestUploadEntry"));
    lmtest::ChildProcess host;
    ASSERT_TRUE(host.start({LM_HOST_BIN, "--registry", reg}));
    ASSERT_FALSE(host.waitForLine("listening on", 10s).empty()) << host.output();

    CtlResult r = lmctl(reg, {"upload", "weblogs", dir.file("a.log"), dir.file("b.log"), "--tags", "t1", "--wait",
                              "--timeout", "20"});
    EXPECT_EQ(0, r.exitCode) << r.output;
    auto lines = linesOf(r.output);
    ASSERT_GE(lines.size(), 6u) << r.output;
    EXPECT_EQ(0u, lines[0].find("request U21_")) << lines[0];
    const std::string id0 = lines[0].substr(8, lines[0].find(' ', 8) - 8);
    EXPECT_EQ("request " + id0 + " a.log", lines[0]);
    const std::string id1 = lines[1].substr(8, lines[1].find(' ', 8) - 8);
    EXPECT_EQ("request " + id1 + " b.log", lines[1]);
    EXPECT_NE(id0, id1); // one request, and one staging folder, per file
    EXPECT_EQ("upload accepted: 2 files, 13 bytes, 3 lines", lines[2]);
    EXPECT_NE(std::string::npos, r.output.find("progress: 2/2 files done, 13 bytes indexed\n")) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("file a.log " + id0 + " indexed result 0 bytes 8 lines 2\n"))
        << r.output;
    EXPECT_NE(std::string::npos, r.output.find(" indexed result 0 bytes 5 lines 1\n")) << r.output;
    EXPECT_EQ(0u, lines.back().find("done: 2 files indexed, 0 failed, 3 lines read, -1 documents in the index, "))
        << lines.back();
    EXPECT_EQ(0u, tracesOf(dir).stagedFolders);
    host.signal(SIGTERM);
    host.wait(15s);
}

size_t collectBody(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// Posts an XML update to a core of lm-indexd; true when it answered 200.
bool postUpdate(int port, const std::string& core, const std::string& xml) {
    if (LIBCURL::ensureCurlGlobalInit() != 0) return false;
    std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/solr/" + core + "/update?commit=true";
    std::string body;
    struct curl_slist* headers = curl_slist_append(nullptr, "Content-Type: text/xml");
    curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(h.get(), CURLOPT_POSTFIELDS, xml.c_str());
    curl_easy_setopt(h.get(), CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &collectBody);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &body);
    long status = 0;
    bool ok = curl_easy_perform(h.get()) == CURLE_OK &&
              curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
    curl_slist_free_all(headers);
    return ok;
}

std::string doc(const std::string& id, int policy, const std::string& line) {
    return "<doc><field name=\"contentid\">" + id + "</field><field name=\"MonitoringPolicyId\">" +
           std::to_string(policy) + "</field><field name=\"LogLine\">" + line + "</field></doc>";
}


// search asks every core of the policy, and the shared plain cores only for the policy's own
// documents; other policies' cores stay out.
TEST(LmctlSearch, FindsThePolicysDocumentsInItsCoresAndThePlainOnes) {
    lmtest::TempDir dir("lmctlsearch");
    const int enginePort = lmtest::freeLoopbackPort();
    lmtest::ChildProcess indexd;
    ASSERT_TRUE(indexd.start({LM_INDEXD_BIN, "--data", dir.file("indexd"), "--port", std::to_string(enginePort)}));
    ASSERT_FALSE(indexd.waitForLine("listening on", 15s).empty()) << indexd.output();
    const std::string reg = uploadInstance(dir, lmtest::freeLoopbackPort(), enginePort);

    CtlResult none = lmctl(reg, {"search", "weblogs", "*:*"});
    EXPECT_EQ(0, none.exitCode) << none.output;
    EXPECT_EQ("0 matches\n", none.output);

    const std::string longLine(300, 'x');
    ASSERT_TRUE(postUpdate(enginePort, "kqcorelm_21_2026_12_01",
                           "<add>" + doc("d1", 21, "alpha one") + doc("d3", 21, longLine) + "</add>"));
    ASSERT_TRUE(postUpdate(enginePort, "kqcorelm_21_W49_2026", "<add>" + doc("d2", 21, "alpha two") + "</add>"));
    ASSERT_TRUE(postUpdate(enginePort, "kqcorelm0",
                           "<add>" + doc("p1", 21, "alpha plain") + doc("p2", 22, "alpha foreign") + "</add>"));
    ASSERT_TRUE(postUpdate(enginePort, "kqcorelm_22_2026_12_01", "<add>" + doc("o1", 22, "alpha other") + "</add>"));
    ASSERT_TRUE(postUpdate(enginePort, "kqcorelm_211_2026_12_01", "<add>" + doc("o2", 211, "alpha") + "</add>"));

    CtlResult all = lmctl(reg, {"search", "weblogs", "*:*", "--sort", "contentid asc"});
    ASSERT_EQ(0, all.exitCode) << all.output;
    auto lines = linesOf(all.output);
    ASSERT_EQ(5u, lines.size()) << all.output;
    EXPECT_EQ("4 matches", lines[0]);
    const char* order[] = {"contentid=d1 ", "contentid=d2 ", "contentid=d3 ", "contentid=p1 "};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(0u, lines[i + 1].find(order[i])) << lines[i + 1];
    EXPECT_NE(std::string::npos, lines[1].find("LogLine=alpha one")) << lines[1];
    EXPECT_NE(std::string::npos, lines[3].find("LogLine=" + std::string(200, 'x') + "...")) << lines[3];
    EXPECT_EQ(std::string::npos, lines[3].find(std::string(201, 'x'))) << lines[3];

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::vector<std::string> want; // the output's lines, each checked as a prefix
    };
    const Case cases[] = {
        {{"search", "21", "LogLine:alpha", "--rows", "1", "--sort", "contentid desc", "--fields", "contentid"},
         0,
         {"3 matches", "contentid=p1"}},
        {{"search", "weblogs", "LogLine:alpha", "--rows", "0"}, 0, {"3 matches"}},
        {{"search", "other", "*:*", "--sort", "contentid asc", "--fields", "contentid"},
         0,
         {"2 matches", "contentid=o1", "contentid=p2"}},
        {{"search", "weblogs", "*:*", "--rows", "-1"}, 1, {"lmctl: bad --rows"}},
        {{"search", "weblogs", "*:*", "--rows", "ten"}, 1, {"lmctl: bad --rows"}},
        {{"search", "weblogs", "*:*", "--sort", "contentid sideways"}, 1, {"lmctl: bad --sort"}},
        {{"search", "ghost", "*:*"}, 1, {"lmctl: no policy named [ghost]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2]);
        CtlResult r = lmctl(reg, c.args);
        EXPECT_EQ(c.exitCode, r.exitCode) << r.output;
        auto got = linesOf(r.output);
        ASSERT_EQ(c.want.size(), got.size()) << r.output;
        for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(0u, got[i].find(c.want[i])) << got[i];
    }
    // --fields keeps to the fields asked for.
    CtlResult few = lmctl(reg, {"search", "weblogs", "contentid:d2", "--fields", "contentid"});
    EXPECT_EQ("1 matches\ncontentid=d2\n", few.output);

    indexd.signal(SIGTERM);
    indexd.wait(15s);
}

} // namespace
