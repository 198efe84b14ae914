#pragma once
#include <sqlite3.h>

#include <string>

// One prepared statement, finalised when it goes out of scope. Values are only ever bound, never
// pasted into the SQL text.
class SqliteStatement {
public:
    SqliteStatement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &st_, nullptr); }
    ~SqliteStatement() { sqlite3_finalize(st_); }
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    // SQLITE_OK when the statement was prepared.
    int prepared() const { return rc_; }
    SqliteStatement& bind(int i, long long v) {
        if (st_) sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    SqliteStatement& bind(int i, const std::string& v) {
        if (st_) sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or the error.
    int step() { return st_ ? sqlite3_step(st_) : rc_; }
    // Runs a statement that returns no rows; SQLITE_DONE becomes SQLITE_OK.
    int run() {
        int rc = step();
        return rc == SQLITE_DONE || rc == SQLITE_ROW ? SQLITE_OK : rc;
    }
    void reset() {
        if (!st_) return;
        sqlite3_reset(st_);
        sqlite3_clear_bindings(st_);
    }
    long long i64(int c) const { return sqlite3_column_int64(st_, c); }
    std::string text(int c) const {
        const unsigned char* t = sqlite3_column_text(st_, c);
        return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(sqlite3_column_bytes(st_, c)))
                 : std::string();
    }
    bool isNull(int c) const { return sqlite3_column_type(st_, c) == SQLITE_NULL; }

private:
    sqlite3_stmt* st_ = nullptr;
    int rc_ = SQLITE_OK;
};
