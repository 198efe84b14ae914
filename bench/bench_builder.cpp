// The index document builder over the records of the generated access log (the reader
// benchmark's file and template). Reading is not timed; each iteration turns every record of the
// file into a document. Reports documents per second (items_per_second) and bytes of document
// text per second; discovery's signature runs on every record, as it does in production.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "BenchAccessLog.h"
#include "documents/LMTextFileDocumentWithCurrentState.h"
#include "indexing/LMCIHelper.h"

using namespace LogMonitoring;
using namespace benchlog;

namespace {

// Counts what batching would receive instead of keeping it.
class CountingHelper : public LMCIHelper {
public:
    CountingHelper() : LMCIHelper(7, "bench-client") {}
    int addToDocList() override {
        ++docs;
        bytes += currentDoc.size();
        return 0;
    }
    uint64_t docs = 0;
    uint64_t bytes = 0;
};

// Rows are read in chunks outside the timed region and built inside it, so that the builder works
// on rows as fresh in the caches as the indexing session's, not on a million rows held in memory.
constexpr size_t kChunk = 4096;

void buildAll(benchmark::State& state, bool withSecondary) {
    TemplateXML primary = accessTemplate();
    TemplateXML secondary = keyValueTemplate();
    FilteredMessageInfo info;
    info.uniqueFileId = 3;
    info.templateId = 10;
    info.monitoringPolicyId = 5;
    info.source = accessLog().path;
    info.templateName = "access";
    info.policyName = "web";
    info.lines.push_back({1, ""});
    CountingHelper helper;
    std::vector<std::unique_ptr<LMDocumentRow>> rows;
    rows.reserve(kChunk);
    for (auto _ : state) {
        state.PauseTiming();
        LMTextFileDocumentWithCurrentState doc(accessLog().path, MonitoringTextLog);
        doc.setTemplateXml(&primary);
        if (withSecondary) {
            doc.setSecondaryTemplateXml(&secondary);
            doc.setSecondarytemplateId(2);
        }
        doc.openDocument();
        LMDocument* d = &doc;
        for (;;) {
            rows.clear();
            while (rows.size() < kChunk) {
                LMDocumentRow* row = doc.read();
                if (!row) break;
                rows.emplace_back(row);
            }
            if (rows.empty()) break;
            state.ResumeTiming();
            for (auto& row : rows) {
                info.lines.front().lineNumber = static_cast<uint32_t>(row->getLineNumber());
                helper.handleGenerateCIXML(d, row.get(), info);
            }
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    state.counters["docs_per_iteration"] = static_cast<double>(helper.docs / state.iterations());
    state.SetItemsProcessed(static_cast<int64_t>(helper.docs));
    state.SetBytesProcessed(static_cast<int64_t>(helper.bytes));
}

// One record built again and again: the builder's own cost, with everything in the caches.
void BM_BuildOneRecord(benchmark::State& state) {
    TemplateXML primary = accessTemplate();
    LMTextFileDocumentWithCurrentState doc(accessLog().path, MonitoringTextLog);
    doc.setTemplateXml(&primary);
    doc.openDocument();
    std::unique_ptr<LMDocumentRow> row(doc.read());
    FilteredMessageInfo info;
    info.source = accessLog().path;
    info.lines.push_back({1, ""});
    CountingHelper helper;
    LMDocument* d = &doc;
    for (auto _ : state) helper.handleGenerateCIXML(d, row.get(), info);
    state.SetItemsProcessed(static_cast<int64_t>(helper.docs));
    state.SetBytesProcessed(static_cast<int64_t>(helper.bytes));
}

void BM_BuildDocuments(benchmark::State& state) { buildAll(state, false); }
void BM_BuildDocumentsWithKeyValues(benchmark::State& state) { buildAll(state, true); }

}

BENCHMARK(BM_BuildOneRecord);
BENCHMARK(BM_BuildDocuments)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_BuildDocumentsWithKeyValues)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
