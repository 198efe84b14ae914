#pragma once
#include <string>
#include <vector>

#include "platform/localdb/LMLocalTables.h"

struct sqlite3;

// The local client database: registered files and their identifiers, the scan tables, per-file
// progress per monitoring policy, component properties and the IP geolocation cache. One SQLite
// file per instance, in WAL mode, created with its tables on first use.
//
// Results: 0 is success. A failure of the database is kErrorBase plus SQLite's primary result
// code (105 locked by another connection beyond the busy timeout, 126 not a database, ...), and
// kErrorBase itself when no database path is configured; every failure writes a log line.
// Operations documented with another meaning for 1 (a property or position that does not exist)
// never use 1 for a failure.
//
// Sessions: an operation called outside connect()/disconnect() opens the database itself; the
// connection stays open until disconnect() or destruction. beginTransaction() to endTransaction()
// keeps the writes in between together; operations made of several statements are atomic on
// their own too (they nest inside a caller's transaction).
//
// Threads: one object is used by one thread at a time. A copy opens its own connection to the
// same file, so each thread that needs the database (a send worker, say) takes a copy; SQLite
// serialises the writers, waiting up to the busy timeout.
class LMDBInterface {
public:
    static constexpr int kErrorBase = 100;
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    // The path comes from the registry of the focused instance ("Platform", "sLocalDB") when the
    // database is first opened.
    LMDBInterface();
    explicit LMDBInterface(std::string path);
    LMDBInterface(const LMDBInterface& other);
    LMDBInterface& operator=(const LMDBInterface&) = delete;
    ~LMDBInterface();

    // How long a statement waits for a lock another connection or process holds.
    void setBusyTimeout(int milliseconds) { busyTimeoutMs_ = milliseconds; }
    const std::string& path() const { return path_; }

    int connect();
    int disconnect();
    int beginTransaction();
    int endTransaction();
    int rollBackTransaction();

    // --- scan tables ---
    int cleanClientTableForScan();
    // One more row in LM_ClientFilesForScan; lastValue is kept as the row's lastModifiedTime.
    int insertFileInClientFileScanTable(std::string& path, long long fileReferenceNumber, std::string uncRoot,
                                        int isUNC, long long lastValue);
    // Whether the scan table (LM_ClientFilesForScanUNC for filer content) has no rows.
    int isFilesScanTableEmpty(bool& empty, bool filerContent);
    // Fold the scan table into LM_ClientFiles. A path already registered with the same identifier
    // keeps its file id and progress. A file whose identifier is registered under a path that the
    // scan no longer shows with it was renamed: its row moves to the new path and keeps its id and
    // progress. A registered file whose path now shows another identifier and which was not found
    // elsewhere is gone: it is forgotten and the new file gets a new id, so that its lines never
    // take over the old file's indexed records. Anything else is registered as new. Rows the scan
    // does not mention stay (they may belong to other components).
    int merge();
    // The same from LM_ClientFilesForScanUNC (content of filers).
    int mergeForFillerContent();
    // Event logs are known by name only: rows are matched by path, new names registered.
    int mergeForWindowsEvents();
    // Forgets the content paths (type-7 properties) of the component that are not in `paths`, and
    // the registered files under them that no remaining content path of any component covers,
    // with their progress.
    int deleteOldContent(unsigned componentId, std::vector<std::string> paths);

    // --- component properties ---
    // 0 with the value, 1 when there is no such property, otherwise a failure.
    int getClientComponentProp(unsigned componentId, ComponentType type, std::string attrName,
                               std::string& attrValue);
    int updateClientComponentProp(unsigned componentId, ComponentType type, std::string attrName,
                                  std::string attrValue);

    // --- registered files ---
    // True when the path is registered; the record is filled then. A failure reads as false.
    bool doesThisFileExistInDB(std::string path, FileNameAndFRN& record);
    // Registers the file (when its path is not registered yet) and gives it a progress row for
    // the policy at offset 0.
    int insertNewFile(std::string& path, unsigned policyId, long long fileReferenceNumber, long long createdTime);
    // Every registered file, by file id.
    int getClientFiles(std::vector<LM_ClientFiles_t2>& files);

    // --- progress of a reader ---
    // A reader starts a file at its last-known-good position (lastOffset, lastLineNum) and, as it
    // hands records of the file to a batch, records how far it got with setPendingOffsets. When
    // the batch is accepted, updateLastKnownGoodOffsets makes the pending positions of the
    // batch's files their last-known-good ones; when it is refused, resetToLastKnownGoodOffsets
    // moves the pending positions back, so the next read starts where the index is known to be.
    // Both act on every policy's position of each listed file; unknown ids are ignored.
    //
    // 0 with the positions, 1 when the file has no position for the policy (start at 0).
    int getFileOffsets(unsigned policyId, int fileId, LMFileOffsets& offsets);
    int setPendingOffsets(unsigned policyId, int fileId, long long offset, long long lineNum);
    int updateLastKnownGoodOffsets(std::vector<int> fileIds);
    int resetToLastKnownGoodOffsets(std::vector<int> fileIds);

    // --- IP geolocation cache ---
    // A stored location of the address was used within the last `days` days. Failures read as false.
    bool wasIPCachedRecently(const std::string& ip, const int& days);
    // 0 with the stored location (and its use is recorded), 1 when none is stored.
    int selectGeoIPLocation(const std::string& ip, std::string& latitude, std::string& longitude,
                            std::string& country, std::string& state);
    int insertIPGeoLocation(const std::string& ip, const std::string& country, const std::string& state,
                            const std::string& latitude, const std::string& longitude);

private:
    int open(const char* op);
    int createSchema(const char* op);
    int fail(const char* op, int rc, const char* what);
    int exec(const char* op, const char* sql);
    int beginAtomic(const char* op);
    int endAtomic(const char* op, int rc);
    int mergeFrom(const char* op, const char* table, bool byIdentity);
    int forgetFile(const char* op, int fileId);

    std::string path_; // empty: read from the registry when opened
    sqlite3* db_ = nullptr;
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
    bool inTransaction_ = false;
};
