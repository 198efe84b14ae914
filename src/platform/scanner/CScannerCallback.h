#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/error/CZuError.h"
#include "platform/scanner/CScanEngine.h"
#include "platform/scanner/CScanOutput.h"
#include "platform/scanner/CScannerOptions.h"

// What a scan asks of its user: where accepted files go, which engines walk, with which options,
// and what to do with the scan's reports. The arbiter calls it on the thread that runs the scan.
class CScannerCallback {
public:
    virtual ~CScannerCallback() = default;

    // The handler of accepted files; the arbiter owns it for the run. The base has none.
    virtual CZuError GetOutputHandler(std::unique_ptr<CScanOutputHandler>& handler);
    // A root has been walked.
    virtual CZuError LogVolumeScanComplete(const std::string& root, const CScanStatistics& stats);
    // The engines to run over every root. The base adds none.
    virtual CZuError GetScanEngineList(std::vector<std::unique_ptr<CScanEngine>>& engines);
    // Options stay owned by the callback; null means the defaults.
    virtual CZuError GetPostProcessingOptionsInstance(CPostProcessingOptions*& options);
    virtual CZuError GetScannerOptionsInstance(CScannerOptions*& options);
    // An entry that could not be read; the walk goes on.
    virtual void OnEntryError(const std::string& path, const CZuError& error);
    // A folder the walk does not enter (another file system, seen before, too deep, excepted).
    virtual void OnFolderSkipped(const std::string& path, const char* reason);
};
