#include "pipeline/LMDataIndexerBase.h"

#include "indexing/LMCIHelper.h"
#include "platform/mgmt/App_ExecuteSP.h"

namespace LogMonitoring {

namespace {
// State of the progress record in the final report: the run is over.
constexpr int64_t kRunComplete = 0;
} // namespace

LMDataIndexerBase::LMDataIndexerBase() = default;
LMDataIndexerBase::~LMDataIndexerBase() = default;

void LMDataIndexerBase::setThreadParams(uint64_t clientId, const std::string& clientName, uint64_t start,
                                        uint64_t end, MonitoringPolicyProps& policy) {
    batchStart_ = start;
    batchEnd_ = end;
    params_ = std::make_unique<_dataIndexerThreadParams>();
    params_->clientId = clientId;
    params_->clientName = clientName;
    params_->policy = policy;
    params_->chunkStart = start;
    params_->chunkEnd = end;
}

void LMDataIndexerBase::setLastIndexId(unsigned long key, unsigned long id) {
    auto it = lastIndexIds_.find(key);
    if (it == lastIndexIds_.end()) lastIndexIds_.emplace(key, id);
    else if (id > it->second) it->second = id;
}

uint64_t LMDataIndexerBase::lastIndexId(unsigned long key) const {
    auto it = lastIndexIds_.find(key);
    return it == lastIndexIds_.end() ? 0 : it->second;
}

void LMDataIndexerBase::setLMUploadInfoList(std::list<LogMonitoringODPFileUploadInfo>& files) { uploadInfo_ = files; }

void LMDataIndexerBase::setsizeOfIndexedData(unsigned long& size) { sizeOfIndexedData_ = size; }

int LMDataIndexerBase::RunDataIndexer() {
    static const char* kOp = "LMDataIndexerBase::RunDataIndexer";
    if (!threadFunction_) return 1;
    setLastIndexId(0, batchStart_);
    log_.DebugLvl(kOp, 4, "Started processing batch [%lu] to [%lu]", static_cast<unsigned long>(batchStart_),
                  static_cast<unsigned long>(batchEnd_));
    auto item = std::make_unique<_dataIndexerThreadParams>();
    item->progressKey = 0;
    if (params_) {
        item->clientId = params_->clientId;
        item->clientName = params_->clientName;
        item->policy = params_->policy;
    }
    item->chunkStart = batchStart_;
    item->chunkEnd = batchStart_ + kLMChunkRows;
    item->indexer = this;
    threadFunction_(item.release());
    log_.DebugLvl(kOp, 4, "Successfully completed batch [%lu] to [%lu]", static_cast<unsigned long>(batchStart_),
                  static_cast<unsigned long>(batchEnd_));
    UpdateDatabase();
    params_.reset();
    return 0;
}

void LMDataIndexerBase::UpdateDatabase() {
    static const char* kOp = "LMDataIndexerBase::UpdateDatabase";
    UpdateMonitoringPolicyProps report;
    const MonitoringPolicy* mp = params_ ? params_->policy.monitoringPolicy() : nullptr;
    report.mutable_monitoringPolicy().set_monitoringPolicyId(mp ? mp->monitoringPolicyId() : 0);
    LMIndexingProgress& progress = report.mutable_progress();
    progress.set_state(kRunComplete);
    progress.set_lastIndexedId(static_cast<int64_t>(lastIndexId(0)));
    progress.set_indexedSize(static_cast<int64_t>(sizeOfIndexedData_));
    sizeOfIndexedData_ = 0;
    for (const LogMonitoringODPFileUploadInfo& file : uploadInfo_) report.add_uploadedFiles(file);
    std::string text;
    if (report.serialize(text) != 0) {
        log_.DebugLvl(kOp, -1, "Failed to update DB after processing has completed [%s]", "(report not serialisable)");
        return;
    }
    log_.DebugLvl(kOp, 4, "Updating DB after processing has completed [%s]", text.c_str());
    std::string answer;
    App_ExecuteSP sp;
    if (sp.executeStoredProcedure(UpdateMonitoringPolicyProps::tagID(), text, answer, nullptr) != 0) {
        log_.DebugLvl(kOp, -1, "Failed to update DB after processing has completed [%s]", text.c_str());
        return;
    }
    checkAndCommitDataAfterSuccessJob(answer);
}

void checkAndCommitDataAfterSuccessJob(std::string& answer) {
    GetCloudClientInfoListResp nodes;
    if (nodes.unserialize(answer) != 0 || !nodes.has_cloudClients() || nodes.cloudClients_size() == 0) return;
    const cloudClientInfo& node = nodes.cloudClients(0);
    if (!node.has_clientId() || !node.has_hostName() || !node.has_basePort()) return;
    LMCIHelper helper;
    helper.engineUrl = "http://" + node.hostName() + ":" + node.basePort() + "/solr";
    helper.DebugLvl("checkAndCommitDataAfterSuccessJob", 4, "sending request to commit data for webserverUrl  [%s]",
                    helper.engineUrl.c_str());
    helper.sendRequestToCommitData(static_cast<int>(node.clientId()));
}

} // namespace LogMonitoring
