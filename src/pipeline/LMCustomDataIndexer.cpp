#include "pipeline/LMCustomDataIndexer.h"

#include <memory>

#include "pipeline/LMDataIndexer.h"
#include "pipeline/LogMonitoringContentIndexing.h"
#include "pipeline/MonitoringType.h"
#include "platform/mgmt/KQClient.h"
#include "platform/registry/KQPlatformInfo.h"

namespace LogMonitoring {

KqCriticalSectionH customIndexerThreadPoolCS;
std::atomic<bool> LMCustomDataIndexer::isThreadPoolInitialized{false};

KqThreadPool& LMCustomDataIndexer::indexerThreadPool() {
    static KqThreadPool pool;
    return pool;
}

LMCustomDataIndexer::LMCustomDataIndexer() {
    if (isThreadPoolInitialized.load()) return;
    KqCSLock lock(customIndexerThreadPoolCS);
    if (isThreadPoolInitialized.load()) return;
    isThreadPoolInitialized = indexerThreadPool().initThreadPool("LMCustomDataIndexer", INDEXTHREADPOOLTIMEOUT,
                                                                 INDEXINITTHREADCOUNT, INDEXMAXTHREADCOUNT,
                                                                 INDEXMINITHREADCOUNT);
}

LMCustomDataIndexer::~LMCustomDataIndexer() = default;

LMCustomDataIndexer* LMCustomDataIndexer::getLMCustomDataIndexer() { return new LMCustomDataIndexer(); }

void LMCustomDataIndexer::setThreadParams(MonitoringPolicyProps& policy) {
    params_ = std::make_unique<_indexerThreadParams>();
    params_->clientId = static_cast<uint64_t>(client_.clientId());
    params_->clientName = client_.clientName();
    params_->policy = policy;
    const LMIndexingProgress* progress = policy.progress();
    params_->chunkStart = progress ? static_cast<uint64_t>(progress->lastIndexedId()) : 0;
    params_->chunkEnd = params_->chunkStart + kLMChunkRows;
}

void LMCustomDataIndexer::RunCIProcessForMP() {
    static const char* kOp = "LMCustomDataIndexer::RunCIProcessForMP";
    if (!params_) return;
    auto copy = std::make_unique<_indexerThreadParams>(*params_);
    params_.reset();
    if (indexerThreadPool().doWork(&LMCustomDataIndexer::contentIndexThread, copy.get()) == -1) {
        log_.Error(kOp, "Failed to start the thread");
        return;
    }
    copy.release(); // the job owns it now
    log_.Debug(kOp, "Successfully started thread for data indexer");
}

void* LMCustomDataIndexer::contentIndexThread(void* argument) {
    static const char* kOp = "LMCustomDataIndexer::contentIndexThread";
    std::unique_ptr<_indexerThreadParams> item(static_cast<_indexerThreadParams*>(argument));
    if (!item) return nullptr;
    EvLMDebug log;
    const MonitoringPolicy* mp = item->policy.monitoringPolicy();
    const int type = mp && !mp->monitoringTypes().empty() ? mp->monitoringTypes().front() : -1;
    const std::string name = mp ? mp->policyName() : std::string();
    if (indexingStopRequested.load()) {
        log.Error(kOp, "The engine is stopping; monitoring policy [%s] is not indexed", name.c_str());
        return nullptr;
    }
    log.Debug(kOp, "Started Content Indexing thread for monitoring policy type [%d] and name [%s]", type,
              name.c_str());
    if (type != MonitoringUploadedFiles && type != MonitoringDataSet) {
        log.Error(kOp, "Failed to start the Data Indexer");
        return nullptr;
    }
    std::unique_ptr<LMDataIndexer> indexer(LMDataIndexer::getDataIndexer());
    indexer->setThreadParams(item->clientId, item->clientName, item->chunkStart, item->chunkEnd, item->policy);
    indexer->RunDataIndexer();
    return nullptr;
}

void LMCustomDataIndexer::shutdownPool() {
    indexingStopRequested = true;
    indexerThreadPool().shutdown();
}

// ---------------------------------------------------------------- accepting a request

namespace {

constexpr int64_t kAccepted = 0;
constexpr int64_t kRefused = 1;

// This machine's client, when the request names none; false (logged) when it is not known.
bool localClient(EvLMDebug& log, KqEntities::GenericEntity& client) {
    static const char* kOp = "LogMonitoring::ProcessMonitoringPolicyData";
    KQPlatformInfo platform(KQPI_Focus::getFocus());
    const std::string name = platform.getPhysicalMachine();
    if (name.empty()) {
        log.Error(kOp, "Failed to get the clientName");
        return false;
    }
    uint64_t id = 0;
    KQClient(name, 0, 0).getClientId(id);
    if (id == 0) {
        log.Error(kOp, "Failed to get the clientId");
        return false;
    }
    client.set_clientId(static_cast<int64_t>(id));
    client.set_clientName(name);
    return true;
}

int64_t acceptRequest(EvLMDebug& log, const MonitoringPolicyProcessingRequest& request) {
    static const char* kOp = "LogMonitoring::ProcessMonitoringPolicyData";
    if (!request.has_policies()) {
        log.Error(kOp, "No monitoring policy list is present in the request");
        return kRefused;
    }
    if (request.policies_size() == 0) return kAccepted;
    MonitoringPolicyProps policy = request.policies(0);
    const MonitoringPolicy* mp = policy.monitoringPolicy();
    if (!mp) {
        std::string text;
        request.serialize(text);
        log.Error(kOp, "No monitoring policy info found in the request [%s]", text.c_str());
        return kRefused;
    }
    log.DebugLvl(kOp, 0, "Monitoring policy [%s] found in the request", mp->policyName().c_str());
    KqEntities::GenericEntity client;
    if (const KqEntities::GenericEntity* given = request.client()) {
        client = *given;
    } else {
        log.DebugLvl(kOp, 1, "Client information is missing in the request");
        if (!localClient(log, client)) return kRefused;
    }
    std::unique_ptr<LMCustomDataIndexer> indexer(LMCustomDataIndexer::getLMCustomDataIndexer());
    if (!indexer) {
        log.Error(kOp, "Failed to allocate memory");
        return kRefused;
    }
    indexer->setClientEntity(client);
    indexer->setThreadParams(policy);
    indexer->RunCIProcessForMP();
    log.DebugLvl(kOp, 1, "Started processing for monitoring policy [%s]", mp->policyName().c_str());
    return kAccepted;
}

} // namespace

int ProcessMonitoringPolicyData(CKqNetwork* connection, const MonitoringPolicyProcessingRequest& request) {
    EvLMDebug log;
    MonitoringPolicyProcessingResponse response;
    response.set_errorCode(acceptRequest(log, request));
    bool aborted = false;
    if (!connection || connection->SendXMLMessage(response, 0, -1, aborted).IsError()) {
        log.Error("LogMonitoring::ProcessMonitoringPolicyData", "Failed to send response to the requester");
        return 1;
    }
    return 0;
}

} // namespace LogMonitoring

extern "C" void LMEngineShutdown() { LogMonitoring::LMCustomDataIndexer::shutdownPool(); }
