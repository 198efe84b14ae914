#include "platform/mgmt/KQSqlStatement.h"

#include <sqlite3.h>

KQSqlStatement::KQSqlStatement(sqlite3* db, std::string_view sql) : db_(db) {
    if (!db_ || sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
        stmt_ = nullptr;
        failed_ = true;
    }
}

KQSqlStatement::~KQSqlStatement() {
    if (stmt_) sqlite3_finalize(stmt_);
}

KQSqlStatement& KQSqlStatement::bind(int index, int64_t v) {
    if (stmt_ && sqlite3_bind_int64(stmt_, index, v) != SQLITE_OK) failed_ = true;
    return *this;
}

KQSqlStatement& KQSqlStatement::bind(int index, std::string_view v) {
    if (stmt_ && sqlite3_bind_text64(stmt_, index, v.data(), v.size(), SQLITE_TRANSIENT, SQLITE_UTF8) != SQLITE_OK)
        failed_ = true;
    return *this;
}

KQSqlStatement& KQSqlStatement::bindNull(int index) {
    if (stmt_ && sqlite3_bind_null(stmt_, index) != SQLITE_OK) failed_ = true;
    return *this;
}

bool KQSqlStatement::step() {
    if (!stmt_ || failed_) return false;
    int r = sqlite3_step(stmt_);
    if (r == SQLITE_ROW) return true;
    if (r != SQLITE_DONE) failed_ = true;
    return false;
}

bool KQSqlStatement::run() {
    step();
    return !failed_;
}

void KQSqlStatement::reset() {
    if (!stmt_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    failed_ = false;
}

int64_t KQSqlStatement::getInt(int column) const { return stmt_ ? sqlite3_column_int64(stmt_, column) : 0; }

std::string KQSqlStatement::getText(int column) const {
    if (!stmt_) return {};
    const unsigned char* t = sqlite3_column_text(stmt_, column);
    int n = sqlite3_column_bytes(stmt_, column);
    return t ? std::string(reinterpret_cast<const char*>(t), static_cast<size_t>(n)) : std::string();
}

bool KQSqlStatement::isNull(int column) const {
    return !stmt_ || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}
