#pragma once
// Accepts monitoring-policy processing requests and runs their indexing on a process-wide pool
// of worker threads (2 at first, up to 15; idle threads above 5 end after 300 s). The pool starts
// with the first custom data indexer and runs until the engine is unloaded (LMEngineShutdown).
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "LMExport.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "platform/network/CKqNetwork.h"
#include "platform/threads/KqCriticalSection.h"
#include "platform/threads/KqThreadPool.h"

namespace LogMonitoring {

constexpr int INDEXTHREADPOOLTIMEOUT = 300;
constexpr int INDEXINITTHREADCOUNT = 2;
constexpr int INDEXMAXTHREADCOUNT = 15;
constexpr int INDEXMINITHREADCOUNT = 5;

// One queued request: who asked, the policy, and the chunk to index.
struct _indexerThreadParams {
    uint64_t clientId = 0;
    std::string clientName;
    MonitoringPolicyProps policy;
    uint64_t chunkStart = 0;
    uint64_t chunkEnd = 0;
};

LM_EXPORT extern KqCriticalSectionH customIndexerThreadPoolCS;

class LM_EXPORT LMCustomDataIndexer {
public:
    LMCustomDataIndexer();
    ~LMCustomDataIndexer();
    LMCustomDataIndexer(const LMCustomDataIndexer&) = delete;
    LMCustomDataIndexer& operator=(const LMCustomDataIndexer&) = delete;

    // A new custom data indexer, owned by the caller.
    static LMCustomDataIndexer* getLMCustomDataIndexer();
    void setClientEntity(const KqEntities::GenericEntity& client) { client_ = client; }
    // Builds the work item: the chunk starts at the policy's last indexed id.
    void setThreadParams(MonitoringPolicyProps& policy);
    // Queues a copy of the work item on the pool and releases the current one.
    void RunCIProcessForMP();
    // The pool's job: takes over the work item. Returns null.
    static void* contentIndexThread(void* item);

    static KqThreadPool& indexerThreadPool();
    static std::atomic<bool> isThreadPoolInitialized;
    // Stops queued runs from starting, stops running sessions at their next row and waits for the
    // pool's threads.
    static void shutdownPool();

private:
    EvLMDebug log_;
    KqEntities::GenericEntity client_;
    std::unique_ptr<_indexerThreadParams> params_;
};

// Accepts a processing request received on `connection`, answers at once (0 accepted, 1 refused)
// and queues the indexing of its first policy. 0 when the answer was sent, 1 when not.
LM_EXPORT int ProcessMonitoringPolicyData(CKqNetwork* connection, const MonitoringPolicyProcessingRequest& request);

} // namespace LogMonitoring

// Called by the host before it unloads the engine.
extern "C" LM_EXPORT void LMEngineShutdown();
