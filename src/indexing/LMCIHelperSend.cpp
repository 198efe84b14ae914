// The exchanges of a batch with the engine host (or a proxy client): synchronous on the helper's
// own session, or queued on its send pool where each work item opens a session of its own; and
// the commit request after a successful run.
#include <memory>
#include <vector>

#include "indexing/LMCIHelper.h"
#include "platform/localdb/LMDBInterface.h"
#include "platform/mgmt/KQClient.h"
#include "platform/network/KqRemoteModuleDescriptor.h"

namespace LogMonitoring {

KqCriticalSectionH csIndexStatus;

namespace {

constexpr int kSessionTimeout = 120;

// One asynchronous send. It holds copies of everything it needs except the sender's status, so
// the sender may go on batching while it runs.
struct indexWorkerData {
    std::string engineHostName;
    KqRemoteModuleDescriptor module;
    std::unique_ptr<CNMessageBase> request;
    bool bucketRequest = false;
    int32_t* indexStatus = nullptr;
    std::vector<int> fileIds;
    std::unique_ptr<LMDBInterface> db;
};

} // namespace

LMCIHelper::~LMCIHelper() {
    // Queued sends use indexStatus; they finish before the helper goes.
    threadPool.shutdown();
    if (network.IsConnected()) {
        bool aborted = false;
        network.Disconnect(kSessionTimeout, aborted);
    }
}

std::string LMCIHelper::localClientName() const {
    KQPlatformInfo platform;
    platform.setFocus(KQPI_Focus::getFocus());
    if (platform.getKQPlatformType() & 1) {
        char name[256] = {};
        platform.getOrvexerClientName(name, sizeof name);
        return name;
    }
    std::string name = platform.getPhysicalMachine();
    if (name.size() > 255) name.resize(255);
    return name;
}

void LMCIHelper::fillEngineHostName() {
    if (!engineHostName.empty()) return;
    int32_t i = 0;
    for (const auto& node : nodeList) {
        if (i++ != currentNodeIndex) continue;
        KQClient(static_cast<uint64_t>(node.clientId())).getNetworkHostnameMangled(engineHostName);
        return;
    }
}

std::unique_ptr<CNMessageBase> LMCIHelper::buildRequest(std::string& url, std::string& data, bool commit) {
    if (dayBucketMode && !forceListMode) {
        auto req = std::make_unique<LMAddDocumentBucketsToCIReq>();
        lendDayTexts_ = true;
        populateDocumentBucketReq(*req, commit, url);
        lendDayTexts_ = false;
        return req;
    }
    auto req = std::make_unique<LMAddDocumentsToCIReq>();
    req->set_clientId(clientId);
    req->set_documents(data);
    req->set_engineUrl(url);
    req->set_monitoringPolicyId(static_cast<int64_t>(monitoringPolicyId));
    req->set_commitFlag(commit ? 1 : 0);
    return req;
}

std::unique_ptr<CNMessageBase> LMCIHelper::roundTrip(const char* op, const CNMessageBase& request, const char* where,
                                                     int sendTimeout, CZuError* failure) {
    bool aborted = false;
    auto failed = [&](int32_t code, const CZuError& e) -> std::unique_ptr<CNMessageBase> {
        lastErrorCode = code;
        if (failure) *failure = e;
        return nullptr;
    };
    if (!network.IsConnectionGood()) {
        network.Close(); // a session the peer or an error broke cannot carry another batch
        DebugLvl(op, 10, "trying to attach to %s", where);
        CZuError e = network.Attach_RemoteDLL(engineHostName, KqRemoteModuleDescriptor::lmciUtil(),
                                              localClientName().c_str(), kSessionTimeout, aborted);
        if (e.IsError()) {
            Error(op, "attach failed with Error [%s]", e.AsString().c_str());
            return failed(kLMAttachFailed, e);
        }
        DebugLvl(op, 10, "attached to remote host");
    }
    DebugLvl(op, 10, "trying to send XML Object to %s", where);
    CZuError e = network.SendXMLMessage(request, 0, sendTimeout, aborted);
    if (e.IsError()) {
        Error(op, "sendObject failed with Error [%s]", e.AsString().c_str());
        network.Disconnect(kSessionTimeout, aborted);
        return failed(kLMSendFailed, e);
    }
    DebugLvl(op, 10, "XML Object sent to %s", where);
    std::unique_ptr<CNMessageBase> reply;
    e = network.ReceiveXMLMessage(reply, kSessionTimeout, aborted);
    if (e.IsError() || !reply) {
        Error(op, "receiveObject failed with Error [%s]", e.AsString().c_str());
        network.Disconnect(kSessionTimeout, aborted);
        return failed(kLMReceiveFailed, e);
    }
    return reply;
}

int LMCIHelper::exchangeDirect(const char* op, const CNMessageBase& request, std::string& response) {
    std::unique_ptr<CNMessageBase> reply = roundTrip(op, request, "remote host", kSessionTimeout);
    if (!reply) return 0;
    const auto* resp = reply->as<LMAddDocumentsToCIResp>();
    if (!resp) {
        DebugLvl(op, 5, "Unknown response received %lu", static_cast<unsigned long>(reply->getTagID()));
        return 0;
    }
    response = resp->response();
    DebugLvl(op, 5, "response %s", response.c_str());
    return static_cast<int>(resp->errorCode());
}

int LMCIHelper::indexCollectedDataKQS(std::string& url, std::string& data, std::string& response, bool,
                                      bool commit) {
    static const char* kOp = "LMCIHelper::indexCollectedDataKQS";
    fillEngineHostName();
    if (proxyClientId == 0) {
        std::unique_ptr<CNMessageBase> request = buildRequest(url, data, commit);
        int result = exchangeDirect(kOp, *request, response);
        // Unless the engine took the batch, it stays for a retry and needs its texts back.
        if (result != 1 || !isResponseSuccess(response)) restoreDayTexts(*request);
        return result;
    }

    // The proxy forwards the day buckets, under the global policy, to the global web service.
    KQClient(static_cast<uint64_t>(proxyClientId)).getNetworkHostnameMangled(engineHostName);
    LMAddDocumentBucketsToCIReq buckets;
    populateDocumentBucketReq(buckets, commit, url);
    buckets.set_monitoringPolicyId(globalPolicyId);
    buckets.set_engineUrl(globalWebServiceUrl);
    LMAddDocumentsToGlobalCIReq global;
    global.set_bucketRequest(buckets);
    global.set_cloudPolicyId(cloudPolicyId);
    global.set_internetGateway(internetGateway);
    std::unique_ptr<CNMessageBase> reply = roundTrip(kOp, global, "proxy client host", -1);
    if (!reply) return 0;
    const auto* resp = reply->as<LMAddDocumentsToGlobalCIResp>();
    if (!resp) return 0;
    if (resp->has_response()) {
        response = resp->response();
        DebugLvl(kOp, 5, "response %s", response.c_str());
    }
    int result = 0;
    if (resp->has_errorCode()) {
        result = static_cast<int>(resp->errorCode());
        DebugLvl(kOp, 5, "errorCode %ld", static_cast<long>(result));
    }
    if (result == 1 && response.find("LMAddDocumentsToCIResp") != std::string::npos) {
        LMAddDocumentsToCIResp inner;
        if (inner.unserialize(response) != 0) return 0; // the proxy's answer cannot be read: nothing is known
        result = static_cast<int>(inner.errorCode());
        DebugLvl(kOp, 5, "LMAddDocumentsToCIResp errorCode %ld", static_cast<long>(result));
        DebugLvl(kOp, 5, "LMAddDocumentsToCIResp errorString %s", inner.errorText().c_str());
        response = inner.response();
        DebugLvl(kOp, 5, "LMAddDocumentsToCIResp response %s", response.c_str());
    }
    return result;
}

int LMCIHelper::indexCollectedDataUsingThreadPool(std::string& url, std::string& data, std::string&, bool,
                                                  bool commit) {
    static const char* kOp = "LMCIHelper::indexCollectedDataUsingThreadPool";
    fillEngineHostName();
    {
        KqCSLock lock(csIndexStatus);
        if (indexStatus == 0) return 0;
    }
    auto work = std::make_unique<indexWorkerData>();
    work->bucketRequest = dayBucketMode && !forceListMode;
    if (!threadPoolStarted) {
        if (!threadPool.initThreadPool("LMCIHelperindexCollectedDataUsingThreadPool", 300, 4,
                                       static_cast<int>(threadPoolSize), 0)) {
            Error(kOp, "failed to init thread pool.");
            lastErrorCode = kLMAttachFailed;
            return 0;
        }
        threadPoolStarted = true;
        DebugLvl(kOp, 0, "ThreadPool size %lu", static_cast<unsigned long>(threadPoolSize));
    }
    work->request = buildRequest(url, data, commit);
    work->engineHostName = engineHostName;
    work->module = KqRemoteModuleDescriptor::lmciUtil();
    work->indexStatus = &indexStatus;
    work->fileIds.assign(batchFileIds.begin(), batchFileIds.end());
    if (dbInterface) work->db = std::make_unique<LMDBInterface>(*dbInterface);
    indexWorkerData* item = work.release();
    if (threadPool.doWork([item] { index_worker(item); }) != 0) {
        restoreDayTexts(*item->request);
        delete item;
        Error(kOp, "failed to queue the send.");
        return 0;
    }
    batchFileIds.clear();
    lastBatchFileId = 0;
    return 1;
}

namespace {

// One exchange of a work item on a session of its own; the reply's code and text.
bool workerExchange(EvLMDebug& log, indexWorkerData& work, std::string& response) {
    static const char* kOp = "index_worker";
    CKqNetwork session;
    bool aborted = false;
    log.DebugLvl(kOp, 10, "trying to attach to remote host");
    CZuError e = session.Attach_RemoteDLL(work.engineHostName, work.module, nullptr, kSessionTimeout, aborted);
    if (e.IsError() || aborted) {
        log.Error(kOp, "attach failed with Error [%s]", e.AsString().c_str());
        return false;
    }
    log.DebugLvl(kOp, 10, "attached to remote host");
    bool ok = false;
    std::unique_ptr<CNMessageBase> reply;
    log.DebugLvl(kOp, 10, "trying to send XML Object to remote host");
    e = session.SendXMLMessage(*work.request, 0, kSessionTimeout, aborted);
    if (e.IsError()) {
        log.Error(kOp, "sendObject failed with Error [%s]", e.AsString().c_str());
    } else {
        log.DebugLvl(kOp, 10, "XML Object sent to remote host");
        e = session.ReceiveXMLMessage(reply, kSessionTimeout, aborted);
        if (e.IsError() || !reply) {
            log.Error(kOp, "receiveObject failed with Error [%s]", e.AsString().c_str());
        } else if (const auto* resp = reply->as<LMAddDocumentsToCIResp>()) {
            response = resp->response();
            log.DebugLvl(kOp, 10, "response %s", response.c_str());
            ok = resp->errorCode() == 1;
        } else {
            log.DebugLvl(kOp, 5, "Unknown response received %lu", static_cast<unsigned long>(reply->getTagID()));
        }
    }
    if (session.IsConnected()) session.Disconnect(kSessionTimeout, aborted);
    return ok;
}

} // namespace

void index_worker(void* data) {
    std::unique_ptr<indexWorkerData> work(static_cast<indexWorkerData*>(data));
    EvLMDebug log;
    std::string response;
    // The reply is judged as the synchronous send judges it: the engine's own error text fails
    // the batch even when the engine host reports the exchange as done.
    bool ok = workerExchange(log, *work, response) && isResponseSuccess(response);
    if (ok) {
        // The sender has moved on with its file ids cleared; the progress of this batch's files
        // is the work item's to record.
        if (work->db) work->db->updateLastKnownGoodOffsets(work->fileIds);
        return;
    }
    KqCSLock lock(csIndexStatus);
    *work->indexStatus = 0;
    if (work->db) work->db->resetToLastKnownGoodOffsets(work->fileIds);
}

int LMCIHelper::sendRequestToCommitData(int commitClientId) {
    static const char* kOp = "LMCIHelper::sendRequestToCommitData";
    engineHostName.clear();
    KQClient(static_cast<uint64_t>(commitClientId)).getNetworkHostnameMangled(engineHostName);
    LMCommitSolrDataOnSuccessReq request;
    request.set_engineUrl(engineUrl);
    // The commit answers with the network error's own code, and leaves the batch's error alone.
    const int32_t batchError = lastErrorCode;
    CZuError failure;
    std::unique_ptr<CNMessageBase> reply = roundTrip(kOp, request, "remote host", kSessionTimeout, &failure);
    lastErrorCode = batchError;
    if (!reply) return failure.IsError() ? failure.GetErrorCode() : 0;
    bool aborted = false;
    network.Disconnect(kSessionTimeout, aborted);
    const auto* resp = reply->as<LMAddDocumentsToCIResp>();
    if (!resp) {
        DebugLvl(kOp, 5, "Unknown response received %lu", static_cast<unsigned long>(reply->getTagID()));
        return 0;
    }
    DebugLvl(kOp, 5, "response %s", resp->response().c_str());
    return static_cast<int>(resp->errorCode());
}

} // namespace LogMonitoring
