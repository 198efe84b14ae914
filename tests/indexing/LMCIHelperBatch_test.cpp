#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "indexing/CNZLib.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMSendTestSupport.h"
#include "platform/log/EvLMDebug.h"

using namespace LogMonitoring;
using lmtest::FakeEngineHost;

namespace {

constexpr uint64_t kDay = 86400;

uint64_t todayKey() { return static_cast<uint64_t>(time(nullptr)) / kDay * kDay; }

std::string docOfSize(size_t n) {
    std::string d = "<doc>";
    d.resize(n - 6, 'x');
    return d + "</doc>";
}

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        lmtest::useSendRegistry(dir_);
        ASSERT_TRUE(host_.start());
        lmtest::pointAt(h_, host_.mangledName());
    }

    lmtest::TempDir dir_{"lmbatch"};
    FakeEngineHost host_{lmtest::kSendSecret, FakeEngineHost::replyWith(1, "<int name=\"status\">0</int>")};
    LMCIHelper h_;
};

TEST_F(BatchTest, SizeRulesDropOversizeDocumentsAndFlushFullBatches) {
    EvLogCapture capture;
    h_.forceListMode = true;
    h_.currentDoc = docOfSize(kLMMaxBatchBytes);
    EXPECT_EQ(0, h_.addToDocList());
    EXPECT_EQ(1, h_.docCount) << "a document of the limit is kept";
    h_.currentDoc = docOfSize(kLMMaxBatchBytes + 1);
    EXPECT_EQ(0, h_.addToDocList());
    EXPECT_EQ(1, h_.docCount);
    EXPECT_TRUE(capture.contains("LMCIHelper::addToDocList", 0,
                                 "doc length 14679041 is larger than expected size, skipping"));
    EXPECT_TRUE(host_.received().empty());

    // The next document would pass the limit: the batch goes first, the document starts the next.
    h_.currentDoc = "<doc>next</doc>";
    EXPECT_EQ(0, h_.addToDocList());
    ASSERT_EQ(1u, host_.received().size());
    EXPECT_EQ(LMAddDocumentsToCIReq::tagID(), host_.received()[0].tag);
    EXPECT_EQ("<doc>next</doc>", h_.docList);
    EXPECT_EQ(1, h_.docCount);
}

TEST_F(BatchTest, TwoHundredAndOneFilesFlushASmallBatchOutsideGlobalMonitoring) {
    for (bool global : {false, true}) {
        SCOPED_TRACE(global ? "global monitoring" : "direct");
        FakeEngineHost host(lmtest::kSendSecret, FakeEngineHost::replyWith(1, ""));
        ASSERT_TRUE(host.start());
        LMCIHelper h;
        lmtest::pointAt(h, host.mangledName());
        h.forceListMode = true;
        h.cloudPolicyId = global ? 17 : 0;
        for (int32_t id = 1; id <= 201; ++id) h.batchFileIds.push_back(id);
        h.currentDoc = "<doc>a</doc>";
        h.addToDocList();
        h.addToDocList();
        EXPECT_EQ(global ? 0u : 1u, host.received().size());
    }
}

TEST_F(BatchTest, AnEmptyBatchIsSentOnlyWhenForced) {
    EvLogCapture capture;
    EXPECT_EQ(0, h_.sendDatatoCI(false, false));
    EXPECT_TRUE(capture.contains("LMCIHelper::sendDatatoCI", 3, "Doc list is empty."));
    EXPECT_EQ(0, host_.sessionsAccepted()) << "nothing is contacted";

    EXPECT_EQ(0, h_.sendDatatoCI(false, true));
    ASSERT_EQ(1u, host_.received().size());
    LMAddDocumentBucketsToCIReq req;
    ASSERT_EQ(0, req.unserialize(host_.received()[0].xml));
    EXPECT_EQ(0u, req.buckets_size());
    EXPECT_EQ(9, req.monitoringPolicyId());
    EXPECT_EQ(1, req.timeFactor());
}

TEST_F(BatchTest, RecordsOfTwoDaysTravelAsTwoBucketsWithTheirCounts) {
    h_.setdataAgeingTimerInterval(30);
    h_.setFactor(3);
    h_.setSubClientId(12);
    h_.setDumpLocation("/dump");
    h_.patternHeaderDocs = "<doc>header</doc>";
    const uint64_t today = todayKey(), yesterday = today - kDay;
    for (uint64_t key : {today, yesterday, today}) {
        h_.currentDayKey = key;
        h_.currentDoc = "<doc>" + std::to_string(key) + "</doc>";
        h_.addToDocList();
    }
    EXPECT_EQ(0, h_.sendDatatoCI(true, false));
    ASSERT_EQ(1u, host_.received().size());
    LMAddDocumentBucketsToCIReq req;
    ASSERT_EQ(0, req.unserialize(host_.received()[0].xml));
    ASSERT_EQ(2u, req.buckets_size());
    EXPECT_EQ(static_cast<int64_t>(yesterday), req.buckets(0).bucketTime()) << "ascending day keys";
    EXPECT_EQ(1, req.buckets(0).documentCount());
    EXPECT_EQ(2, req.buckets(1).documentCount());
    EXPECT_EQ("<doc>header</doc><doc>" + std::to_string(today) + "</doc><doc>" + std::to_string(today) + "</doc>",
              req.buckets(1).documents())
        << "each day starts with the pattern header documents";
    EXPECT_EQ(1, req.buckets(0).indexFlag());
    EXPECT_FALSE(req.buckets(0).has_compressed());
    EXPECT_EQ(1, req.commitFlag());
    EXPECT_EQ(3, req.timeFactor());
    EXPECT_EQ(12, req.subClientId());
    EXPECT_EQ("/dump", req.dumpLocation());
}

TEST_F(BatchTest, AgedDaysAreOnlyDumpedExceptThroughTheProxyWhichCompresses) {
    const std::string docs = "<doc><field name = \"a\">old</field></doc>";
    for (bool proxy : {false, true}) {
        SCOPED_TRACE(proxy ? "proxy route" : "direct route");
        LMCIHelper h;
        h.setdataAgeingTimerInterval(7);
        h.proxyClientId = proxy ? 3 : 0;
        h.docMap[todayKey() - 10 * kDay] = {docs, 1};
        h.docMap[todayKey()] = {docs, 1};
        LMAddDocumentBucketsToCIReq req;
        bool commit = false;
        std::string url = "http://x/solr";
        h.populateDocumentBucketReq(req, commit, url);
        ASSERT_EQ(2u, req.buckets_size());
        EXPECT_EQ(proxy ? 1 : 0, req.buckets(0).indexFlag()) << "ten days old with ageing after seven";
        EXPECT_EQ(1, req.buckets(1).indexFlag());
        if (!proxy) {
            EXPECT_EQ(docs, req.buckets(0).documents());
            continue;
        }
        EXPECT_EQ(1, req.buckets(0).compressed());
        std::string compressed, plain;
        ASSERT_TRUE(BucketBase64::decode(req.buckets(0).documents(), compressed));
        ASSERT_EQ(0, CNZLib::uncompress(compressed, plain));
        EXPECT_EQ(docs, plain);
    }
}

TEST_F(BatchTest, ReplyDecidesWhetherOffsetsAdvanceOrRollBack) {
    struct Case {
        const char* name;
        int64_t code;
        std::string response;
        int result;
        int32_t lastErrorCode;
        const char* errorTextStart;
        bool advanced;
    };
    const Case cases[] = {
        {"accepted", 1, "<response><int name=\"status\">0</int></response>", 0, 0, "", true},
        {"engine error", 1, "<int name=\"status\">400</int><str name=\"msg\">Error in field</str>", -1, 0,
         "solr handler responded with error response", false},
        {"exception", 1, "java.lang.NullPointerException", -1, 0, "solr handler responded with error response", false},
        {"host refused", -1, "Failed to index", -1, 0, "Failed to index data, webUrl:", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lmtest::TempDir dir("lmbatchdb");
        lmtest::OffsetBook book(dir);
        int file = book.addFile("/l/" + std::string(c.name), 500);
        host_.setHandler(FakeEngineHost::replyWith(c.code, c.response));
        LMCIHelper h;
        lmtest::pointAt(h, host_.mangledName());
        h.setDBInterface(book.db());
        h.batchFileIds = {file};
        h.currentDoc = "<doc>x</doc>";
        h.addToDocList();
        EXPECT_EQ(c.result, h.sendDatatoCI(true, false));
        EXPECT_EQ(c.lastErrorCode, h.lastErrorCode);
        EXPECT_EQ(0u, h.lastErrorText.rfind(c.errorTextStart, 0)) << h.lastErrorText;
        EXPECT_EQ(c.advanced ? 500 : 0, book.lastKnownGood(file));
        EXPECT_EQ(c.advanced ? 500 : 0, book.pending(file)) << "a refused batch is read again from the last good point";
        EXPECT_TRUE(h.batchFileIds.empty());
        if (!c.advanced) {
            EXPECT_EQ("<doc>x</doc>", h.docMap.begin()->second.docs) << "kept for the retry";
        }
    }
}

TEST_F(BatchTest, AnUnreachableHostEndsWithTheAttachCodeReplacedByTheReplyStatus) {
    lmtest::TempDir dir("lmbatchdb");
    lmtest::OffsetBook book(dir);
    int file = book.addFile("/l/a.log", 300);
    lmtest::pointAt(h_, CKqNetwork::MangleHostName("127.0.0.1", lmtest::freeLoopbackPort()));
    h_.setDBInterface(book.db());
    h_.batchFileIds = {file};
    h_.currentDoc = "<doc>x</doc>";
    h_.addToDocList();
    EXPECT_EQ(-1, h_.sendDatatoCI(false, false));
    EXPECT_EQ(0, h_.lastErrorCode) << "the empty reply holds no status";
    EXPECT_EQ(0u, h_.lastErrorText.rfind("Failed to index data, webUrl:", 0));
    EXPECT_EQ(0, book.pending(file));
    EXPECT_EQ(1, h_.docCount) << "the batch stays for the session to decide";

    LMCIHelper empty;
    EXPECT_EQ(-1, empty.sendDatatoCI(false, true));
    EXPECT_EQ(kLMEmptyUrlOrData, empty.lastErrorCode);
}

TEST_F(BatchTest, FailoverGoesToTheNextAvailableNodeAndOtherwiseRetriesTheCurrentOne) {
    const std::string dead = CKqNetwork::MangleHostName("127.0.0.1", lmtest::freeLoopbackPort());
    auto node = [](int64_t id, const std::string& network, int64_t available) {
        cloudClientInfoV2 n;
        n.set_clientId(id);
        n.set_hostName("node" + std::to_string(id));
        n.set_basePort("8983");
        n.set_networkHostName(network);
        n.set_availability(available);
        return n;
    };
    h_.nodeList = {node(1, dead, 1), node(2, host_.mangledName(), 1)};
    h_.engineHostName = dead;
    EXPECT_EQ(0, h_.sendDatatoCI(false, true));
    EXPECT_EQ("http://node2:8983/solr/", h_.engineUrl);
    EXPECT_EQ(1, h_.currentNodeIndex);
    EXPECT_EQ(0, h_.nodeList.front().availability());
    EXPECT_EQ(1u, host_.received().size());

    // A node that answers with a failure over a good session: the retry must reach the other
    // node, not travel down the session still attached to the first.
    FakeEngineHost failing(lmtest::kSendSecret, FakeEngineHost::replyWith(-1, "Failed to index"));
    ASSERT_TRUE(failing.start());
    LMCIHelper answered;
    lmtest::pointAt(answered, failing.mangledName());
    answered.nodeList = {node(1, failing.mangledName(), 1), node(2, host_.mangledName(), 1)};
    answered.currentDoc = "<doc>y</doc>";
    answered.addToDocList();
    EXPECT_EQ(0, answered.sendDatatoCI(false, true));
    ASSERT_EQ(2u, host_.received().size());
    LMAddDocumentBucketsToCIReq retried;
    ASSERT_EQ(0, retried.unserialize(host_.received().back().xml));
    ASSERT_EQ(1u, retried.buckets_size());
    EXPECT_EQ("<doc>y</doc>", retried.buckets(0).documents()) << "each attempt carries the whole batch";
    EXPECT_EQ(2u, failing.received().size()) << "the first attempt and the retry of the current node";

    // Both marked unavailable: every retry goes to the current node, which answers now.
    LMCIHelper h;
    lmtest::pointAt(h, dead);
    h.nodeList = {node(1, dead, 0), node(2, dead, 0)};
    h.currentNodeIndex = 1;
    h.engineUrl = "http://current/solr";
    host_.stop();
    EXPECT_EQ(-1, h.sendDatatoCI(false, true));
    EXPECT_EQ("http://current/solr", h.engineUrl) << "no switch to a node marked unavailable";
}

TEST(ReplyJudgement, ErrorsAndStatusesOfTheEngineReply) {
    struct Case {
        std::string response;
        bool success;
        int32_t status;
    };
    const Case cases[] = {
        {"", true, 0},
        {"<response><int name=\"status\">0</int></response>", true, 0},
        {"<int name=\"status\">400</int>...Error...", false, 400},
        {"ERROR", false, 0},
        {"an Exception was thrown", false, 0},
        {"<int name=\"status\">503", true, 503},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.response);
        EXPECT_EQ(c.success, isResponseSuccess(c.response));
        LMCIHelper h;
        h.lastErrorCode = 7;
        h.processOutputResponse(c.response);
        EXPECT_EQ(c.status, h.lastErrorCode);
    }
}

TEST(BucketCompression, RoundTripsAndRefusesDamagedStreams) {
    std::string big;
    for (int i = 0; i < 20000; ++i) big += "<doc><field name = \"n_if\">" + std::to_string(i) + "</field></doc>\n";
    for (const std::string& text : {std::string(), std::string("x"), big}) {
        std::string z, back;
        ASSERT_EQ(0, CNZLib::compress(text, z));
        ASSERT_EQ(0, CNZLib::uncompress(z, back));
        EXPECT_EQ(text, back);
        std::string encoded = BucketBase64::encode(z);
        if (z.size() > 100) {
            EXPECT_NE(std::string::npos, encoded.find('\n')) << "the encoder breaks lines";
        }
        std::string decoded;
        ASSERT_TRUE(BucketBase64::decode(encoded, decoded));
        EXPECT_EQ(z, decoded);
    }
    std::string z, out;
    ASSERT_EQ(0, CNZLib::compress(big, z));
    EXPECT_EQ(-3, CNZLib::uncompress(z.substr(0, z.size() / 2), out)) << "cut short";
    EXPECT_EQ(-3, CNZLib::uncompress("not a zlib stream", out));
    EXPECT_EQ(-3, CNZLib::uncompress("", out));
    std::string bytes;
    EXPECT_FALSE(BucketBase64::decode("@@@@", bytes));
}

TEST(DecodeBase64, FourCharactersAtATimeUpToPaddingOrTheLastWholeGroup) {
    struct Case {
        const char* text;
        std::string bytes;
    };
    const Case cases[] = {
        {"aGVsbG8=", "hello"}, {"aGVsbG8h", "hello!"}, {"aGk=", "hi"}, {"aA==", "h"},
        {"aGVsbG8hab", "hello!"}, // a last group of two is not decoded
        {"", ""},
        {"aGk=aGk=", "hi"}, // the first "=" ends the text
        {"aG*k", ""},       // a character outside the alphabet ends the text
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char out[64] = {};
        int n = decodeBase64(c.text, out);
        EXPECT_EQ(c.bytes, std::string(out, static_cast<size_t>(n)));
    }
}

} // namespace
