#include "SelectHandler.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <nlohmann/json.hpp>

#include "DateMath.h"
#include "FieldType.h"
#include "platform/log/EvLMDebug.h"

namespace lmindexd {
namespace {

bool readCount(const std::string& text, size_t fallback, size_t& out) {
    if (text.empty()) {
        out = fallback;
        return true;
    }
    int64_t v = 0;
    if (!parseLong(text, v) || v < 0) return false;
    // Bounded so that start + rows cannot wrap around.
    out = static_cast<size_t>(std::min<int64_t>(v, int64_t{1} << 40));
    return true;
}

std::vector<std::string> splitList(const std::string& text, const char* separators) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : text) {
        if (std::strchr(separators, c)) {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

// A document of a shard's JSON answer, back as name/value pairs.
IndexDocument fromJson(const nlohmann::json& doc) {
    IndexDocument d;
    auto text = [](const nlohmann::json& v) { return v.is_string() ? v.get<std::string>() : v.dump(); };
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        if (it.value().is_array()) {
            for (const auto& v : it.value()) d.fields.emplace_back(it.key(), text(v));
        } else {
            d.fields.emplace_back(it.key(), text(it.value()));
        }
    }
    return d;
}

RNode paramsNode(const httplib::Request& req) {
    RNode p = RNode::list("params");
    std::vector<std::string> seen;
    for (const auto& [key, value] : req.params) {
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        const auto values = params(req, key);
        if (values.size() == 1) {
            p.add(RNode::str(key, values[0]));
        } else {
            RNode a;
            a.type = RNode::T::Arr;
            a.name = key;
            for (const auto& v : values) a.kids.push_back(RNode::str("", v));
            p.add(std::move(a));
        }
    }
    return p;
}

}  // namespace

bool parseShardAddress(const std::string& raw, ShardAddress& out) {
    std::string text = raw;
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.erase(0, 1);
    if (text.rfind("http://", 0) == 0) text.erase(0, 7);
    const size_t colon = text.find(':');
    const size_t slash = text.find('/');
    if (colon == std::string::npos || slash == std::string::npos || colon > slash) return false;
    out.host = text.substr(0, colon);
    int64_t port = 0;
    if (!parseLong(text.substr(colon + 1, slash - colon - 1), port) || port <= 0 || port > 65535) return false;
    out.port = static_cast<int>(port);
    const std::string rest = text.substr(slash);
    if (rest.rfind("/solr/", 0) != 0) return false;
    out.core = rest.substr(6);
    while (!out.core.empty() && out.core.back() == '/') out.core.pop_back();
    return !out.host.empty() && CoreRegistry::validName(out.core);
}

SelectHandler::SelectHandler(CoreRegistry& cores, std::string bindAddress, int port)
    : cores_(cores), bindAddress_(std::move(bindAddress)), port_(port) {}

bool SelectHandler::readQuery(const httplib::Request& req, Query& out, std::string& error) const {
    out.q = param(req, "q");
    if (std::all_of(out.q.begin(), out.q.end(), [](unsigned char c) { return std::isspace(c); })) out.q = "*:*";
    for (const std::string& f : params(req, "fq")) {
        if (!std::all_of(f.begin(), f.end(), [](unsigned char c) { return std::isspace(c); })) out.fq.push_back(f);
    }
    if (!readCount(param(req, "rows"), 10, out.rows) || !readCount(param(req, "start"), 0, out.start)) {
        error = "rows and start must be non-negative integers";
        return false;
    }
    out.sortText = param(req, "sort");
    if (!parseSort(out.sortText, out.sort, error)) return false;
    out.fl = splitList(param(req, "fl"), ", ");
    // Unknown fields in fl are simply absent; "score" has nothing to show.
    out.fl.erase(std::remove(out.fl.begin(), out.fl.end(), "score"), out.fl.end());
    return true;
}

int SelectHandler::searchLocal(IndexCore& core, const Query& q, size_t start, size_t rows, SearchResult& out,
                               std::string& error) const {
    QueryParser parser;
    auto main = parser.parse(q.q, error);
    if (!main) return kBadRequest;
    std::vector<std::unique_ptr<QueryNode>> filters;
    SearchRequest sr;
    sr.query = main.get();
    for (const std::string& f : q.fq) {
        filters.push_back(parser.parse(f, error));
        if (!filters.back()) return kBadRequest;
        sr.filters.push_back(filters.back().get());
    }
    sr.sort = q.sort;
    sr.start = start;
    sr.rows = rows;
    sr.nowMs = nowEpochMs();
    return core.search(sr, out, error);
}

bool SelectHandler::isLocal(const ShardAddress& shard) const {
    if (shard.port != port_) return false;
    if (shard.host == "127.0.0.1" || shard.host == "localhost" || shard.host == bindAddress_) return true;
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 && shard.host == name;
}

int SelectHandler::searchRemote(const ShardAddress& shard, const Query& q, size_t rows, SearchResult& out,
                                std::string& error) const {
    const std::string where = "http://" + shard.host + ":" + std::to_string(shard.port) + "/solr/" + shard.core;
    httplib::Client client(shard.host, shard.port);
    client.set_connection_timeout(10);
    client.set_read_timeout(300);
    httplib::Params p{{"q", q.q}, {"start", "0"}, {"rows", std::to_string(rows)}, {"wt", "json"}};
    for (const auto& f : q.fq) p.emplace("fq", f);
    if (!q.sortText.empty()) p.emplace("sort", q.sortText);
    auto r = client.Get("/solr/" + shard.core + "/select", p, httplib::Headers{});
    if (!r) {
        error = "Error from server at " + where + ": " + httplib::to_string(r.error());
        return kServerError;
    }
    try {
        const auto j = nlohmann::json::parse(r->body);
        if (r->status != 200 || !j.contains("response")) {
            std::string msg = j.contains("error") ? j["error"].value("msg", r->body) : r->body;
            error = "Error from server at " + where + ": " + msg;
            return kServerError;
        }
        out.numFound = j["response"].value("numFound", int64_t{0});
        for (const auto& d : j["response"]["docs"]) out.docs.push_back(fromJson(d));
    } catch (const std::exception& e) {
        error = "Error from server at " + where + ": unreadable answer (" + e.what() + ")";
        return kServerError;
    }
    return kOk;
}

int SelectHandler::searchShards(const std::string& shards, const Query& q, SearchResult& out,
                                std::string& error) const {
    const size_t want = q.start + q.rows;
    for (const std::string& s : splitList(shards, ",")) {
        ShardAddress addr;
        if (!parseShardAddress(s, addr)) {
            error = "Invalid shard address '" + s + "'";
            return kBadRequest;
        }
        SearchResult part;
        int rc;
        if (isLocal(addr)) {
            auto core = cores_.get(addr.core);
            if (!core) {
                error = "Error from server at " + s + ": no such core " + addr.core;
                return kServerError;
            }
            rc = searchLocal(*core, q, 0, want, part, error);
        } else {
            rc = searchRemote(addr, q, want, part, error);
        }
        if (rc != kOk) return rc;
        out.numFound += part.numFound;
        for (auto& d : part.docs) out.docs.push_back(std::move(d));
    }
    if (!q.sort.empty()) {
        std::stable_sort(out.docs.begin(), out.docs.end(),
                         [&](const IndexDocument& a, const IndexDocument& b) { return documentLess(q.sort, a, b); });
    }
    std::vector<IndexDocument> page;
    for (size_t i = q.start; i < out.docs.size() && i < want; ++i) page.push_back(std::move(out.docs[i]));
    out.docs = std::move(page);
    return kOk;
}

void SelectHandler::handle(const httplib::Request& req, httplib::Response& res, const std::string& coreName) {
    static const char* kOp = "SelectHandler::handle";
    const auto started = std::chrono::steady_clock::now();
    const WireFormat fmt = requestFormat(req);
    EvLMDebug log;
    std::string error;
    if (!CoreRegistry::validName(coreName)) {
        sendError(res, fmt, kBadRequest, "Invalid core name '" + coreName + "'");
        return;
    }
    auto core = cores_.get(coreName);
    if (!core) {
        sendError(res, fmt, kNotFound, "no such core: " + coreName);
        return;
    }
    Query q;
    if (!readQuery(req, q, error)) {
        sendError(res, fmt, kBadRequest, error);
        return;
    }
    SearchResult result;
    const std::string shards = param(req, "shards");
    const bool distributed = !splitList(shards, ",").empty();
    const int rc = distributed ? searchShards(shards, q, result, error)
                               : searchLocal(*core, q, q.start, q.rows, result, error);
    if (rc != kOk) {
        log.Error(kOp, "query [%s] on core [%s] failed: %s", q.q.c_str(), coreName.c_str(), error.c_str());
        sendError(res, fmt, rc, error);
        return;
    }
    RNode reply = RNode::list("");
    RNode& header = reply.add(responseHeader(0, elapsedMs(started)));
    header.add(paramsNode(req));
    RNode& docs = reply.add(RNode{});
    docs.type = RNode::T::Result;
    docs.name = "response";
    docs.numFound = result.numFound;
    docs.start = static_cast<int64_t>(q.start);
    for (const IndexDocument& d : result.docs) docs.kids.push_back(documentNode(d, q.fl));
    sendReply(res, reply, fmt);
}

}
