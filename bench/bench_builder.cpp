// The index document builder over the records of the generated access log (the reader
// benchmark's file and template). The rows are read once, before timing; each iteration turns all
// of them into documents. Reports documents per second (items_per_second) and bytes of document
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

struct Records {
    TemplateXML primary = accessTemplate();
    TemplateXML secondary = keyValueTemplate();
    std::vector<std::unique_ptr<LMDocumentRow>> rows;
    std::unique_ptr<LMTextFileDocumentWithCurrentState> doc;

    explicit Records(bool withSecondary) {
        doc = std::make_unique<LMTextFileDocumentWithCurrentState>(accessLog().path, MonitoringTextLog);
        doc->setTemplateXml(&primary);
        if (withSecondary) {
            doc->setSecondaryTemplateXml(&secondary);
            doc->setSecondarytemplateId(2);
        }
        doc->openDocument();
        while (LMDocumentRow* row = doc->read()) rows.emplace_back(row);
    }
};

void buildAll(benchmark::State& state, bool withSecondary) {
    Records records(withSecondary);
    FilteredMessageInfo info;
    info.uniqueFileId = 3;
    info.templateId = 10;
    info.monitoringPolicyId = 5;
    info.source = accessLog().path;
    info.templateName = "access";
    info.policyName = "web";
    info.lines.push_back({1, ""});
    CountingHelper helper;
    LMDocument* doc = records.doc.get();
    for (auto _ : state) {
        for (auto& row : records.rows) {
            info.lines.front().lineNumber = static_cast<uint32_t>(row->getLineNumber());
            helper.handleGenerateCIXML(doc, row.get(), info);
        }
    }
    state.counters["docs_per_iteration"] = static_cast<double>(helper.docs / state.iterations());
    state.SetItemsProcessed(static_cast<int64_t>(helper.docs));
    state.SetBytesProcessed(static_cast<int64_t>(helper.bytes));
}

void BM_BuildDocuments(benchmark::State& state) { buildAll(state, false); }
void BM_BuildDocumentsWithKeyValues(benchmark::State& state) { buildAll(state, true); }

}

BENCHMARK(BM_BuildDocuments)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_BuildDocumentsWithKeyValues)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
