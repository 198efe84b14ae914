// Key/value discovery, which runs on every record: sanitising, locating the pairs and the
// signature, over access-log and key=value records, over long records built to make a value
// scan walk to the end for every token, and through the index helper with and without the
// discovered fields.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "documents/LMTemplateMatch.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMFieldDiscovery.h"

using namespace LogMonitoring;
namespace fd = LogMonitoring::FieldDiscovery;

namespace {

std::vector<std::string> accessLogRecords() {
    static const char* const kPaths[] = {"/index.html", "/img/logo.png", "/api/v2/orders?id=%d&user=u%d",
                                         "/search?q=disk+full&page=%d", "/login"};
    static const char* const kAgents[] = {"Browser/5.0 (X11; Linux x86_64) Engine/537.36 (like Gecko)",
                                          "fetch/7.88.1", "Crawler/2.1 (+http://crawler.example.com/bot.html)"};
    std::vector<std::string> records;
    char line[512];
    for (int i = 0; i < 1024; ++i) {
        char path[128];
        std::snprintf(path, sizeof path, kPaths[i % 5], i, i % 37, i % 9);
        std::snprintf(line, sizeof line,
                      "10.%d.%d.%d - user%d [11/Dec/2026:11:%02d:%02d +0000] \"GET %s HTTP/1.1\" %d %d "
                      "\"http://shop.example.com/start.html\" \"%s\"",
                      i % 200, i % 7, i % 250, i % 13, i % 60, (i * 7) % 60, path, i % 11 ? 200 : 404, 512 + i * 31,
                      kAgents[i % 3]);
        records.emplace_back(line);
    }
    return records;
}

std::vector<std::string> keyValueRecords() {
    static const char* const kLevels[] = {"INFO", "WARN", "ERROR", "DEBUG"};
    std::vector<std::string> records;
    char line[512];
    for (int i = 0; i < 1024; ++i) {
        std::snprintf(line, sizeof line,
                      "2026-12-11 11:%02d:%02d,%03d %s [worker-%d] user=u%d action=%s status=%s duration=%d.%dms "
                      "session=\"s %d\" src=10.0.%d.%d bytes=%d msg='queue depth %d' retries(%d)",
                      i % 60, (i * 3) % 60, i % 1000, kLevels[i % 4], i % 8, i % 50, i % 3 ? "read" : "write",
                      i % 5 ? "OK" : "FAILED", i % 90, i % 10, i, i % 4, i % 200, i * 17, i % 33, i % 4);
        records.emplace_back(line);
    }
    return records;
}

void runRecords(benchmark::State& state, const std::vector<std::string>& records) {
    std::string text;
    std::vector<fd::LocatedPair> pairs;
    size_t bytes = 0;
    size_t i = 0;
    uint64_t sink = 0;
    for (auto _ : state) {
        const std::string& record = records[i++ % records.size()];
        text.assign(record);
        fd::sanitizeAndLocatePairs(text, pairs);
        sink += fd::computeSignature(text, pairs);
        bytes += record.size();
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_SignatureAccessLog(benchmark::State& state) {
    static const auto records = accessLogRecords();
    runRecords(state, records);
}
BENCHMARK(BM_SignatureAccessLog);

void BM_SignatureKeyValueLog(benchmark::State& state) {
    static const auto records = keyValueRecords();
    runRecords(state, records);
}
BENCHMARK(BM_SignatureKeyValueLog);

// Records of about `length` bytes made of one repeated piece.
std::string repeated(const std::string& piece, size_t length) {
    std::string text;
    while (text.size() < length) text += piece;
    return text;
}

std::string pathological(int kind, size_t length) {
    switch (kind) {
    case 0: return repeated("a(", length);            // brackets never closed
    case 1: return repeated("a(b", length) + ")";     // closed once, at the very end
    case 2: return repeated("a=", length);            // every value runs to the end
    case 3: return repeated("a(\"", length);          // quotes that never bring the count down
    default: return repeated("k[\"v=(", length) + "]";
    }
}

const char* const kPathologicalNames[] = {"unclosed(", "closed_once_at_end", "equals", "quoted(", "mixed"};

void BM_SignaturePathological(benchmark::State& state) {
    const std::string record = pathological(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)));
    state.SetLabel(kPathologicalNames[state.range(0)]);
    std::string text;
    std::vector<fd::LocatedPair> pairs;
    uint64_t sink = 0;
    for (auto _ : state) {
        text.assign(record);
        fd::sanitizeAndLocatePairs(text, pairs);
        sink += fd::computeSignature(text, pairs);
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * record.size()));
}
BENCHMARK(BM_SignaturePathological)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {10000, 100000}})
    ->Unit(benchmark::kMicrosecond);

// The same records scanned with a value walk per token (getTokenEnd as it stands), for comparison:
// its time grows with the square of the length on these records.
void BM_ByteWalkPathological(benchmark::State& state) {
    const std::string record = pathological(static_cast<int>(state.range(0)), static_cast<size_t>(state.range(1)));
    state.SetLabel(kPathologicalNames[state.range(0)]);
    long sink = 0;
    for (auto _ : state) {
        for (size_t p = 0; p < record.size(); ++p) {
            if (isToken(record[p])) sink += fd::getTokenEnd(record, p);
        }
    }
    benchmark::DoNotOptimize(sink);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * record.size()));
}
BENCHMARK(BM_ByteWalkPathological)->ArgsProduct({{0, 1}, {10000, 20000}})->Unit(benchmark::kMillisecond);

// The whole member, with addField writing the fields into the helper's document.
void BM_HelperDiscovery(benchmark::State& state) {
    static const auto records = keyValueRecords();
    LMCIHelper helper;
    helper.discoverEvents = state.range(0) != 0;
    std::string doc;
    size_t bytes = 0;
    size_t i = 0;
    for (auto _ : state) {
        const std::string& record = records[i++ % records.size()];
        helper.currentDoc.clear();
        helper.discoverAndAddToCIDocNew(record, doc);
        bytes += record.size();
    }
    state.SetLabel(helper.discoverEvents ? "with discovered fields" : "signature only");
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_HelperDiscovery)->Arg(0)->Arg(1);

}

BENCHMARK_MAIN();
