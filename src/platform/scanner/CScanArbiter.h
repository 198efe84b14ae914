#pragma once
#include "platform/error/CZuError.h"
#include "platform/scanner/CScanOutput.h"
#include "platform/scanner/CScannerCallback.h"
#include "platform/scanner/CScannerOptions.h"
#include "platform/scanner/CWorkUnitManager.h"

// Runs a scan: every engine of the callback over every root of the work unit manager, accepted
// files into the callback's output handler. The walk runs on the thread that calls Run; the
// thread counts of the suite's interface are kept for its callers and do not change the result.
// The callback must outlive the arbiter.
class CScanArbiter {
public:
    CScanArbiter(int scanThreads, int consumerThreads, CScannerCallback& callback)
        : scanThreads_(scanThreads), consumerThreads_(consumerThreads), callback_(callback) {}

    // Fails when the output cannot be opened, written or closed, or when there is no engine or
    // no finalized work unit; unreadable entries only show in the statistics.
    CZuError Run(CWorkUnitManager& units);
    // Totals of the last run.
    const CScanStatistics& Statistics() const { return total_; }
    int ScanThreads() const { return scanThreads_; }
    int ConsumerThreads() const { return consumerThreads_; }

private:
    int scanThreads_;
    int consumerThreads_;
    CScannerCallback& callback_;
    CScanStatistics total_;
};
