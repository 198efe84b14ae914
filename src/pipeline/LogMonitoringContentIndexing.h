#pragma once
// One indexing run of one monitoring policy: connects the index helper it derives from to the
// policy's index engine (or to a syslog receiver), reads every uploaded file or the data-set
// chunk through the document factory, builds and queues a document per row, posts the rest, and
// leaves per-file results, the last row reached and the bytes indexed for its owner to report.
//
// A session serves one run on one worker thread and is destroyed afterwards. Beside the worker,
// a progress thread of the session (StartUpdateDBTimer) reports the state of the uploaded files
// to the management server at the interval of the global parameter
// "nLMRetryIntervalForUploadedFiles" (half of it, in minutes; 15 minutes when unset). The
// uploaded-files vector is shared with that thread under fileInfoCS_; the thread flags under
// threadStateCS_. The owner stops the thread (StopUpdateDBTimer) before it destroys the session.
//
// Calling order: construct; StartUpdateDBTimer; startIndexing; StopUpdateDBTimer; read
// getLastRowIdIndexed, getLMUploadedFileInfo and getsizeOfIndexedData; destroy.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "LMExport.h"
#include "indexing/LMCIHelper.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "platform/threads/KqCriticalSection.h"
#include "platform/threads/KqEvent.h"

namespace LogMonitoring {

class LMDocument;

// documentIndexer results besides 0 and the syslog sender's own.
constexpr int kLMNoRowRead = 1;
constexpr int kLMLastBatchFailed = 2;
constexpr int kLMNoUniqueFileId = 3;
constexpr int kLMRowOrReportFailed = 7;
// The result code of the files of a run that could not start.
constexpr int kLMRunNotStarted = 8;

// Upload record states.
constexpr int64_t kLMFileInProgress = 2;
constexpr int64_t kLMFileIndexed = 3;
constexpr int64_t kLMFileFailed = 4;

// Set while the engine is being unloaded: queued runs do not start, and a running session stops
// at its next row, its file counted as failed (kLMRowOrReportFailed) so that it is offered again.
LM_EXPORT extern std::atomic<bool> indexingStopRequested;

class LM_EXPORT LogMonitoringContentIndexing : public LMCIHelper {
public:
    LogMonitoringContentIndexing(uint64_t clientId, const std::string& clientName, uint64_t chunkStart,
                                 uint64_t chunkEnd, const MonitoringPolicyProps& policy);
    ~LogMonitoringContentIndexing() override;

    // 1 when the run could not start; otherwise the result of processData (0: completed).
    int startIndexing();
    // Type 4: 0 (the per-file results go into the upload records); type 5: documentIndexer's
    // result; 1 on a template error.
    int processData();
    // Reads one document and posts what it queued; the result codes above.
    int documentIndexer(LMDocument*& doc, uint64_t& byteCounter, std::string uploadTags);
    // ".7z", ".rar", ".zip" or ".gz" (case-sensitive) at the end of the path.
    static bool isItACompressedFile(const std::string& path);
    void UpdateUploadedFileInfo(const LogMonitoringODPFileUploadInfo& record, int64_t state, int64_t result,
                                uint64_t& byteCounter);

    uint64_t getLastRowIdIndexed() const { return lastRowIndexed_; }
    // A copy, taken under the file-info lock.
    std::vector<LogMonitoringODPFileUploadInfo> getLMUploadedFileInfo();
    uint64_t getsizeOfIndexedData() const { return sizeOfIndexedData_; }

    // ---- progress thread ----
    void StartUpdateDBTimer();
    void StopUpdateDBTimer();
    static int UpdateDBTimer(void* session);
    void WaitToUpdate(int milliseconds);
    bool isStopThread();
    void setUpdaterThreadStopped();
    bool isUpdaterThreadRunning();
    void WaitForThreadToStop();
    // Builds and sends one progress report.
    void UpdateDatabase();

    // The folder the session may remove after indexing an uploaded file: the file's folder when
    // it lies strictly inside the instance's upload staging folder, else empty (with `why`).
    static std::string removableUploadFolder(const std::string& path, std::string& why);

private:
    int startSyslog(int policyId, bool& syslogOn);
    int startIndexEngine(int policyId);
    int indexUploadedFiles(int policyId, int templateType, TemplateXML& templ, bool captureHeader);
    void indexOneUpload(int policyId, int templateType, TemplateXML& templ, bool captureHeader, bool csv,
                        LogMonitoringODPFileUploadInfo& record, uint64_t& byteCounter);
    int indexDataSet(int policyId, const std::string& dataSetName, TemplateXML& templ);
    void removeUploadFolder(const std::string& path);
    void readHeaderOfOwnFormat(LMDocument* doc);
    void captureHeaderRows(LMDocument* doc, FilteredMessageInfo& info);
    int reportByteCounter(LMDocument* doc, uint64_t& byteCounter);
    const LMTemplate* firstTemplate() const;

    EvLMDebug log_;
    uint64_t clientId_ = 0;
    std::string clientName_;
    MonitoringPolicyProps policy_;
    uint64_t chunkStart_ = 0;
    uint64_t chunkEnd_ = 0;
    uint64_t lastRowIndexed_ = 0;
    std::vector<LogMonitoringODPFileUploadInfo> uploadedFiles_;
    uint64_t sizeOfIndexedData_ = 0;
    KqCriticalSection fileInfoCS_;
    KqCriticalSection threadStateCS_;
    std::unique_ptr<KqEvent> updateEvent_;
    bool updaterRunning_ = false;
    bool stopRequested_ = false;
    // Read from the policy once, so that the progress thread never reads the policy message the
    // worker writes into.
    uint64_t policyId_ = 0;
    bool hasPolicyId_ = false;
    int64_t policyType_ = -1;
};

} // namespace LogMonitoring
