#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Queries of one policy's documents on its index engine (lm-indexd, or a Solr node), over HTTP.
// The policy's documents live in its day, week and month cores ("kqcorelm_<policy>_..."), and in
// the four plain cores "kqcorelm0".."kqcorelm3", which hold every policy's documents; there a
// document's "MonitoringPolicyId" field tells whose it is, so a query that includes a plain core
// filters on it.
//
// Each request waits at most 10 s for the connection and 120 s in all, and a reply above 64 MiB
// is refused. Every call returns 0 on success, else 1 with `error` set. Not thread-safe.
class LMIndexQuery {
public:
    LMIndexQuery(std::string host, int port, int64_t policyId);

    struct Document {
        std::vector<std::pair<std::string, std::string>> fields; // "contentid" first
    };
    struct Result {
        long long numFound = 0;
        std::vector<Document> docs;
    };
    struct Search {
        std::string query = "*:*";
        long long rows = 10;
        std::string sort;   // "FIELD asc|desc"; empty: index order
        std::string fields; // "a,b,c"; empty: all stored fields
    };

    // The policy's cores on the engine (core admin STATUS); empty when it has none yet.
    int policyCores(std::vector<std::string>& cores, std::string& error);
    // One request over all of the policy's cores (a policy without cores has no matches).
    int search(const Search& s, Result& result, std::string& error);
    // How many documents of the policy the index holds.
    int countDocuments(long long& count, std::string& error);

    // "http://HOST:PORT/solr", with brackets around an IPv6 address.
    std::string baseUrl() const;
    // A value as one line of text: lists joined with ",", line breaks written as "\n", cut at a
    // character boundary after `limit` bytes with "..." appended.
    static std::string displayValue(const std::string& raw, size_t limit);

private:
    int get(const std::string& url, std::string& body, std::string& error);

    std::string host_;
    int port_;
    int64_t policyId_;
};
