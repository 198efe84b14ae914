#include "IndexCore.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <iterator>

#include "DateMath.h"
#include "FieldType.h"
#include "QueryExecutor.h"

namespace lmindexd {
namespace {

const std::string kUniqueKey = "contentid";

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

int64_t fileSize(const std::string& path, int64_t* mtimeMs = nullptr) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    if (mtimeMs) *mtimeMs = std::max<int64_t>(*mtimeMs, static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 +
                                                            st.st_mtim.tv_nsec / 1000000);
    return static_cast<int64_t>(st.st_size);
}

// Compares two values of a field by its kind; 0 when equal.
int compareValues(FieldKind kind, const std::string& a, const std::string& b) {
    if (kind == FieldKind::Long || kind == FieldKind::Double || kind == FieldKind::Date) {
        double x = 0, y = 0;
        int64_t mx = 0, my = 0;
        bool okx, oky;
        if (kind == FieldKind::Date) {
            okx = parseIsoDate(a, mx);
            oky = parseIsoDate(b, my);
            x = static_cast<double>(mx);
            y = static_cast<double>(my);
        } else {
            okx = parseDouble(a, x);
            oky = parseDouble(b, y);
        }
        if (okx && oky) return x < y ? -1 : (x > y ? 1 : 0);
        if (okx != oky) return okx ? -1 : 1;
    }
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace

bool parseSort(const std::string& text, std::vector<SortKey>& out, std::string& error) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        if (comma == std::string::npos) comma = text.size();
        const std::string part = trim(text.substr(pos, comma - pos));
        pos = comma + 1;
        if (part.empty()) continue;
        const size_t space = part.find_first_of(" \t");
        SortKey key;
        key.field = part.substr(0, space);
        std::string dir = space == std::string::npos ? "" : trim(part.substr(space));
        for (char& c : dir) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (dir == "desc") key.descending = true;
        else if (dir != "asc") {
            error = "Can't determine a Sort Order (asc or desc) in sort '" + part + "'";
            return false;
        }
        if (key.field != "score") out.push_back(key);
    }
    return true;
}

bool documentLess(const std::vector<SortKey>& keys, const IndexDocument& a, const IndexDocument& b) {
    for (const SortKey& k : keys) {
        const std::string* va = a.value(k.field);
        const std::string* vb = b.value(k.field);
        if (!va && !vb) continue;
        if (!va || !vb) return va != nullptr;  // missing values last, whatever the direction
        const int c = compareValues(fieldTypeFor(k.field).kind, *va, *vb);
        if (c != 0) return k.descending ? c > 0 : c < 0;
    }
    return false;
}

IndexCore::IndexCore(std::string name, std::string folder) : name_(std::move(name)), folder_(std::move(folder)) {}

IndexCore::~IndexCore() { close(); }

int IndexCore::open(std::string& error) {
    std::lock_guard<std::mutex> lock(mu_);
    return tables_.open(databasePath(), error) ? kOk : kServerError;
}

void IndexCore::close() {
    std::lock_guard<std::mutex> lock(mu_);
    if (tables_.isOpen()) {
        std::string ignored;
        tables_.exec("PRAGMA wal_checkpoint(TRUNCATE)", ignored);
    }
    tables_.close();
    closed_ = true;
}

int IndexCore::checkDocument(const IndexDocument& doc, std::string& error) const {
    const std::string* id = doc.value(kUniqueKey);
    if (!id || id->empty()) {
        error = "Document is missing mandatory uniqueKey field: " + kUniqueKey;
        return kBadRequest;
    }
    for (const auto& [name, value] : doc.fields) {
        const FieldType t = fieldTypeFor(name);
        if (!t.strictType) continue;
        int64_t l;
        double d;
        const bool ok = t.kind == FieldKind::Long ? parseLong(value, l)
                        : t.kind == FieldKind::Double ? parseDouble(value, d)
                        : t.kind == FieldKind::Date ? parseIsoDate(value, l) : true;
        if (!ok) {
            error = "ERROR: [doc=" + *id + "] Error adding field '" + name + "'='" + value + "'";
            return kBadRequest;
        }
    }
    return kOk;
}

int IndexCore::apply(std::vector<UpdateCommand>& commands, int64_t nowMs, std::string& error) {
    // Everything that can be refused is checked before the transaction starts.
    QueryParser parser;
    std::vector<std::unique_ptr<QueryNode>> deleteQueries;
    const std::string now = formatIsoDate(nowMs);
    for (UpdateCommand& c : commands) {
        if (c.type == UpdateCommand::Type::Add) {
            if (int rc = checkDocument(c.doc, error)) return rc;
            if (!c.doc.value("timestamp")) c.doc.fields.emplace_back("timestamp", now);
        } else if (c.type == UpdateCommand::Type::DeleteByQuery) {
            auto q = parser.parse(c.text, error);
            if (!q) return kBadRequest;
            deleteQueries.push_back(std::move(q));
        }
    }
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_ || !tables_.isOpen()) {
        error = "core " + name_ + " is unloaded";
        return kNotFound;
    }
    if (!tables_.begin(error)) return kServerError;
    size_t queryIndex = 0;
    for (const UpdateCommand& c : commands) {
        bool ok = true;
        switch (c.type) {
        case UpdateCommand::Type::Add:
            ok = tables_.addDocument(*c.doc.value(kUniqueKey), c.doc, error);
            break;
        case UpdateCommand::Type::DeleteById: {
            const int64_t doc = tables_.findDocument(c.text, error);
            ok = error.empty() && (doc < 0 || tables_.deleteDocument(doc, error));
            break;
        }
        case UpdateCommand::Type::DeleteByQuery: {
            QueryExecutor exec(tables_, nowMs);
            DocSet docs;
            ok = exec.run(*deleteQueries[queryIndex++], docs, error);
            for (size_t i = 0; ok && i < docs.size(); ++i) ok = tables_.deleteDocument(docs[i], error);
            break;
        }
        case UpdateCommand::Type::Commit:
        case UpdateCommand::Type::Optimize: break;
        }
        if (!ok) {
            tables_.rollback();
            return kServerError;
        }
    }
    if (!tables_.commit(error)) {
        tables_.rollback();
        return kServerError;
    }
    return kOk;
}

int IndexCore::optimize(std::string& error) {
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_ || !tables_.isOpen()) {
        error = "core " + name_ + " is unloaded";
        return kNotFound;
    }
    // Merge the text indexes' segments, then rebuild the file without its free pages.
    if (!tables_.begin(error)) return kServerError;
    std::vector<int64_t> textFields;
    if (!tables_.collectDocs("SELECT fid FROM fields", nullptr, textFields, error)) {
        tables_.rollback();
        return kServerError;
    }
    for (int64_t fid : textFields) {
        const CoreTables::Field* f = tables_.field(fid);
        if (!f || f->type.kind != FieldKind::Text) continue;
        const std::string t = textTableName(fid);
        if (!tables_.exec(("INSERT INTO " + t + "(" + t + ") VALUES('optimize')").c_str(), error)) {
            tables_.rollback();
            return kServerError;
        }
    }
    if (!tables_.commit(error)) {
        tables_.rollback();
        return kServerError;
    }
    if (!tables_.exec("VACUUM", error) || !tables_.exec("PRAGMA wal_checkpoint(TRUNCATE)", error)) {
        return kServerError;
    }
    return kOk;
}

int IndexCore::search(const SearchRequest& request, SearchResult& result, std::string& error) {
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_ || !tables_.isOpen()) {
        error = "core " + name_ + " is unloaded";
        return kNotFound;
    }
    result = SearchResult{};
    const bool matchAll = request.query->type == QueryNode::Type::MatchAll && request.filters.empty();
    if (matchAll && request.sort.empty()) {
        // Count without listing every document.
        result.numFound = tables_.countDocuments(error);
        if (result.numFound < 0) return kServerError;
        std::vector<int64_t> page;
        if (request.rows > 0 &&
            !tables_.collectDocs("SELECT doc FROM docs ORDER BY doc LIMIT ?1 OFFSET ?2", [&](sqlite3_stmt* st) {
                sqlite3_bind_int64(st, 1, static_cast<int64_t>(request.rows));
                sqlite3_bind_int64(st, 2, static_cast<int64_t>(request.start));
            }, page, error)) {
            return kServerError;
        }
        for (int64_t doc : page) {
            result.docs.emplace_back();
            if (!tables_.loadDocument(doc, result.docs.back(), error)) return kServerError;
        }
        return kOk;
    }
    QueryExecutor exec(tables_, request.nowMs);
    DocSet docs;
    if (!exec.run(*request.query, docs, error)) return kBadRequest;
    for (const QueryNode* f : request.filters) {
        DocSet r;
        if (!exec.run(*f, r, error)) return kBadRequest;
        DocSet both;
        std::set_intersection(docs.begin(), docs.end(), r.begin(), r.end(), std::back_inserter(both));
        docs.swap(both);
    }
    result.numFound = static_cast<int64_t>(docs.size());
    if (request.start >= docs.size() || request.rows == 0) return kOk;
    if (request.sort.empty()) {
        const size_t end = std::min(docs.size(), request.start + request.rows);
        for (size_t i = request.start; i < end; ++i) {
            result.docs.emplace_back();
            if (!tables_.loadDocument(docs[i], result.docs.back(), error)) return kServerError;
        }
        return kOk;
    }
    std::vector<IndexDocument> all(docs.size());
    for (size_t i = 0; i < docs.size(); ++i) {
        if (!tables_.loadDocument(docs[i], all[i], error)) return kServerError;
    }
    std::stable_sort(all.begin(), all.end(),
                     [&](const IndexDocument& a, const IndexDocument& b) { return documentLess(request.sort, a, b); });
    const size_t end = std::min(all.size(), request.start + request.rows);
    for (size_t i = request.start; i < end; ++i) result.docs.push_back(std::move(all[i]));
    return kOk;
}

int IndexCore::status(Status& out, std::string& error) {
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_ || !tables_.isOpen()) {
        error = "core " + name_ + " is unloaded";
        return kNotFound;
    }
    out.numDocs = tables_.countDocuments(error);
    if (out.numDocs < 0) return kServerError;
    const std::string db = databasePath();
    out.lastModifiedMs = 0;
    out.sizeInBytes = fileSize(db, &out.lastModifiedMs) + fileSize(db + "-wal", &out.lastModifiedMs);
    return kOk;
}

}
