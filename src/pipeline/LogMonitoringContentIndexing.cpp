#include "pipeline/LogMonitoringContentIndexing.h"

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "documents/LMDocument.h"
#include "documents/LMDocumentFactory.h"
#include "pipeline/LMPolicyProperties.h"
#include "pipeline/MonitoringType.h"
#include "platform/files/FileHelpers.h"
#include "platform/mgmt/LogMonitor.h"
#include "platform/registry/KQPlatformInfo.h"

namespace LogMonitoring {

std::atomic<bool> indexingStopRequested{false};

namespace {

constexpr int kDefaultSyslogPort = 514;
constexpr int kDefaultSyslogProtocol = 1;
// Separator flags of a template whose only separator is the comma.
constexpr int64_t kCommaOnlySeparator = 8;

int64_t firstOf(const std::vector<int32_t>& types) { return types.empty() ? -1 : types.front(); }

// strtoll of a property's text; an empty or unreadable text gives 0.
long long propertyNumber(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 10); }

} // namespace

LogMonitoringContentIndexing::LogMonitoringContentIndexing(uint64_t clientId, const std::string& clientName,
                                                           uint64_t chunkStart, uint64_t chunkEnd,
                                                           const MonitoringPolicyProps& policy)
    : clientId_(clientId), clientName_(clientName), policy_(policy), chunkStart_(chunkStart), chunkEnd_(chunkEnd),
      lastRowIndexed_(chunkStart), updateEvent_(std::make_unique<KqEvent>()) {
    if (const MonitoringPolicy* mp = policy_.monitoringPolicy()) {
        hasPolicyId_ = mp->has_monitoringPolicyId();
        policyId_ = static_cast<uint64_t>(mp->monitoringPolicyId());
        policyType_ = firstOf(mp->monitoringTypes());
    }
    KqCSLock lock(fileInfoCS_);
    for (size_t i = 0; i < policy_.uploadedFiles_size(); ++i) {
        LogMonitoringODPFileUploadInfo& copy = uploadedFiles_.emplace_back(policy_.uploadedFiles(i));
        copy.set_resultCode(0);
        copy.set_state(kLMFileInProgress);
        copy.set_bytesIndexed(0);
    }
}

LogMonitoringContentIndexing::~LogMonitoringContentIndexing() {
    if (isUpdaterThreadRunning())
        log_.Error("LogMonitoringContentIndexing::~LogMonitoringContentIndexing",
                   "WARNING!! Updater thread is not stopped");
}

const LMTemplate* LogMonitoringContentIndexing::firstTemplate() const {
    const MonitoringPolicy* mp = policy_.monitoringPolicy();
    return mp && mp->templates_size() > 0 ? &mp->templates(0) : nullptr;
}

std::vector<LogMonitoringODPFileUploadInfo> LogMonitoringContentIndexing::getLMUploadedFileInfo() {
    KqCSLock lock(fileInfoCS_);
    return uploadedFiles_;
}

// ---------------------------------------------------------------- starting a run

int LogMonitoringContentIndexing::startIndexing() {
    static const char* kOp = "LogMonitoringContentIndexing::startIndexing";
    if (!isUpdaterThreadRunning())
        log_.Error(kOp, "WARNING!!!. DB updater thread not started, DB will be update only after completing all the "
                        "files");
    if (!hasPolicyId_ || policyId_ == 0) {
        log_.Error(kOp, "Monitoring policy id not set");
        return 1;
    }
    const int policyId = static_cast<int>(policyId_);
    bool syslogOn = false;
    const LMIndexDestination* dest = policy_.indexDestination();
    if (dest && dest->has_sendToSyslog()) {
        if (startSyslog(policyId, syslogOn) != 0) return 1;
    } else if (startIndexEngine(policyId) != 0) {
        return 1;
    }
    log_.Debug(kOp, "LM CI initialized successfully");
    int result = processData();
    if (result != 0) log_.Error(kOp, "Failed to index data for monitoringpolicy [%d]", policyId);
    if (syslogOn) closeConnection();
    return result;
}

int LogMonitoringContentIndexing::startSyslog(int policyId, bool& syslogOn) {
    static const char* kOp = "LogMonitoringContentIndexing::startIndexing";
    const LMIndexDestination& dest = *policy_.indexDestination();
    syslogOn = dest.sendToSyslog() != 0;
    log_.Debug(kOp, "enable syslog : [%d]", syslogOn ? 1 : 0);
    setAllowSyslog(syslogOn);
    if (!syslogOn) {
        log_.Error(kOp, "Cannot process Syslog Monitoring policy id: [%d] as syslog is not enabled, returning from "
                        "process",
                   policyId);
        return 1;
    }
    const std::string target = dest.has_syslogDestination() ? dest.syslogDestination() : std::string();
    if (target.empty()) return 0; // forwarding on, but no receiver to connect to
    const size_t colon = target.find(':');
    if (colon == std::string::npos) {
        log_.Error(kOp, "Error while retrieving syslog name and port. syslogHostNameAndPort: [%s]", target.c_str());
        log_.Error(kOp, "Cannot process Syslog Monitoring policy id: [%d], returning from process", policyId);
        syslogOn = false;
        return 1;
    }
    const std::string host = target.substr(0, colon);
    const std::string rest = target.substr(colon + 1);
    int port = kDefaultSyslogPort;
    int protocol = kDefaultSyslogProtocol;
    const size_t second = rest.find(':');
    if (second != std::string::npos) {
        port = std::atoi(rest.substr(0, second).c_str());
        protocol = std::atoi(rest.substr(second + 1).c_str());
    } else {
        port = std::atoi(rest.c_str());
    }
    log_.DebugLvl(kOp, 6, "syslogHostName : [%s] and port : [%d] and ProtocolType : [%d]", host.c_str(), port,
                  protocol);
    if (initialize(host, port, protocol) != 0) {
        log_.Error(kOp, "CI initialization failed, retry after 20 secs");
        syslogOn = false;
        return 1;
    }
    return 0;
}

int LogMonitoringContentIndexing::startIndexEngine(int policyId) {
    static const char* kOp = "LogMonitoringContentIndexing::startIndexing";
    const LMIndexDestination* dest = policy_.indexDestination();
    if (!dest || !dest->has_cloudId()) {
        log_.Error(kOp, "Cloud information not set, aborting the process");
        return 1;
    }
    std::vector<cloudClientInfoV2> nodes;
    nodes.reserve(dest->nodes_size());
    for (size_t i = 0; i < dest->nodes_size(); ++i) nodes.push_back(dest->nodes(i));
    if (initialize(clientId_, clientName_, static_cast<uint64_t>(policyId), static_cast<int>(dest->cloudId()),
                   nodes) != 0) {
        log_.Error(kOp, "CI initialization failed,retry after 20 secs");
        return 1;
    }
    return 0;
}

// ---------------------------------------------------------------- the run

int LogMonitoringContentIndexing::processData() {
    static const char* kOp = "LogMonitoringContentIndexing::processData";
    if (!policy_.monitoringPolicy()) {
        log_.Error(kOp, "Monitoring policy id not set");
        return 1;
    }
    const int policyId = static_cast<int>(policyId_);
    const LMTemplate* tmpl = firstTemplate();
    const int templateType = tmpl ? static_cast<int>(tmpl->templateType()) : 0;

    TemplateXML templ;
    if (!tmpl || templ.unserialize(tmpl->templateXml()) != 0) {
        log_.Error(kOp, "Failed to unserialize the xml");
        return 1;
    }
    if (policyType_ == MonitoringDataSet && !templ.has_content()) {
        log_.Error(kOp, "Content is not set for the template");
        return 1;
    }

    LogMonitor server;
    std::string ageing, header, error;
    if (server.getProperties(kLMPolicyEntityType, policyId_, LM_MONITORING_AGE_CI_AFTER_DAYS, ageing, error,
                             nullptr) != 0) {
        log_.DebugLvl(kOp, 10, "getProperties for ageing lm data failed with error :[%s]", error.c_str());
        ageing.clear();
    }
    error.clear();
    if (server.getProperties(kLMPolicyEntityType, policyId_, LM_MONITORING_POLICY_CAPTURE_LOGFILE_HEADER, header,
                             error, nullptr) != 0) {
        log_.DebugLvl(kOp, -1, "getProperties for headerLines failed with error :[%s]", error.c_str());
        header.clear();
    }
    const long long ageingDays = propertyNumber(ageing);
    const long long headerFlag = propertyNumber(header);

    const std::string dataSetName = templ.has_content() ? templ.content() : std::string();
    setdataAgeingTimerInterval(static_cast<int>(ageingDays));

    if (getisLmScaleRegEnabled()) {
        const MonitoringPolicy& mp = *policy_.monitoringPolicy();
        if (mp.has_subClientId()) setSubClientId(static_cast<uint64_t>(mp.subClientId()));
        if (mp.has_dumpLocation()) setDumpLocation(mp.dumpLocation());
        setFactor(mp.has_factor() ? static_cast<int>(mp.factor()) : (policyType_ == MonitoringDataSet ? 3 : 1));
        if (mp.has_reIndexIntervals()) {
            reIndexIntervals.clear();
            for (size_t i = 0; i < mp.reIndexIntervals_size(); ++i) reIndexIntervals.push_back(mp.reIndexIntervals(i));
        }
    }

    if (policyType_ == MonitoringUploadedFiles) return indexUploadedFiles(policyId, templateType, templ, headerFlag > 0);
    if (policyType_ == MonitoringDataSet) return indexDataSet(policyId, dataSetName, templ);
    return 0;
}

int LogMonitoringContentIndexing::indexUploadedFiles(int policyId, int templateType, TemplateXML& templ,
                                                     bool captureHeader) {
    static const char* kOp = "LogMonitoringContentIndexing::processData";
    const bool csv = templ.has_separatorFlags() && templ.separatorFlags() == kCommaOnlySeparator;
    if (!policy_.has_uploadedFiles()) {
        log_.DebugLvl(kOp, -1, "Invalid request no upload info set");
        return 0;
    }
    uint64_t byteCounter = 0;
    for (size_t i = 0; i < policy_.uploadedFiles_size(); ++i)
        indexOneUpload(policyId, templateType, templ, captureHeader, csv, policy_.mutable_uploadedFiles(i),
                       byteCounter);
    return 0;
}

void LogMonitoringContentIndexing::indexOneUpload(int policyId, int templateType, TemplateXML& templ,
                                                  bool captureHeader, bool csv, LogMonitoringODPFileUploadInfo& record,
                                                  uint64_t& byteCounter) {
    static const char* kOp = "LogMonitoringContentIndexing::processData";
    std::string tags = record.has_uploadTags() ? record.uploadTags() : std::string();
    std::string requestId = record.has_uploadRequestId() ? record.uploadRequestId() : std::string();
    if (!record.has_localPath()) return;
    const std::string path = record.localPath();
    if (isItACompressedFile(path)) {
        log_.DebugLvl(kOp, 0, "compressed file is not supported on linux platforms");
        return;
    }
    log_.Debug(kOp, "Started to index file[%s]", path.c_str());
    std::unique_ptr<LMDocument> doc(
        LMDocumentFactory::getDocumentObject(path, static_cast<MonitoringType>(templateType)));
    if (!doc) return;

    doc->setMonitoringPolicyId(static_cast<unsigned int>(policyId));
    templ.set_content(path);
    doc->setTemplateXml(&templ);
    doc->setCountLinesOnly(false);
    doc->setHeaderLinesNum(static_cast<unsigned long>(templ.headerLineCount()));
    doc->setCaptureHeader(captureHeader);
    doc->setIsCSV(csv);
    setUploadRequestId(requestId);
    if (const KqEntities::UserEntity* user = record.uploadUser()) setUserId(static_cast<int>(user->userId()));

    LMDocument* raw = doc.get();
    const int result = documentIndexer(raw, byteCounter, tags);
    if (result != 0) log_.Error(kOp, "Failed to index the file[%s]", path.c_str());
    {
        // The progress thread never reads the policy message, but the record lives in it.
        KqCSLock lock(fileInfoCS_);
        record.set_resultCode(result);
    }
    UpdateUploadedFileInfo(record, result != 0 ? kLMFileFailed : kLMFileIndexed, result, byteCounter);
    doc.reset();
    removeUploadFolder(path);
}

int LogMonitoringContentIndexing::indexDataSet(int policyId, const std::string& dataSetName, TemplateXML& templ) {
    uint64_t byteCounter = 0;
    int result = 0;
    std::unique_ptr<LMDocument> doc(LMDocumentFactory::getDocumentObject(
        static_cast<unsigned long>(policyId), dataSetName, MonitoringDataSet, chunkStart_, chunkEnd_));
    if (doc) {
        doc->setMonitoringPolicyId(static_cast<unsigned int>(policyId));
        doc->setTemplateXml(&templ);
        LMDocument* raw = doc.get();
        result = documentIndexer(raw, byteCounter, std::string());
        doc.reset();
    }
    sizeOfIndexedData_ += byteCounter;
    return result;
}

// ---------------------------------------------------------------- uploaded files

bool LogMonitoringContentIndexing::isItACompressedFile(const std::string& path) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    const std::string ext = path.substr(dot);
    return ext == ".7z" || ext == ".rar" || ext == ".zip" || ext == ".gz";
}

void LogMonitoringContentIndexing::UpdateUploadedFileInfo(const LogMonitoringODPFileUploadInfo& record,
                                                          int64_t state, int64_t result, uint64_t& byteCounter) {
    KqCSLock lock(fileInfoCS_);
    for (LogMonitoringODPFileUploadInfo& copy : uploadedFiles_) {
        if (copy.uploadRequestId() != record.uploadRequestId()) continue;
        log_.Debug("LogMonitoringContentIndexing::UpdateUploadedFileInfo",
                   "Updating Flag [%d], ErrorCode [%d] for File [%s]", static_cast<int>(state),
                   static_cast<int>(result), record.localPath().c_str());
        copy.set_resultCode(result);
        copy.set_state(state);
        const int64_t before = copy.has_bytesIndexed() ? copy.bytesIndexed() : 0;
        copy.set_bytesIndexed(before + static_cast<int64_t>(byteCounter));
        byteCounter = 0;
        return;
    }
}

std::string LogMonitoringContentIndexing::removableUploadFolder(const std::string& path, std::string& why) {
    namespace fs = std::filesystem;
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        why = "the path names no folder";
        return {};
    }
    std::string staging;
    if (!KQPlatformInfo().getUploadStagingDir(staging)) {
        why = "this instance has no upload staging folder";
        return {};
    }
    // Links are resolved on both sides: a folder that only looks inside the staging folder, through
    // ".." or a link, is not removed.
    std::error_code ec;
    const fs::path folder = fs::canonical(fs::path(path.substr(0, slash)), ec);
    if (ec) {
        why = "the folder cannot be resolved: " + ec.message();
        return {};
    }
    const fs::path root = fs::canonical(fs::path(staging), ec);
    if (ec) {
        why = "the upload staging folder " + staging + " cannot be resolved: " + ec.message();
        return {};
    }
    const fs::path inside = folder.lexically_relative(root);
    if (inside.empty() || *inside.begin() == ".." || inside == ".") {
        why = "it is not inside the upload staging folder " + root.string();
        return {};
    }
    return folder.string();
}

void LogMonitoringContentIndexing::removeUploadFolder(const std::string& path) {
    static const char* kOp = "LogMonitoringContentIndexing::processData";
    if (path.find('/') == std::string::npos) return;
    std::string why;
    const std::string folder = removableUploadFolder(path, why);
    if (folder.empty()) {
        log_.DebugLvl(kOp, 0, "Keeping folder of [%s]: %s", path.c_str(), why.c_str());
        return;
    }
    CZuError e = CZuDirectory::Remove(folder, true, false);
    if (e.IsError())
        log_.DebugLvl(kOp, 0, "Could not delete folder [%s], ErrorString [%s]", folder.c_str(), e.AsString().c_str());
    else
        log_.DebugLvl(kOp, 4, "Successfully deleted folder [%s]", folder.c_str());
}

} // namespace LogMonitoring
