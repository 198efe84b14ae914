#pragma once
#include <cstdint>
#include <string>

// How a scan engine walks. A callback that gives no options gets these defaults.
struct CScannerOptions {
    // Folders deeper than this below the root are not entered (a guard against pathological trees).
    int maxDepth = 512;
};

// Steps after the walk. The file scan has none yet; the type keeps the callback's shape.
struct CPostProcessingOptions {};

// What one walk of one root met.
struct CScanStatistics {
    uint64_t filesAccepted = 0;
    uint64_t filesFiltered = 0;
    uint64_t foldersVisited = 0;
    uint64_t foldersSkipped = 0; // other file systems, loops, content exceptions, too deep
    uint64_t entriesUnreadable = 0; // folders that cannot be opened, entries that cannot be examined
};
