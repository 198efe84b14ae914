#pragma once
#include <memory>
#include <string>
#include <vector>

#include "LMExport.h"
#include "pipeline/MonitoringType.h"
#include "platform/log/EvLMDebug.h"
#include "scan/unixUniqueFileIdentfier.h"

class KQPlatformInfo;
class LMDBInterface;

namespace LogMonitoring {

// Finds the files under a policy's content paths and registers them in the local client
// database; unpacks compressed logs into extraction folders below the job results directory and
// registers the text logs found there.
//
// The list files of a scan ("/tmp/" + instance name + instance number + ".out", and the names
// simpleSan is given) and the temporary copies of archives ("/tmp//" + file name) have names
// other users can predict. They are always created exclusively with mode 0600; when something
// already sits at such a name the scan or extraction refuses it with a log line and never reads,
// follows or replaces it. The one exception is a temporary archive copy that is demonstrably
// this process's own (a private regular file of this user, left by a failed run), which is
// unpacked again.
//
// One object is used by one thread; concurrent scans use different instance numbers.
class LM_EXPORT LMScan {
public:
    explicit LMScan(int instanceNumber);
    ~LMScan();
    LMScan(const LMScan&) = delete;
    LMScan& operator=(const LMScan&) = delete;

    // 0 success (also for types other than 0, 1, 2 and 9); 1 when the log folder cannot be read,
    // the scan table cannot be inspected or the merge fails; -5 when no file was found; a failed
    // property read or event-log insertion as is; the last processContent result when every path
    // failed.
    int ScanPhase(MonitoringType type, const std::vector<std::string>& contentPaths, KQPlatformInfo& platform,
                  std::string& fileFilter, int includeSubfolders, int componentId, LMDBInterface& db, std::string,
                  std::string, bool allowUnc, bool filerFlagA, bool filerFlagB);
    int processContent(const std::string& path, std::string& fileFilter, int includeSubfolders, int componentId,
                       LMDBInterface& db, std::string, std::string, bool filerFlagA, bool filerFlagB, int isNewPath,
                       int previousSubfolderSetting);
    // Lists a folder into "/tmp/" + outputName + ".out" and sets outputFile to it; returns the
    // scan engine's error code (0 success). On failure outputFile is left empty, so a caller never
    // reads a file this scan did not write.
    int simpleSan(const std::string& folder, const std::string& extraPattern, int, std::string outputName,
                  std::string& outputFile, bool logFiles, bool compressedFiles);
    static bool isItACompressedFile(std::string& name);

    // --- compressed logs ---
    int extractZipScanAndUpdateDB(std::string& archivePath, int policyId, LMDBInterface& db, bool alreadyExtracted,
                                  KQPlatformInfo& platform);
    int extractCompressedFile(std::string& archivePath, int policyId, std::string& listFile, bool alreadyExtracted);
    int extract7z(std::string archivePath, std::string targetFolder, int policyId, bool besideArchive);
    int getTargetPath(std::string archivePath, int policyId, std::string& targetFolder, std::string& temporaryCopy,
                      std::string& policyRoot);
    void cleanIfItsAnExtractedFile(std::string& path);
    bool isItAnEmptyFolder(std::string folder);
    bool isItASupportedFile(std::string& path, long long& createdTime);
    bool isItAnExtractedFileInJRD(std::string& path);

    // With the event-log flag simpleSan collects "*.evtx*" files instead of text logs.
    void setEventLogScan(bool on) { eventLogFlag_ = on; }
    const std::string& jobResultsDirectory() const { return jobResultsDir_; }
    std::string extractionRoot() const { return jobResultsDir_ + "/" + "LM"; }

private:
    int resolveContentPaths(const std::vector<std::string>& contentPaths, KQPlatformInfo& platform, bool allowUnc,
                            std::vector<std::string>& resolved);
    int scanEventLogs(const std::vector<std::string>& contentPaths, LMDBInterface& db);
    int runScanEngine(const char* op, const std::string& root, const std::vector<std::string>& filters,
                      const std::vector<std::string>& filterExceptions, const std::string& outputFile);
    int readScanOutput(const std::string& outputFile, LMDBInterface& db, bool filerFlagA, bool filerFlagB);
    long long inodeOrZero(const char* op, const std::string& path);
    std::string listName(int policyId, bool reduced);
    bool deletable(const std::string& path);

    int instanceNumber_;
    EvLMDebug debug_;
    std::unique_ptr<unixUniqueFileIdentfier> fileIdentifier_;
    std::string jobResultsDir_;
    std::string jobResultsUser_;
    std::string jobResultsPassword_;
    bool eventLogFlag_ = false;
};

}
