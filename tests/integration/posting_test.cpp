// Batches from a client's index helper travel over a real session to lm-host, whose dispatcher
// posts them into lm-indexd; the reply moves the files' offsets in the client's local database.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <ctime>
#include <string>

#include "indexing/CNZLib.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMCoreNames.h"
#include "indexing/LMSendTestSupport.h"
#include "integration/IntegrationSupport.h"
#include "platform/mgmt/KQClient.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"

using namespace LogMonitoring;
using namespace std::chrono_literals;

namespace {

constexpr uint64_t kDay = 86400;
constexpr uint64_t kPolicy = 12;
constexpr uint64_t kClient = 4;

uint64_t dayKey(int daysAgo) { return static_cast<uint64_t>(time(nullptr)) / kDay * kDay - kDay * daysAgo; }

std::string contentId(int line) { return "KQLM_C4_MP12_F1_L" + std::to_string(line); }

std::string document(int line, uint64_t day) {
    time_t t = static_cast<time_t>(day + 3600);
    struct tm utc {};
    gmtime_r(&t, &utc);
    char when[64];
    strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return "<doc>\n<field name = \"contentid\">" + contentId(line) + "</field>\n<field name = \"LogLine\">line " +
           std::to_string(line) + "</field>\n<field name = \"MonitoringPolicyId\">12</field>\n"
           "<field name = \"eventTime\">" + std::string(when) + "</field>\n</doc>\n";
}

std::string dayCore(uint64_t day) {
    std::string core;
    getCoreName(static_cast<time_t>(day), core, kLMFactorDay, kPolicy);
    return core;
}

// An engine host stack, and the management database that names it as the one node of cloud 1.
class PostingTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(startStack(stack_)); }

    void startStack(lmtest::EngineStack& stack) {
        ASSERT_TRUE(stack.start()) << stack.why();
        // The test process is the monitored client: its registry names the management database.
        lmtest::writeFile(stack.clientRegistry(), lmtest::readFile(stack.clientRegistry()) +
                                                     "sManagementDB = " + dir_.file("management.db") + "\n");
        KQPlatformInfo::useRegistryFile(stack.clientRegistry());
    }

    void addNode(const std::string& name, int hostPort, int indexdPort, int64_t freeSpace) {
        KQManagementDB db;
        ASSERT_EQ(0, db.open(dir_.file("management.db")));
        KQMgmtAdmin admin(db);
        std::string err;
        int64_t id = 0;
        if (!cloudAdded_) {
            ASSERT_EQ(0, admin.addCloud("cloud", 1, id, err)) << err;
            cloudAdded_ = true;
        }
        KQMgmtAdmin::Client c;
        c.name = name;
        c.hostName = "127.0.0.1";
        c.port = hostPort;
        ASSERT_EQ(0, admin.addClient(c, id, err)) << err;
        ASSERT_EQ(0, admin.addNode("cloud", name, "127.0.0.1", indexdPort, freeSpace, err)) << err;
    }

    void queue(LMCIHelper& h, int line, uint64_t day) {
        h.currentDayKey = day;
        h.currentDoc = document(line, day);
        h.addToDocList();
    }

    void connect(LMCIHelper& h, LMDBInterface* db = nullptr) {
        ASSERT_EQ(0, h.initialize(kClient, "client-a", kPolicy, 1, db)) << h.lastErrorText;
        h.setdataAgeingTimerInterval(30);
        h.setFactor(kLMFactorDay);
    }

    static lmtest::EngineStack::Options stackOptions() {
        lmtest::EngineStack::Options o;
        // The client keeps its session open between batches; a stopped host should not wait long
        // for it.
        o.hostRegistryExtras = "[Host]\nnShutdownWaitSeconds = 1\n";
        return o;
    }

    lmtest::TempDir dir_{"lmposting"};
    lmtest::EngineStack stack_{stackOptions()};
    bool cloudAdded_ = false;
};

TEST_F(PostingTest, ThreeDaysLandInTheThreeDayCoresAndTheCommitAnswers) {
    addNode("engine-host", stack_.hostPort(), stack_.indexdPort(), 100);
    LMCIHelper h;
    ASSERT_NO_FATAL_FAILURE(connect(h));
    EXPECT_EQ(stack_.indexdBaseUrl(), h.engineUrl);
    const uint64_t days[] = {dayKey(0), dayKey(1), dayKey(2)};
    int line = 0;
    for (int n = 1; n <= 3; ++n)
        for (int i = 0; i < n * 5; ++i) queue(h, ++line, days[n - 1]);
    ASSERT_EQ(0, h.sendDatatoCI(true, false)) << h.lastErrorText;
    h.clearDocList();
    for (int n = 1; n <= 3; ++n) EXPECT_EQ(n * 5, stack_.selectCount(dayCore(days[n - 1]), "*:*")) << dayCore(days[n - 1]);

    KQClient engine("engine-host", 0, 0);
    uint64_t engineId = 0;
    ASSERT_EQ(0, engine.getClientId(engineId));
    EXPECT_EQ(1, h.sendRequestToCommitData(static_cast<int>(engineId)));
    EXPECT_FALSE(h.network.IsConnected()) << "a commit closes the session";
}

TEST_F(PostingTest, WhileTheHostIsDownOffsetsRollBackAndTheResendLandsEachDocumentOnce) {
    addNode("engine-host", stack_.hostPort(), stack_.indexdPort(), 100);
    lmtest::OffsetBook book(dir_);
    const int first = book.addFile("/logs/a.log", 500);
    const int second = book.addFile("/logs/b.log", 900);
    LMCIHelper h;
    ASSERT_NO_FATAL_FAILURE(connect(h, book.db()));
    const uint64_t today = dayKey(0);

    h.batchFileIds = {first};
    for (int line = 1; line <= 50; ++line) queue(h, line, today);
    ASSERT_EQ(0, h.sendDatatoCI(true, false));
    h.clearDocList();
    EXPECT_EQ(500, book.lastKnownGood(first));

    stack_.hostProcess().signal(SIGTERM);
    ASSERT_NE(-1, stack_.hostProcess().wait(10s));
    h.batchFileIds = {second};
    for (int line = 51; line <= 100; ++line) queue(h, line, today);
    EXPECT_EQ(-1, h.sendDatatoCI(true, false));
    h.clearDocList();
    EXPECT_EQ(0, book.lastKnownGood(second));
    EXPECT_EQ(0, book.pending(second)) << "the file is read again from its last good point";
    EXPECT_EQ(50, stack_.selectCount(dayCore(today), "*:*"));

    // The host comes back on its port; the session reads b.log again, and a little of a.log too.
    lmtest::ChildProcess again;
    ASSERT_TRUE(again.start({LM_HOST_BIN, "--registry", stack_.hostRegistry()}));
    ASSERT_FALSE(again.waitForLine("listening on", 15s).empty()) << again.output();
    ASSERT_EQ(0, book.db()->setPendingOffsets(1, second, 900, 90));
    h.batchFileIds = {first, second};
    for (int line = 41; line <= 100; ++line) queue(h, line, today);
    ASSERT_EQ(0, h.sendDatatoCI(true, false)) << h.lastErrorText;
    EXPECT_EQ(900, book.lastKnownGood(second));
    EXPECT_EQ(100, stack_.selectCount(dayCore(today), "*:*")) << "110 documents sent, 100 content ids";
    for (int line : {1, 45, 100}) EXPECT_EQ(1, stack_.selectCount(dayCore(today), "contentid:" + contentId(line)));
    again.signal(SIGTERM);
    again.wait(10s);
}

TEST_F(PostingTest, AFirstNodeThatIsDownFailsOverToTheSecond) {
    addNode("down-host", lmtest::freeLoopbackPort(), lmtest::freeLoopbackPort(), 500);
    addNode("engine-host", stack_.hostPort(), stack_.indexdPort(), 100);
    LMCIHelper h;
    ASSERT_NO_FATAL_FAILURE(connect(h));
    EXPECT_EQ(1, h.currentNodeIndex);
    EXPECT_EQ(stack_.indexdBaseUrl() + "/", h.engineUrl);
    EXPECT_EQ(0, h.nodeList.front().availability());
    queue(h, 1, dayKey(0));
    ASSERT_EQ(0, h.sendDatatoCI(true, false));
    EXPECT_EQ(1, stack_.selectCount(dayCore(dayKey(0)), "*:*"));
}

TEST_F(PostingTest, PooledSendsLandAndRecordTheirFilesProgress) {
    addNode("engine-host", stack_.hostPort(), stack_.indexdPort(), 100);
    lmtest::OffsetBook book(dir_);
    std::vector<int> files;
    {
        LMCIHelper h;
        ASSERT_NO_FATAL_FAILURE(connect(h, book.db()));
        h.useThreadPool = true;
        h.threadPoolSize = 3;
        for (int batch = 0; batch < 4; ++batch) {
            files.push_back(book.addFile("/logs/" + std::to_string(batch) + ".log", 100 + batch));
            h.batchFileIds = {files.back()};
            for (int i = 0; i < 25; ++i) queue(h, batch * 25 + i + 1, dayKey(batch % 2));
            ASSERT_EQ(0, h.sendDatatoCI(true, false));
            h.clearDocList();
        }
    }
    EXPECT_EQ(50, stack_.selectCount(dayCore(dayKey(0)), "*:*"));
    EXPECT_EQ(50, stack_.selectCount(dayCore(dayKey(1)), "*:*"));
    for (int batch = 0; batch < 4; ++batch) EXPECT_EQ(100 + batch, book.lastKnownGood(files[batch]));
}

TEST_F(PostingTest, CompressedBucketsOfTheProxyRouteAreDecodedByTheEngineHost) {
    LMCIHelper sender;
    sender.proxyClientId = 3; // the proxy route compresses and encodes each day
    sender.setdataAgeingTimerInterval(30);
    sender.docMap[dayKey(0)] = {document(1, dayKey(0)) + document(2, dayKey(0)), 2};
    sender.docMap[dayKey(3)] = {document(3, dayKey(3)), 1};
    LMAddDocumentBucketsToCIReq req;
    bool commit = true;
    std::string url = stack_.indexdBaseUrl();
    sender.monitoringPolicyId = kPolicy;
    sender.populateDocumentBucketReq(req, commit, url);
    ASSERT_EQ(1, req.buckets(0).compressed());

    CKqNetwork session;
    ASSERT_TRUE(stack_.attach(session)) << stack_.why();
    bool aborted = false;
    ASSERT_FALSE(session.SendXMLMessage(req, 0, 30, aborted).IsError());
    std::unique_ptr<CNMessageBase> reply;
    ASSERT_FALSE(session.ReceiveXMLMessage(reply, 30, aborted).IsError());
    const auto* resp = reply->as<LMAddDocumentsToCIResp>();
    ASSERT_NE(nullptr, resp);
    EXPECT_EQ(1, resp->errorCode()) << resp->response();
    EXPECT_TRUE(isResponseSuccess(resp->response()));
    EXPECT_EQ(1, stack_.selectCount(dayCore(dayKey(3)), "*:*"));
    EXPECT_EQ(2, stack_.selectCount(dayCore(dayKey(0)), "*:*"));
    session.Disconnect(10, aborted);
}

} // namespace
