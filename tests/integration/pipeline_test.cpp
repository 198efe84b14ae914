// The indexing pipeline end to end, with real processes: processing requests answered by the
// instance's lm-host, runs on its worker pool that post into lm-indexd through the dispatcher,
// progress and final reports in the management database, and the removal of staged folders.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PipelineSupport.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "values/LMColumnTypes.h"

using namespace LogMonitoring;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Number, word, free text: "42 alpha the rest".
TemplateXML wordsTemplate() {
    TemplateXML t;
    struct Kind {
        int type, format;
        const char* name;
    } kinds[] = {{Number, Decimal, "seq"}, {String, FreeText, "word"}, {String, FreeText, "rest"}};
    int id = 1;
    for (const Kind& k : kinds) {
        Column& c = t.add_columns();
        c.set_dataType(k.type);
        c.set_typeFormat(k.format);
        c.set_columnName(k.name);
        c.mutable_columnEntity().set_id(id++);
        c.mutable_columnEntity().set_name(k.name);
    }
    t.set_separatorFlags(1);
    return t;
}

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

    // Policy 31 of uploaded files, indexed into the instance's cloud.
    MonitoringPolicyProps policy() const {
        MonitoringPolicyProps p;
        MonitoringPolicy& mp = p.mutable_monitoringPolicy();
        mp.set_monitoringPolicyId(31);
        mp.set_policyName("uploads");
        mp.add_monitoringTypes(4);
        LMTemplate& t = mp.add_templates();
        t.mutable_templateEntity().set_templateId(50);
        t.mutable_templateEntity().set_templateName("words");
        t.set_templateXml(textOf(wordsTemplate()));
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
    const size_t before = finalReports();
    EXPECT_EQ(0, send(request(p)));
    ASSERT_TRUE(waitForFinalReport(before));

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
    EXPECT_EQ(1, stack_.countIn("kqcorelm_31_", "word_ln:word250"));
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
    const size_t before = finalReports();
    EXPECT_EQ(0, send(request(p)));
    ASSERT_TRUE(waitForFinalReport(before));
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
