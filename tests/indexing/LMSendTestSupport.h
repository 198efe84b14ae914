#pragma once
// What the batching tests share: a registry with the session secret, a local database with
// registered files whose offsets a send advances or rolls back, and a stand-in engine host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "indexing/LMCIHelper.h"
#include "indexing/LMFakeEngineHost.h"
#include "platform/localdb/LMDBInterface.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

namespace lmtest {

constexpr const char* kSendSecret = "batch-test-secret";

inline void useSendRegistry(const TempDir& dir, const std::string& extra = {}) {
    writeFile(dir.file("registry.ini"), "[Platform]\nsInstanceName = BatchTest\nsSharedSecret = " +
                                            std::string(kSendSecret) + "\nsPhysicalMachine = batch-client\n" + extra);
    KQPlatformInfo::useRegistryFile(dir.file("registry.ini"));
}

// Files registered for policy 1, each with a last-known-good offset of 0 and a pending one.
class OffsetBook {
public:
    explicit OffsetBook(const TempDir& dir) : db_(dir.file("local.db")) {}

    int addFile(const std::string& path, long long pendingOffset) {
        std::string p = path;
        EXPECT_EQ(0, db_.insertNewFile(p, 1, static_cast<long long>(ids_.size()) + 1, 0));
        FileNameAndFRN record;
        EXPECT_TRUE(db_.doesThisFileExistInDB(p, record));
        EXPECT_EQ(0, db_.setPendingOffsets(1, record.fileId, pendingOffset, pendingOffset / 10));
        ids_.push_back(record.fileId);
        return record.fileId;
    }
    long long lastKnownGood(int fileId) {
        LMFileOffsets off;
        db_.getFileOffsets(1, fileId, off);
        return off.lastOffset;
    }
    long long pending(int fileId) {
        LMFileOffsets off;
        db_.getFileOffsets(1, fileId, off);
        return off.pendingOffset;
    }
    LMDBInterface* db() { return &db_; }

private:
    LMDBInterface db_;
    std::vector<int> ids_;
};

// A helper pointed at one engine host, with the given batch file ids.
inline void pointAt(LogMonitoring::LMCIHelper& h, const std::string& mangledHost, uint64_t policy = 9) {
    h.clientId = 4;
    h.monitoringPolicyId = policy;
    h.engineUrl = "http://127.0.0.1:1/solr";
    h.engineHostName = mangledHost;
}

} // namespace lmtest
