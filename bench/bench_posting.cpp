// Documents per second from the index helper into the index engine, for every record of the
// generated access log (the reader benchmark's file and template), and how the time divides
// between the hops. Each run reads the file, builds every document and batches it as a session
// does; only where the batches go differs:
//
//   BM_BuildOnly          nowhere (the client's own share: reading and building)
//   BM_PostDirectToIndexd each day's documents posted over HTTP straight into its day core of
//                         lm-indexd (the index engine's share)
//   BM_SessionToStandIn   over a session to a stand-in host in this process that answers at once
//                         (the share of the requests: serialising, the session, parsing)
//   BM_ThroughHost/0      the real road: the session to lm-host, whose dispatcher posts every
//                         day into lm-indexd; synchronous sends
//   BM_ThroughHost/3      the same with a send pool of three threads
//
// The stacks are started per run in temporary folders, with fresh index data.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "BenchAccessLog.h"
#include "documents/LMTextFileDocumentWithCurrentState.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMCoreNames.h"
#include "indexing/LMFakeEngineHost.h"
#include "integration/IntegrationSupport.h"

using namespace LogMonitoring;
using namespace benchlog;

namespace {

constexpr uint64_t kPolicy = 5;

// Reads every record of the file and hands it to the helper's builder; the documents the
// helper was given.
int64_t buildAll(LMCIHelper& helper) {
    TemplateXML primary = accessTemplate();
    FilteredMessageInfo info;
    info.uniqueFileId = 3;
    info.templateId = 10;
    info.monitoringPolicyId = kPolicy;
    info.source = accessLog().path;
    info.templateName = "access";
    info.policyName = "web";
    info.lines.push_back({1, ""});
    LMTextFileDocumentWithCurrentState doc(accessLog().path, MonitoringTextLog);
    doc.setTemplateXml(&primary);
    doc.openDocument();
    LMDocument* d = &doc;
    int64_t docs = 0;
    while (LMDocumentRow* row = doc.read()) {
        std::unique_ptr<LMDocumentRow> owned(row);
        info.lines.front().lineNumber = static_cast<uint32_t>(row->getLineNumber());
        if (helper.handleGenerateCIXML(d, row, info) == 0) ++docs;
    }
    return docs;
}

class CountingHelper : public LMCIHelper {
public:
    CountingHelper() : LMCIHelper(7, "bench-client") {}
    int addToDocList() override { return 0; }
};

// Batches by day as the helper does and posts each day straight into its core.
class DirectHelper : public LMCIHelper {
public:
    explicit DirectHelper(std::string base) : LMCIHelper(7, "bench-client"), base_(std::move(base)) {}
    int addToDocList() override {
        if (static_cast<uint64_t>(docMapBytes) + currentDoc.size() > kLMMaxBatchBytes) flush();
        auto& day = docMap[currentDayKey];
        day.docs += currentDoc;
        ++day.count;
        docMapBytes += static_cast<int64_t>(currentDoc.size());
        return 0;
    }
    void flush() {
        for (auto& [key, day] : docMap) {
            std::string core, response;
            getCoreName(static_cast<time_t>(key), core, kLMFactorDay, kPolicy);
            std::string url = base_ + "/" + core + "/LMUpdateHandler?";
            std::string body = "<add> " + day.docs + " </add>";
            if (indexCollectedData(url, body, response, false, false) != 1 || !isResponseSuccess(response)) {
                ++failures;
                lastResponse = response.substr(0, 300);
            }
        }
        clearDocList();
    }
    int failures = 0;
    std::string lastResponse;

private:
    std::string base_;
};

lmtest::EngineStack::Options quietStack(bool withIndexd = true) {
    lmtest::EngineStack::Options o;
    o.hostLogLevel = 0;
    o.startIndexd = withIndexd;
    return o;
}

// A fresh stack, or null when it does not come up (the run is then marked failed).
std::unique_ptr<lmtest::EngineStack> startStack(benchmark::State& state, bool withIndexd = true) {
    auto stack = std::make_unique<lmtest::EngineStack>(quietStack(withIndexd));
    if (stack->start()) return stack;
    state.SkipWithError(stack->why().c_str());
    return nullptr;
}

// A helper that sends to `engineHost`, with every day of the file young enough to be indexed.
std::unique_ptr<LMCIHelper> senderTo(const std::string& engineUrl, const std::string& engineHost, int poolSize) {
    auto helper = std::make_unique<LMCIHelper>(7, "bench-client");
    helper->monitoringPolicyId = kPolicy;
    helper->engineUrl = engineUrl;
    helper->engineHostName = engineHost;
    helper->setdataAgeingTimerInterval(100000);
    helper->threadPoolSize = static_cast<uint64_t>(poolSize);
    helper->useThreadPool = poolSize > 0;
    return helper;
}

void report(benchmark::State& state, int64_t docs) {
    state.SetItemsProcessed(docs);
    state.counters["docs"] = static_cast<double>(docs);
}

void BM_BuildOnly(benchmark::State& state) {
    int64_t docs = 0;
    for (auto _ : state) {
        CountingHelper helper;
        docs += buildAll(helper);
    }
    report(state, docs);
}

void BM_PostDirectToIndexd(benchmark::State& state) {
    int64_t docs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto stack = startStack(state);
        if (!stack) break;
        DirectHelper helper(stack->indexdBaseUrl());
        state.ResumeTiming();
        docs += buildAll(helper);
        helper.flush();
        if (helper.failures) {
            state.SkipWithError(("posts failed: " + helper.lastResponse).c_str());
            break;
        }
        state.PauseTiming();
        stack.reset();
        state.ResumeTiming();
    }
    report(state, docs);
}

void BM_SessionToStandIn(benchmark::State& state) {
    int64_t docs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto stack = startStack(state, false); // for the registry and secret only
        if (!stack) break;
        lmtest::FakeEngineHost host(quietStack().secret,
                                    lmtest::FakeEngineHost::replyWith(1, "<int name=\"status\">0</int>"));
        host.setKeepMessages(false);
        host.start();
        auto helper = senderTo("http://127.0.0.1:1/solr", host.mangledName(), 0);
        state.ResumeTiming();
        docs += buildAll(*helper);
        if (helper->sendDatatoCI(true, false) != 0) {
            state.SkipWithError(("a send failed: " + helper->lastErrorText).c_str());
            break;
        }
        state.PauseTiming();
        host.stop();
        stack.reset();
        state.ResumeTiming();
    }
    report(state, docs);
}

void BM_ThroughHost(benchmark::State& state) {
    int64_t docs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto stack = startStack(state);
        if (!stack) break;
        auto helper = senderTo(stack->indexdBaseUrl(), stack->mangledHost(), static_cast<int>(state.range(0)));
        state.ResumeTiming();
        docs += buildAll(*helper);
        if (helper->sendDatatoCI(true, false) != 0) {
            state.SkipWithError(("a send failed: " + helper->lastErrorText).c_str());
            break;
        }
        helper.reset(); // waits for the queued sends
        state.PauseTiming();
        stack.reset();
        state.ResumeTiming();
    }
    report(state, docs);
}

} // namespace

BENCHMARK(BM_BuildOnly)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PostDirectToIndexd)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_SessionToStandIn)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ThroughHost)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();
