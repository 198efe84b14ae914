#pragma once
#include "pipeline/LMDataIndexerBase.h"

namespace LogMonitoring {

// The data indexer of the pipeline: its thread function runs one indexing session.
class LM_EXPORT LMDataIndexer : public LMDataIndexerBase {
public:
    LMDataIndexer();
    // A new data indexer, owned by the caller.
    static LMDataIndexer* getDataIndexer();
    void setThreadStartAdd(LMDataIndexerThreadFunction fn) override { threadFunction_ = fn; }
    // Runs the session of one chunk; takes over the work item. Returns null.
    static void* getDataAndIndexThread(void* item);
};

} // namespace LogMonitoring
