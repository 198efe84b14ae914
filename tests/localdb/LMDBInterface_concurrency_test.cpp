#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/localdb/LMDBInterface.h"
#include "support/TestSupport.h"

// Send workers each take a copy of the session's database; their writes wait for each other
// instead of failing, and none is lost.
TEST(DBConcurrency, CopiesOnSeveralThreadsWriteTheSameFile) {
    lmtest::TempDir dir("lmdbconc");
    LMDBInterface db(dir.file("local.db"));
    const int threads = 4, perThread = 50;
    std::vector<int> ids;
    for (int t = 0; t < threads; ++t) {
        std::string p = "/l/f" + std::to_string(t) + ".log";
        ASSERT_EQ(db.insertNewFile(p, 1, 100 + t, 0), 0);
        FileNameAndFRN r;
        ASSERT_TRUE(db.doesThisFileExistInDB(p, r));
        ids.push_back(r.fileId);
    }
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            LMDBInterface mine(db);
            for (int i = 1; i <= perThread; ++i) {
                if (mine.setPendingOffsets(1, ids[t], i * 10, i) != 0) ++failures;
                if (i % 2 ? mine.updateLastKnownGoodOffsets({ids[t]}) : mine.resetToLastKnownGoodOffsets({ids[t]}))
                    ++failures;
            }
            if (mine.setPendingOffsets(1, ids[t], 7777, 77) || mine.updateLastKnownGoodOffsets({ids[t]})) ++failures;
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(failures.load(), 0);
    for (int id : ids) {
        LMFileOffsets off;
        ASSERT_EQ(db.getFileOffsets(1, id, off), 0);
        EXPECT_EQ(off.lastOffset, 7777);
        EXPECT_EQ(off.pendingLineNum, 77);
    }
}
