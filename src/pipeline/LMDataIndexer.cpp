#include "pipeline/LMDataIndexer.h"

#include <list>
#include <memory>

#include "pipeline/LogMonitoringContentIndexing.h"

namespace LogMonitoring {

namespace {

// A run that could not start (no index engine host, no syslog receiver, ...) read none of its
// files. They are reported failed, so that the management server does not wait for them and can
// offer them again; the last indexed id stays at the chunk start.
void reportFilesNotIndexed(LogMonitoringContentIndexing& session, LMDataIndexerBase& indexer) {
    std::vector<LogMonitoringODPFileUploadInfo> files = session.getLMUploadedFileInfo();
    if (files.empty()) return;
    std::list<LogMonitoringODPFileUploadInfo> failed;
    for (LogMonitoringODPFileUploadInfo& f : files) {
        if (f.state() == kLMFileInProgress) {
            f.set_state(kLMFileFailed);
            f.set_resultCode(kLMRunNotStarted);
        }
        failed.push_back(std::move(f));
    }
    indexer.setLMUploadInfoList(failed);
}

} // namespace

LMDataIndexer::LMDataIndexer() { setThreadStartAdd(&LMDataIndexer::getDataAndIndexThread); }

LMDataIndexer* LMDataIndexer::getDataIndexer() { return new LMDataIndexer(); }

void* LMDataIndexer::getDataAndIndexThread(void* argument) {
    static const char* kOp = "LMDataIndexer::getDataAndIndexThread";
    std::unique_ptr<_dataIndexerThreadParams> item(static_cast<_dataIndexerThreadParams*>(argument));
    if (!item || !item->indexer) return nullptr;
    LMDataIndexerBase& indexer = *item->indexer;
    EvLMDebug log;
    indexer.setLastIndexId(item->progressKey, item->chunkStart);
    log.DebugLvl(kOp, 4, "Started CI for chunk [%lu] to [%lu]", static_cast<unsigned long>(item->chunkStart),
                 static_cast<unsigned long>(item->chunkEnd));
    auto session = std::make_unique<LogMonitoringContentIndexing>(item->clientId, item->clientName, item->chunkStart,
                                                                  item->chunkEnd, item->policy);
    session->StartUpdateDBTimer();
    if (session->startIndexing() != 0) {
        log.Error(kOp, "Failed to start indexing on the chunk");
        session->StopUpdateDBTimer();
        reportFilesNotIndexed(*session, indexer);
        return nullptr;
    }
    session->StopUpdateDBTimer();
    log.DebugLvl(kOp, 4, "Completed CI for chunk [%lu] to [%lu]", static_cast<unsigned long>(item->chunkStart),
                 static_cast<unsigned long>(item->chunkEnd));
    const unsigned long last = static_cast<unsigned long>(session->getLastRowIdIndexed());
    log.Debug(kOp, "Last row id index is [%lu] ", last);
    indexer.setLastIndexId(item->progressKey, last);
    std::vector<LogMonitoringODPFileUploadInfo> files = session->getLMUploadedFileInfo();
    std::list<LogMonitoringODPFileUploadInfo> list(files.begin(), files.end());
    indexer.setLMUploadInfoList(list);
    unsigned long size = static_cast<unsigned long>(session->getsizeOfIndexedData());
    indexer.setsizeOfIndexedData(size);
    return nullptr;
}

} // namespace LogMonitoring
