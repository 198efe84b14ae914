// End-to-end benchmark of lm-indexd: documents shaped like the document builder's (about 25
// fields, a LogLine of about 150 bytes) posted over HTTP in batches of 5,000, then a selective
// query and a count of everything; and, as the storage's ceiling, the same documents written into
// a bare SQLite table of one text column.
//
//   bench_indexd [--docs=N] [--batch=N] [benchmark options]     (default 1,000,000 documents)
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;

size_t gDocs = 1000000;
size_t gBatch = 5000;
std::unique_ptr<lmtest::TempDir> gDir;
std::unique_ptr<lmtest::ChildProcess> gServer;
int gPort = 0;

const char* kMethods[] = {"GET", "GET", "GET", "POST", "PUT", "DELETE"};
const int kStatus[] = {200, 200, 200, 200, 304, 404, 500, 503};
const char* kPaths[] = {"/index.html", "/api/v1/orders", "/api/v1/users/login", "/static/app.js",
                        "/images/logo.png", "/checkout/confirm", "/search", "/health"};
const char* kAgents[] = {"Mozilla/5.0 (X11; Linux x86_64)", "curl/7.88.1", "Go-http-client/1.1",
                         "Mozilla/5.0 (Windows NT 10.0; Win64)"};

// One document as the builder writes it.
std::string makeDoc(size_t i, std::mt19937& rng) {
    const int policy = static_cast<int>(i % 10) + 1;
    const int status = kStatus[rng() % 8];
    const char* method = kMethods[rng() % 6];
    const char* path = kPaths[rng() % 8];
    const char* agent = kAgents[rng() % 4];
    char ip[32];
    std::snprintf(ip, sizeof ip, "10.%u.%u.%u", static_cast<unsigned>(rng() % 256), static_cast<unsigned>(rng() % 256),
                  static_cast<unsigned>(rng() % 256));
    const unsigned bytes = static_cast<unsigned>(rng() % 50000);
    const double ms = (rng() % 100000) / 100.0;
    char line[512];
    std::snprintf(line, sizeof line, "%s - - [05/Mar/2024:07:%02zu:%02zu +0000] \"%s %s?id=%zu HTTP/1.1\" %d %u \"%s\" %.2f",
                  ip, i / 60 % 60, i % 60, method, path, i, status, bytes, agent, ms);
    char buf[4096];
    std::snprintf(
        buf, sizeof buf,
        "<doc>\n"
        "<field name = \"clientip_sf\">%s</field>\n<field name = \"clientip_lf\">%s</field>\n"
        "<field name = \"method_sf\">%s</field>\n<field name = \"url_lt\">%s</field>\n"
        "<field name = \"status_if\">%d</field>\n<field name = \"bytes_if\">%u</field>\n"
        "<field name = \"duration_df\">%.2f</field>\n<field name = \"agent_lt\">%s</field>\n"
        "<field name = \"hash_if\">%zu</field>\n"
        "<field name = \"contentid\">KQLM_C2_MP%d_F%zu_L%zu</field>\n"
        "<field name = \"LogLine\">%s</field>\n"
        "<field name = \"ClientName\">webserver01</field>\n<field name = \"FileName\">access.log</field>\n"
        "<field name = \"parentfolder_sf\">nginx</field>\n<field name = \"parentfolder_lf\">nginx</field>\n"
        "<field name = \"FilePath\">/var/log/nginx/access.log</field>\n<field name = \"TemplateId\">3</field>\n"
        "<field name = \"MonitoringPolicyId\">%d</field>\n<field name = \"isLMDoc\">1</field>\n"
        "<field name = \"MonitoringPolicyName\">policy %d</field>\n<field name = \"TemplateName\">Apache access</field>\n"
        "<field name = \"ClientId\">2</field>\n<field name = \"eventTime\">2024-3-5T7:%zu:%zu.0Z</field>\n"
        "<field name = \"cistate\">1</field>\n<field name = \"LineNumber\">%zu</field>\n"
        "<field name = \"FileUniqueId\">77</field>\n<field name = \"clientname\">webserver01</field>\n"
        "<field name = \"monitoringpolicyname\">policy %d</field>\n<field name = \"filename\">access.log</field>\n"
        "<field name = \"templatename\">Apache access</field>\n"
        "</doc>\n",
        ip, ip, method, path, status, bytes, ms, agent, (i * 2654435761u) % 982451653u, policy, i % 100, i, line,
        policy, policy, i / 60 % 60, i % 60, i, policy);
    return buf;
}

std::string batchText(size_t first, size_t n, std::mt19937& rng) {
    std::string out = "<add> ";
    for (size_t i = first; i < first + n; ++i) out += makeDoc(i, rng);
    return out + "</add>";
}

httplib::Client client() {
    httplib::Client c("127.0.0.1", gPort);
    c.set_read_timeout(600);
    c.set_write_timeout(600);
    return c;
}

void BM_IndexdIngest(benchmark::State& state) {
    std::mt19937 rng(42);
    auto c = client();
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (size_t first = 0; first < gDocs; first += gBatch) {
            state.PauseTiming();
            const std::string body = batchText(first, std::min(gBatch, gDocs - first), rng);
            state.ResumeTiming();
            auto r = c.Post("/solr/kqcorelm0/LMUpdateHandler?", body, "application/xml; charset=utf-8 ");
            if (!r || r->status != 200) {
                state.SkipWithError("update refused");
                return;
            }
        }
        auto r = c.Post("/solr/kqcorelm0/LMUpdateHandler?softCommit=true", "<add> </add>",
                        "application/xml; charset=utf-8 ");
        (void)r;
        (void)t0;
    }
    auto r = c.Get("/solr/admin/cores?action=STATUS&core=kqcorelm0&wt=json");
    if (r) {
        const auto j = nlohmann::json::parse(r->body, nullptr, false);
        if (!j.is_discarded()) {
            const double bytes = j["status"]["kqcorelm0"]["index"]["sizeInBytes"].get<double>();
            state.counters["bytes_per_doc"] = bytes / static_cast<double>(gDocs);
        }
    }
    state.counters["docs_per_s"] =
        benchmark::Counter(static_cast<double>(gDocs), benchmark::Counter::kIsRate);
}

void query(benchmark::State& state, const std::string& q, int64_t& found) {
    auto c = client();
    const std::string path = "/solr/kqcorelm0/select?wt=json&rows=10&q=" + httplib::detail::encode_query_param(q);
    for (auto _ : state) {
        auto r = c.Get(path.c_str());
        if (!r || r->status != 200) {
            state.SkipWithError("query failed");
            return;
        }
        found = nlohmann::json::parse(r->body)["response"]["numFound"].get<int64_t>();
    }
    state.counters["numFound"] = static_cast<double>(found);
}

void BM_IndexdSelectiveQuery(benchmark::State& state) {
    int64_t found = 0;
    query(state, "MonitoringPolicyId:5 AND status_if:500", found);
}

void BM_IndexdCountAll(benchmark::State& state) {
    int64_t found = 0;
    query(state, "*:*", found);
}

void BM_IndexdTextQuery(benchmark::State& state) {
    int64_t found = 0;
    query(state, "LogLine:\"checkout confirm\" AND status_if:500", found);
}

// The ceiling: the same document texts into one text column, batches as above.
void BM_SqliteTextColumnIngest(benchmark::State& state) {
    std::mt19937 rng(42);
    const std::string path = gDir->file("bare.db");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path);
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; CREATE TABLE t(doc TEXT);", nullptr,
                     nullptr, nullptr);
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t(doc) VALUES(?1)", -1, &st, nullptr);
        state.ResumeTiming();
        for (size_t first = 0; first < gDocs; first += gBatch) {
            state.PauseTiming();
            std::vector<std::string> docs;
            for (size_t i = first; i < std::min(gDocs, first + gBatch); ++i) docs.push_back(makeDoc(i, rng));
            state.ResumeTiming();
            sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
            for (const auto& d : docs) {
                sqlite3_bind_text(st, 1, d.data(), static_cast<int>(d.size()), SQLITE_STATIC);
                sqlite3_step(st);
                sqlite3_reset(st);
            }
            sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
    }
    std::error_code ec;
    double bytes = static_cast<double>(std::filesystem::file_size(path, ec));
    const auto wal = std::filesystem::file_size(path + "-wal", ec);
    if (!ec) bytes += static_cast<double>(wal);
    state.counters["bytes_per_doc"] = bytes / static_cast<double>(gDocs);
    state.counters["docs_per_s"] = benchmark::Counter(static_cast<double>(gDocs), benchmark::Counter::kIsRate);
}

bool startServer() {
    gDir = std::make_unique<lmtest::TempDir>("bench_indexd");
    gServer = std::make_unique<lmtest::ChildProcess>();
    if (!gServer->start({LM_INDEXD_BIN, "--data", gDir->file("data"), "--port", "0"})) return false;
    const std::string line = gServer->waitForLine("listening on", 10s);
    if (line.empty()) return false;
    gPort = std::stoi(line.substr(line.rfind(':') + 1));
    return gPort > 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Our own options first; the rest goes to the benchmark library.
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--docs=", 7) == 0) gDocs = std::stoul(argv[i] + 7);
        else if (std::strncmp(argv[i], "--batch=", 8) == 0) gBatch = std::max<size_t>(1, std::stoul(argv[i] + 8));
        else rest.push_back(argv[i]);
    }
    int n = static_cast<int>(rest.size());
    benchmark::Initialize(&n, rest.data());
    if (!startServer()) {
        std::fprintf(stderr, "cannot start lm-indexd\n");
        return 1;
    }
    benchmark::RegisterBenchmark("IndexdIngest", BM_IndexdIngest)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    benchmark::RegisterBenchmark("IndexdSelectiveQuery", BM_IndexdSelectiveQuery)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("IndexdCountAll", BM_IndexdCountAll)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("IndexdTextQuery", BM_IndexdTextQuery)->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("SqliteTextColumnIngest", BM_SqliteTextColumnIngest)
        ->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gServer->signal(SIGTERM);
    gServer->wait(60s);
    return 0;
}
