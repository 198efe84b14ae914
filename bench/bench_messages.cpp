// Serialising and parsing a message that carries a 14 MiB text, the size of a large document batch.
#include <benchmark/benchmark.h>

#include <random>

#include "platform/TestMessages.h"
#include "platform/messages/XMLDecoder.h"

namespace {

std::string batchLikeText(size_t size) {
    // Document XML as batches carry it: mostly plain text with markup characters to escape.
    std::string unit =
        "<doc><field name = \"contentid\">KQLM_C1_MP5_F3_L1234</field><field name = \"LogLine\">"
        "2024-03-05 07:04:09 GET /index.html?a=1&b=2 200 5123 \"Mozilla/5.0\"</field></doc>";
    std::string s;
    s.reserve(size + unit.size());
    while (s.size() < size) s += unit;
    s.resize(size);
    return s;
}

LMTest::TestAll bigMessage() {
    LMTest::TestAll m;
    m.set_number(5);
    m.set_text(batchLikeText(14u << 20));
    m.set_ints({1, 2, 3});
    return m;
}

void BM_SerializeBatchMessage(benchmark::State& state) {
    auto m = bigMessage();
    std::string out;
    for (auto _ : state) {
        m.serialize(out, 0);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(m.text().size()));
    state.counters["xml_bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_SerializeBatchMessage)->Unit(benchmark::kMillisecond);

void BM_ParseBatchMessage(benchmark::State& state) {
    auto m = bigMessage();
    std::string xml;
    m.serialize(xml, 0);
    for (auto _ : state) {
        LMTest::TestAll back;
        if (back.unserialize(xml) != 0) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(back.text().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(m.text().size()));
}
BENCHMARK(BM_ParseBatchMessage)->Unit(benchmark::kMillisecond);

void BM_DecodeBatchMessage(benchmark::State& state) {
    auto m = bigMessage();
    std::string xml;
    m.serialize(xml, 0);
    for (auto _ : state) {
        auto back = XMLDecoder::decode(xml);
        benchmark::DoNotOptimize(back.get());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(m.text().size()));
}
BENCHMARK(BM_DecodeBatchMessage)->Unit(benchmark::kMillisecond);

}

BENCHMARK_MAIN();
