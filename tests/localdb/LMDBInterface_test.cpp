#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "platform/localdb/LMDBInterface.h"
#include "platform/log/EvLMDebug.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

namespace {

struct DB : ::testing::Test {
    lmtest::TempDir dir{"lmdb"};
    std::string path = dir.file("local.db");
    LMDBInterface db{path};

    int scanRow(const std::string& p, long long frn) {
        std::string s = p;
        return db.insertFileInClientFileScanTable(s, frn, "", 0, 0);
    }
    std::map<std::string, LM_ClientFiles_t2> files() {
        std::vector<LM_ClientFiles_t2> v;
        EXPECT_EQ(db.getClientFiles(v), 0);
        std::map<std::string, LM_ClientFiles_t2> m;
        for (auto& f : v) m[f.filePath] = f;
        return m;
    }
};

}

TEST_F(DB, CreatesTheSevenTablesInWalMode) {
    ASSERT_EQ(db.connect(), 0);
    ASSERT_EQ(db.disconnect(), 0);
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
    for (const char* t : {"LM_ClientFiles", "LM_ClientFilesForScan", "LM_ClientFilesForScanUNC", "LM_ClientFilesProp",
                          "LM_ClientComponentProp", "LM_ClientIPGeoLocation", "LM_ClientRunningStatus"}) {
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(raw, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name=?", -1, &st,
                                     nullptr),
                  SQLITE_OK);
        sqlite3_bind_text(st, 1, t, -1, SQLITE_STATIC);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(st, 0), 1) << t;
        sqlite3_finalize(st);
    }
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(raw, "PRAGMA journal_mode", -1, &st, nullptr);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal");
    sqlite3_finalize(st);
    sqlite3_close(raw);
}

TEST_F(DB, PathComesFromTheRegistry) {
    std::string reg = dir.file("registry.ini");
    lmtest::writeFile(reg, "[Platform]\nsLocalDB = " + dir.file("fromreg.db") + "\n");
    KQPlatformInfo::bindInstance("lmdbRegistryTest", reg);
    KQPI_Focus::setFocus("lmdbRegistryTest");
    LMDBInterface fromRegistry;
    EXPECT_EQ(fromRegistry.updateClientComponentProp(1, ComponentTypeSubfolderSetting, "Subfolder Selected", "1"), 0);
    EXPECT_EQ(fromRegistry.path(), dir.file("fromreg.db"));
    EXPECT_EQ(::access(dir.file("fromreg.db").c_str(), F_OK), 0);
    KQPI_Focus::setFocus("lmdbNoRegistry");
    LMDBInterface unconfigured;
    EvLogCapture log;
    EXPECT_EQ(unconfigured.connect(), LMDBInterface::kErrorBase);
    EXPECT_TRUE(log.contains("", "no local database configured"));
    KQPI_Focus::setFocus("");
}

TEST_F(DB, AFileThatIsNotADatabaseFailsWithALogLine) {
    lmtest::writeFile(path, std::string(8192, 'x'));
    EvLogCapture log;
    int rc = db.connect();
    EXPECT_EQ(rc, LMDBInterface::kErrorBase + SQLITE_NOTADB);
    EXPECT_NE(db.cleanClientTableForScan(), 0);
    std::string v;
    int prop = db.getClientComponentProp(1, ComponentTypeContentPath, "/x", v);
    EXPECT_NE(prop, 0);
    EXPECT_NE(prop, 1); // never mistaken for "no such property"
    EXPECT_TRUE(log.contains("LMDBInterface::connect", -1, "not a database"));
}

TEST_F(DB, ADatabaseLockedByAnotherProcessFailsAfterTheTimeout) {
    ASSERT_EQ(db.connect(), 0);
    ASSERT_EQ(db.disconnect(), 0);
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* raw = nullptr;
        sqlite3_open(path.c_str(), &raw);
        int rc = sqlite3_exec(raw, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
        char c = rc == SQLITE_OK ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1); // until the parent is done
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    db.setBusyTimeout(200);
    EvLogCapture log;
    auto start = std::chrono::steady_clock::now();
    std::string p = "/var/log/a.log";
    int rc = db.insertFileInClientFileScanTable(p, 1, "", 0, 0);
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(rc, LMDBInterface::kErrorBase + SQLITE_BUSY);
    EXPECT_GE(waited, std::chrono::milliseconds(150));
    EXPECT_NE(db.beginTransaction(), 0);
    EXPECT_TRUE(log.contains("LMDBInterface::insertFileInClientFileScanTable", -1, "locked"));
    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(db.insertFileInClientFileScanTable(p, 1, "", 0, 0), 0);
    close(ready[0]); close(ready[1]); close(release[0]); close(release[1]);
}

TEST_F(DB, ComponentPropertiesAndTransactions) {
    std::string v;
    EXPECT_EQ(db.getClientComponentProp(3, ComponentTypeContentPath, "/logs", v), 1);
    EXPECT_EQ(db.updateClientComponentProp(3, ComponentTypeContentPath, "/logs", "1"), 0);
    EXPECT_EQ(db.updateClientComponentProp(3, ComponentTypeSubfolderSetting, "Subfolder Selected", "0"), 0);
    EXPECT_EQ(db.updateClientComponentProp(3, ComponentTypeSubfolderSetting, "Subfolder Selected", "1"), 0);
    EXPECT_EQ(db.getClientComponentProp(3, ComponentTypeContentPath, "/logs", v), 0);
    EXPECT_EQ(v, "1");
    EXPECT_EQ(db.getClientComponentProp(3, ComponentTypeSubfolderSetting, "Subfolder Selected", v), 0);
    EXPECT_EQ(v, "1");
    EXPECT_EQ(db.getClientComponentProp(4, ComponentTypeContentPath, "/logs", v), 1);

    bool empty = false;
    ASSERT_EQ(db.beginTransaction(), 0);
    EXPECT_EQ(scanRow("/a", 1), 0);
    EXPECT_EQ(db.rollBackTransaction(), 0);
    EXPECT_EQ(db.isFilesScanTableEmpty(empty, false), 0);
    EXPECT_TRUE(empty);
    ASSERT_EQ(db.beginTransaction(), 0);
    EXPECT_EQ(scanRow("/a", 1), 0);
    EXPECT_EQ(db.endTransaction(), 0);
    EXPECT_EQ(db.isFilesScanTableEmpty(empty, false), 0);
    EXPECT_FALSE(empty);
    EXPECT_EQ(db.isFilesScanTableEmpty(empty, true), 0);
    EXPECT_TRUE(empty);
    EXPECT_EQ(db.cleanClientTableForScan(), 0);
    EXPECT_EQ(db.isFilesScanTableEmpty(empty, false), 0);
    EXPECT_TRUE(empty);
    EXPECT_NE(db.endTransaction(), 0); // none open
}

TEST_F(DB, MergeKeepsIdentityThroughRenamesAndRotation) {
    ASSERT_EQ(scanRow("/l/app.log", 100), 0);
    ASSERT_EQ(scanRow("/l/other.log", 200), 0);
    ASSERT_EQ(scanRow("/l/gone.log", 300), 0);
    ASSERT_EQ(scanRow("/l/app.log", 100), 0); // overlapping content paths list a file twice
    ASSERT_EQ(db.merge(), 0);
    auto first = files();
    ASSERT_EQ(first.size(), 3u);
    ASSERT_EQ(db.setPendingOffsets(1, first["/l/app.log"].fileId, 500, 10), 0);
    ASSERT_EQ(db.updateLastKnownGoodOffsets({first["/l/app.log"].fileId}), 0);

    // app.log rotated to app.log.1 and a new app.log started; other.log renamed to renamed.log;
    // gone.log replaced by a different file of the same name.
    ASSERT_EQ(db.cleanClientTableForScan(), 0);
    ASSERT_EQ(scanRow("/l/app.log", 101), 0);
    ASSERT_EQ(scanRow("/l/app.log.1", 100), 0);
    ASSERT_EQ(scanRow("/l/renamed.log", 200), 0);
    ASSERT_EQ(scanRow("/l/gone.log", 301), 0);
    ASSERT_EQ(db.merge(), 0);
    auto second = files();
    ASSERT_EQ(second.size(), 4u);
    EXPECT_EQ(second["/l/app.log.1"].fileId, first["/l/app.log"].fileId);
    EXPECT_EQ(second["/l/renamed.log"].fileId, first["/l/other.log"].fileId);
    EXPECT_GT(second["/l/app.log"].fileId, first["/l/gone.log"].fileId);
    EXPECT_GT(second["/l/gone.log"].fileId, first["/l/gone.log"].fileId);
    EXPECT_EQ(second["/l/gone.log"].fileReferenceNumber, 301);
    LMFileOffsets off;
    ASSERT_EQ(db.getFileOffsets(1, second["/l/app.log.1"].fileId, off), 0);
    EXPECT_EQ(off.lastOffset, 500);
    EXPECT_EQ(db.getFileOffsets(1, second["/l/app.log"].fileId, off), 1);

    // Event logs are matched by name only: they all carry the same identifier.
    ASSERT_EQ(db.cleanClientTableForScan(), 0);
    ASSERT_EQ(scanRow("Application", 1), 0);
    ASSERT_EQ(scanRow("System", 1), 0);
    ASSERT_EQ(db.mergeForWindowsEvents(), 0);
    ASSERT_EQ(db.mergeForWindowsEvents(), 0);
    auto third = files();
    EXPECT_EQ(third.size(), 6u);
    EXPECT_EQ(third["/l/app.log.1"].fileId, first["/l/app.log"].fileId);
}

TEST_F(DB, DeleteOldContentForgetsOnlyWhatNoPathCovers) {
    for (const char* p : {"/a", "/b/", "/c/*.log"}) ASSERT_EQ(db.updateClientComponentProp(1, ComponentTypeContentPath, p, "1"), 0);
    ASSERT_EQ(db.updateClientComponentProp(2, ComponentTypeContentPath, "/b/keep", "1"), 0);
    long long frn = 1;
    for (const char* p : {"/a/x.log", "/ab/y.log", "/b/z.log", "/b/keep/k.log", "/c/w.log", "/c/w.txt"}) ASSERT_EQ(scanRow(p, frn++), 0);
    ASSERT_EQ(db.merge(), 0);
    int zId = files()["/b/z.log"].fileId;
    ASSERT_EQ(db.setPendingOffsets(7, zId, 10, 1), 0);
    ASSERT_EQ(db.updateLastKnownGoodOffsets({zId}), 0);

    ASSERT_EQ(db.deleteOldContent(1, {"/a/"}), 0);
    auto left = files();
    EXPECT_TRUE(left.count("/a/x.log"));
    EXPECT_TRUE(left.count("/ab/y.log"));     // not under "/a"
    EXPECT_FALSE(left.count("/b/z.log"));
    EXPECT_TRUE(left.count("/b/keep/k.log")); // component 2 still has it
    EXPECT_FALSE(left.count("/c/w.log"));
    EXPECT_TRUE(left.count("/c/w.txt"));
    std::string v;
    EXPECT_EQ(db.getClientComponentProp(1, ComponentTypeContentPath, "/a", v), 0);
    EXPECT_EQ(db.getClientComponentProp(1, ComponentTypeContentPath, "/b/", v), 1);
    EXPECT_EQ(db.getClientComponentProp(2, ComponentTypeContentPath, "/b/keep", v), 0);
    LMFileOffsets off;
    EXPECT_EQ(db.getFileOffsets(7, zId, off), 1);
}

TEST_F(DB, OffsetsAdvanceOnSuccessAndRollBackOnFailure) {
    std::string a = "/l/a.log", b = "/l/b.log";
    ASSERT_EQ(db.insertNewFile(a, 5, 11, 1000), 0);
    ASSERT_EQ(db.insertNewFile(b, 5, 12, 1000), 0);
    ASSERT_EQ(db.insertNewFile(a, 5, 11, 1000), 0); // registering twice changes nothing
    FileNameAndFRN ra, rb;
    ASSERT_TRUE(db.doesThisFileExistInDB(a, ra));
    ASSERT_TRUE(db.doesThisFileExistInDB(b, rb));
    EXPECT_EQ(ra.fileReferenceNumber, 11);
    EXPECT_FALSE(db.doesThisFileExistInDB("/l/c.log", rb) && rb.fileName == "/l/c.log");
    ASSERT_TRUE(db.doesThisFileExistInDB(b, rb));
    EXPECT_EQ(files().size(), 2u);

    LMFileOffsets off;
    ASSERT_EQ(db.getFileOffsets(5, ra.fileId, off), 0);
    EXPECT_EQ(off.lastOffset, 0);
    EXPECT_EQ(db.getFileOffsets(6, ra.fileId, off), 1);

    const long long big = 5ll << 30; // beyond 32 bits
    ASSERT_EQ(db.setPendingOffsets(5, ra.fileId, big, 70000), 0);
    ASSERT_EQ(db.setPendingOffsets(5, rb.fileId, 200, 2), 0);
    ASSERT_EQ(db.setPendingOffsets(6, ra.fileId, 300, 3), 0);
    ASSERT_EQ(db.updateLastKnownGoodOffsets({ra.fileId, 99999}), 0);
    ASSERT_EQ(db.getFileOffsets(5, ra.fileId, off), 0);
    EXPECT_EQ(off.lastOffset, big);
    EXPECT_EQ(off.lastLineNum, 70000);
    EXPECT_GT(off.lastProcessedTime, 0);
    ASSERT_EQ(db.getFileOffsets(6, ra.fileId, off), 0);
    EXPECT_EQ(off.lastOffset, 300);
    ASSERT_EQ(db.getFileOffsets(5, rb.fileId, off), 0);
    EXPECT_EQ(off.lastOffset, 0);
    EXPECT_EQ(off.pendingOffset, 200);

    // The next batch of a fails: it goes back to where the index is; b's failure goes to 0.
    ASSERT_EQ(db.setPendingOffsets(5, ra.fileId, big + 100, 70010), 0);
    ASSERT_EQ(db.resetToLastKnownGoodOffsets({ra.fileId, rb.fileId}), 0);
    ASSERT_EQ(db.getFileOffsets(5, ra.fileId, off), 0);
    EXPECT_EQ(off.pendingOffset, big);
    EXPECT_EQ(off.pendingLineNum, 70000);
    EXPECT_EQ(off.lastOffset, big);
    ASSERT_EQ(db.getFileOffsets(5, rb.fileId, off), 0);
    EXPECT_EQ(off.pendingOffset, 0);
    EXPECT_EQ(off.pendingLineNum, 0);

    // A copy (a send worker's) sees and changes the same file.
    LMDBInterface copy(db);
    ASSERT_EQ(copy.setPendingOffsets(5, rb.fileId, 900, 9), 0);
    ASSERT_EQ(copy.updateLastKnownGoodOffsets({rb.fileId}), 0);
    ASSERT_EQ(db.getFileOffsets(5, rb.fileId, off), 0);
    EXPECT_EQ(off.lastOffset, 900);
}

TEST_F(DB, GeolocationCache) {
    std::string lat, lon, cc, st;
    EXPECT_FALSE(db.wasIPCachedRecently("10.0.0.1", 7));
    EXPECT_EQ(db.selectGeoIPLocation("10.0.0.1", lat, lon, cc, st), 1);
    ASSERT_EQ(db.insertIPGeoLocation("10.0.0.1", "NL", "NH", "52.3", "4.9"), 0);
    ASSERT_EQ(db.insertIPGeoLocation("10.0.0.1", "NL", "UT", "52.1", "5.1"), 0);
    EXPECT_TRUE(db.wasIPCachedRecently("10.0.0.1", 7));
    ASSERT_EQ(db.selectGeoIPLocation("10.0.0.1", lat, lon, cc, st), 0);
    EXPECT_EQ(lat, "52.1");
    EXPECT_EQ(lon, "5.1");
    EXPECT_EQ(cc, "NL");
    EXPECT_EQ(st, "UT");
    // An entry last used 8 days ago is stale.
    ASSERT_EQ(db.disconnect(), 0);
    sqlite3* raw = nullptr;
    sqlite3_open(path.c_str(), &raw);
    sqlite3_exec(raw, "UPDATE LM_ClientIPGeoLocation SET lastAccessedTime = strftime('%s','now') - 8*86400", nullptr,
                 nullptr, nullptr);
    sqlite3_close(raw);
    EXPECT_FALSE(db.wasIPCachedRecently("10.0.0.1", 7));
    EXPECT_TRUE(db.wasIPCachedRecently("10.0.0.1", 9));
}
