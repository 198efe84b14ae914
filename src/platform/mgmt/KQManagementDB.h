#pragma once
#include <string>

#include "platform/log/EvLMDebug.h"

struct sqlite3;

// One connection to the management database, a SQLite file whose path the registry gives
// ("sManagementDB", section "Platform"). Opening creates the file and brings its tables up to date:
// the tables come in named parts, each with a version, registered by the code that owns them
// (see KQMgmtSchemaPart), and a part's steps run once, in version order, inside one transaction.
// The connection uses WAL and waits up to "nManagementDBBusyMs" (default 5000) for a lock.
//
// Not thread-safe: a connection belongs to the thread that opened it.
class KQManagementDB {
public:
    KQManagementDB() = default;
    ~KQManagementDB();
    KQManagementDB(const KQManagementDB&) = delete;
    KQManagementDB& operator=(const KQManagementDB&) = delete;

    // 0 on success; otherwise the error text tells why (and a log line was written).
    int open(); // the focused instance's database
    int open(const std::string& path);
    void close();

    sqlite3* handle() const { return db_; }
    bool isOpen() const { return db_ != nullptr; }
    const std::string& path() const { return path_; }
    // The last error of this connection, as SQLite words it.
    std::string lastError() const;

    // Transactions; each answers true on success.
    bool begin();
    bool commit();
    void rollback();

private:
    int migrate();
    bool execConstant(const char* sql);

    EvLMDebug log_;
    sqlite3* db_ = nullptr;
    std::string path_;
    std::string error_;
};

// Registers the step of a schema part that brings it to `version`. Steps are SQL text of the code,
// never built from input. Declare one static instance per step.
struct KQMgmtSchemaPart {
    KQMgmtSchemaPart(const char* part, int version, const char* sql);
};
