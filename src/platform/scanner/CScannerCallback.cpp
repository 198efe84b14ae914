#include "platform/scanner/CScannerCallback.h"

#include <cerrno>

#include "platform/log/EvLMDebug.h"

CZuError CScannerCallback::GetOutputHandler(std::unique_ptr<CScanOutputHandler>& handler) {
    handler.reset();
    return CZuError(EINVAL, "the scan has no output handler");
}

CZuError CScannerCallback::LogVolumeScanComplete(const std::string& root, const CScanStatistics& s) {
    EvLMDebug().DebugLvl("CScannerCallback::LogVolumeScanComplete", 10,
                         "scan of [%s] complete: %llu accepted, %llu filtered, %llu folders, %llu skipped, %llu unreadable",
                         root.c_str(), static_cast<unsigned long long>(s.filesAccepted),
                         static_cast<unsigned long long>(s.filesFiltered), static_cast<unsigned long long>(s.foldersVisited),
                         static_cast<unsigned long long>(s.foldersSkipped),
                         static_cast<unsigned long long>(s.entriesUnreadable));
    return {};
}

CZuError CScannerCallback::GetScanEngineList(std::vector<std::unique_ptr<CScanEngine>>&) { return {}; }

CZuError CScannerCallback::GetPostProcessingOptionsInstance(CPostProcessingOptions*& options) {
    options = nullptr;
    return {};
}

CZuError CScannerCallback::GetScannerOptionsInstance(CScannerOptions*& options) {
    options = nullptr;
    return {};
}

void CScannerCallback::OnEntryError(const std::string& path, const CZuError& error) {
    EvLMDebug().DebugLvl("CScannerCallback::OnEntryError", 5, "cannot read [%s]: %s", path.c_str(),
                         error.AsString().c_str());
}

void CScannerCallback::OnFolderSkipped(const std::string& path, const char* reason) {
    EvLMDebug().DebugLvl("CScannerCallback::OnFolderSkipped", 10, "not entering [%s]: %s", path.c_str(), reason);
}
