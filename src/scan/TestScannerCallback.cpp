#include "scan/TestScannerCallback.h"

#include "platform/scanner/CConsumerOutputHandler.h"
#include "platform/scanner/CFindFirstScanEngine.h"
#include "platform/scanner/CFlatCollectFile.h"

namespace LogMonitoring {

CZuError TestScannerCallback::GetOutputHandler(std::unique_ptr<CScanOutputHandler>& handler) {
    handler = std::make_unique<CConsumerOutputHandler>(std::make_unique<CFlatCollectFile>(1, outputFile_, "w"));
    return {};
}

CZuError TestScannerCallback::LogVolumeScanComplete(const std::string&, const CScanStatistics&) { return {}; }

CZuError TestScannerCallback::GetScanEngineList(std::vector<std::unique_ptr<CScanEngine>>& engines) {
    engines.push_back(std::make_unique<CFindFirstScanEngine>());
    return {};
}

CZuError TestScannerCallback::GetPostProcessingOptionsInstance(CPostProcessingOptions*& options) {
    options = nullptr;
    return {};
}

CZuError TestScannerCallback::GetScannerOptionsInstance(CScannerOptions*& options) {
    options = nullptr;
    return {};
}

}
