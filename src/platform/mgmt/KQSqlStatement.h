#pragma once
#include <cstdint>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A prepared SQL statement. Values are bound by position (from 1); nothing is ever spliced into
// SQL text. Not thread-safe; belongs to the thread of its connection.
class KQSqlStatement {
public:
    KQSqlStatement(sqlite3* db, std::string_view sql);
    ~KQSqlStatement();
    KQSqlStatement(const KQSqlStatement&) = delete;
    KQSqlStatement& operator=(const KQSqlStatement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    KQSqlStatement& bind(int index, int64_t v);
    KQSqlStatement& bind(int index, std::string_view v);
    KQSqlStatement& bindNull(int index);

    // True while a row is available; false when done or on error (see failed()).
    bool step();
    // Runs a statement that returns no rows; true on success.
    bool run();
    void reset();
    bool failed() const { return failed_; }

    int64_t getInt(int column) const;
    std::string getText(int column) const;
    bool isNull(int column) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    bool failed_ = false;
};
