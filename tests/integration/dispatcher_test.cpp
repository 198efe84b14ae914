// The engine host's request dispatcher, end to end: a real lm-host runs LMUtilEntry for the test's
// sessions and posts to a real lm-indexd.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "indexing/CNZLib.h"
#include "indexing/LMUtilEntry.h"
#include "integration/IntegrationSupport.h"
#include "platform/messages/catalogue/Catalogue.h"

using namespace LogMonitoring;

namespace {

// 2021-03-05 00:00:00 UTC and the days after it.
constexpr int64_t kMarch5 = 1614902400;
constexpr int64_t kDay = 86400;

std::string doc(const std::string& id) {
    return "<doc><field name=\"contentid\">" + id + "</field><field name=\"LogLine\">line " + id + "</field></doc>";
}

std::string compressed(const std::string& text) {
    std::string z;
    EXPECT_EQ(0, CNZLib::compress(text, z));
    return BucketBase64::encode(z);
}

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        lmtest::EngineStack::Options o;
        o.hostRegistryExtras = "[EventManager]\nnLmSessionTimeout = 60\n";
        stack_ = std::make_unique<lmtest::EngineStack>(o);
        ASSERT_TRUE(stack_->start()) << stack_->why();
        ASSERT_TRUE(stack_->attach(c_)) << stack_->why();
    }
    void TearDown() override {
        if (c_.IsConnected()) {
            bool aborted = false;
            c_.Disconnect(10, aborted);
        }
    }

    void send(const CNMessageBase& m) {
        bool aborted = false;
        CZuError e = c_.SendXMLMessage(m, 0, 30, aborted);
        ASSERT_FALSE(e.IsError()) << e.AsString();
    }
    // Sends a request and returns the dispatcher's reply (null when none came within `timeout`).
    std::unique_ptr<LMAddDocumentsToCIResp> ask(const CNMessageBase& m, int timeout = 60) {
        send(m);
        std::unique_ptr<CNMessageBase> got;
        bool aborted = false;
        CZuError e = c_.ReceiveXMLMessage(got, timeout, aborted);
        if (e.IsError() || !got || !got->as<LMAddDocumentsToCIResp>()) return nullptr;
        return std::unique_ptr<LMAddDocumentsToCIResp>(static_cast<LMAddDocumentsToCIResp*>(got.release()));
    }

    LMAddDocumentsToCIReq plain(const std::string& docs) const {
        LMAddDocumentsToCIReq r;
        r.set_clientId(3);
        r.set_monitoringPolicyId(12);
        r.set_engineUrl(stack_->indexdBaseUrl());
        r.set_documents(docs);
        return r;
    }
    LMAddDocumentBucketsToCIReq buckets(int64_t policy, int factor) const {
        LMAddDocumentBucketsToCIReq r;
        r.set_clientId(3);
        r.set_monitoringPolicyId(policy);
        r.set_timeFactor(factor);
        r.set_engineUrl(stack_->indexdBaseUrl());
        r.set_buckets_empty();
        return r;
    }
    static LMDataBucket& addBucket(LMAddDocumentBucketsToCIReq& r, int64_t time, const std::string& docs,
                                   int count) {
        LMDataBucket& b = r.add_buckets();
        b.set_bucketTime(time);
        b.set_documents(docs);
        b.set_documentCount(count);
        b.set_indexFlag(1);
        return b;
    }
    long count(const std::string& core) const { return stack_->selectCount(core, "*:*"); }

    std::unique_ptr<lmtest::EngineStack> stack_;
    CKqNetwork c_;
};

TEST_F(DispatcherTest, PlainDocumentsSpreadOverTheFourCoresAndACommitCoversThemAll) {
    constexpr int kRequests = 40;
    for (int i = 0; i < kRequests; ++i) {
        auto r = ask(plain("<add>" + doc("p" + std::to_string(i)) + "</add>"));
        ASSERT_NE(nullptr, r);
        ASSERT_EQ(1, r->errorCode()) << r->response();
    }
    long total = 0;
    for (int n = 0; n < 4; ++n) {
        long got = count("kqcorelm" + std::to_string(n));
        EXPECT_GT(got, 0) << "kqcorelm" << n;
        total += got;
    }
    EXPECT_EQ(kRequests, total);

    LMCommitSolrDataOnSuccessReq commit;
    commit.set_engineUrl(stack_->indexdBaseUrl());
    auto r = ask(commit);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, r->errorCode()) << r->response();
    EXPECT_EQ(kRequests, count("kqcorelm0") + count("kqcorelm1") + count("kqcorelm2") + count("kqcorelm3"));
}

TEST_F(DispatcherTest, CommitStopsAtTheFirstFailingCoreAndIsDroppedWithoutAUrl) {
    LMCommitSolrDataOnSuccessReq dead;
    dead.set_engineUrl("http://127.0.0.1:" + std::to_string(lmtest::freeLoopbackPort()) + "/solr");
    auto r = ask(dead);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(-1, r->errorCode());
    ASSERT_TRUE(stack_->waitForHostLog("Failed to commit for reason"));
    const std::string log = stack_->hostLog();
    EXPECT_EQ(log.find("Failed to commit for reason"), log.rfind("Failed to commit for reason"));

    // Without a URL nothing is answered; the session goes on and the next request is answered.
    send(LMCommitSolrDataOnSuccessReq());
    LMCommitSolrDataOnSuccessReq good;
    good.set_engineUrl(stack_->indexdBaseUrl());
    r = ask(good);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, r->errorCode()) << r->response();
    for (int n = 0; n < 4; ++n) EXPECT_EQ(0, count("kqcorelm" + std::to_string(n))) << n;
}

TEST_F(DispatcherTest, BucketsLandInTheCoreOfTheirDayWeekOrMonth) {
    struct Case {
        int64_t policy;
        int factor;
        std::vector<std::pair<std::string, long>> cores;
    };
    const Case cases[] = {
        {12, 1, {{"kqcorelm_12_2021_3_5", 2}, {"kqcorelm_12_2021_3_6", 2}, {"kqcorelm_12_2021_3_7", 2}}},
        {13, 2, {{"kqcorelm_13_W09_2021", 6}}},
        {14, 3, {{"kqcorelm_14_M3_2021", 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.factor);
        auto req = buckets(c.policy, c.factor);
        for (int d = 0; d < 3; ++d) {
            const std::string id = std::to_string(c.policy) + "_" + std::to_string(d);
            // Late in the day too: the UTC date decides, whatever zone the host runs in.
            addBucket(req, kMarch5 + d * kDay + 23 * 3600, doc(id + "a") + doc(id + "b"), 2);
        }
        auto r = ask(req);
        ASSERT_NE(nullptr, r);
        EXPECT_EQ(1, r->errorCode()) << r->response();
        for (const auto& [core, n] : c.cores) EXPECT_EQ(n, count(core)) << core;
    }
    EXPECT_EQ(-1, count("kqcorelm0")); // nothing went to the plain cores
}

TEST_F(DispatcherTest, IndexFlagReIndexIntervalsAndCompressedBuckets) {
    auto req = buckets(20, 1);
    addBucket(req, kMarch5, doc("aged"), 1).set_indexFlag(0);              // only for the dump store
    addBucket(req, kMarch5 + kDay, doc("asked"), 1).set_indexFlag(0);      // inside a re-index interval
    addBucket(req, kMarch5 + 2 * kDay, doc("noflag"), 1).clearSlot(7);     // no index flag at all
    addBucket(req, kMarch5 + 3 * kDay, compressed(doc("z1") + doc("z2")), 2).set_compressed(1);
    auto& interval = req.add_reIndexIntervals();
    interval.set_startTime(kMarch5 + kDay - 10);
    interval.set_endTime(kMarch5 + kDay);
    auto r = ask(req);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, r->errorCode()) << r->response();
    EXPECT_EQ(-1, count("kqcorelm_20_2021_3_5"));
    EXPECT_EQ(1, count("kqcorelm_20_2021_3_6"));
    EXPECT_EQ(-1, count("kqcorelm_20_2021_3_7"));
    EXPECT_EQ(2, count("kqcorelm_20_2021_3_8"));
    EXPECT_TRUE(stack_->waitForHostLog("Empty subclient location; So Only indexing"));

    // A dump location is taken, but the dump store is not on this host: indexing alone is done.
    auto dumped = buckets(21, 1);
    dumped.set_dumpLocation(stack_->dir().file("dump"));
    addBucket(dumped, kMarch5, doc("d1"), 1);
    r = ask(dumped);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, r->errorCode());
    EXPECT_EQ(1, count("kqcorelm_21_2021_3_5"));
    EXPECT_TRUE(stack_->waitForHostLog("the dump store is not available"));

    // No buckets: an empty add to the first plain core, answered by the engine.
    r = ask(buckets(22, 1));
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, r->errorCode()) << r->response();
    EXPECT_EQ(0, count("kqcorelm0"));
}

TEST_F(DispatcherTest, BadInputIsAnsweredOrDroppedAndTheSessionGoesOn) {
    auto noPolicy = plain("<add>" + doc("x") + "</add>");
    noPolicy.clearSlot(2);
    auto noPolicyBuckets = buckets(30, 1);
    noPolicyBuckets.clearSlot(2);
    addBucket(noPolicyBuckets, kMarch5, doc("y"), 1);
    for (const CNMessageBase* m : {static_cast<const CNMessageBase*>(&noPolicy),
                                   static_cast<const CNMessageBase*>(&noPolicyBuckets)}) {
        auto r = ask(*m);
        ASSERT_NE(nullptr, r);
        EXPECT_EQ(0, r->errorCode());
        EXPECT_EQ("Invalid input", r->response());
    }

    auto garbage = plain("this is not base64 !!");
    garbage.set_compressed(1);
    auto r = ask(garbage);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(0, r->errorCode());

    // A bucket that cannot be decoded is not indexed; the good bucket after it is, but the
    // request does not answer success, so the sender does not move past the lost one.
    auto badBucket = buckets(31, 1);
    addBucket(badBucket, kMarch5, BucketBase64::encode("not a zlib stream"), 1).set_compressed(1);
    addBucket(badBucket, kMarch5 + kDay, doc("fine"), 1);
    r = ask(badBucket);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(0, r->errorCode());
    EXPECT_EQ(-1, count("kqcorelm_31_2021_3_5"));
    EXPECT_EQ(1, count("kqcorelm_31_2021_3_6"));

    // A message of a kind the dispatcher does not serve, and the requests it cannot serve on this
    // host, are logged and dropped; the next request is still answered.
    LMAddDocumentsToCIResp stray;
    send(stray);
    LMAddDocumentsToGlobalCIReq global;
    global.set_cloudPolicyId(5);
    send(global);
    // A processing request is answered at once; one without policies is refused.
    MonitoringPolicyProcessingRequest processing;
    send(processing);
    {
        std::unique_ptr<CNMessageBase> answer;
        bool aborted = false;
        ASSERT_FALSE(c_.ReceiveXMLMessage(answer, 30, aborted).IsError());
        const auto* refused = answer ? answer->as<MonitoringPolicyProcessingResponse>() : nullptr;
        ASSERT_NE(nullptr, refused);
        EXPECT_EQ(1, refused->errorCode());
    }
    r = ask(plain("<add>" + doc("after") + "</add>"));
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, r->errorCode()) << r->response();
    long total = 0; // the undecodable request posted nothing: only "after" is in the plain cores
    for (int n = 0; n < 4; ++n) total += std::max(0L, count("kqcorelm" + std::to_string(n)));
    EXPECT_EQ(1, total);

    EXPECT_TRUE(stack_->waitForHostLog("unsupported request [" + std::to_string(LMAddDocumentsToCIResp::tagID()) + "]"));
    EXPECT_TRUE(stack_->waitForHostLog("global monitoring requests are not available on this host"));
    EXPECT_TRUE(stack_->waitForHostLog("unsupported request [" + std::to_string(LMAddDocumentsToGlobalCIReq::tagID()) + "]"));
    EXPECT_TRUE(stack_->waitForHostLog("Request of type Tag_MonitoringPolicyProcessingRequest received"));
    EXPECT_TRUE(stack_->waitForHostLog("Not able to uncompress or decode data"));

    bool aborted = false;
    CZuError e = c_.Disconnect(30, aborted);
    EXPECT_FALSE(e.IsError()) << e.AsString();
    EXPECT_TRUE(stack_->waitForHostLog("disconnecting"));
}

TEST(FixDateTimeFormat, RewritesColonFractionsOnlyWhenEnabled) {
    const std::string in = "<field name=\"eventTime\">2021-03-07T10:20:30:0Z</field><field name=\"x\">a:0Z</field>";
    struct Case {
        bool enabled;
        std::string out;
    };
    const Case cases[] = {
        {true, "<field name=\"eventTime\">2021-03-07T10:20:30.0Z</field><field name=\"x\">a.0Z</field>"},
        {false, in},
    };
    for (const Case& c : cases) {
        enableSOLRUTCFormatConversion = c.enabled;
        std::string text = in;
        FixDateTimeFormat(text);
        EXPECT_EQ(c.out, text);
    }
    enableSOLRUTCFormatConversion = false;
}

} // namespace
