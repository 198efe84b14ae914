#pragma once
#include <string>

#include "LMExport.h"
#include "platform/scanner/CScannerCallback.h"

namespace LogMonitoring {

// The scan's callback: one engine that walks the folders, and a list file with the path of
// every accepted file on a line of its own.
class LM_EXPORT TestScannerCallback : public CScannerCallback {
public:
    explicit TestScannerCallback(std::string outputFile) : outputFile_(std::move(outputFile)) {}

    CZuError GetOutputHandler(std::unique_ptr<CScanOutputHandler>& handler) override;
    CZuError LogVolumeScanComplete(const std::string& root, const CScanStatistics& stats) override;
    CZuError GetScanEngineList(std::vector<std::unique_ptr<CScanEngine>>& engines) override;
    CZuError GetPostProcessingOptionsInstance(CPostProcessingOptions*& options) override;
    CZuError GetScannerOptionsInstance(CScannerOptions*& options) override;

    const std::string& outputFile() const { return outputFile_; }

private:
    std::string outputFile_;
};

}
