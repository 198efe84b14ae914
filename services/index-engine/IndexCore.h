#pragma once
// One core: a SQLite file under the core's folder, its documents and their index. Every update
// request is one transaction: it is applied whole or not at all, and is durable when the reply
// goes out (so commit, softCommit and <commit/> have nothing left to do but are accepted).
// Thread-safe: one mutex serialises the core's requests.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CoreTables.h"
#include "SolrQuery.h"
#include "UpdateRequest.h"

namespace lmindexd {

struct SortKey {
    std::string field;
    bool descending = false;
};

// Parses "field asc, other desc"; "score" is accepted and ignored (there is no relevance score).
bool parseSort(const std::string& text, std::vector<SortKey>& out, std::string& error);
// Orders two documents by the sort keys (documents lacking a value sort last).
bool documentLess(const std::vector<SortKey>& keys, const IndexDocument& a, const IndexDocument& b);

struct SearchRequest {
    const QueryNode* query = nullptr;
    std::vector<const QueryNode*> filters;
    std::vector<SortKey> sort;
    size_t start = 0;
    size_t rows = 10;
    int64_t nowMs = 0;
};

struct SearchResult {
    int64_t numFound = 0;
    std::vector<IndexDocument> docs;
};

// Error classes of core operations, as the reply's status.
enum CoreStatus { kOk = 0, kBadRequest = 400, kNotFound = 404, kServerError = 500 };

class IndexCore {
public:
    IndexCore(std::string name, std::string folder);
    ~IndexCore();
    IndexCore(const IndexCore&) = delete;
    IndexCore& operator=(const IndexCore&) = delete;

    int open(std::string& error);
    // Closes the database; later requests fail with "core is unloaded".
    void close();

    const std::string& name() const { return name_; }
    const std::string& folder() const { return folder_; }
    std::string databasePath() const { return folder_ + "/index.db"; }

    // Applies commands in one transaction; adds and deletes only (commit and optimize flags are
    // the caller's). A document without "timestamp" gets the time of indexing, written into the
    // command itself so that large batches are not copied.
    int apply(std::vector<UpdateCommand>& commands, int64_t nowMs, std::string& error);
    int optimize(std::string& error);
    int search(const SearchRequest& request, SearchResult& result, std::string& error);

    struct Status {
        int64_t numDocs = 0;
        int64_t sizeInBytes = 0;
        int64_t lastModifiedMs = 0;
    };
    int status(Status& out, std::string& error);

private:
    int checkDocument(const IndexDocument& doc, std::string& error) const;

    std::string name_;
    std::string folder_;
    std::mutex mu_;
    CoreTables tables_;
    bool closed_ = false;
};

}
