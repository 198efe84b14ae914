#pragma once
// The SQLite tables of one core and the statements over them.
//
//   fields(fid, name)                 every field name seen, with the kind its name gives
//   docs(doc, contentid, data)        the stored documents; data holds the fields as sent
//   terms(fid, term, doc)             exact values (strings, and odd values of numeric names),
//                                     except the unique key, which docs already indexes
//   nums(fid, val, doc)               numbers and dates (epoch milliseconds)
//   x<fid>                            one full-text table per tokenized field, rowid = doc
//
// Index rows are derived from the stored document alone, so removing a document derives the
// same rows again and deletes exactly those; no index needs a column by document.
// Not thread-safe: the owning core serialises all use.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "FieldType.h"
#include "UpdateRequest.h"

struct sqlite3;
struct sqlite3_stmt;

namespace lmindexd {

class CoreTables {
public:
    CoreTables() = default;
    ~CoreTables();
    CoreTables(const CoreTables&) = delete;
    CoreTables& operator=(const CoreTables&) = delete;

    bool open(const std::string& path, std::string& error);
    void close();
    bool isOpen() const { return db_ != nullptr; }

    bool begin(std::string& error);
    bool commit(std::string& error);
    void rollback();
    bool exec(const char* sql, std::string& error);

    struct Field {
        int64_t fid;
        std::string name;
        FieldType type;
    };
    // Null when the core has never seen the field.
    const Field* field(const std::string& name) const;
    const Field* field(int64_t fid) const;

    // Adds the document (its contentid already checked), replacing one with the same id.
    bool addDocument(const std::string& contentid, const IndexDocument& doc, std::string& error);
    // Removes a document and its index rows.
    bool deleteDocument(int64_t doc, std::string& error);
    // The document number of a contentid, or -1.
    int64_t findDocument(const std::string& contentid, std::string& error);
    bool loadDocument(int64_t doc, IndexDocument& out, std::string& error);
    int64_t countDocuments(std::string& error);

    // Runs a query with bound parameters and collects the first column as document numbers.
    using Binder = std::function<void(sqlite3_stmt*)>;
    bool collectDocs(const std::string& sql, const Binder& bind, std::vector<int64_t>& out,
                     std::string& error);
    // Visits every stored document in document order; the visitor returns false to stop.
    bool scanDocuments(const std::function<bool(int64_t, const IndexDocument&)>& visit,
                       std::string& error);

    sqlite3* handle() const { return db_; }

private:
    sqlite3_stmt* statement(const std::string& sql, std::string& error);
    bool loadFields(std::string& error);
    const Field* ensureField(const std::string& name, std::string& error);
    bool writeIndexRows(int64_t doc, const IndexDocument& doc_, bool remove, std::string& error);
    std::string encode(const IndexDocument& doc, std::string& error);
    bool decode(const void* data, size_t size, IndexDocument& out) const;

    sqlite3* db_ = nullptr;
    std::unordered_map<std::string, sqlite3_stmt*> statements_;
    std::unordered_map<std::string, Field> byName_;
    std::unordered_map<int64_t, const Field*> byId_;
};

// The unique key: answered from docs(contentid), not from terms.
extern const char* const kUniqueKeyField;

// The full-text table of a text field: "x" and the field's number, never the field's name.
std::string textTableName(int64_t fid);

// Reports the SQLite error of the handle with some context.
std::string sqliteError(sqlite3* db, const std::string& what);

}
