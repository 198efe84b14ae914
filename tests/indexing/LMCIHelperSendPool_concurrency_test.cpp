#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "indexing/LMCIHelper.h"
#include "indexing/LMSendTestSupport.h"

using namespace LogMonitoring;
using lmtest::FakeEngineHost;

namespace {

int32_t statusOf(LMCIHelper& h) {
    KqCSLock lock(csIndexStatus);
    return h.indexStatus;
}

void usePool(LMCIHelper& h, LMDBInterface* db) {
    h.useThreadPool = true;
    h.threadPoolSize = 3;
    h.setDBInterface(db);
}

TEST(SendPool, EachQueuedBatchAdvancesTheOffsetsOfItsOwnFiles) {
    lmtest::TempDir dir("lmpool");
    lmtest::useSendRegistry(dir);
    FakeEngineHost host(lmtest::kSendSecret, FakeEngineHost::replyWith(1, "<int name=\"status\">0</int>"));
    ASSERT_TRUE(host.start());
    lmtest::OffsetBook book(dir);
    std::vector<int> files;
    {
        LMCIHelper h;
        lmtest::pointAt(h, host.mangledName());
        usePool(h, book.db());
        for (int batch = 0; batch < 6; ++batch) {
            int file = book.addFile("/l/" + std::to_string(batch) + ".log", 100 * (batch + 1));
            files.push_back(file);
            h.batchFileIds = {file};
            h.currentDoc = "<doc>" + std::to_string(batch) + "</doc>";
            h.addToDocList();
            EXPECT_EQ(0, h.sendDatatoCI(false, false)) << "queued";
            EXPECT_TRUE(h.batchFileIds.empty()) << "the work item took the file ids";
            h.clearDocList();
        }
    } // the helper waits for its queued sends
    EXPECT_EQ(6u, host.received().size());
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(100 * static_cast<long long>(i + 1), book.lastKnownGood(files[i])) << "file " << i;
}

TEST(SendPool, AFailedSendRollsBackAndRefusesEverySendAfterIt) {
    lmtest::TempDir dir("lmpool");
    lmtest::useSendRegistry(dir);
    FakeEngineHost host(lmtest::kSendSecret, FakeEngineHost::replyWith(-1, "Failed to index"));
    ASSERT_TRUE(host.start());
    lmtest::OffsetBook book(dir);
    int file = book.addFile("/l/a.log", 700);

    LMCIHelper h;
    lmtest::pointAt(h, host.mangledName());
    usePool(h, book.db());
    cloudClientInfoV2 node;
    node.set_clientId(1);
    node.set_hostName("n");
    node.set_basePort("1");
    node.set_networkHostName(host.mangledName());
    node.set_availability(1);
    h.nodeList = {node, node};
    h.batchFileIds = {file};
    h.currentDoc = "<doc>a</doc>";
    h.addToDocList();
    EXPECT_EQ(0, h.sendDatatoCI(false, false)) << "the sender only learns of the failure later";

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (statusOf(h) != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(0, statusOf(h));
    EXPECT_EQ(0, book.pending(file)) << "the worker rolled the file back";

    size_t seen = host.received().size();
    EXPECT_EQ(-1, h.sendDatatoCI(false, true));
    EXPECT_EQ(seen, host.received().size()) << "every attempt is refused before it leaves";
    for (const auto& n : h.nodeList) EXPECT_EQ(0, n.availability());
}

} // namespace
