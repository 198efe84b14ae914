#pragma once
// A data indexer runs one indexing session over a chunk of a policy (at most 1000 data-set rows,
// or all of its uploaded files) on the calling thread, keeps what the session reached, and sends
// the final report of the run to the management server. One object serves one request, on one
// thread.
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>

#include "LMExport.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/catalogue/Catalogue.h"

namespace LogMonitoring {

class LMDataIndexerBase;

// Rows of a data-set chunk.
constexpr uint64_t kLMChunkRows = 1000;

// The work of one chunk as the thread function receives it (and takes over).
struct _dataIndexerThreadParams {
    uint64_t clientId = 0;
    std::string clientName;
    MonitoringPolicyProps policy;
    uint64_t progressKey = 0;
    uint64_t chunkStart = 0;
    uint64_t chunkEnd = 0;
    LMDataIndexerBase* indexer = nullptr; // not owned
};

using LMDataIndexerThreadFunction = void* (*)(void*);

class LM_EXPORT LMDataIndexerBase {
public:
    LMDataIndexerBase();
    virtual ~LMDataIndexerBase();
    LMDataIndexerBase(const LMDataIndexerBase&) = delete;
    LMDataIndexerBase& operator=(const LMDataIndexerBase&) = delete;

    // 1 when no thread function is set; else runs the chunk, reports and returns 0.
    virtual int RunDataIndexer();
    // Raises the stored id of the key to `id` when it is larger.
    virtual void setLastIndexId(unsigned long key, unsigned long id);
    virtual void setLMUploadInfoList(std::list<LogMonitoringODPFileUploadInfo>& files);
    virtual void setsizeOfIndexedData(unsigned long& size);
    virtual void setThreadStartAdd(LMDataIndexerThreadFunction fn) = 0;

    void setThreadParams(uint64_t clientId, const std::string& clientName, uint64_t start, uint64_t end,
                         MonitoringPolicyProps& policy);
    // Sends the final report; on success asks the index engine of the answer to commit.
    void UpdateDatabase();

    // What the last run left, for the report and for tests.
    uint64_t lastIndexId(unsigned long key) const;
    const std::list<LogMonitoringODPFileUploadInfo>& uploadInfoList() const { return uploadInfo_; }
    uint64_t sizeOfIndexedData() const { return sizeOfIndexedData_; }

protected:
    LMDataIndexerThreadFunction threadFunction_ = nullptr;
    std::unique_ptr<_dataIndexerThreadParams> params_;
    std::map<unsigned long, uint64_t> lastIndexIds_;
    std::list<LogMonitoringODPFileUploadInfo> uploadInfo_;
    uint64_t sizeOfIndexedData_ = 0;
    EvLMDebug log_;
    uint64_t batchStart_ = 0;
    uint64_t batchEnd_ = 0;
};

// Reads the management server's answer to the final report (the policy's index engine nodes) and
// asks the first node's engine host to commit.
LM_EXPORT void checkAndCommitDataAfterSuccessJob(std::string& answer);

} // namespace LogMonitoring
