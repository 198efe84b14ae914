#include "platform/mgmt/KQManagementDB.h"

#include <sqlite3.h>

#include <algorithm>
#include <mutex>
#include <tuple>
#include <vector>

#include "platform/mgmt/KQSqlStatement.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {

struct Step {
    std::string part;
    int version;
    const char* sql;
};

struct Steps {
    std::mutex mu;
    std::vector<Step> all;
};

Steps& steps() {
    static Steps s;
    return s;
}

// The tables of the management server's own records: clients, clouds and their index engine
// nodes, templates, policies with their templates, properties and the progress the engine reports.
const KQMgmtSchemaPart kCoreV1("core", 1, R"SQL(
CREATE TABLE clients(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    short_name TEXT NOT NULL DEFAULT '',
    host_name TEXT NOT NULL,
    kqd_port INTEGER NOT NULL,
    network_host_name TEXT NOT NULL);
CREATE TABLE clouds(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE);
CREATE TABLE cloud_nodes(
    cloud_id INTEGER NOT NULL REFERENCES clouds(id) ON DELETE CASCADE,
    client_id INTEGER NOT NULL REFERENCES clients(id),
    host_name TEXT NOT NULL,
    base_port TEXT NOT NULL,
    free_space INTEGER NOT NULL DEFAULT 0,
    availability INTEGER NOT NULL DEFAULT 1,
    PRIMARY KEY(cloud_id, client_id));
CREATE TABLE templates(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    type INTEGER NOT NULL DEFAULT 0,
    xml TEXT NOT NULL);
CREATE TABLE policies(
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE,
    type INTEGER NOT NULL DEFAULT 0,
    state INTEGER,
    last_indexed_id INTEGER,
    indexed_size INTEGER,
    last_progress_at TEXT,
    indexed_bytes_total INTEGER NOT NULL DEFAULT 0,
    last_size_report_at TEXT);
CREATE TABLE policy_templates(
    policy_id INTEGER NOT NULL REFERENCES policies(id) ON DELETE CASCADE,
    position INTEGER NOT NULL,
    template_id INTEGER NOT NULL REFERENCES templates(id),
    PRIMARY KEY(policy_id, position));
CREATE TABLE policy_properties(
    policy_id INTEGER NOT NULL REFERENCES policies(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    value TEXT NOT NULL,
    data_type INTEGER NOT NULL DEFAULT 0,
    PRIMARY KEY(policy_id, name));
CREATE TABLE policy_files(
    policy_id INTEGER NOT NULL REFERENCES policies(id) ON DELETE CASCADE,
    request_id TEXT NOT NULL,
    local_path TEXT NOT NULL DEFAULT '',
    state INTEGER NOT NULL DEFAULT 0,
    result_code INTEGER NOT NULL DEFAULT 0,
    bytes_indexed INTEGER NOT NULL DEFAULT 0,
    updated_at TEXT NOT NULL,
    PRIMARY KEY(policy_id, request_id));
CREATE TABLE indexed_size_reports(
    id INTEGER PRIMARY KEY,
    policy_id INTEGER NOT NULL REFERENCES policies(id) ON DELETE CASCADE,
    client_id INTEGER NOT NULL,
    bytes INTEGER NOT NULL,
    reported_at TEXT NOT NULL);
)SQL");

} // namespace

KQMgmtSchemaPart::KQMgmtSchemaPart(const char* part, int version, const char* sql) {
    auto& s = steps();
    std::lock_guard<std::mutex> l(s.mu);
    s.all.push_back({part, version, sql});
}

KQManagementDB::~KQManagementDB() { close(); }

void KQManagementDB::close() {
    if (db_) sqlite3_close_v2(db_);
    db_ = nullptr;
}

std::string KQManagementDB::lastError() const { return db_ ? sqlite3_errmsg(db_) : error_; }

int KQManagementDB::open() {
    std::string path;
    if (!KQPlatformInfo().getString(KQPlatformInfo::kPlatformSection, "sManagementDB", path) || path.empty()) {
        error_ = "no sManagementDB in the registry of instance " + KQPlatformInfo().getFocus();
        log_.Error("KQManagementDB::open", "%s", error_.c_str());
        return 1;
    }
    return open(path);
}

int KQManagementDB::open(const std::string& path) {
    close();
    path_ = path;
    int r = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                            nullptr);
    if (r != SQLITE_OK) {
        error_ = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(r);
        log_.Error("KQManagementDB::open", "cannot open management database %s: %s", path.c_str(), error_.c_str());
        close();
        return 1;
    }
    long long busy = KQPlatformInfo().getNumberOrDefault(KQPlatformInfo::kPlatformSection, "nManagementDBBusyMs");
    sqlite3_busy_timeout(db_, busy > 0 ? static_cast<int>(busy) : 5000);
    if (!execConstant("PRAGMA foreign_keys = ON") || !execConstant("PRAGMA journal_mode = WAL") || migrate() != 0) {
        error_ = sqlite3_errmsg(db_);
        log_.Error("KQManagementDB::open", "management database %s is not usable: %s", path.c_str(), error_.c_str());
        close();
        return 1;
    }
    return 0;
}

bool KQManagementDB::execConstant(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

int KQManagementDB::migrate() {
    std::vector<Step> all;
    {
        auto& s = steps();
        std::lock_guard<std::mutex> l(s.mu);
        all = s.all;
    }
    std::sort(all.begin(), all.end(),
              [](const Step& a, const Step& b) { return std::tie(a.part, a.version) < std::tie(b.part, b.version); });
    if (!begin()) return 1;
    if (!execConstant("CREATE TABLE IF NOT EXISTS schema_parts(part TEXT PRIMARY KEY, version INTEGER NOT NULL)")) {
        rollback();
        return 1;
    }
    for (const Step& step : all) {
        KQSqlStatement get(db_, "SELECT version FROM schema_parts WHERE part = ?");
        get.bind(1, step.part);
        int64_t have = get.step() ? get.getInt(0) : 0;
        if (get.failed()) {
            rollback();
            return 1;
        }
        if (have >= step.version) continue;
        KQSqlStatement set(db_, "INSERT INTO schema_parts(part, version) VALUES(?, ?) "
                                "ON CONFLICT(part) DO UPDATE SET version = excluded.version");
        set.bind(1, step.part).bind(2, static_cast<int64_t>(step.version));
        if (!execConstant(step.sql) || !set.run()) {
            log_.Error("KQManagementDB::migrate", "schema part %s version %d failed: %s", step.part.c_str(),
                       step.version, sqlite3_errmsg(db_));
            rollback();
            return 1;
        }
        log_.DebugLvl("KQManagementDB::migrate", 1, "schema part %s now at version %d", step.part.c_str(),
                      step.version);
    }
    return commit() ? 0 : 1;
}

bool KQManagementDB::begin() { return db_ && execConstant("BEGIN IMMEDIATE"); }

bool KQManagementDB::commit() { return db_ && execConstant("COMMIT"); }

void KQManagementDB::rollback() {
    if (db_) execConstant("ROLLBACK");
}
