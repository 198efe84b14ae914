#include "LMIndexQuery.h"

#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <memory>

#include "platform/gateway/KqCurlGlobal.h"

namespace {

constexpr size_t kMaxReplyBytes = 64u << 20;
constexpr const char* kPlainCores[] = {"kqcorelm0", "kqcorelm1", "kqcorelm2", "kqcorelm3"};

struct Reply {
    std::string body;
    bool tooBig = false;
};

size_t collect(char* data, size_t size, size_t count, void* out) {
    auto* r = static_cast<Reply*>(out);
    size_t n = size * count;
    if (r->body.size() + n > kMaxReplyBytes) {
        r->tooBig = true;
        return 0; // libcurl ends the transfer
    }
    r->body.append(data, n);
    return n;
}

// Core names go into URL paths and the shards list: only names of the engine's own making pass.
bool plainName(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
    return true;
}

bool isPlainCore(const std::string& name) {
    for (const char* p : kPlainCores)
        if (name == p) return true;
    return false;
}

std::string render(const nlohmann::ordered_json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_array()) {
        std::string out;
        for (const auto& e : v) {
            if (!out.empty()) out += ",";
            out += render(e);
        }
        return out;
    }
    return v.dump();
}

// The engine's own words when its reply carries an error.
std::string engineError(const nlohmann::ordered_json& j) {
    if (j.is_object() && j.contains("error") && j["error"].is_object() && j["error"].contains("msg"))
        return render(j["error"]["msg"]);
    return {};
}

} // namespace

LMIndexQuery::LMIndexQuery(std::string host, int port, int64_t policyId)
    : host_(std::move(host)), port_(port), policyId_(policyId) {}

std::string LMIndexQuery::baseUrl() const {
    bool v6 = host_.find(':') != std::string::npos && host_.front() != '[';
    return "http://" + (v6 ? "[" + host_ + "]" : host_) + ":" + std::to_string(port_) + "/solr";
}

std::string LMIndexQuery::displayValue(const std::string& raw, size_t limit) {
    std::string out;
    size_t taken = 0;
    for (; taken < raw.size() && out.size() < limit; ++taken) {
        char c = raw[taken];
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    if (taken == raw.size()) return out;
    // Do not leave half a UTF-8 character at the cut.
    size_t end = out.size();
    while (end > 0 && (static_cast<unsigned char>(out[end - 1]) & 0xC0) == 0x80) --end;
    if (end > 0 && static_cast<unsigned char>(out[end - 1]) >= 0xC0) {
        unsigned char lead = static_cast<unsigned char>(out[end - 1]);
        size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (out.size() - (end - 1) < need) out.resize(end - 1);
    }
    return out + "...";
}

int LMIndexQuery::get(const std::string& url, std::string& body, std::string& error) {
    if (int r = LIBCURL::ensureCurlGlobalInit(); r != 0) {
        error = std::string("cannot initialise libcurl: ") + curl_easy_strerror(static_cast<CURLcode>(r));
        return 1;
    }
    std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
    if (!h) {
        error = "cannot make an HTTP handle";
        return 1;
    }
    Reply reply;
    char curlError[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(h.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h.get(), CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT, 120L);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &collect);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(h.get(), CURLOPT_ERRORBUFFER, curlError);
    CURLcode rc = curl_easy_perform(h.get());
    if (reply.tooBig) {
        error = "the index engine's reply is larger than " + std::to_string(kMaxReplyBytes >> 20) + " MiB";
        return 1;
    }
    if (rc != CURLE_OK) {
        error = "cannot reach the index engine at " + baseUrl() + ": " +
                (curlError[0] ? std::string(curlError) : curl_easy_strerror(rc));
        return 1;
    }
    long status = 0;
    curl_easy_getinfo(h.get(), CURLINFO_RESPONSE_CODE, &status);
    body = std::move(reply.body);
    if (status != 200) {
        nlohmann::ordered_json j = nlohmann::ordered_json::parse(body, nullptr, false);
        std::string why = j.is_discarded() ? std::string() : engineError(j);
        error = "the index engine answered with HTTP status " + std::to_string(status) + (why.empty() ? "" : ": " + why);
        return 1;
    }
    return 0;
}

int LMIndexQuery::policyCores(std::vector<std::string>& cores, std::string& error) {
    std::string body;
    if (get(baseUrl() + "/admin/cores?action=STATUS&wt=json", body, error) != 0) return 1;
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(body, nullptr, false);
    if (j.is_discarded() || !j.is_object() || !j.contains("status")) {
        error = "the index engine's core list cannot be read";
        return 1;
    }
    const std::string own = "kqcorelm_" + std::to_string(policyId_) + "_";
    cores.clear();
    auto consider = [&](const std::string& name) {
        if (!plainName(name)) return;
        if (name.size() > own.size() && name.compare(0, own.size(), own) == 0) cores.push_back(name);
        else if (isPlainCore(name)) cores.push_back(name);
    };
    const auto& st = j["status"];
    if (st.is_object()) {
        for (auto it = st.begin(); it != st.end(); ++it) consider(it.key());
    } else if (st.is_array()) {
        for (const auto& c : st)
            if (c.is_object() && c.contains("name") && c["name"].is_string()) consider(c["name"].get<std::string>());
    }
    return 0;
}

int LMIndexQuery::search(const Search& s, Result& result, std::string& error) {
    result = Result();
    if (s.rows < 0) {
        error = "rows must be 0 or more";
        return 1;
    }
    std::vector<std::string> cores;
    if (policyCores(cores, error) != 0) return 1;
    if (cores.empty()) return 0;

    std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
    if (!h) {
        error = "cannot make an HTTP handle";
        return 1;
    }
    auto escaped = [&](const std::string& v) {
        char* e = curl_easy_escape(h.get(), v.c_str(), static_cast<int>(v.size()));
        std::string out = e ? e : "";
        curl_free(e);
        return out;
    };
    const std::string base = baseUrl();
    const std::string shardBase = base.substr(std::string("http://").size());
    std::string shards;
    bool plain = false;
    for (const std::string& c : cores) {
        if (!shards.empty()) shards += ",";
        shards += shardBase + "/" + c;
        plain = plain || isPlainCore(c);
    }
    std::string url = base + "/" + cores.front() + "/select?wt=json&q=" + escaped(s.query.empty() ? "*:*" : s.query) +
                      "&rows=" + std::to_string(s.rows) + "&start=0&shards=" + escaped(shards);
    // The policy's own cores hold nothing else; the plain cores are shared by every policy.
    if (plain) url += "&fq=" + escaped("MonitoringPolicyId:" + std::to_string(policyId_));
    if (!s.sort.empty()) url += "&sort=" + escaped(s.sort);
    if (!s.fields.empty()) url += "&fl=" + escaped(s.fields);

    std::string body;
    if (get(url, body, error) != 0) return 1;
    nlohmann::ordered_json j = nlohmann::ordered_json::parse(body, nullptr, false);
    if (j.is_discarded() || !j.is_object()) {
        error = "the index engine's answer is not JSON";
        return 1;
    }
    if (std::string why = engineError(j); !why.empty()) {
        error = "the index engine refused the query: " + why;
        return 1;
    }
    const auto* resp = j.contains("response") && j["response"].is_object() ? &j["response"] : nullptr;
    if (!resp || !resp->contains("numFound") || !(*resp)["numFound"].is_number_integer()) {
        error = "the index engine's answer has no match count";
        return 1;
    }
    result.numFound = (*resp)["numFound"].get<long long>();
    if (resp->contains("docs") && (*resp)["docs"].is_array()) {
        for (const auto& d : (*resp)["docs"]) {
            if (!d.is_object()) continue;
            Document doc;
            if (d.contains("contentid")) doc.fields.emplace_back("contentid", render(d["contentid"]));
            for (auto it = d.begin(); it != d.end(); ++it)
                if (it.key() != "contentid") doc.fields.emplace_back(it.key(), render(it.value()));
            result.docs.push_back(std::move(doc));
        }
    }
    return 0;
}

int LMIndexQuery::countDocuments(long long& count, std::string& error) {
    Search s;
    s.rows = 0;
    Result r;
    if (search(s, r, error) != 0) return 1;
    count = r.numFound;
    return 0;
}
