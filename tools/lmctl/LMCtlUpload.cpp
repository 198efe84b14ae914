// lmctl upload and search: hands files to this instance's engine for indexing, follows the run
// through the management database, and reads a policy's documents back from its index engine.
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

#include "LMCtl.h"
#include "LMIndexQuery.h"
#include "platform/files/FileHelpers.h"
#include "platform/messages/catalogue/PolicyMessages.h"
#include "platform/mgmt/KQClient.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"

namespace fs = std::filesystem;

namespace {

constexpr int kAttachSeconds = 30;
constexpr int kExchangeSeconds = 60;
constexpr auto kPollInterval = std::chrono::milliseconds(300);
// The document count asks the index engine; once a second is plenty for a progress line.
constexpr auto kCountInterval = std::chrono::seconds(1);
constexpr size_t kValueLimit = 200;

// A readable regular file (links are followed); `why` tells what is wrong otherwise.
bool readableRegularFile(const std::string& path, std::string& resolved, std::string& why) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    struct stat st {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) {
        why = "not a regular file";
        return false;
    }
    std::error_code ec;
    fs::path real = fs::canonical(path, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    resolved = real.string();
    return true;
}

// Bytes and lines of a file: '\n' count, plus one for a last line without a line break.
bool measure(const std::string& path, long long& bytes, long long& lines, std::string& why) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        why = std::strerror(errno);
        return false;
    }
    std::unique_ptr<char[]> buf(new char[1 << 20]);
    bytes = lines = 0;
    char last = '\n';
    for (;;) {
        ssize_t n = ::read(fd, buf.get(), 1 << 20);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            why = std::strerror(errno);
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        for (ssize_t i = 0; i < n; ++i) lines += buf[i] == '\n';
        bytes += n;
        last = buf[n - 1];
    }
    ::close(fd);
    if (last != '\n') ++lines;
    return true;
}

std::string randomHex(size_t bytes) {
    unsigned char b[16] = {};
    bytes = std::min(bytes, sizeof b);
    size_t got = 0;
    while (got < bytes) {
        ssize_t n = ::getrandom(b + got, bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break; // the time and the counter still keep ids apart within one run
        got += static_cast<size_t>(n);
    }
    static const char* hex = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < bytes; ++i) {
        s += hex[b[i] >> 4];
        s += hex[b[i] & 15];
    }
    return s;
}

// The staging folders made for one upload; removed again unless the upload went through.
class StagedFolders {
public:
    ~StagedFolders() {
        if (keep_) return;
        for (const std::string& f : folders_) FXFile::RemoveFolder(f, 0);
    }
    void add(std::string folder) { folders_.push_back(std::move(folder)); }
    void keep() { keep_ = true; }

private:
    std::vector<std::string> folders_;
    bool keep_ = false;
};

const char* stateName(const KQMgmtAdmin::FileStatus& f) {
    if (!f.found) return "unknown";
    return f.state == 3 ? "indexed" : f.state == 4 ? "failed" : "in progress";
}

} // namespace

int LMCtl::upload(const Options& o) {
    if (o.words.size() < 2) return usage("upload needs POLICY and at least one FILE");
    long long timeout = 0;
    if (!toNumber(o.get("timeout", "3600"), timeout) || timeout <= 0) return fail("bad --timeout");
    const bool wait = o.values.count("wait") > 0;

    // Every file is checked before anything is staged: one unreadable file stops the whole upload.
    std::vector<Upload> files;
    for (size_t i = 1; i < o.words.size(); ++i) {
        Upload u;
        std::string why;
        if (!readableRegularFile(o.words[i], u.source, why))
            return fail("cannot upload " + o.words[i] + ": " + why + "; nothing was staged");
        u.name = fs::path(u.source).filename().string();
        files.push_back(std::move(u));
    }
    if (int r = openInstance()) return r;
    KQPlatformInfo info;
    int64_t clientId = 0;
    std::string clientName, staging;
    if (!info.getNumber(KQPlatformInfo::kPlatformSection, "nClientId", clientId) || clientId <= 0)
        return fail("the registry has no nClientId for this instance");
    info.getString(KQPlatformInfo::kPlatformSection, "sClientName", clientName);
    if (!info.getUploadStagingDir(staging))
        return fail("the registry names no upload staging folder (sUploadStagingDir or sHomeDir)");

    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    KQMgmtAdmin admin(db);
    KQMgmtAdmin::PolicyRef policy;
    std::string error;
    if (admin.findPolicy(o.words[0], policy, error) != 0) return fail(error);
    std::string host;
    if (KQClient(static_cast<uint64_t>(clientId)).getNetworkHostnameMangled(host) != 0 || host.empty())
        return fail("client " + std::to_string(clientId) + " of this instance is not in the management database");

    // One upload request, and so one staging folder, per file: the engine removes the folder that
    // holds a file once it has indexed it.
    const std::string stamp = "U" + std::to_string(policy.id) + "_" + std::to_string(std::time(nullptr)) + "_" +
                              randomHex(4);
    std::vector<KQMgmtAdmin::UploadFile> requests;
    for (size_t i = 0; i < files.size(); ++i) {
        files[i].requestId = stamp + "_" + std::to_string(i);
        files[i].folder = staging + "/" + files[i].requestId;
        requests.push_back({files[i].requestId, files[i].folder + "/" + files[i].name, o.get("tags")});
    }
    LogMonitoring::MonitoringPolicyProcessingRequest request;
    if (admin.buildProcessingRequest(policy.name, requests, clientId, clientName, request, error) != 0)
        return fail(error);

    StagedFolders staged;
    if (CZuError e = CZuDirectory::Create(staging, true); e.IsError()) return fail(e.AsString());
    long long totalBytes = 0, totalLines = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        Upload& u = files[i];
        if (::mkdir(u.folder.c_str(), 0700) != 0)
            return fail("cannot create staging folder " + u.folder + ": " + std::strerror(errno));
        staged.add(u.folder);
        if (CZuError e = FXFile::KQCopyFile(u.source, requests[i].localPath, 0); e.IsError())
            return fail("cannot stage " + u.source + ": " + e.AsString());
        std::string why;
        if (!measure(requests[i].localPath, u.bytes, u.lines, why))
            return fail("cannot read the staged copy of " + u.source + ": " + why);
        totalBytes += u.bytes;
        totalLines += u.lines;
    }

    KQMgmtAdmin::UploadStart started;
    if (admin.startUpload(policy.id, requests, started, error) != 0) return fail(error);
    std::string refused;
    {
        CKqNetwork c;
        bool aborted = false;
        std::unique_ptr<CNMessageBase> reply;
        CZuError e = c.Attach_RemoteDLL(host, KqRemoteModuleDescriptor::lmciUtil(), clientName.c_str(),
                                        kAttachSeconds, aborted);
        if (e.IsError()) refused = "cannot reach the engine host " + host + ": " + e.AsString();
        if (refused.empty() && (e = c.SendXMLMessage(request, 0, kExchangeSeconds, aborted)).IsError())
            refused = "cannot send the request to " + host + ": " + e.AsString();
        if (refused.empty() && (e = c.ReceiveXMLMessage(reply, kExchangeSeconds, aborted)).IsError())
            refused = "no answer from " + host + ": " + e.AsString();
        if (refused.empty()) {
            const auto* resp = reply ? reply->as<LogMonitoring::MonitoringPolicyProcessingResponse>() : nullptr;
            if (!resp) refused = "the engine host " + host + " answered with another message than a processing response";
            else if (!resp->has_errorCode() || resp->errorCode() != 0)
                refused = "the engine refused the upload (error code " +
                          (resp->has_errorCode() ? std::to_string(resp->errorCode()) : std::string("missing")) + ")";
        }
        if (c.IsConnectionGood()) c.Disconnect(kAttachSeconds, aborted);
    }
    if (!refused.empty()) {
        std::string cancelError;
        if (admin.cancelUpload(started, requests, cancelError) != 0)
            std::fprintf(stderr, "lmctl: cannot undo the upload's records: %s\n", cancelError.c_str());
        return fail(refused + "; nothing was uploaded");
    }
    staged.keep();
    for (const Upload& u : files) std::printf("request %s %s\n", u.requestId.c_str(), u.name.c_str());
    std::printf("upload accepted: %zu files, %lld bytes, %lld lines\n", files.size(), totalBytes, totalLines);
    std::fflush(stdout);
    if (!wait) return 0;
    return waitForUpload(db, policy, files, static_cast<int>(timeout));
}

int LMCtl::waitForUpload(KQManagementDB& db, const KQMgmtAdmin::PolicyRef& policy, const std::vector<Upload>& files,
                         int timeoutSeconds) {
    KQMgmtAdmin admin(db);
    std::vector<std::string> ids;
    for (const Upload& u : files) ids.push_back(u.requestId);
    KQMgmtAdmin::PolicyRef ref;
    KQMgmtAdmin::IndexEngine engine;
    std::string error;
    std::unique_ptr<LMIndexQuery> index;
    if (admin.policyIndexEngine(std::to_string(policy.id), ref, engine, error) == 0)
        index = std::make_unique<LMIndexQuery>(engine.host, engine.port, policy.id);
    auto countDocs = [&]() -> long long {
        long long n = -1;
        std::string ignored;
        if (!index || index->countDocuments(n, ignored) != 0) return -1;
        return n;
    };

    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::seconds(timeoutSeconds);
    auto lastCount = start - kCountInterval;
    long long docs = -1;
    long long shownDone = -1, shownBytes = -1, shownDocs = -2;
    KQMgmtAdmin::UploadStatus st;
    bool finished = false;
    for (;;) {
        if (admin.uploadStatus(policy.id, ids, st, error) != 0) return fail(error);
        finished = !st.hasState || st.policyState != 2;
        auto now = std::chrono::steady_clock::now();
        if (finished || now - lastCount >= kCountInterval) {
            docs = countDocs();
            lastCount = now;
        }
        long long done = 0, bytes = 0;
        for (const auto& f : st.files) {
            done += f.found && (f.state == 3 || f.state == 4);
            bytes += f.bytesIndexed;
        }
        if (done != shownDone || bytes != shownBytes || docs != shownDocs) {
            std::printf("progress: %lld/%zu files done, %lld bytes indexed", done, files.size(), bytes);
            if (docs >= 0) std::printf(", %lld documents", docs);
            std::printf("\n");
            std::fflush(stdout);
            shownDone = done, shownBytes = bytes, shownDocs = docs;
        }
        if (finished || now >= deadline) break;
        std::this_thread::sleep_for(kPollInterval);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    long long indexed = 0, notIndexed = 0, linesRead = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const auto& f = st.files[i];
        std::printf("file %s %s %s result %lld bytes %lld lines %lld\n", files[i].name.c_str(),
                    files[i].requestId.c_str(), stateName(f), static_cast<long long>(f.resultCode),
                    static_cast<long long>(f.bytesIndexed), files[i].lines);
        if (f.found && f.state == 3) {
            ++indexed;
            linesRead += files[i].lines;
        } else {
            ++notIndexed;
        }
    }
    if (!finished) {
        std::fflush(stdout);
        return fail("timed out after " + std::to_string(timeoutSeconds) + " s waiting for policy " + policy.name +
                    " to finish indexing");
    }
    const double rate = seconds > 0 ? static_cast<double>(linesRead) / seconds : 0;
    std::printf("done: %lld files indexed, %lld failed, %lld lines read, %lld documents in the index, %.1f seconds, "
                "%.0f lines/s\n",
                indexed, notIndexed, linesRead, docs, seconds, rate);
    return notIndexed == 0 ? 0 : 1;
}

int LMCtl::search(const Options& o) {
    if (o.words.size() != 2) return usage("search needs POLICY and QUERY");
    long long rows = 10;
    if (!toNumber(o.get("rows", "10"), rows) || rows < 0 || rows > kMaxSearchRows)
        return fail("bad --rows: a number from 0 to " + std::to_string(kMaxSearchRows));
    std::string sort = o.get("sort");
    if (!sort.empty()) {
        size_t sp = sort.find_last_of(' ');
        std::string dir = sp == std::string::npos ? "" : sort.substr(sp + 1);
        if (sp == 0 || (dir != "asc" && dir != "desc")) return fail("bad --sort: \"FIELD asc\" or \"FIELD desc\"");
    }
    if (int r = openInstance()) return r;
    KQManagementDB db;
    if (db.open() != 0) return fail("cannot open the management database: " + db.lastError());
    KQMgmtAdmin::PolicyRef policy;
    KQMgmtAdmin::IndexEngine engine;
    std::string error;
    if (KQMgmtAdmin(db).policyIndexEngine(o.words[0], policy, engine, error) != 0) return fail(error);
    db.close();

    LMIndexQuery index(engine.host, engine.port, policy.id);
    LMIndexQuery::Search s;
    s.query = o.words[1];
    s.rows = rows;
    s.sort = sort;
    s.fields = o.get("fields");
    LMIndexQuery::Result result;
    if (index.search(s, result, error) != 0) return fail(error);
    std::printf("%lld matches\n", result.numFound);
    for (const auto& d : result.docs) {
        std::string line;
        for (const auto& [name, value] : d.fields) {
            if (!line.empty()) line += ' ';
            line += name + "=" + LMIndexQuery::displayValue(value, kValueLimit);
        }
        std::printf("%s\n", line.c_str());
    }
    return 0;
}
