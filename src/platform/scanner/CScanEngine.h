#pragma once
#include <string>

#include "platform/error/CZuError.h"
#include "platform/scanner/CScannerOptions.h"

class CWorkUnitManager;
class CScanOutputHandler;
class CScannerCallback;

// One way of walking a root. The arbiter runs every engine the callback lists over every root.
class CScanEngine {
public:
    virtual ~CScanEngine() = default;
    // Walks the root, handing each accepted file to the output. Entries that cannot be read are
    // counted and reported to the callback, not fatal; an output failure ends the walk with it.
    virtual CZuError Scan(const std::string& root, const CWorkUnitManager& units, const CScannerOptions& options,
                          CScanOutputHandler& output, CScannerCallback& callback, CScanStatistics& stats) = 0;
};
