#include "scan/LMScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/archive/C7zip.h"
#include "platform/files/ExclusiveFile.h"
#include "platform/files/FileHelpers.h"
#include "platform/localdb/LMDBInterface.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/scanner/CScanArbiter.h"
#include "platform/scanner/CWorkUnitManager.h"
#include "scan/TestScannerCallback.h"

namespace LogMonitoring {

namespace {

constexpr size_t kScanLineLimit = 2046;    // longest line of a scan list, line feed included
constexpr size_t kExtractLineLimit = 1024; // longest line of an extraction list

// One line without its line feed. A line longer than the limit is consumed whole and flagged,
// never split into pieces that would read as other paths.
bool readLine(FILE* f, std::string& line, size_t limit, bool& tooLong) {
    line.clear();
    tooLong = false;
    bool any = false;
    int c;
    while ((c = std::getc(f)) != EOF) {
        any = true;
        if (c == '\n') return true;
        if (line.size() + 1 >= limit) tooLong = true;
        else line.push_back(static_cast<char>(c));
    }
    return any;
}

// A list this scan wrote; never a link planted at its name.
FILE* openList(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, "r");
    if (!f) ::close(fd);
    return f;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string parentOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool hasDotDotComponent(const std::string& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

std::string instanceName() {
    std::string focus = KQPI_Focus::getFocus();
    return focus.empty() ? KQPlatformInfo::kDefaultInstance : focus;
}

}

LMScan::LMScan(int instanceNumber)
    : instanceNumber_(instanceNumber), fileIdentifier_(std::make_unique<unixUniqueFileIdentfier>()) {
    KQPlatformInfo platform;
    std::string machine = platform.getPhysicalMachine();
    if (machine.empty()) return;
    std::string section = "Machines\\" + machine;
    platform.getString(section, "dJOBRESULTSDIR", jobResultsDir_);
    platform.getString(section, "dJOBRESULTSDIR_Username", jobResultsUser_);
    platform.getString(section, "dJOBRESULTSDIR_Password", jobResultsPassword_);
}

LMScan::~LMScan() = default;

bool LMScan::isItACompressedFile(std::string& name) {
    size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? name : name.substr(dot + 1);
    for (const char* c : {"7z", "rar", "zip", "gz", "tar", "bz2"})
        if (ext == c) return true;
    return false;
}

// --- scan phase ---

int LMScan::resolveContentPaths(const std::vector<std::string>& contentPaths, KQPlatformInfo& platform,
                                bool allowUnc, std::vector<std::string>& resolved) {
    const char* op = "LMScan::ScanPhase";
    static const char* const kVariables[] = {"%LOG_DIR%", "%QUILMAR_LOG_DIR%", "%TORVIK_LOG_DIR%"};
    std::string logDir;
    bool haveLogDir = false;
    for (std::string path : contentPaths) {
        if (!allowUnc && path.compare(0, 2, "\\\\") == 0) continue;
        for (const char* var : kVariables) {
            size_t len = std::strlen(var);
            if (path.compare(0, len, var) != 0) continue;
            if (!haveLogDir) {
                if (!platform.getDirectory("EventManager", "dEVLOGDIR", logDir)) {
                    debug_.DebugLvl(op, -1, "Failed to get log dir");
                    return 1;
                }
                haveLogDir = true;
                debug_.DebugLvl(op, 5, "Log Dir Path [%s]", logDir.c_str());
            }
            std::string rest = path.substr(len);
            if (!logDir.empty() && logDir.back() != '/' && !rest.empty()) logDir += "/";
            if (!rest.empty() && (rest[0] == '\\' || rest[0] == '/')) rest.erase(0, 1);
            path = logDir + rest;
            break;
        }
        resolved.push_back(path);
    }
    return 0;
}

int LMScan::scanEventLogs(const std::vector<std::string>& contentPaths, LMDBInterface& db) {
    const char* op = "LMScan::ScanPhase";
    db.connect();
    int rc = db.beginTransaction();
    if (rc != 0) {
        debug_.Error(op, "Failed to begin transaction with errorCode [%d]", rc);
        db.disconnect();
        return rc;
    }
    for (const auto& p : contentPaths) {
        std::string path = p;
        rc = db.insertFileInClientFileScanTable(path, 1, "", 0, 0);
        if (rc != 0) {
            debug_.Error(op, "Insert File Client File Scan Table Failed with error Code [%d]", rc);
            db.rollBackTransaction();
            db.disconnect();
            return rc;
        }
    }
    db.endTransaction();
    db.disconnect();
    bool empty = true;
    if (db.isFilesScanTableEmpty(empty, false) != 0) return 1;
    if (empty) return -5;
    db.mergeForWindowsEvents();
    return 0;
}

int LMScan::ScanPhase(MonitoringType type, const std::vector<std::string>& contentPaths, KQPlatformInfo& platform,
                      std::string& fileFilter, int includeSubfolders, int componentId, LMDBInterface& db,
                      std::string a, std::string b, bool allowUnc, bool filerFlagA, bool filerFlagB) {
    const char* op = "LMScan::ScanPhase";
    unsigned component = static_cast<unsigned>(componentId);
    if (int rc = db.cleanClientTableForScan()) debug_.Error(op, "Failed to clean the scan table [%d]", rc);
    std::string value;
    int previousSubfolders = 0;
    if (db.getClientComponentProp(component, ComponentTypeSubfolderSetting, "Subfolder Selected", value) == 0)
        previousSubfolders = static_cast<int>(std::strtoll(value.c_str(), nullptr, 10));

    if (type == MonitoringEventLogContent) return scanEventLogs(contentPaths, db);
    if (type != MonitoringTextLog && type != MonitoringTextLogNoHeader && type != MonitoringTextLogAlternate) return 0;

    std::vector<std::string> resolved;
    if (resolveContentPaths(contentPaths, platform, allowUnc, resolved) != 0) return 1;

    std::vector<std::string> newPaths;
    bool anySuccess = false;
    int last = 0;
    for (const auto& path : resolved) {
        int known = db.getClientComponentProp(component, ComponentTypeContentPath, path, value);
        bool isNew = known == 1;
        if (isNew) {
            debug_.DebugLvl(op, 5, "Found New path,will set offset=0 for all files under path [%s]", path.c_str());
            newPaths.push_back(path);
        } else if (known != 0) {
            return known;
        }
        last = processContent(path, fileFilter, includeSubfolders, componentId, db, a, b, filerFlagA, filerFlagB,
                              isNew ? 1 : 0, previousSubfolders);
        if (last != 0) debug_.Error(op, "Process Content Failed, returning 1");
        else anySuccess = true;
    }
    if (!anySuccess) {
        debug_.Error(op, "Process Content failed for all  paths");
        return last;
    }
    bool filer = filerFlagA || filerFlagB;
    bool empty = true;
    if (db.isFilesScanTableEmpty(empty, filer) != 0) return 1;
    if (empty) return -5;
    int merged = filer ? db.mergeForFillerContent() : db.merge();
    if (merged != 0) {
        debug_.Error(op, "UNC Merge failed");
        return 1;
    }
    for (const auto& path : newPaths)
        if (db.updateClientComponentProp(component, ComponentTypeContentPath, path, "1") != 0)
            debug_.Error(op, "Failed to insert content, will be treated as new content in next iteration");
    if (includeSubfolders != previousSubfolders &&
        db.updateClientComponentProp(component, ComponentTypeSubfolderSetting, "Subfolder Selected",
                                     std::to_string(includeSubfolders)) != 0)
        debug_.Error(op, "Failed to set sub dir prop");
    db.deleteOldContent(component, resolved);
    return 0;
}

long long LMScan::inodeOrZero(const char* op, const std::string& path) {
    long long id = 0;
    if (fileIdentifier_->getUniqueFileIdentfier(path, id, false) != 0) {
        debug_.DebugLvl(op, 5, "Failed to get FRN/inode of file %s. Assuming file has changed..contine..", path.c_str());
        return 0;
    }
    return id;
}

int LMScan::runScanEngine(const char* op, const std::string& root, const std::vector<std::string>& filters,
                          const std::vector<std::string>& filterExceptions, const std::string& outputFile) {
    CWorkUnitManager manager(-1);
    manager.SetFollowMountPaths(false);
    manager.SetAutoExcludeMountPoints(true);
    CZuError e = manager.AssignSourceWorkUnit(root);
    if (e.IsError()) {
        debug_.Error(op, "ERROR in AssignSourceWorkUnit: [%s]", e.AsString().c_str());
        return 1;
    }
    e = manager.FinalizeWorkUnits({}, filters, filterExceptions, {}, {});
    if (!e.IsError()) {
        TestScannerCallback callback(outputFile);
        CScanArbiter arbiter(1, 1, callback);
        e = arbiter.Run(manager);
    }
    if (!e.IsError()) return 0;
    debug_.Error(op, "scan of [%s] into [%s] failed: %s", root.c_str(), outputFile.c_str(), e.AsString().c_str());
    // A list this run started is removed; whatever sat at the name before is left alone.
    if (e.GetErrorCode() != EEXIST && ExclusiveFile::isOwnPrivateFile(outputFile)) ::unlink(outputFile.c_str());
    return e.GetErrorCode() ? e.GetErrorCode() : 1;
}

int LMScan::readScanOutput(const std::string& outputFile, LMDBInterface& db, bool filerFlagA, bool filerFlagB) {
    const char* op = "LMScan::processContent";
    FILE* list = openList(outputFile);
    if (!list) {
        debug_.Error(op, "Unable to open scan file [%s] for read. Exiting processContent.", outputFile.c_str());
        return 0;
    }
    int result = 0;
    db.connect();
    int rc = db.beginTransaction();
    if (rc != 0) {
        debug_.Error(op, "Failed to begin transaction with errorCode [%d]", rc);
        result = rc;
    } else {
        bool failed = false;
        std::string line;
        bool tooLong = false;
        while (readLine(list, line, kScanLineLimit, tooLong)) {
            if (tooLong) {
                debug_.Error(op, "scan line longer than %zu characters skipped", kScanLineLimit);
                continue;
            }
            struct stat st {};
            if (::stat(line.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
            std::string name = line.substr(line.find_last_of('/') + 1);
            bool ownLog = name.find("LogMonitoring") != std::string::npos ||
                          name.find("LogMonitorControlProcess") != std::string::npos || line.empty();
            if (ownLog && !isItACompressedFile(name)) continue;
            debug_.DebugLvl(op, 50, " Pushing the file = [%s]", line.c_str());
            long long inode = filerFlagA ? 0 : inodeOrZero(op, line);
            if (filerFlagA || filerFlagB) continue;
            int ins = db.insertFileInClientFileScanTable(line, inode, "", 0, 0);
            if (ins != 0) {
                debug_.Error(op, "Failed to insert in ClientScan Table for file [%s] with error [%d]", line.c_str(), ins);
                if (db.rollBackTransaction() != 0) debug_.Error(op, "Roll Back transaction Failed");
                result = ins;
                failed = true;
                break;
            }
        }
        if (!failed) {
            int end = db.endTransaction();
            if (end != 0) {
                debug_.Error(op, "Failed to end transaction with errorCode [%d]", end);
                if (db.rollBackTransaction() != 0) debug_.Error(op, "Roll Back transaction Failed");
                result = end;
            }
        }
    }
    db.disconnect();
    if (std::fclose(list) != 0) {
        debug_.DebugLvl(op, 3, "Unable to close test file, so not deleting it.[%s]", outputFile.c_str());
        return result;
    }
    if (::unlink(outputFile.c_str()) != 0)
        debug_.DebugLvl(op, 3, "Unable to delete temp file [%s]. Error code [%d]", outputFile.c_str(), errno);
    return result;
}

int LMScan::processContent(const std::string& contentPath, std::string& fileFilter, int includeSubfolders, int,
                           LMDBInterface& db, std::string, std::string, bool filerFlagA, bool filerFlagB, int, int) {
    const char* op = "LMScan::processContent";
    std::string path = contentPath;
    if (path.size() > 1 && path.back() == '/') path.pop_back();
    debug_.DebugLvl(op, 5, "Processing Content : %s", path.c_str());
    if (path.find('\\') != std::string::npos) {
        debug_.Error(op, "Content path is invalid, it contains backward slash, it may be a windows path");
        return 1;
    }
    struct stat st {};
    bool isFile = false, isDir = false;
    if (::stat(path.c_str(), &st) == 0) {
        isFile = S_ISREG(st.st_mode);
        isDir = S_ISDIR(st.st_mode);
        if (isDir && path.back() != '/') path += "/";
    }
    bool wildcard = path.find('*') != std::string::npos;
    int result = 0;

    if (isFile) {
        debug_.DebugLvl(op, 50,
                        "Content [%s] is a Regular File and not a Directory.Pushing the file, without calling Scan API.",
                        path.c_str());
        long long inode = filerFlagA ? 0 : inodeOrZero(op, path);
        db.connect();
        if (!filerFlagA && !filerFlagB) {
            result = db.insertFileInClientFileScanTable(path, inode, "", 0, 0);
            if (result != 0)
                debug_.Error(op, "Failed to insert in ClientScan Table for file [%s] with error [%d]", path.c_str(), result);
        }
        db.disconnect();
        debug_.DebugLvl(op, 10, "Exiting processContent");
        return result;
    }

    debug_.DebugLvl(op, 50, "Content [%s] is NOT a Regular File and is a Directory. Calling Scan API.", path.c_str());
    std::string root = wildcard ? parentOf(path) : path;
    if (fileFilter.empty()) fileFilter = "*";
    std::string lastComponent = path.substr(path.find_last_of('/') + 1);
    std::vector<std::string> patterns;
    bool torvik = fileFilter == "Torvik logs";
    if (isDir && torvik) {
        patterns = includeSubfolders ? std::vector<std::string>{"*.log*", "*.txt*"}
                                     : std::vector<std::string>{path + "*.log*", path + "*.txt*"};
    } else if (isDir) {
        patterns = {includeSubfolders ? fileFilter : path + fileFilter};
    } else if (wildcard) {
        patterns = {includeSubfolders ? lastComponent : path};
    } else {
        patterns = {path};
    }
    char name[512];
    std::snprintf(name, sizeof name, "/tmp/%s%d.out", instanceName().c_str(), instanceNumber_);
    std::string outputFile = name;
    int engine = runScanEngine(op, root, {"*"}, patterns, outputFile);
    if (engine != 0) {
        debug_.DebugLvl(op, 10, "Exiting processContent");
        return 1;
    }
    result = readScanOutput(outputFile, db, filerFlagA, filerFlagB);
    debug_.DebugLvl(op, 10, "Exiting processContent");
    return result;
}

int LMScan::simpleSan(const std::string& folder, const std::string& extraPattern, int, std::string outputName,
                      std::string& outputFile, bool logFiles, bool compressedFiles) {
    const char* op = "LMScan::simpleSan";
    outputFile.clear();
    if (outputName.empty() || outputName.find('/') != std::string::npos) {
        debug_.Error(op, "invalid list name [%s]", outputName.c_str());
        return 1;
    }
    std::vector<std::string> filters, exceptions;
    if (logFiles) {
        filters = {"*"};
        exceptions = eventLogFlag_ ? std::vector<std::string>{"*.evtx*"}
                                   : std::vector<std::string>{"*.log*", "*.txt*", extraPattern};
    } else if (compressedFiles) {
        // bz2 belongs here as well: a nested .bz2 that is not listed would never be unpacked and
        // would later pass for a text log by its name.
        filters = {"*"};
        exceptions = {"*.rar*", "*.zip*", "*.gz*", "*.7z*", "*.tar*", "*.bz2*", extraPattern};
    }
    std::string path = "/tmp/" + outputName + ".out";
    int rc = runScanEngine(op, folder, filters, exceptions, path);
    if (rc == 0) outputFile = path;
    return rc;
}

// --- compressed logs ---

bool LMScan::isItAnExtractedFileInJRD(std::string& path) {
    // Below the extraction root only: a sibling that merely starts with the same letters, or a
    // path that climbs out with "..", is not the engine's to delete.
    std::string root = extractionRoot();
    if (jobResultsDir_.empty() || path.compare(0, root.size(), root) != 0) return false;
    if (path.size() > root.size() && path[root.size()] != '/') return false;
    return !hasDotDotComponent(path);
}

bool LMScan::isItAnEmptyFolder(std::string folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    int entries = 0;
    while (entries < 3 && ::readdir(dir)) ++entries;
    ::closedir(dir);
    return entries < 3;
}

bool LMScan::isItASupportedFile(std::string& path, long long& createdTime) {
    createdTime = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (path.find(".txt") == std::string::npos && path.find(".log") == std::string::npos) return false;
    createdTime = static_cast<long long>(st.st_ctime);
    return true;
}

int LMScan::getTargetPath(std::string archivePath, int policyId, std::string& targetFolder,
                          std::string& temporaryCopy, std::string& policyRoot) {
    policyRoot = extractionRoot() + "/" + std::to_string(policyId);
    size_t lastSlash = archivePath.find_last_of('/');
    if (lastSlash == std::string::npos) return 1;
    temporaryCopy = "/tmp/" + std::string("/") + archivePath.substr(lastSlash + 1);
    if (!jobResultsDir_.empty() && archivePath.find(jobResultsDir_) != std::string::npos) {
        targetFolder = archivePath + "_extracted";
        return 0;
    }
    std::string relative;
    size_t tmp = archivePath.find("/tmp/");
    if (tmp != std::string::npos) {
        size_t start = tmp + 5 + 1;
        relative = start < archivePath.size() ? archivePath.substr(start) : std::string();
    } else {
        size_t start = archivePath.find('/') + 1;
        if (start < archivePath.size() && archivePath[start] == '\\') ++start;
        size_t dot = archivePath.find('.');
        if (dot == std::string::npos || dot < start) dot = archivePath.size();
        relative = archivePath.substr(start, dot - start);
    }
    if (relative.empty()) return 1;
    targetFolder = policyRoot + "/" + relative + "_extracted";
    return 0;
}

std::string LMScan::listName(int policyId, bool reduced) {
    int r = std::rand();
    char name[160];
    std::snprintf(name, sizeof name, "LM_extracted_PolId_%d_time_%lld_randon_%d", policyId,
                  static_cast<long long>(std::time(nullptr)), reduced ? r % 1984 : r);
    return name;
}

bool LMScan::deletable(const std::string& path) {
    std::string p = path;
    return isItAnExtractedFileInJRD(p) ||
           (path.compare(0, 6, "/tmp//") == 0 && path.find('/', 6) == std::string::npos && path.size() > 6);
}

int LMScan::extract7z(std::string archivePath, std::string targetFolder, int policyId, bool besideArchive) {
    const char* op = "LMScan::extract7z";
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    std::string home;
    KQPlatformInfo().getString(KQPlatformInfo::kPlatformSection, "sHomeDir", home);
    C7zip archiver(home, C7zip::kFormatDetect);
    CZuError e = archiver.Initialize();
    if (e.IsError()) {
        debug_.Error(op, "Failed to initialize 7z archiver. Error Message:[%s]", e.AsString().c_str());
        return 1;
    }
    if (targetFolder.empty()) {
        debug_.Debug(op, "Target directory cannot be empty");
        return 1;
    }
    if (archivePath.empty()) {
        debug_.Debug(op, "Compressed file path is not set");
        return 1;
    }
    if (jobResultsDir_.empty()) {
        debug_.Error(op, "no job results directory configured; nothing is unpacked");
        return 1;
    }
    std::vector<std::string> stack{archivePath};
    while (!stack.empty()) {
        std::string path = stack.back();
        stack.pop_back();
        std::string target, copy, policyRoot;
        if (besideArchive) target = path + "_extracted";
        else getTargetPath(path, policyId, target, copy, policyRoot);
        if (target.empty() || hasDotDotComponent(target)) {
            debug_.Error(op, "no safe target folder for [%s]", path.c_str());
            return 1;
        }
        e = archiver.ExtractFilesWithFullPathsFromArchive(path, target);
        if (e.IsError()) {
            debug_.DebugLvl(op, -1, "Decompressing the log file [%s] failed with Error [%s]", path.c_str(),
                            e.AsString().c_str());
            return e.GetErrorCode();
        }
        std::string listFile;
        simpleSan(target, "", policyId, listName(policyId, false), listFile, false, true);
        if (listFile.empty() || !exists(listFile)) continue;
        FILE* list = openList(listFile);
        if (!list) continue;
        std::string line;
        bool tooLong = false;
        while (readLine(list, line, kExtractLineLimit, tooLong))
            if (!tooLong && isItACompressedFile(line)) stack.push_back(line);
        std::fclose(list);
        ::unlink(listFile.c_str());
        if (deletable(path)) ::unlink(path.c_str());
    }
    return 0;
}

int LMScan::extractCompressedFile(std::string& archivePath, int policyId, std::string& listFile,
                                  bool alreadyExtracted) {
    std::string target, copy, policyRoot;
    getTargetPath(archivePath, policyId, target, copy, policyRoot);
    if (!alreadyExtracted) {
        if (!exists(copy)) {
            CZuError e = ExclusiveFile::copy(archivePath, copy);
            if (e.IsError()) debug_.Error("LMScan::extractCompressedFile", "%s", e.AsString().c_str());
        } else if (!ExclusiveFile::isOwnPrivateFile(copy)) {
            debug_.Error("LMScan::extractCompressedFile",
                         "refusing [%s]: it was not made by this engine (a link, shared or foreign file)", copy.c_str());
            return 1;
        }
        if (extract7z(copy, target, policyId, false) != 0) return 1;
        if (::unlink(copy.c_str()) != 0)
            debug_.Debug("processCompressedContent", "couldnt remove %s error code %d", copy.c_str(), errno);
    }
    std::string name = listName(policyId, true);
    if (alreadyExtracted && !exists(target)) return 0;
    return simpleSan(policyRoot, "*", policyId, name, listFile, false, false);
}

void LMScan::cleanIfItsAnExtractedFile(std::string& path) {
    if (!isItAnExtractedFileInJRD(path)) return;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    std::string folder = path;
    if (!S_ISDIR(st.st_mode)) {
        ::unlink(path.c_str());
        folder = parentOf(path);
        if (folder.empty()) return;
    }
    std::string root = extractionRoot();
    while (folder != root && folder.size() > root.size()) {
        if (!isItAnEmptyFolder(folder)) break;
        CZuError e = FXFile::RemoveFolder(folder, 113);
        if (e.IsError())
            debug_.Error("LMScan::cleanIfItsAnExtractedFile", "couldnt delete directory [%s] Error [%d]", folder.c_str(),
                         e.GetErrorCode());
        folder = parentOf(folder);
        if (folder.empty()) break;
    }
}

int LMScan::extractZipScanAndUpdateDB(std::string& archivePath, int policyId, LMDBInterface& db,
                                      bool alreadyExtracted, KQPlatformInfo& platform) {
    const char* op = "LMScan::extractZipScanAndUpdateDB";
    std::string logDir;
    if (!platform.getDirectory("EventManager", "dEVLOGDIR", logDir))
        debug_.DebugLvl(op, -1, "Couldnt get log dir location.");
    // An unknown log folder is no reason to unpack nothing at all.
    if (!logDir.empty() && archivePath.find(logDir) != std::string::npos) return 0;
    std::string listFile;
    if (extractCompressedFile(archivePath, policyId, listFile, alreadyExtracted) != 0) return 1;
    if (alreadyExtracted && (listFile.empty() || !exists(listFile))) return 0;
    FILE* list = openList(listFile);
    if (!list) return 1;
    int result = 0;
    std::string line;
    bool tooLong = false;
    while (readLine(list, line, kExtractLineLimit, tooLong)) {
        if (tooLong) continue;
        long long created = 0;
        if (!isItASupportedFile(line, created)) {
            cleanIfItsAnExtractedFile(line);
            continue;
        }
        FileNameAndFRN record;
        if (db.doesThisFileExistInDB(line, record)) continue;
        long long id = 0;
        if (fileIdentifier_->getUniqueFileIdentfier(line, id, false) != 0) {
            debug_.DebugLvl(op, 5, "Failed to get FRN/inode of file %s.", line.c_str());
            continue;
        }
        db.connect();
        result = db.insertNewFile(line, static_cast<unsigned>(policyId), id, created);
        db.disconnect();
        if (result != 0) break;
    }
    std::fclose(list);
    ::unlink(listFile.c_str());
    return result;
}

}
