// The progress thread of an indexing session: reports the state of the uploaded files (or, for a
// data set, that the run goes on) to the management server at a fixed interval.
#include <climits>
#include <thread>

#include "pipeline/LogMonitoringContentIndexing.h"
#include "pipeline/MonitoringType.h"
#include "platform/mgmt/App_ExecuteSP.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/threads/KqThread.h"

namespace LogMonitoring {

namespace {

constexpr int kDefaultIntervalMinutes = 15;
constexpr int64_t kRunInProgress = 2;

// Half the global parameter, in milliseconds; 15 minutes when it is unset or negative.
int reportIntervalMs() {
    int minutes = 0;
    if (KQGlobalParam::get("nLMRetryIntervalForUploadedFiles", minutes, nullptr) != 0 || minutes < 0)
        minutes = kDefaultIntervalMinutes * 2;
    const long long ms = static_cast<long long>(minutes / 2) * 60000LL;
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace

void LogMonitoringContentIndexing::StartUpdateDBTimer() {
    static const char* kOp = "LogMonitoringContentIndexing::StartUpdateDBTimer";
    {
        KqCSLock lock(threadStateCS_);
        stopRequested_ = false;
        // Set before the thread can run, so that a thread that ends at once clears it after us.
        updaterRunning_ = true;
    }
    if (KqThread::createThread(&LogMonitoringContentIndexing::UpdateDBTimer, this) == 0) {
        setUpdaterThreadStopped();
        log_.Error(kOp, "failed to create thread");
        return;
    }
    log_.DebugLvl(kOp, 10, "Updater thread started successfully");
}

void LogMonitoringContentIndexing::StopUpdateDBTimer() {
    {
        KqCSLock lock(threadStateCS_);
        stopRequested_ = true;
        updateEvent_->set();
    }
    WaitForThreadToStop();
    log_.DebugLvl("LogMonitoringContentIndexing::StopUpdateDBTimer", 10, "Updater thread stopped successfully");
}

int LogMonitoringContentIndexing::UpdateDBTimer(void* argument) {
    auto* session = static_cast<LogMonitoringContentIndexing*>(argument);
    if (!session) return 0;
    kqSetThreadName("lm-progress");
    const int interval = reportIntervalMs();
    for (;;) {
        session->WaitToUpdate(interval);
        if (session->isStopThread()) {
            session->log_.DebugLvl("LogMonitoringContentIndexing::UpdateDBTimer", 10, "Updater thread is stopping");
            break;
        }
        session->UpdateDatabase();
    }
    // The last touch of the session: its owner may destroy it as soon as this is seen.
    session->setUpdaterThreadStopped();
    return 0;
}

void LogMonitoringContentIndexing::WaitToUpdate(int milliseconds) { updateEvent_->wait(milliseconds); }

bool LogMonitoringContentIndexing::isStopThread() {
    KqCSLock lock(threadStateCS_);
    return stopRequested_;
}

void LogMonitoringContentIndexing::setUpdaterThreadStopped() {
    KqCSLock lock(threadStateCS_);
    updaterRunning_ = false;
}

bool LogMonitoringContentIndexing::isUpdaterThreadRunning() {
    KqCSLock lock(threadStateCS_);
    return updaterRunning_;
}

void LogMonitoringContentIndexing::WaitForThreadToStop() {
    while (isUpdaterThreadRunning()) std::this_thread::yield();
}

void LogMonitoringContentIndexing::UpdateDatabase() {
    static const char* kOp = "LogMonitoringContentIndexing::UpdateDatabase";
    std::string text;
    {
        KqCSLock lock(fileInfoCS_);
        UpdateMonitoringPolicyProps report;
        if (policyType_ == MonitoringUploadedFiles && !uploadedFiles_.empty()) {
            report.mutable_monitoringPolicy().set_monitoringPolicyId(static_cast<int64_t>(policyId_));
            for (const LogMonitoringODPFileUploadInfo& file : uploadedFiles_) report.add_uploadedFiles(file);
            if (report.serialize(text) != 0) text.clear();
            // Each report carries the bytes indexed since the one before.
            for (LogMonitoringODPFileUploadInfo& file : uploadedFiles_) file.set_bytesIndexed(0);
        } else if (policyType_ == MonitoringDataSet) {
            report.mutable_monitoringPolicy().set_monitoringPolicyId(static_cast<int64_t>(policyId_));
            report.mutable_progress().set_state(kRunInProgress);
            if (report.serialize(text) != 0) text.clear();
        }
    }
    if (text.empty()) return;
    log_.DebugLvl(kOp, 4, "Updating DB for processing files [%s]", text.c_str());
    std::string answer;
    if (App_ExecuteSP().executeStoredProcedure(UpdateMonitoringPolicyProps::tagID(), text, answer, nullptr) != 0)
        log_.DebugLvl(kOp, -1, "Failed to update DB after processing has completed [%s]", text.c_str());
}

} // namespace LogMonitoring
