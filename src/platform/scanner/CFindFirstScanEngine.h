#pragma once
#include "platform/scanner/CScanEngine.h"

// Walks a folder tree entry by entry with the directory listing calls.
//
// Regular files are candidates; a symbolic link to a regular file is a candidate under the link's
// path; links to folders are not entered, and every folder is entered at most once (by device and
// inode), so link loops and bind-mount loops end. Other kinds of entry (devices, pipes, sockets)
// are skipped. A folder that cannot be opened or an entry that cannot be examined (a dangling or
// looping link) is counted, reported through the callback and passed over.
// The walk keeps its own stack of folders, so the depth of a tree costs no call stack.
class CFindFirstScanEngine : public CScanEngine {
public:
    CZuError Scan(const std::string& root, const CWorkUnitManager& units, const CScannerOptions& options,
                  CScanOutputHandler& output, CScannerCallback& callback, CScanStatistics& stats) override;
};
