#pragma once
// GET or POST /solr/<core>/select: q, fq (repeatable), rows, start, sort, fl, wt and shards.
// With shards, every listed core (host:port/solr/core, on this server or another) is searched
// and the answers merged: counts added, documents ordered by the sort (shard order otherwise),
// then paged.
#include <httplib.h>

#include <string>
#include <vector>

#include "CoreRegistry.h"
#include "HttpSupport.h"
#include "IndexCore.h"

namespace lmindexd {

struct ShardAddress {
    std::string host;
    int port = 0;
    std::string core;
};

// Parses "host:port/solr/core" (an "http://" in front is allowed). False when malformed.
bool parseShardAddress(const std::string& text, ShardAddress& out);

class SelectHandler {
public:
    SelectHandler(CoreRegistry& cores, std::string bindAddress, int port);
    void setPort(int port) { port_ = port; }
    void handle(const httplib::Request& req, httplib::Response& res, const std::string& core);

private:
    struct Query {
        std::string q;
        std::vector<std::string> fq;
        std::string sortText;
        std::vector<SortKey> sort;
        size_t start = 0, rows = 10;
        std::vector<std::string> fl;
    };
    bool readQuery(const httplib::Request& req, Query& out, std::string& error) const;
    int searchLocal(IndexCore& core, const Query& q, size_t start, size_t rows, SearchResult& out,
                    std::string& error) const;
    int searchRemote(const ShardAddress& shard, const Query& q, size_t rows, SearchResult& out,
                     std::string& error) const;
    bool isLocal(const ShardAddress& shard) const;
    int searchShards(const std::string& shards, const Query& q, SearchResult& out, std::string& error) const;

    CoreRegistry& cores_;
    std::string bindAddress_;
    int port_;
};

}
