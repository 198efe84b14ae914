// The indexing pipeline end to end, with real processes: processing requests answered by the
// instance's lm-host, runs on its worker pool that post into lm-indexd through the dispatcher,
// progress and final reports in the management database, and the removal of staged folders.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PipelineSupport.h"
#include "pipeline/PipelineTestSupport.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "values/LMColumnTypes.h"

using namespace LogMonitoring;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

TemplateXML wordsTemplate() { return pipelinetest::numberWordText(); }

std::string textOf(const CNMessageBase& m) {
    std::string s;
    EXPECT_EQ(0, m.serialize(s));
    return s;
}

std::string lines(int from, int to) {
    std::string s;
    for (int i = from; i <= to; ++i) s += std::to_string(i) + " word" + std::to_string(i) + " text of line\n";
    return s;
}

class PipelineTest : public ::testing::Test {
protected:
    PipelineTest() = default;
    explicit PipelineTest(lmtest::PipelineStack::Options o) : stack_(std::move(o)) {}

    void SetUp() override {
        ASSERT_TRUE(stack_.start()) << stack_.why();
        const std::string file = stack_.dir().file("words.xml");
        lmtest::writeFile(file, textOf(wordsTemplate()));
        ASSERT_EQ(0, stack_.lmctl({"template", "add", file, "--name", "words", "--id", "50"}).exitCode);
        auto r = stack_.lmctl({"policy", "add", "uploads", "--template", "words", "--type", "4", "--cloud", "main",
                               "--id", "31"});
        ASSERT_EQ(0, r.exitCode) << r.output;
    }

    // The processing request's answer: its error code, or -1 when there is none.
    int64_t send(const MonitoringPolicyProcessingRequest& request) {
        CKqNetwork c;
        if (!stack_.attach(c)) return -1;
        bool aborted = false;
        if (c.SendXMLMessage(request, 0, 30, aborted).IsError()) return -1;
        std::unique_ptr<CNMessageBase> reply;
        if (c.ReceiveXMLMessage(reply, 30, aborted).IsError() || !reply) return -1;
        c.Disconnect(10, aborted);
        const auto* resp = reply->as<MonitoringPolicyProcessingResponse>();
        return resp ? resp->errorCode() : -1;
    }

    // Another policy of uploaded files in the cloud, with a template of its own.
    void addPolicy(int id, const TemplateXML& templ, const std::vector<std::string>& extra = {}) {
        const std::string name = "t" + std::to_string(id);
        const std::string file = stack_.dir().file(name + ".xml");
        lmtest::writeFile(file, textOf(templ));
        ASSERT_EQ(0, stack_.lmctl({"template", "add", file, "--name", name, "--id", std::to_string(id + 100)}).exitCode);
        std::vector<std::string> args = {"policy", "add", "p" + std::to_string(id), "--template", name, "--type", "4",
                                         "--cloud", "main", "--id", std::to_string(id)};
        args.insert(args.end(), extra.begin(), extra.end());
        auto r = stack_.lmctl(args);
        ASSERT_EQ(0, r.exitCode) << r.output;
    }

    // Policy 31 of uploaded files, indexed into the instance's cloud.
    MonitoringPolicyProps policy(int id = 31, const TemplateXML& templ = wordsTemplate()) const {
        MonitoringPolicyProps p;
        MonitoringPolicy& mp = p.mutable_monitoringPolicy();
        mp.set_monitoringPolicyId(id);
        mp.set_policyName(id == 31 ? "uploads" : "p" + std::to_string(id));
        mp.add_monitoringTypes(4);
        LMTemplate& t = mp.add_templates();
        t.mutable_templateEntity().set_templateId(id == 31 ? 50 : id + 100);
        t.mutable_templateEntity().set_templateName("words");
        t.set_templateXml(textOf(templ));
        t.set_templateType(0);
        LMIndexDestination& dest = p.mutable_indexDestination();
        dest.set_cloudId(1);
        cloudClientInfoV2& node = dest.add_nodes();
        node.set_clientId(2);
        node.set_hostName("127.0.0.1");
        node.set_basePort(std::to_string(stack_.indexdPort()));
        node.set_availability(1);
        node.set_networkHostName(CKqNetwork::MangleHostName("127.0.0.1", stack_.hostPort()));
        p.mutable_progress().set_lastIndexedId(0);
        return p;
    }

    static LogMonitoringODPFileUploadInfo upload(const std::string& requestId, const std::string& path,
                                                 const std::string& content) {
        fs::create_directories(fs::path(path).parent_path());
        lmtest::writeFile(path, content);
        LogMonitoringODPFileUploadInfo r;
        r.set_uploadRequestId(requestId);
        r.set_localPath(path);
        return r;
    }

    MonitoringPolicyProcessingRequest request(const MonitoringPolicyProps& p) const {
        MonitoringPolicyProcessingRequest req;
        req.mutable_client().set_clientId(2);
        req.mutable_client().set_clientName("enginehost");
        req.add_policies(p);
        return req;
    }

    // Sends the policy and waits for its run's final report.
    bool indexToTheEnd(const MonitoringPolicyProps& p, std::chrono::seconds timeout = 60s) {
        const size_t before = finalReports();
        return send(request(p)) == 0 && waitForFinalReport(before, timeout);
    }

    // Waits for the final report of the next run to land: the policy's state back at 0.
    bool waitForFinalReport(size_t reportsBefore, std::chrono::seconds timeout = 60s) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (finalReports() <= reportsBefore) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(50ms);
        }
        return true;
    }
    size_t finalReports() const {
        const std::string log = stack_.hostLog();
        size_t n = 0;
        for (size_t at = 0; (at = log.find("Updating DB after processing has completed", at)) != std::string::npos; ++at)
            ++n;
        return n;
    }

    lmtest::PipelineStack stack_;
};

} // namespace

TEST_F(PipelineTest, ProcessingRequestsAreAnsweredAtOnce) {
    MonitoringPolicyProcessingRequest noList;
    noList.mutable_client().set_clientId(2);
    EXPECT_EQ(1, send(noList));
    EXPECT_TRUE(stack_.waitForHostLog("No monitoring policy list is present in the request"));

    MonitoringPolicyProcessingRequest emptyList = noList;
    emptyList.add_policies(MonitoringPolicyProps());
    emptyList.set_policies_empty();
    EXPECT_EQ(0, send(emptyList));

    MonitoringPolicyProcessingRequest bare;
    bare.add_policies(MonitoringPolicyProps());
    EXPECT_EQ(1, send(bare));
    EXPECT_TRUE(stack_.waitForHostLog("No monitoring policy info found in the request"));

    // Type 3 is accepted, then has no data indexer on the worker.
    MonitoringPolicyProps events = policy();
    events.mutable_monitoringPolicy().set_monitoringTypes({3});
    events.mutable_monitoringPolicy().set_policyName("events");
    EXPECT_EQ(0, send(request(events)));
    EXPECT_TRUE(stack_.waitForHostLog("Failed to start the Data Indexer"));

    // Without a client entity the host's own client is used; only the first policy is indexed.
    MonitoringPolicyProps first = policy();
    first.mutable_monitoringPolicy().set_policyName("first of two");
    first.mutable_indexDestination().set_sendToSyslog(1);
    first.mutable_indexDestination().set_syslogDestination("nocolon");
    MonitoringPolicyProps second = policy();
    second.mutable_monitoringPolicy().set_policyName("second of two");
    MonitoringPolicyProcessingRequest two;
    two.add_policies(first);
    two.add_policies(second);
    const size_t before = finalReports();
    EXPECT_EQ(0, send(two));
    EXPECT_TRUE(stack_.waitForHostLog("Client information is missing in the request"));
    ASSERT_TRUE(waitForFinalReport(before));
    const std::string log = stack_.hostLog();
    EXPECT_NE(std::string::npos, log.find("Monitoring policy [first of two] found in the request"));
    EXPECT_EQ(std::string::npos, log.find("second of two"));
    // A syslog destination without a colon ends the run before anything is read.
    EXPECT_NE(std::string::npos, log.find("syslogHostNameAndPort: [nocolon]"));
    EXPECT_NE(std::string::npos, log.find("Failed to start indexing on the chunk"));
}

TEST_F(PipelineTest, PolicyWithoutIdEndsAtOnce) {
    MonitoringPolicyProps noId = policy();
    noId.mutable_monitoringPolicy() = MonitoringPolicy();
    noId.mutable_monitoringPolicy().set_policyName("nameless");
    noId.mutable_monitoringPolicy().add_monitoringTypes(4);
    noId.add_uploadedFiles(upload("n1", stack_.staging() + "/n1/a.log", lines(1, 3)));
    EXPECT_EQ(0, send(request(noId)));
    EXPECT_TRUE(stack_.waitForHostLog("Monitoring policy id not set"));
    // Nothing was read: the staged file is still there, and no document reached the index.
    EXPECT_TRUE(stack_.waitForHostLog("Updating DB after processing has completed"));
    EXPECT_TRUE(fs::exists(stack_.staging() + "/n1/a.log"));
    EXPECT_EQ(0, stack_.countIn("kqcorelm"));
}

// Every line becomes a document of the policy's day core; the final report stores the states,
// the last line and the commit is asked for. Only the staged folder is removed.
TEST_F(PipelineTest, UploadedFilesAreIndexedAndOnlyStagedFoldersRemoved) {
    MonitoringPolicyProps p = policy();
    p.add_uploadedFiles(upload("staged", stack_.staging() + "/staged/a.log", lines(1, 250)));
    const std::string outside = stack_.dir().file("elsewhere/app.log");
    p.add_uploadedFiles(upload("outside", outside, lines(1, 40)));
    ASSERT_TRUE(indexToTheEnd(p));

    auto files = stack_.files(31);
    ASSERT_EQ(2u, files.size());
    for (const auto& f : files) {
        SCOPED_TRACE(f.requestId);
        EXPECT_EQ(3, f.state);
        EXPECT_EQ(0, f.resultCode);
        EXPECT_GT(f.bytesIndexed, 0);
    }
    EXPECT_EQ(40, stack_.policyValue(31, "last_indexed_id"));
    EXPECT_EQ(0, stack_.policyValue(31, "state"));
    EXPECT_EQ(290, stack_.countIn("kqcorelm_31_"));
    EXPECT_EQ(1, stack_.countIn("kqcorelm_31_", "details_ln:word250"));
    EXPECT_FALSE(fs::exists(stack_.staging() + "/staged"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(stack_.waitForHostLog("it is not inside the upload staging folder"));
    EXPECT_TRUE(stack_.waitForHostLog("sending request to commit data for webserverUrl"));
}

// The engine host of the cloud's node does not answer: the run cannot start, every file is
// reported failed and the policy's last indexed id stays where it was.
TEST_F(PipelineTest, EngineHostDownFailsEveryFileAndKeepsTheOffset) {
    const int deadPort = lmtest::freeLoopbackPort();
    ASSERT_EQ(0, stack_.lmctl({"client", "add", "deadhost", "--id", "9", "--host", "127.0.0.1", "--port",
                               std::to_string(deadPort)}).exitCode);
    MonitoringPolicyProps p = policy();
    p.mutable_indexDestination().mutable_nodes(0).set_clientId(9);
    p.mutable_indexDestination().mutable_nodes(0).set_networkHostName(CKqNetwork::MangleHostName("127.0.0.1", deadPort));
    p.mutable_progress().set_lastIndexedId(7);
    p.add_uploadedFiles(upload("d1", stack_.staging() + "/d1/a.log", lines(1, 5)));
    p.add_uploadedFiles(upload("d2", stack_.staging() + "/d2/b.log", lines(1, 5)));
    ASSERT_TRUE(indexToTheEnd(p));
    auto files = stack_.files(31);
    ASSERT_EQ(2u, files.size());
    for (const auto& f : files) {
        EXPECT_EQ(4, f.state);
        EXPECT_EQ(8, f.resultCode);
    }
    EXPECT_EQ(7, stack_.policyValue(31, "last_indexed_id"));
    EXPECT_EQ(0, stack_.countIn("kqcorelm_31_"));
    // Not read, so kept for another attempt.
    EXPECT_TRUE(fs::exists(stack_.staging() + "/d1/a.log"));
}

namespace {

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

int64_t stateOf(const std::vector<lmtest::PipelineStack::FileRow>& rows, const std::string& requestId,
                int64_t* result = nullptr) {
    for (const auto& r : rows)
        if (r.requestId == requestId) {
            if (result) *result = r.resultCode;
            return r.state;
        }
    return -1;
}

} // namespace

// Plain, UTF-16, CSV and header-capturing files, an empty file and an archive name, each with
// the state and result code its run gives it, and the documents each leaves in its policy's cores.
TEST_F(PipelineTest, EveryKindOfUploadedFileEndsWithItsStateAndResult) {
    TemplateXML csv = wordsTemplate();
    csv.set_separatorFlags(8);
    addPolicy(32, csv);
    TemplateXML header = wordsTemplate();
    header.set_headerLineCount(1);
    addPolicy(33, header, {"--property", "Capture log file header=1"});

    MonitoringPolicyProps words = policy();
    words.add_uploadedFiles(upload("plain", stack_.staging() + "/plain/a.log", lines(1, 30)));
    words.add_uploadedFiles(upload("utf16", stack_.staging() + "/utf16/b.log", utf16le(lines(101, 120))));
    words.add_uploadedFiles(upload("empty", stack_.staging() + "/empty/c.log", ""));
    words.add_uploadedFiles(upload("archive", stack_.staging() + "/archive/d.zip", lines(1, 5)));
    MonitoringPolicyProps commas = policy(32, csv);
    commas.add_uploadedFiles(upload("csv", stack_.staging() + "/csv/e.csv", "1,alpha,first line\n2,beta,second line\n"));
    MonitoringPolicyProps headed = policy(33, header);
    headed.add_uploadedFiles(upload("header", stack_.staging() + "/header/f.log", "seq word rest\n" + lines(1, 4)));

    for (const MonitoringPolicyProps* p : {&words, &commas, &headed}) ASSERT_TRUE(indexToTheEnd(*p));

    auto rows = stack_.files(31);
    int64_t result = -1;
    EXPECT_EQ(3, stateOf(rows, "plain", &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(3, stateOf(rows, "utf16", &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(4, stateOf(rows, "empty", &result));
    EXPECT_EQ(1, result);
    EXPECT_EQ(2, stateOf(rows, "archive", &result));
    EXPECT_EQ(3, stateOf(stack_.files(32), "csv", &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(3, stateOf(stack_.files(33), "header", &result));

    EXPECT_EQ(50, stack_.countIn("kqcorelm_31_"));
    EXPECT_EQ(1, stack_.countIn("kqcorelm_31_", "details_ln:word120"));
    EXPECT_EQ(2, stack_.countIn("kqcorelm_32_"));
    EXPECT_EQ(1, stack_.countIn("kqcorelm_32_", "details_ln:beta"));
    // Four records and the captured header line.
    EXPECT_EQ(5, stack_.countIn("kqcorelm_33_"));
    EXPECT_EQ(1, stack_.countIn("kqcorelm_33_", "LineNumber:1"));

    // Read files leave no staged folder; the skipped archive keeps its own.
    for (const char* gone : {"plain", "utf16", "empty", "csv", "header"})
        EXPECT_FALSE(fs::exists(stack_.staging() + "/" + gone)) << gone;
    EXPECT_TRUE(fs::exists(stack_.staging() + "/archive/d.zip"));
}

class PipelineProgressTest : public PipelineTest {
protected:
    PipelineProgressTest()
        : PipelineTest(lmtest::PipelineStack::Options{{{"GlobalParameters", "nLMRetryIntervalForUploadedFiles", "1"}}}) {}
};

// With the interval parameter at 1 (half a minute rounds to 0) reports follow one another while
// the run goes on: files in progress with the bytes read since the report before.
TEST_F(PipelineProgressTest, ReportsProgressWhileALongUploadRuns) {
    MonitoringPolicyProps p = policy();
    p.add_uploadedFiles(upload("long", stack_.staging() + "/long/a.log", lines(1, 30000)));
    p.add_uploadedFiles(upload("next", stack_.staging() + "/next/b.log", lines(1, 10)));
    ASSERT_TRUE(indexToTheEnd(p, 120s));
    const std::string log = stack_.hostLog();
    const size_t final = log.find("Updating DB after processing has completed");
    size_t interim = 0, inProgress = 0;
    for (size_t at = 0; (at = log.find("Updating DB for processing files [", at)) < final; ++at) {
        ++interim;
        const size_t end = log.find('\n', at);
        if (log.substr(at, end - at).find("<state>2</state>") != std::string::npos) ++inProgress;
    }
    EXPECT_GT(interim, 0u);
    EXPECT_GT(inProgress, 0u);
    EXPECT_EQ(3, stateOf(stack_.files(31), "long"));
    EXPECT_EQ(30010, stack_.countIn("kqcorelm_31_"));
}

// What a user runs: lmctl stages the files, sends the request to the instance's host and follows
// the reports to the end.
TEST_F(PipelineTest, LmctlUploadWaitsForTheFinalReport) {
    const std::string a = stack_.dir().file("src/a.log"), b = stack_.dir().file("src/b.log");
    fs::create_directories(stack_.dir().file("src"));
    lmtest::writeFile(a, lines(1, 120));
    lmtest::writeFile(b, lines(1, 30));
    auto r = stack_.lmctl({"upload", "uploads", a, b, "--wait"});
    ASSERT_EQ(0, r.exitCode) << r.output;
    EXPECT_NE(std::string::npos, r.output.find("upload accepted: 2 files"));
    EXPECT_NE(std::string::npos, r.output.find("done: 2 files indexed, 0 failed, 150 lines read, 150 documents in the index"))
        << r.output;
    EXPECT_EQ(150, stack_.countIn("kqcorelm_31_"));
    // The staged copies are gone, the originals stay.
    EXPECT_TRUE(fs::is_empty(stack_.staging()));
    EXPECT_TRUE(fs::exists(a));

    auto found = stack_.lmctl({"search", "uploads", "details_ln:word77", "--rows", "5"});
    ASSERT_EQ(0, found.exitCode) << found.output;
    EXPECT_NE(std::string::npos, found.output.find("1 matches")) << found.output;
}

// Stopping the host while a run reads a long file: the run stops at its next record, the host
// unloads the engine only after its worker is done, and exits cleanly.
TEST_F(PipelineTest, HostStopsARunningUploadBeforeItUnloadsTheEngine) {
    MonitoringPolicyProps p = policy();
    p.add_uploadedFiles(upload("long", stack_.staging() + "/long/a.log", lines(1, 400000)));
    ASSERT_EQ(0, send(request(p)));
    ASSERT_TRUE(stack_.waitForHostLog("Started to index file"));
    ASSERT_TRUE(stack_.hostProcess().signal(SIGTERM));
    const int status = stack_.hostProcess().wait(60s);
    ASSERT_NE(-1, status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string log = stack_.hostLog();
    EXPECT_NE(std::string::npos, log.find("The engine is stopping; leaving")) << log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    EXPECT_EQ(4, stateOf(stack_.files(31), "long"));
}
