#include "platform/localdb/LMDBInterface.h"

#include <fnmatch.h>
#include <sqlite3.h>

#include <ctime>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "platform/localdb/SqliteStatement.h"
#include "platform/log/EvLMDebug.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {

const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS LM_ClientFiles(fileId INTEGER PRIMARY KEY AUTOINCREMENT, "
    "fileReferenceNumber INTEGER, filePath TEXT, lastModifiedTime INTEGER, referenceCount INTEGER, "
    "isUNC INTEGER, uncRoot TEXT)",
    "CREATE UNIQUE INDEX IF NOT EXISTS LM_ClientFiles_path ON LM_ClientFiles(filePath)",
    "CREATE INDEX IF NOT EXISTS LM_ClientFiles_frn ON LM_ClientFiles(fileReferenceNumber)",
    "CREATE TABLE IF NOT EXISTS LM_ClientFilesForScan(fileId INTEGER PRIMARY KEY AUTOINCREMENT, "
    "fileReferenceNumber INTEGER, filePath TEXT, lastModifiedTime INTEGER, referenceCount INTEGER, "
    "isUNC INTEGER, uncRoot TEXT)",
    "CREATE TABLE IF NOT EXISTS LM_ClientFilesForScanUNC(fileId INTEGER PRIMARY KEY AUTOINCREMENT, "
    "fileReferenceNumber INTEGER, filePath TEXT, lastModifiedTime INTEGER, createdTime INTEGER, "
    "offSet INTEGER, isUNC INTEGER, uncRoot TEXT)",
    "CREATE TABLE IF NOT EXISTS LM_ClientFilesProp(id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "monitorPolicyId INTEGER, fileId INTEGER, lastOffset INTEGER, lastLineNum INTEGER, "
    "lastProcessedTime INTEGER, content TEXT)",
    "CREATE UNIQUE INDEX IF NOT EXISTS LM_ClientFilesProp_file ON LM_ClientFilesProp(fileId, monitorPolicyId)",
    "CREATE TABLE IF NOT EXISTS LM_ClientComponentProp(id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "componentId INTEGER, componentType INTEGER, attrName TEXT, attrValue TEXT)",
    "CREATE UNIQUE INDEX IF NOT EXISTS LM_ClientComponentProp_key "
    "ON LM_ClientComponentProp(componentId, componentType, attrName)",
    "CREATE TABLE IF NOT EXISTS LM_ClientIPGeoLocation(id INTEGER PRIMARY KEY AUTOINCREMENT, "
    "ipAddress TEXT, latitude TEXT, longitude TEXT, countryCode TEXT, state TEXT, lastAccessedTime INTEGER)",
    "CREATE UNIQUE INDEX IF NOT EXISTS LM_ClientIPGeoLocation_ip ON LM_ClientIPGeoLocation(ipAddress)",
    "CREATE TABLE IF NOT EXISTS LM_ClientRunningStatus(policyId INTEGER PRIMARY KEY AUTOINCREMENT, "
    "state INTEGER, filesProcessed INTEGER, lastAccessedTime INTEGER)",
    // Positions a reader has reached but the index has not confirmed yet.
    "CREATE TABLE IF NOT EXISTS LM_ClientFilesPendingProp(fileId INTEGER NOT NULL, "
    "monitorPolicyId INTEGER NOT NULL, pendingOffset INTEGER, pendingLineNum INTEGER, "
    "PRIMARY KEY(fileId, monitorPolicyId))",
};

long long now() { return static_cast<long long>(std::time(nullptr)); }

std::string withoutTrailingSlash(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

// Whether a registered file lies under a content path (a file, a folder or a wildcard path).
bool covers(const std::string& contentPath, const std::string& file) {
    std::string p = withoutTrailingSlash(contentPath);
    if (p.empty()) return false;
    if (file == p) return true;
    if (file.size() > p.size() && file.compare(0, p.size(), p) == 0 && (file[p.size()] == '/' || p == "/"))
        return true;
    return p.find_first_of("*?[") != std::string::npos && ::fnmatch(p.c_str(), file.c_str(), 0) == 0;
}

struct ScanRow {
    std::string path;
    long long frn;
    long long modified;
    int isUNC;
    std::string uncRoot;
};

struct ClientRow {
    int id;
    std::string path;
    long long frn;
    bool claimed = false;
};

}

LMDBInterface::LMDBInterface() = default;
LMDBInterface::LMDBInterface(std::string path) : path_(std::move(path)) {}
LMDBInterface::LMDBInterface(const LMDBInterface& other)
    : path_(other.path_), busyTimeoutMs_(other.busyTimeoutMs_) {}
LMDBInterface::~LMDBInterface() {
    if (db_) {
        if (inTransaction_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(db_);
    }
}

int LMDBInterface::fail(const char* op, int rc, const char* what) {
    const char* msg = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    EvLMDebug().Error(op, "%s failed on local database [%s]: %s (%d)", what, path_.c_str(), msg, rc);
    return kErrorBase + (rc & 0xff);
}

int LMDBInterface::exec(const char* op, const char* sql) {
    SqliteStatement st(db_, sql);
    if (st.prepared() != SQLITE_OK) return fail(op, st.prepared(), sql);
    int rc = st.run();
    return rc == SQLITE_OK ? 0 : fail(op, rc, sql);
}

int LMDBInterface::open(const char* op) {
    if (db_) return 0;
    if (path_.empty()) {
        KQPlatformInfo info;
        if (!info.getString(KQPlatformInfo::kPlatformSection, "sLocalDB", path_) || path_.empty()) {
            path_.clear();
            EvLMDebug().Error(op, "no local database configured (Platform\\sLocalDB)");
            return kErrorBase;
        }
    }
    int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
        int code = fail(op, rc, "open");
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return code;
    }
    sqlite3_busy_timeout(db_, busyTimeoutMs_);
    sqlite3_extended_result_codes(db_, 0);
    int r = exec(op, "PRAGMA journal_mode=WAL");
    if (r == 0) r = exec(op, "PRAGMA foreign_keys=OFF");
    if (r == 0) r = createSchema(op);
    if (r != 0) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
    return r;
}

int LMDBInterface::createSchema(const char* op) {
    // All or nothing, so that a second process opening the file at the same time sees either no
    // tables or all of them.
    int r = exec(op, "BEGIN IMMEDIATE");
    if (r != 0) return r;
    for (const char* sql : kSchema) {
        r = exec(op, sql);
        if (r != 0) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            return r;
        }
    }
    return exec(op, "COMMIT");
}

int LMDBInterface::connect() { return open("LMDBInterface::connect"); }

int LMDBInterface::disconnect() {
    if (!db_) return 0;
    if (inTransaction_) {
        EvLMDebug().Error("LMDBInterface::disconnect", "open transaction rolled back on disconnect");
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        inTransaction_ = false;
    }
    int rc = sqlite3_close_v2(db_);
    db_ = nullptr;
    return rc == SQLITE_OK ? 0 : kErrorBase + rc;
}

int LMDBInterface::beginTransaction() {
    const char* op = "LMDBInterface::beginTransaction";
    if (int r = open(op)) return r;
    if (inTransaction_) {
        EvLMDebug().Error(op, "a transaction is already open");
        return kErrorBase + SQLITE_MISUSE;
    }
    // IMMEDIATE takes the write lock now: a busy database fails here, not halfway through.
    int r = exec(op, "BEGIN IMMEDIATE");
    if (r == 0) inTransaction_ = true;
    return r;
}

int LMDBInterface::endTransaction() {
    const char* op = "LMDBInterface::endTransaction";
    if (!db_ || !inTransaction_) {
        EvLMDebug().Error(op, "no open transaction");
        return kErrorBase + SQLITE_MISUSE;
    }
    int r = exec(op, "COMMIT");
    if (r == 0) inTransaction_ = false;
    return r;
}

int LMDBInterface::rollBackTransaction() {
    const char* op = "LMDBInterface::rollBackTransaction";
    if (!db_ || !inTransaction_) {
        EvLMDebug().Error(op, "no open transaction");
        return kErrorBase + SQLITE_MISUSE;
    }
    inTransaction_ = false;
    if (sqlite3_get_autocommit(db_)) return 0; // SQLite already rolled it back after an error
    return exec(op, "ROLLBACK");
}

int LMDBInterface::beginAtomic(const char* op) {
    if (int r = open(op)) return r;
    return exec(op, "SAVEPOINT lmdb_op");
}

int LMDBInterface::endAtomic(const char* op, int rc) {
    if (rc == 0) {
        int r = exec(op, "RELEASE lmdb_op");
        if (r == 0) return 0;
        rc = r;
    }
    sqlite3_exec(db_, "ROLLBACK TO lmdb_op", nullptr, nullptr, nullptr);
    sqlite3_exec(db_, "RELEASE lmdb_op", nullptr, nullptr, nullptr);
    return rc;
}

// --- scan tables ---

int LMDBInterface::cleanClientTableForScan() {
    const char* op = "LMDBInterface::cleanClientTableForScan";
    if (int r = open(op)) return r;
    return exec(op, "DELETE FROM LM_ClientFilesForScan");
}

int LMDBInterface::insertFileInClientFileScanTable(std::string& path, long long fileReferenceNumber,
                                                   std::string uncRoot, int isUNC, long long lastValue) {
    const char* op = "LMDBInterface::insertFileInClientFileScanTable";
    if (int r = open(op)) return r;
    SqliteStatement st(db_,
                       "INSERT INTO LM_ClientFilesForScan(fileReferenceNumber, filePath, lastModifiedTime, "
                       "referenceCount, isUNC, uncRoot) VALUES(?, ?, ?, 1, ?, ?)");
    if (st.prepared() != SQLITE_OK) return fail(op, st.prepared(), "prepare");
    st.bind(1, fileReferenceNumber).bind(2, path).bind(3, lastValue).bind(4, isUNC).bind(5, uncRoot);
    int rc = st.run();
    return rc == SQLITE_OK ? 0 : fail(op, rc, "insert");
}

int LMDBInterface::isFilesScanTableEmpty(bool& empty, bool filerContent) {
    const char* op = "LMDBInterface::isFilesScanTableEmpty";
    if (int r = open(op)) return r;
    SqliteStatement st(db_, filerContent ? "SELECT EXISTS(SELECT 1 FROM LM_ClientFilesForScanUNC)"
                                         : "SELECT EXISTS(SELECT 1 FROM LM_ClientFilesForScan)");
    int rc = st.step();
    if (rc != SQLITE_ROW) return fail(op, rc, "select");
    empty = st.i64(0) == 0;
    return 0;
}

int LMDBInterface::merge() { return mergeFrom("LMDBInterface::merge", "LM_ClientFilesForScan", true); }
int LMDBInterface::mergeForFillerContent() {
    return mergeFrom("LMDBInterface::mergeForFillerContent", "LM_ClientFilesForScanUNC", true);
}
int LMDBInterface::mergeForWindowsEvents() {
    return mergeFrom("LMDBInterface::mergeForWindowsEvents", "LM_ClientFilesForScan", false);
}

int LMDBInterface::forgetFile(const char* op, int fileId) {
    static const char* const kForget[] = {
        "DELETE FROM LM_ClientFilesProp WHERE fileId = ?",
        "DELETE FROM LM_ClientFilesPendingProp WHERE fileId = ?",
        "DELETE FROM LM_ClientFiles WHERE fileId = ?",
    };
    for (const char* sql : kForget) {
        SqliteStatement st(db_, sql);
        st.bind(1, fileId);
        int rc = st.run();
        if (rc != SQLITE_OK) return fail(op, rc, sql);
    }
    return 0;
}

int LMDBInterface::mergeFrom(const char* op, const char* table, bool byIdentity) {
    if (int r = beginAtomic(op)) return r;
    std::vector<ScanRow> scan;
    std::unordered_map<std::string, long long> scanFrn; // first row of each path wins
    {
        std::string sql = std::string("SELECT filePath, fileReferenceNumber, lastModifiedTime, isUNC, uncRoot FROM ") +
                          table + " WHERE filePath IS NOT NULL ORDER BY fileId";
        SqliteStatement st(db_, sql.c_str());
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            ScanRow r{st.text(0), st.i64(1), st.i64(2), static_cast<int>(st.i64(3)), st.text(4)};
            if (scanFrn.emplace(r.path, r.frn).second) scan.push_back(std::move(r));
        }
        if (rc != SQLITE_DONE) return endAtomic(op, fail(op, rc, "read scan table"));
    }
    std::vector<ClientRow> client;
    std::unordered_map<std::string, size_t> byPath;
    std::unordered_multimap<long long, size_t> byFrn;
    {
        SqliteStatement st(db_, "SELECT fileId, filePath, fileReferenceNumber FROM LM_ClientFiles WHERE filePath IS NOT NULL");
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) client.push_back({static_cast<int>(st.i64(0)), st.text(1), st.i64(2)});
        if (rc != SQLITE_DONE) return endAtomic(op, fail(op, rc, "read client files"));
        for (size_t i = 0; i < client.size(); ++i) {
            byPath.emplace(client[i].path, i);
            byFrn.emplace(client[i].frn, i);
        }
    }

    // 1. Same path, same file (or an identifier that is not known on one side).
    std::vector<int> matched(scan.size(), -1);
    for (size_t s = 0; s < scan.size(); ++s) {
        auto it = byPath.find(scan[s].path);
        if (it == byPath.end()) continue;
        ClientRow& c = client[it->second];
        if (!byIdentity || c.frn == scan[s].frn || scan[s].frn == 0 || c.frn == 0) {
            c.claimed = true;
            matched[s] = static_cast<int>(it->second);
        }
    }
    // 2. Renames: a known identifier under a new path, where the old row was not matched above.
    std::vector<std::pair<size_t, size_t>> moves; // scan row, client row
    if (byIdentity) {
        for (size_t s = 0; s < scan.size(); ++s) {
            if (matched[s] >= 0 || scan[s].frn == 0) continue;
            auto range = byFrn.equal_range(scan[s].frn);
            for (auto it = range.first; it != range.second; ++it) {
                ClientRow& c = client[it->second];
                if (c.claimed) continue;
                c.claimed = true;
                matched[s] = static_cast<int>(it->second);
                moves.emplace_back(s, it->second);
                break;
            }
        }
    }
    int rc = 0;
    // 3. Rows whose path is taken by another file and that were not found elsewhere are gone.
    for (size_t s = 0; s < scan.size() && rc == 0; ++s) {
        auto it = byPath.find(scan[s].path);
        if (it == byPath.end() || client[it->second].claimed) continue;
        EvLMDebug().DebugLvl(op, 5, "file [%s] was replaced; its old record is forgotten", scan[s].path.c_str());
        rc = forgetFile(op, client[it->second].id);
        client[it->second].claimed = true;
    }
    // Moved rows first give up their paths, so that a chain of renames never collides.
    for (auto& [s, c] : moves) {
        if (rc) break;
        SqliteStatement st(db_, "UPDATE LM_ClientFiles SET filePath = NULL WHERE fileId = ?");
        st.bind(1, client[c].id);
        if ((rc = st.run()) != SQLITE_OK) rc = fail(op, rc, "release path");
    }
    {
        SqliteStatement upd(db_,
                            "UPDATE LM_ClientFiles SET filePath = ?, fileReferenceNumber = ?, isUNC = ?, uncRoot = ? "
                            "WHERE fileId = ?");
        SqliteStatement ins(db_,
                            "INSERT INTO LM_ClientFiles(fileReferenceNumber, filePath, lastModifiedTime, referenceCount, "
                            "isUNC, uncRoot) VALUES(?, ?, ?, 1, ?, ?)");
        for (size_t s = 0; s < scan.size() && rc == 0; ++s) {
            const ScanRow& r = scan[s];
            int e;
            if (matched[s] >= 0) {
                const ClientRow& c = client[static_cast<size_t>(matched[s])];
                if (c.path == r.path && (c.frn == r.frn || r.frn == 0)) continue;
                upd.reset();
                upd.bind(1, r.path).bind(2, r.frn ? r.frn : c.frn).bind(3, r.isUNC).bind(4, r.uncRoot).bind(5, c.id);
                if (c.path != r.path)
                    EvLMDebug().DebugLvl(op, 5, "file [%s] was renamed to [%s]", c.path.c_str(), r.path.c_str());
                e = upd.run();
            } else {
                ins.reset();
                ins.bind(1, r.frn).bind(2, r.path).bind(3, r.modified).bind(4, r.isUNC).bind(5, r.uncRoot);
                e = ins.run();
            }
            if (e != SQLITE_OK) rc = fail(op, e, "write client file");
        }
    }
    return endAtomic(op, rc);
}

int LMDBInterface::deleteOldContent(unsigned componentId, std::vector<std::string> paths) {
    const char* op = "LMDBInterface::deleteOldContent";
    if (int r = beginAtomic(op)) return r;
    std::set<std::string> keep;
    for (auto& p : paths) keep.insert(withoutTrailingSlash(p));
    std::vector<std::pair<long long, std::string>> removed;
    std::vector<std::string> remaining;
    {
        SqliteStatement st(db_, "SELECT id, componentId, attrName FROM LM_ClientComponentProp WHERE componentType = ?");
        st.bind(1, static_cast<long long>(ComponentTypeContentPath));
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            std::string name = st.text(2);
            if (static_cast<unsigned>(st.i64(1)) == componentId && !keep.count(withoutTrailingSlash(name)))
                removed.emplace_back(st.i64(0), name);
            else
                remaining.push_back(name);
        }
        if (rc != SQLITE_DONE) return endAtomic(op, fail(op, rc, "read content paths"));
    }
    int rc = 0;
    if (!removed.empty()) {
        std::vector<std::pair<int, std::string>> files;
        {
            SqliteStatement st(db_, "SELECT fileId, filePath FROM LM_ClientFiles WHERE filePath IS NOT NULL");
            int e;
            while ((e = st.step()) == SQLITE_ROW) files.emplace_back(static_cast<int>(st.i64(0)), st.text(1));
            if (e != SQLITE_DONE) rc = fail(op, e, "read client files");
        }
        for (auto& [id, file] : files) {
            if (rc) break;
            bool under = false;
            for (auto& r : removed) under = under || covers(r.second, file);
            if (!under) continue;
            bool stillCovered = false;
            for (auto& p : remaining) stillCovered = stillCovered || covers(p, file);
            if (!stillCovered) rc = forgetFile(op, id);
        }
        SqliteStatement del(db_, "DELETE FROM LM_ClientComponentProp WHERE id = ?");
        for (auto& r : removed) {
            if (rc) break;
            del.reset();
            del.bind(1, r.first);
            int e = del.run();
            if (e != SQLITE_OK) rc = fail(op, e, "delete content path");
            else EvLMDebug().DebugLvl(op, 5, "content [%s] of component %u forgotten", r.second.c_str(), componentId);
        }
    }
    return endAtomic(op, rc);
}

// --- component properties ---

int LMDBInterface::getClientComponentProp(unsigned componentId, ComponentType type, std::string attrName,
                                          std::string& attrValue) {
    const char* op = "LMDBInterface::getClientComponentProp";
    if (int r = open(op)) return r;
    SqliteStatement st(db_,
                       "SELECT attrValue FROM LM_ClientComponentProp WHERE componentId = ? AND componentType = ? "
                       "AND attrName = ?");
    st.bind(1, static_cast<long long>(componentId)).bind(2, static_cast<long long>(type)).bind(3, attrName);
    int rc = st.step();
    if (rc == SQLITE_DONE) return 1;
    if (rc != SQLITE_ROW) return fail(op, rc, "select");
    attrValue = st.text(0);
    return 0;
}

int LMDBInterface::updateClientComponentProp(unsigned componentId, ComponentType type, std::string attrName,
                                             std::string attrValue) {
    const char* op = "LMDBInterface::updateClientComponentProp";
    if (int r = open(op)) return r;
    SqliteStatement st(db_,
                       "INSERT INTO LM_ClientComponentProp(componentId, componentType, attrName, attrValue) "
                       "VALUES(?, ?, ?, ?) ON CONFLICT(componentId, componentType, attrName) "
                       "DO UPDATE SET attrValue = excluded.attrValue");
    st.bind(1, static_cast<long long>(componentId)).bind(2, static_cast<long long>(type)).bind(3, attrName).bind(4, attrValue);
    int rc = st.run();
    return rc == SQLITE_OK ? 0 : fail(op, rc, "upsert");
}

// --- registered files ---

bool LMDBInterface::doesThisFileExistInDB(std::string path, FileNameAndFRN& record) {
    const char* op = "LMDBInterface::doesThisFileExistInDB";
    if (open(op)) return false;
    SqliteStatement st(db_,
                       "SELECT fileId, filePath, fileReferenceNumber, lastModifiedTime FROM LM_ClientFiles "
                       "WHERE filePath = ?");
    st.bind(1, path);
    int rc = st.step();
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) {
        fail(op, rc, "select");
        return false;
    }
    record.fileId = static_cast<int>(st.i64(0));
    record.fileName = st.text(1);
    record.fileReferenceNumber = st.i64(2);
    record.lastModifiedTime = st.i64(3);
    return true;
}

int LMDBInterface::insertNewFile(std::string& path, unsigned policyId, long long fileReferenceNumber,
                                 long long createdTime) {
    const char* op = "LMDBInterface::insertNewFile";
    if (int r = beginAtomic(op)) return r;
    int rc = 0;
    {
        SqliteStatement ins(db_,
                            "INSERT INTO LM_ClientFiles(fileReferenceNumber, filePath, lastModifiedTime, referenceCount, "
                            "isUNC, uncRoot) VALUES(?, ?, ?, 1, 0, '') ON CONFLICT(filePath) DO NOTHING");
        ins.bind(1, fileReferenceNumber).bind(2, path).bind(3, createdTime);
        int e = ins.run();
        if (e != SQLITE_OK) rc = fail(op, e, "insert file");
    }
    if (rc == 0) {
        SqliteStatement prop(db_,
                             "INSERT INTO LM_ClientFilesProp(monitorPolicyId, fileId, lastOffset, lastLineNum, "
                             "lastProcessedTime, content) SELECT ?, fileId, 0, 0, 0, '' FROM LM_ClientFiles "
                             "WHERE filePath = ? ON CONFLICT(fileId, monitorPolicyId) DO NOTHING");
        prop.bind(1, static_cast<long long>(policyId)).bind(2, path);
        int e = prop.run();
        if (e != SQLITE_OK) rc = fail(op, e, "insert progress");
    }
    return endAtomic(op, rc);
}

int LMDBInterface::getClientFiles(std::vector<LM_ClientFiles_t2>& files) {
    const char* op = "LMDBInterface::getClientFiles";
    if (int r = open(op)) return r;
    SqliteStatement st(db_,
                       "SELECT fileId, fileReferenceNumber, filePath, lastModifiedTime, referenceCount, isUNC, uncRoot "
                       "FROM LM_ClientFiles WHERE filePath IS NOT NULL ORDER BY fileId");
    files.clear();
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        LM_ClientFiles_t2 f;
        f.fileId = static_cast<int>(st.i64(0));
        f.fileReferenceNumber = st.i64(1);
        f.filePath = st.text(2);
        f.lastModifiedTime = st.i64(3);
        f.referenceCount = st.i64(4);
        f.isUNC = static_cast<int>(st.i64(5));
        f.uncRoot = st.text(6);
        files.push_back(std::move(f));
    }
    return rc == SQLITE_DONE ? 0 : fail(op, rc, "select");
}

// --- progress ---

int LMDBInterface::getFileOffsets(unsigned policyId, int fileId, LMFileOffsets& offsets) {
    const char* op = "LMDBInterface::getFileOffsets";
    if (int r = open(op)) return r;
    SqliteStatement good(db_,
                         "SELECT lastOffset, lastLineNum, lastProcessedTime FROM LM_ClientFilesProp "
                         "WHERE fileId = ? AND monitorPolicyId = ?");
    good.bind(1, fileId).bind(2, static_cast<long long>(policyId));
    int rc = good.step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return fail(op, rc, "select");
    bool found = rc == SQLITE_ROW;
    offsets = LMFileOffsets{};
    if (found) {
        offsets.lastOffset = good.i64(0);
        offsets.lastLineNum = good.i64(1);
        offsets.lastProcessedTime = good.i64(2);
    }
    offsets.pendingOffset = offsets.lastOffset;
    offsets.pendingLineNum = offsets.lastLineNum;
    SqliteStatement pend(db_,
                         "SELECT pendingOffset, pendingLineNum FROM LM_ClientFilesPendingProp "
                         "WHERE fileId = ? AND monitorPolicyId = ?");
    pend.bind(1, fileId).bind(2, static_cast<long long>(policyId));
    rc = pend.step();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return fail(op, rc, "select");
    if (rc == SQLITE_ROW) {
        found = true;
        offsets.pendingOffset = pend.i64(0);
        offsets.pendingLineNum = pend.i64(1);
    }
    return found ? 0 : 1;
}

int LMDBInterface::setPendingOffsets(unsigned policyId, int fileId, long long offset, long long lineNum) {
    const char* op = "LMDBInterface::setPendingOffsets";
    if (int r = open(op)) return r;
    SqliteStatement st(db_,
                       "INSERT INTO LM_ClientFilesPendingProp(fileId, monitorPolicyId, pendingOffset, pendingLineNum) "
                       "VALUES(?, ?, ?, ?) ON CONFLICT(fileId, monitorPolicyId) DO UPDATE SET "
                       "pendingOffset = excluded.pendingOffset, pendingLineNum = excluded.pendingLineNum");
    st.bind(1, fileId).bind(2, static_cast<long long>(policyId)).bind(3, offset).bind(4, lineNum);
    int rc = st.run();
    return rc == SQLITE_OK ? 0 : fail(op, rc, "upsert");
}

int LMDBInterface::updateLastKnownGoodOffsets(std::vector<int> fileIds) {
    const char* op = "LMDBInterface::updateLastKnownGoodOffsets";
    if (int r = beginAtomic(op)) return r;
    SqliteStatement st(db_,
                       "INSERT INTO LM_ClientFilesProp(monitorPolicyId, fileId, lastOffset, lastLineNum, "
                       "lastProcessedTime, content) SELECT monitorPolicyId, fileId, pendingOffset, pendingLineNum, ?, '' "
                       "FROM LM_ClientFilesPendingProp WHERE fileId = ? "
                       "ON CONFLICT(fileId, monitorPolicyId) DO UPDATE SET lastOffset = excluded.lastOffset, "
                       "lastLineNum = excluded.lastLineNum, lastProcessedTime = excluded.lastProcessedTime");
    int rc = 0;
    long long t = now();
    for (int id : fileIds) {
        st.reset();
        st.bind(1, t).bind(2, id);
        int e = st.run();
        if (e != SQLITE_OK) {
            rc = fail(op, e, "advance");
            break;
        }
    }
    return endAtomic(op, rc);
}

int LMDBInterface::resetToLastKnownGoodOffsets(std::vector<int> fileIds) {
    const char* op = "LMDBInterface::resetToLastKnownGoodOffsets";
    if (int r = beginAtomic(op)) return r;
    SqliteStatement st(db_,
                       "UPDATE LM_ClientFilesPendingProp SET "
                       "pendingOffset = COALESCE((SELECT p.lastOffset FROM LM_ClientFilesProp p WHERE "
                       "p.fileId = LM_ClientFilesPendingProp.fileId AND "
                       "p.monitorPolicyId = LM_ClientFilesPendingProp.monitorPolicyId), 0), "
                       "pendingLineNum = COALESCE((SELECT p.lastLineNum FROM LM_ClientFilesProp p WHERE "
                       "p.fileId = LM_ClientFilesPendingProp.fileId AND "
                       "p.monitorPolicyId = LM_ClientFilesPendingProp.monitorPolicyId), 0) "
                       "WHERE fileId = ?");
    int rc = 0;
    for (int id : fileIds) {
        st.reset();
        st.bind(1, id);
        int e = st.run();
        if (e != SQLITE_OK) {
            rc = fail(op, e, "roll back");
            break;
        }
    }
    return endAtomic(op, rc);
}

// --- geolocation cache ---

bool LMDBInterface::wasIPCachedRecently(const std::string& ip, const int& days) {
    const char* op = "LMDBInterface::wasIPCachedRecently";
    if (open(op)) return false;
    SqliteStatement st(db_, "SELECT lastAccessedTime FROM LM_ClientIPGeoLocation WHERE ipAddress = ?");
    st.bind(1, ip);
    int rc = st.step();
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) {
        fail(op, rc, "select");
        return false;
    }
    return now() - st.i64(0) <= static_cast<long long>(days) * 86400;
}

int LMDBInterface::selectGeoIPLocation(const std::string& ip, std::string& latitude, std::string& longitude,
                                       std::string& country, std::string& state) {
    const char* op = "LMDBInterface::selectGeoIPLocation";
    if (int r = open(op)) return r;
    {
        SqliteStatement st(db_,
                           "SELECT latitude, longitude, countryCode, state FROM LM_ClientIPGeoLocation WHERE ipAddress = ?");
        st.bind(1, ip);
        int rc = st.step();
        if (rc == SQLITE_DONE) return 1;
        if (rc != SQLITE_ROW) return fail(op, rc, "select");
        latitude = st.text(0);
        longitude = st.text(1);
        country = st.text(2);
        state = st.text(3);
    }
    SqliteStatement touch(db_, "UPDATE LM_ClientIPGeoLocation SET lastAccessedTime = ? WHERE ipAddress = ?");
    touch.bind(1, now()).bind(2, ip);
    int rc = touch.run();
    return rc == SQLITE_OK ? 0 : fail(op, rc, "update");
}

int LMDBInterface::insertIPGeoLocation(const std::string& ip, const std::string& country, const std::string& state,
                                       const std::string& latitude, const std::string& longitude) {
    const char* op = "LMDBInterface::insertIPGeoLocation";
    if (int r = open(op)) return r;
    SqliteStatement st(db_,
                       "INSERT INTO LM_ClientIPGeoLocation(ipAddress, latitude, longitude, countryCode, state, "
                       "lastAccessedTime) VALUES(?, ?, ?, ?, ?, ?) ON CONFLICT(ipAddress) DO UPDATE SET "
                       "latitude = excluded.latitude, longitude = excluded.longitude, countryCode = excluded.countryCode, "
                       "state = excluded.state, lastAccessedTime = excluded.lastAccessedTime");
    st.bind(1, ip).bind(2, latitude).bind(3, longitude).bind(4, country).bind(5, state).bind(6, now());
    int rc = st.run();
    return rc == SQLITE_OK ? 0 : fail(op, rc, "upsert");
}
