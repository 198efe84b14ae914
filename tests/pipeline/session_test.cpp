// The indexing session: refusals at the start, the syslog destination, uploaded files with their
// states and result codes, the removal of staged folders, data sets without a document, and the
// header of the suite's own log format.
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"
#include "pipeline/LogMonitoringContentIndexing.h"
#include "platform/log/EvLMDebug.h"

using namespace LogMonitoring;
using namespace pipelinetest;
namespace fs = std::filesystem;

namespace {

struct FileOutcome {
    int64_t state;
    int64_t result;
};

FileOutcome outcomeOf(LogMonitoringContentIndexing& s, const std::string& requestId) {
    for (const auto& f : s.getLMUploadedFileInfo())
        if (f.uploadRequestId() == requestId) return {f.state(), f.resultCode()};
    ADD_FAILURE() << "no record " << requestId;
    return {-1, -1};
}

int run(MonitoringPolicyProps& policy, uint64_t chunkStart = 0) {
    LogMonitoringContentIndexing session(2, "pipehost", chunkStart, chunkStart + 1000, policy);
    return session.startIndexing();
}

} // namespace

TEST(IndexingSession, RefusesToStartWithoutWhatItNeeds) {
    PipelineInstance instance;
    struct Case {
        const char* name;
        void (*change)(MonitoringPolicyProps&);
        const char* message;
    } cases[] = {
        {"no policy", [](MonitoringPolicyProps& p) { p = MonitoringPolicyProps(); }, "Monitoring policy id not set"},
        {"policy id 0", [](MonitoringPolicyProps& p) { p.mutable_monitoringPolicy().set_monitoringPolicyId(0); },
         "Monitoring policy id not set"},
        {"syslog off", [](MonitoringPolicyProps& p) { p.mutable_indexDestination().set_sendToSyslog(0); },
         "Cannot process Syslog Monitoring policy id: [31] as syslog is not enabled"},
        {"destination without colon",
         [](MonitoringPolicyProps& p) { p.mutable_indexDestination().set_syslogDestination("loghost514"); },
         "syslogHostNameAndPort: [loghost514]"},
        {"no cloud", [](MonitoringPolicyProps& p) { p.set_indexDestination(LMIndexDestination()); },
         "Cloud information not set, aborting the process"},
        {"bad template", [](MonitoringPolicyProps& p) {
             p.mutable_monitoringPolicy().mutable_templates(0).set_templateXml("<not a template");
         }, "Failed to unserialize the xml"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MonitoringPolicyProps policy = PipelineInstance::policy(9);
        c.change(policy);
        EvLogCapture log;
        EXPECT_EQ(1, run(policy));
        EXPECT_TRUE(log.contains("", c.message));
    }
}

TEST(IndexingSession, SyslogDestinationGivesHostPortAndProtocol) {
    PipelineInstance instance;
    UdpReceiver receiver;
    struct Case {
        std::string destination;
        int result;
        std::string logged;
    } cases[] = {
        {"127.0.0.1:" + std::to_string(receiver.port()), 0,
         "port : [" + std::to_string(receiver.port()) + "] and ProtocolType : [1]"},
        // Nothing listens for TCP there: the connection fails after the destination was read.
        {"127.0.0.1:601:2", 1, "syslogHostName : [127.0.0.1] and port : [601] and ProtocolType : [2]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.destination);
        MonitoringPolicyProps policy = PipelineInstance::policy(0);
        policy.mutable_indexDestination().set_syslogDestination(c.destination);
        EvLogCapture log;
        EXPECT_EQ(c.result, run(policy));
        EXPECT_TRUE(log.contains("", 6, c.logged));
    }

    // Forwarding on without a receiver: the run goes on without a connection.
    MonitoringPolicyProps policy = PipelineInstance::policy(0);
    policy.mutable_indexDestination().set_syslogDestination("");
    EvLogCapture log;
    EXPECT_EQ(0, run(policy));
    EXPECT_TRUE(log.contains("", "LM CI initialized successfully"));
}

TEST(IndexingSession, UploadedFilesEndWithTheirStatesAndResultCodes) {
    PipelineInstance instance;
    UdpReceiver receiver;
    MonitoringPolicyProps policy = PipelineInstance::policy(receiver.port());
    policy.add_uploadedFiles(instance.stage("plain", "app.log", "1 alpha first\n2 beta second\n3 gamma third\n"));
    policy.add_uploadedFiles(instance.stage("empty", "empty.log", ""));
    policy.add_uploadedFiles(instance.stage("zip", "logs.zip", "1 alpha zipped\n"));
    policy.add_uploadedFiles(instance.stage("capitals", "LOGS.ZIP", "7 delta not an archive\n"));
    LogMonitoringODPFileUploadInfo noPath;
    noPath.set_uploadRequestId("nopath");
    policy.add_uploadedFiles(noPath);

    LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, policy);
    EvLogCapture log;
    EXPECT_EQ(0, session.startIndexing());

    struct Expect {
        const char* requestId;
        FileOutcome outcome;
        bool folderRemoved;
    } expected[] = {
        {"plain", {kLMFileIndexed, 0}, true},
        {"empty", {kLMFileFailed, kLMNoRowRead}, true},
        {"zip", {kLMFileInProgress, 0}, false},
        {"capitals", {kLMFileIndexed, 0}, true},
        {"nopath", {kLMFileInProgress, 0}, false},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.requestId);
        FileOutcome got = outcomeOf(session, e.requestId);
        EXPECT_EQ(e.outcome.state, got.state);
        EXPECT_EQ(e.outcome.result, got.result);
        if (std::string(e.requestId) != "nopath") {
            EXPECT_EQ(!e.folderRemoved, fs::exists(instance.staging() + "/" + e.requestId));
        }
    }
    EXPECT_TRUE(log.contains("", 0, "compressed file is not supported on linux platforms"));
    // The last file read was the one-line "LOGS.ZIP".
    EXPECT_EQ(1u, session.getLastRowIdIndexed());

    std::vector<std::string> records;
    while (auto m = receiver.receive(std::chrono::milliseconds(500))) records.push_back(*m);
    ASSERT_EQ(4u, records.size());
    EXPECT_NE(std::string::npos, records[0].find("Details = {alpha}"));
    EXPECT_NE(std::string::npos, records[3].find("Description = {not an archive}"));
}

TEST(IndexingSession, TemplateTypeWithoutDocumentLeavesTheFileAlone) {
    PipelineInstance instance;
    UdpReceiver receiver;
    MonitoringPolicyProps policy = PipelineInstance::policy(receiver.port(), /*templateType=*/1);
    policy.add_uploadedFiles(instance.stage("events", "app.log", "1 alpha first\n"));
    LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, policy);
    EXPECT_EQ(0, session.startIndexing());
    EXPECT_EQ(kLMFileInProgress, outcomeOf(session, "events").state);
    EXPECT_TRUE(fs::exists(instance.staging() + "/events/app.log"));
}

TEST(IndexingSession, PolicyWithoutUploadRecordsEndsWithZero) {
    PipelineInstance instance;
    UdpReceiver receiver;
    MonitoringPolicyProps policy = PipelineInstance::policy(receiver.port());
    EvLogCapture log;
    EXPECT_EQ(0, run(policy));
    EXPECT_TRUE(log.contains("", -1, "Invalid request no upload info set"));
}

// Only folders inside the staging folder are removed: an upload record naming /var/log/app.log
// must not remove /var/log.
TEST(IndexingSession, FoldersOutsideTheUploadStagingFolderAreKept) {
    PipelineInstance instance;
    const std::string outside = instance.dir().file("outside");
    fs::create_directories(outside);
    fs::create_directories(instance.staging() + "/req/deeper");
    fs::create_directory_symlink(outside, instance.staging() + "/link");

    struct Case {
        std::string path;
        std::string removable; // empty: kept
    } cases[] = {
        {instance.staging() + "/req/a.log", instance.staging() + "/req"},
        {instance.staging() + "/req/deeper/a.log", instance.staging() + "/req/deeper"},
        {instance.staging() + "/a.log", ""},
        {outside + "/a.log", ""},
        {instance.staging() + "/../outside/a.log", ""},
        {instance.staging() + "/link/a.log", ""},
        {instance.staging() + "/missing/a.log", ""},
        {"a.log", ""},
        {"/a.log", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string why;
        EXPECT_EQ(c.removable, LogMonitoringContentIndexing::removableUploadFolder(c.path, why));
        EXPECT_EQ(c.removable.empty(), !why.empty());
    }

    // End to end: a file outside is indexed and its folder stays, with the reason in the log.
    UdpReceiver receiver;
    MonitoringPolicyProps policy = PipelineInstance::policy(receiver.port());
    policy.add_uploadedFiles(PipelineInstance::record("outside", outside + "/app.log", "1 alpha first\n"));
    LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, policy);
    EvLogCapture log;
    EXPECT_EQ(0, session.startIndexing());
    EXPECT_EQ(kLMFileIndexed, outcomeOf(session, "outside").state);
    EXPECT_TRUE(fs::exists(outside + "/app.log"));
    EXPECT_TRUE(log.contains("", "it is not inside the upload staging folder"));
}

TEST(IndexingSession, UnconfiguredStagingFolderRemovesNothing) {
    lmtest::TempDir dir("lmnostaging");
    lmtest::writeFile(dir.file("registry.ini"), "[Platform]\nsInstanceName = NoStaging\n");
    KQPlatformInfo::useRegistryFile(dir.file("registry.ini"));
    fs::create_directories(dir.file("req"));
    std::string why;
    EXPECT_EQ("", LogMonitoringContentIndexing::removableUploadFolder(dir.file("req/a.log"), why));
    EXPECT_NE(std::string::npos, why.find("no upload staging folder"));
}

TEST(IndexingSession, DataSetWithoutDocumentEndsAtTheChunkStart) {
    PipelineInstance instance;
    UdpReceiver receiver;
    TemplateXML alerts = numberWordText();
    alerts.set_content("LMGetAlertDataSetForCI");
    MonitoringPolicyProps policy = PipelineInstance::policy(receiver.port(), 5, alerts);
    policy.mutable_monitoringPolicy().set_monitoringTypes({5});
    LogMonitoringContentIndexing session(2, "pipehost", 5000, 6000, policy);
    EXPECT_EQ(0, session.startIndexing());
    EXPECT_EQ(5000u, session.getLastRowIdIndexed());
    EXPECT_EQ(0u, session.getsizeOfIndexedData());

    // Without content a data set cannot be named.
    MonitoringPolicyProps unnamed = PipelineInstance::policy(receiver.port(), 5);
    unnamed.mutable_monitoringPolicy().set_monitoringTypes({5});
    EvLogCapture log;
    EXPECT_EQ(1, run(unnamed));
    EXPECT_TRUE(log.contains("", "Content is not set for the template"));
}

TEST(IndexingSession, HeaderOfTheSuitesOwnFormatNamesMachineAndServer) {
    PipelineInstance instance;
    UdpReceiver receiver;
    struct Case {
        std::string fifthLine;
        std::string server;
    } cases[] = {
        {"Orvexer: mgmt-1", ""},          // no second colon: left unset
        {"Orvexer: mgmt-1:8400", "mgmt-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fifthLine);
        MonitoringPolicyProps policy = PipelineInstance::policy(receiver.port(), 0, numberWordText(), 1);
        policy.add_uploadedFiles(instance.stage("own" + std::to_string(c.server.size()), "own.log",
                                                     "Log header\nMachine: web-7\nline three\nline four\n" +
                                                         c.fifthLine + "\n6\n7\n8\n9\n10\n11 alpha first\n"));
        LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, policy);
        EXPECT_EQ(0, session.startIndexing());
        // The ten header lines are passed over; the record after them is indexed.
        EXPECT_EQ(kLMFileIndexed, outcomeOf(session, "own" + std::to_string(c.server.size())).state);
        EXPECT_EQ(11u, session.getLastRowIdIndexed());
        EXPECT_EQ("web-7", session.clientName);
        EXPECT_EQ(c.server, session.orvexerName);
        while (receiver.receive(std::chrono::milliseconds(200))) {
        }
    }
}

TEST(IndexingSession, CompressedFileNames) {
    const std::pair<const char*, bool> cases[] = {
        {"/u/a.zip", true}, {"/u/a.gz", true},  {"/u/a.7z", true},   {"/u/a.rar", true},
        {"/u/a.ZIP", false}, {"/u/a.tar", false}, {"/u/a.log", false}, {"/u/zip", false},
        {"/u/a.log.gz", true},
    };
    for (auto [path, archive] : cases) EXPECT_EQ(archive, LogMonitoringContentIndexing::isItACompressedFile(path)) << path;
}
