#pragma once
// Evaluates a parsed query over the tables of one core into the sorted list of matching
// document numbers. Exact, prefix, range and text queries are answered from the index tables;
// only the rare forms no index serves (wildcards inside words of text, ranges over text, wildcards
// over numbers) look at stored documents.
#include <cstdint>
#include <string>
#include <vector>

#include "CoreTables.h"
#include "SolrQuery.h"

namespace lmindexd {

using DocSet = std::vector<int64_t>;  // sorted, unique

class QueryExecutor {
public:
    QueryExecutor(CoreTables& tables, int64_t nowMs) : tables_(tables), nowMs_(nowMs) {}

    // False with a reason when the query cannot be evaluated (a bad date, a storage error).
    bool run(const QueryNode& q, DocSet& out, std::string& error);

private:
    bool all(DocSet& out, std::string& error);
    bool leafString(const QueryNode& q, const CoreTables::Field& f, DocSet& out, std::string& error);
    bool leafNumeric(const QueryNode& q, const CoreTables::Field& f, DocSet& out, std::string& error);
    bool leafText(const QueryNode& q, const CoreTables::Field& f, DocSet& out, std::string& error);
    bool boolean(const QueryNode& q, DocSet& out, std::string& error);
    bool numericBound(const CoreTables::Field& f, const std::string& text, double& out, std::string& error) const;
    // Keeps the documents (all of them when `candidates` is null) whose stored value matches.
    bool verify(const QueryNode& q, const CoreTables::Field& f, const DocSet* candidates, DocSet& out,
                std::string& error);

    CoreTables& tables_;
    int64_t nowMs_;
};

// Whether a stored value of a field matches a leaf query, for the forms that need the document.
bool valueMatches(const QueryNode& q, FieldKind kind, const std::string& value);

}
