#include "platform/scanner/CScanArbiter.h"

#include <cerrno>

#include "platform/log/EvLMDebug.h"

namespace {
void add(CScanStatistics& t, const CScanStatistics& s) {
    t.filesAccepted += s.filesAccepted;
    t.filesFiltered += s.filesFiltered;
    t.foldersVisited += s.foldersVisited;
    t.foldersSkipped += s.foldersSkipped;
    t.entriesUnreadable += s.entriesUnreadable;
}
}

CZuError CScanArbiter::Run(CWorkUnitManager& units) {
    const char* op = "CScanArbiter::Run";
    total_ = CScanStatistics{};
    if (!units.IsFinalized()) return CZuError(EINVAL, "work units are not finalized");
    std::unique_ptr<CScanOutputHandler> output;
    CZuError e = callback_.GetOutputHandler(output);
    if (e.IsError()) return e;
    if (!output) return CZuError(EINVAL, "the callback gave no output handler");
    std::vector<std::unique_ptr<CScanEngine>> engines;
    if ((e = callback_.GetScanEngineList(engines)).IsError()) return e;
    if (engines.empty()) return CZuError(EINVAL, "the callback gave no scan engine");
    CScannerOptions* given = nullptr;
    if ((e = callback_.GetScannerOptionsInstance(given)).IsError()) return e;
    CScannerOptions options = given ? *given : CScannerOptions{};
    CPostProcessingOptions* post = nullptr;
    if ((e = callback_.GetPostProcessingOptionsInstance(post)).IsError()) return e;

    if ((e = output->Open()).IsError()) return e;
    for (const auto& root : units.WorkUnits()) {
        CScanStatistics stats;
        for (auto& engine : engines) {
            e = engine->Scan(root, units, options, *output, callback_, stats);
            if (e.IsError()) break;
        }
        add(total_, stats);
        if (e.IsError()) {
            EvLMDebug().Error(op, "scan of [%s] failed: %s", root.c_str(), e.AsString().c_str());
            output->Close();
            return e;
        }
        callback_.LogVolumeScanComplete(root, stats);
    }
    return output->Close();
}
