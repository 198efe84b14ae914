// The text log reader over a generated access log of 1,000,000 lines (date, time, client address,
// method, path, status, bytes, then user agent and key=value pairs; about 5% continuation lines)
// through a template of eight typed columns. Reports lines per second (items_per_second) and
// bytes per second for LMTextFileDocumentWithCurrentState::read, beside a plain loop that only
// searches the record pattern in every line, and the reader with a secondary template whose
// key/value pairs become cells.
#include <benchmark/benchmark.h>

#include <boost/regex.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "documents/LMTextFileDocumentWithCurrentState.h"
#include "BenchAccessLog.h"
#include "platform/messages/catalogue/TemplateMessages.h"

using namespace LogMonitoring;

namespace {

using namespace benchlog;

void readAll(benchmark::State& state, bool withSecondary) {
    const AccessLog& log = accessLog();
    TemplateXML primary = accessTemplate();
    TemplateXML secondary = keyValueTemplate();
    uint64_t rows = 0;
    for (auto _ : state) {
        LMTextFileDocumentWithCurrentState doc(log.path, MonitoringTextLog);
        doc.setTemplateXml(&primary);
        if (withSecondary) doc.setSecondaryTemplateXml(&secondary);
        doc.openDocument();
        while (LMDocumentRow* row = doc.read()) {
            ++rows;
            delete row;
        }
        if (doc.getLineNumber() != static_cast<uint64_t>(kLines)) state.SkipWithError("not every line was read");
    }
    state.counters["rows"] = static_cast<double>(rows / state.iterations());
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.bytes));
}

void BM_ReaderRead(benchmark::State& state) { readAll(state, false); }

void BM_ReaderReadWithKeyValues(benchmark::State& state) { readAll(state, true); }

// Lines from a stream and a search of the record pattern in each: the floor under the reader.
void BM_PatternOnly(benchmark::State& state) {
    const AccessLog& log = accessLog();
    TemplateXML primary = accessTemplate();
    LMTextFileDocument patternDoc("");
    patternDoc.setTemplateXml(&primary);
    const boost::regex re(patternDoc.getTemplatePattern(), boost::regex::perl | boost::regex::icase);
    uint64_t matched = 0;
    for (auto _ : state) {
        std::ifstream in(log.path, std::ios::binary);
        std::string line;
        boost::smatch m;
        while (std::getline(in, line)) matched += boost::regex_search(line, m, re) ? 1 : 0;
    }
    state.counters["matched"] = static_cast<double>(matched / state.iterations());
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.bytes));
}

}

BENCHMARK(BM_PatternOnly)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReaderRead)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReaderReadWithKeyValues)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
