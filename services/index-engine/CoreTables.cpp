#include "CoreTables.h"

#include <sqlite3.h>

#include <map>

#include "DateMath.h"

namespace lmindexd {
namespace {

void putVarint(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

bool getVarint(const unsigned char*& p, const unsigned char* end, uint64_t& v) {
    v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (p >= end) return false;
        const unsigned char b = *p++;
        v |= static_cast<uint64_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return true;
    }
    return false;
}

const char* kSchema =
    "CREATE TABLE IF NOT EXISTS fields(fid INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);"
    "CREATE TABLE IF NOT EXISTS docs(doc INTEGER PRIMARY KEY, contentid TEXT NOT NULL UNIQUE, data BLOB NOT NULL);"
    "CREATE TABLE IF NOT EXISTS terms(fid INTEGER NOT NULL, term TEXT NOT NULL, doc INTEGER NOT NULL,"
    " PRIMARY KEY(fid, term, doc)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS nums(fid INTEGER NOT NULL, val NUMERIC NOT NULL, doc INTEGER NOT NULL,"
    " PRIMARY KEY(fid, val, doc)) WITHOUT ROWID;";

}  // namespace

const char* const kUniqueKeyField = "contentid";

std::string textTableName(int64_t fid) {
    std::string name = "x";
    name += std::to_string(fid);
    return name;
}

std::string sqliteError(sqlite3* db, const std::string& what) {
    return what + ": " + (db ? sqlite3_errmsg(db) : "no database");
}

CoreTables::~CoreTables() { close(); }

bool CoreTables::open(const std::string& path, std::string& error) {
    close();
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                        nullptr) != SQLITE_OK) {
        error = sqliteError(db_, "cannot open " + path);
        close();
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // WAL with NORMAL sync: a committed transaction survives the death of the process; only a
    // power loss may take the last ones back.
    if (!exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-65536;"
              "PRAGMA temp_store=MEMORY;", error) ||
        !exec(kSchema, error) || !loadFields(error)) {
        close();
        return false;
    }
    return true;
}

void CoreTables::close() {
    for (auto& [sql, stmt] : statements_) sqlite3_finalize(stmt);
    statements_.clear();
    byId_.clear();
    byName_.clear();
    if (db_) {
        sqlite3_close(db_);
        db_ = nullptr;
    }
}

bool CoreTables::exec(const char* sql, std::string& error) {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
        error = std::string("SQL failed: ") + (msg ? msg : "unknown error");
        sqlite3_free(msg);
        return false;
    }
    return true;
}

bool CoreTables::begin(std::string& error) { return exec("BEGIN IMMEDIATE", error); }
bool CoreTables::commit(std::string& error) { return exec("COMMIT", error); }

void CoreTables::rollback() {
    std::string ignored;
    if (db_ && !sqlite3_get_autocommit(db_)) exec("ROLLBACK", ignored);
    // Field rows created in the failed transaction are gone; forget them too.
    byId_.clear();
    byName_.clear();
    loadFields(ignored);
}

sqlite3_stmt* CoreTables::statement(const std::string& sql, std::string& error) {
    auto it = statements_.find(sql);
    if (it != statements_.end()) {
        sqlite3_reset(it->second);
        sqlite3_clear_bindings(it->second);
        return it->second;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        error = sqliteError(db_, "cannot prepare statement");
        return nullptr;
    }
    statements_.emplace(sql, stmt);
    return stmt;
}

bool CoreTables::loadFields(std::string& error) {
    sqlite3_stmt* st = statement("SELECT fid, name FROM fields", error);
    if (!st) return false;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        Field f;
        f.fid = sqlite3_column_int64(st, 0);
        f.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        f.type = fieldTypeFor(f.name);
        auto [it, ok] = byName_.emplace(f.name, f);
        byId_[f.fid] = &it->second;
    }
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        error = sqliteError(db_, "cannot read fields");
        return false;
    }
    return true;
}

const CoreTables::Field* CoreTables::field(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : &it->second;
}

const CoreTables::Field* CoreTables::field(int64_t fid) const {
    auto it = byId_.find(fid);
    return it == byId_.end() ? nullptr : it->second;
}

const CoreTables::Field* CoreTables::ensureField(const std::string& name, std::string& error) {
    if (const Field* f = field(name)) return f;
    sqlite3_stmt* st = statement("INSERT INTO fields(name) VALUES(?1)", error);
    if (!st) return nullptr;
    sqlite3_bind_text(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(st) != SQLITE_DONE) {
        error = sqliteError(db_, "cannot add field " + name);
        sqlite3_reset(st);
        return nullptr;
    }
    sqlite3_reset(st);
    Field f{sqlite3_last_insert_rowid(db_), name, fieldTypeFor(name)};
    if (f.type.kind == FieldKind::Text) {
        std::string sql = "CREATE VIRTUAL TABLE IF NOT EXISTS ";
        sql += textTableName(f.fid);
        sql += " USING fts5(v, content='', columnsize=0, tokenize='unicode61 remove_diacritics 0')";
        if (!exec(sql.c_str(), error)) return nullptr;
    }
    auto [it, ok] = byName_.emplace(name, f);
    byId_[f.fid] = &it->second;
    return &it->second;
}

std::string CoreTables::encode(const IndexDocument& doc, std::string& error) {
    std::string out;
    for (const auto& [name, value] : doc.fields) {
        const Field* f = ensureField(name, error);
        if (!f) return {};
        putVarint(out, static_cast<uint64_t>(f->fid));
        putVarint(out, value.size());
        out += value;
    }
    return out;
}

bool CoreTables::decode(const void* data, size_t size, IndexDocument& out) const {
    out.fields.clear();
    const auto* p = static_cast<const unsigned char*>(data);
    const unsigned char* end = p + size;
    while (p < end) {
        uint64_t fid, len;
        if (!getVarint(p, end, fid) || !getVarint(p, end, len) || len > static_cast<uint64_t>(end - p)) return false;
        const Field* f = field(static_cast<int64_t>(fid));
        if (!f) return false;
        out.fields.emplace_back(f->name, std::string(reinterpret_cast<const char*>(p), len));
        p += len;
    }
    return true;
}

bool CoreTables::writeIndexRows(int64_t doc, const IndexDocument& d, bool remove, std::string& error) {
    const char* termSql = remove ? "DELETE FROM terms WHERE fid=?1 AND term=?2 AND doc=?3"
                                 : "INSERT OR IGNORE INTO terms(fid, term, doc) VALUES(?1, ?2, ?3)";
    const char* numSql = remove ? "DELETE FROM nums WHERE fid=?1 AND val=?2 AND doc=?3"
                                : "INSERT OR IGNORE INTO nums(fid, val, doc) VALUES(?1, ?2, ?3)";
    std::map<int64_t, std::string> texts;  // tokenized fields, values of one field joined
    for (const auto& [name, value] : d.fields) {
        const Field* f = field(name);
        if (!f) {
            error = "unknown field " + name;
            return false;
        }
        // The unique key has its own index in the document table.
        if (name == kUniqueKeyField) continue;
        sqlite3_stmt* st = nullptr;
        int64_t asLong = 0;
        double asDouble = 0;
        int64_t asDate = 0;
        switch (f->type.kind) {
        case FieldKind::Text: {
            std::string& t = texts[f->fid];
            if (!t.empty()) t += '\n';
            t += value;
            continue;
        }
        case FieldKind::Long:
            if (parseLong(value, asLong)) {
                st = statement(numSql, error);
                if (st) sqlite3_bind_int64(st, 2, asLong);
            }
            break;
        case FieldKind::Double:
            if (parseDouble(value, asDouble)) {
                st = statement(numSql, error);
                if (st) sqlite3_bind_double(st, 2, asDouble);
            }
            break;
        case FieldKind::Date:
            if (parseIsoDate(value, asDate)) {
                st = statement(numSql, error);
                if (st) sqlite3_bind_int64(st, 2, asDate);
            }
            break;
        case FieldKind::String: break;
        }
        if (!st) {
            if (!error.empty()) return false;
            st = statement(termSql, error);
            if (!st) return false;
            sqlite3_bind_text(st, 2, value.data(), static_cast<int>(value.size()), SQLITE_STATIC);
        }
        sqlite3_bind_int64(st, 1, f->fid);
        sqlite3_bind_int64(st, 3, doc);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE) {
            error = sqliteError(db_, "cannot write index rows");
            return false;
        }
    }
    for (const auto& [fid, text] : texts) {
        const std::string table = textTableName(fid);
        const std::string sql = remove ? "INSERT INTO " + table + "(" + table + ", rowid, v) VALUES('delete', ?1, ?2)"
                                       : "INSERT INTO " + table + "(rowid, v) VALUES(?1, ?2)";
        sqlite3_stmt* st = statement(sql, error);
        if (!st) return false;
        sqlite3_bind_int64(st, 1, doc);
        sqlite3_bind_text(st, 2, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        const int rc = sqlite3_step(st);
        sqlite3_reset(st);
        if (rc != SQLITE_DONE) {
            error = sqliteError(db_, "cannot write text index");
            return false;
        }
    }
    return true;
}

int64_t CoreTables::findDocument(const std::string& contentid, std::string& error) {
    sqlite3_stmt* st = statement("SELECT doc FROM docs WHERE contentid=?1", error);
    if (!st) return -1;
    sqlite3_bind_text(st, 1, contentid.data(), static_cast<int>(contentid.size()), SQLITE_STATIC);
    int64_t doc = -1;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW) doc = sqlite3_column_int64(st, 0);
    else if (rc != SQLITE_DONE) error = sqliteError(db_, "cannot look up document");
    sqlite3_reset(st);
    return doc;
}

bool CoreTables::loadDocument(int64_t doc, IndexDocument& out, std::string& error) {
    sqlite3_stmt* st = statement("SELECT data FROM docs WHERE doc=?1", error);
    if (!st) return false;
    sqlite3_bind_int64(st, 1, doc);
    bool ok = false;
    if (sqlite3_step(st) == SQLITE_ROW) {
        ok = decode(sqlite3_column_blob(st, 0), static_cast<size_t>(sqlite3_column_bytes(st, 0)), out);
        if (!ok) error = "stored document " + std::to_string(doc) + " is damaged";
    } else {
        error = "no document " + std::to_string(doc);
    }
    sqlite3_reset(st);
    return ok;
}

bool CoreTables::deleteDocument(int64_t doc, std::string& error) {
    IndexDocument old;
    if (!loadDocument(doc, old, error) || !writeIndexRows(doc, old, true, error)) return false;
    sqlite3_stmt* st = statement("DELETE FROM docs WHERE doc=?1", error);
    if (!st) return false;
    sqlite3_bind_int64(st, 1, doc);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        error = sqliteError(db_, "cannot delete document");
        return false;
    }
    return true;
}

bool CoreTables::addDocument(const std::string& contentid, const IndexDocument& doc, std::string& error) {
    const int64_t existing = findDocument(contentid, error);
    if (!error.empty()) return false;
    if (existing >= 0 && !deleteDocument(existing, error)) return false;
    const std::string data = encode(doc, error);
    if (!error.empty()) return false;
    sqlite3_stmt* st = statement("INSERT INTO docs(contentid, data) VALUES(?1, ?2)", error);
    if (!st) return false;
    sqlite3_bind_text(st, 1, contentid.data(), static_cast<int>(contentid.size()), SQLITE_STATIC);
    sqlite3_bind_blob(st, 2, data.data(), static_cast<int>(data.size()), SQLITE_STATIC);
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        error = sqliteError(db_, "cannot store document");
        return false;
    }
    return writeIndexRows(sqlite3_last_insert_rowid(db_), doc, false, error);
}

int64_t CoreTables::countDocuments(std::string& error) {
    sqlite3_stmt* st = statement("SELECT COUNT(*) FROM docs", error);
    if (!st) return -1;
    int64_t n = -1;
    if (sqlite3_step(st) == SQLITE_ROW) n = sqlite3_column_int64(st, 0);
    else error = sqliteError(db_, "cannot count documents");
    sqlite3_reset(st);
    return n;
}

bool CoreTables::collectDocs(const std::string& sql, const Binder& bind, std::vector<int64_t>& out,
                             std::string& error) {
    sqlite3_stmt* st = statement(sql, error);
    if (!st) return false;
    if (bind) bind(st);
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) out.push_back(sqlite3_column_int64(st, 0));
    sqlite3_reset(st);
    if (rc != SQLITE_DONE) {
        error = sqliteError(db_, "query failed");
        return false;
    }
    return true;
}

bool CoreTables::scanDocuments(const std::function<bool(int64_t, const IndexDocument&)>& visit,
                               std::string& error) {
    sqlite3_stmt* st = statement("SELECT doc, data FROM docs ORDER BY doc", error);
    if (!st) return false;
    IndexDocument d;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (!decode(sqlite3_column_blob(st, 1), static_cast<size_t>(sqlite3_column_bytes(st, 1)), d)) {
            error = "stored document is damaged";
            sqlite3_reset(st);
            return false;
        }
        if (!visit(sqlite3_column_int64(st, 0), d)) break;
    }
    sqlite3_reset(st);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
        error = sqliteError(db_, "scan failed");
        return false;
    }
    return true;
}

}
