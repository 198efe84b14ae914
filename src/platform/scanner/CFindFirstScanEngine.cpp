#include "platform/scanner/CFindFirstScanEngine.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "platform/scanner/CScanOutput.h"
#include "platform/scanner/CScannerCallback.h"
#include "platform/scanner/CWorkUnitManager.h"

namespace {

bool isVirtualFileSystem(const std::string& path) {
    struct statfs fs {};
    if (::statfs(path.c_str(), &fs) != 0) return false;
    static const unsigned long kVirtual[] = {
        0x9fa0,     // proc
        0x62656572, // sysfs
        0x1cd1,     // devpts
        0x27e0eb,   // cgroup
        0x63677270, // cgroup2
        0x64626720, // debugfs
        0x74726163, // tracefs
        0x73636673, // securityfs
        0x6165676c, // pstore
        0xcafe4a11, // bpf
        0x62656570, // configfs
        0x65735543, // fusectl
        0x19800202, // mqueue
        0x958458f6, // hugetlbfs
    };
    for (unsigned long m : kVirtual)
        if (static_cast<unsigned long>(fs.f_type) == m) return true;
    return false;
}

std::string join(const std::string& folder, const char* name) {
    std::string p = folder;
    if (p.empty() || p.back() != '/') p += '/';
    return p + name;
}

struct Walk {
    const CWorkUnitManager& units;
    const CScannerOptions& options;
    CScanOutputHandler& output;
    CScannerCallback& callback;
    CScanStatistics& stats;
    dev_t rootDevice = 0;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::vector<std::pair<std::string, int>> pending; // folder, depth

    void unreadable(const std::string& path, int err, const char* what) {
        ++stats.entriesUnreadable;
        callback.OnEntryError(path, CZuError::fromErrno(err, what));
    }

    void skipFolder(const std::string& path, const char* reason) {
        ++stats.foldersSkipped;
        callback.OnFolderSkipped(path, reason);
    }

    // Queues a folder unless it must be left out.
    void folder(const std::string& path, const char* name, const struct stat& st, int depth) {
        if (units.IsContentException(path, name)) return skipFolder(path, "content exception");
        if (depth > options.maxDepth) return skipFolder(path, "too deep");
        if (st.st_dev != rootDevice) {
            if (!units.FollowMountPaths()) return skipFolder(path, "another file system");
            if (units.AutoExcludeMountPoints() && isVirtualFileSystem(path))
                return skipFolder(path, "virtual file system");
        }
        if (!seen.emplace(st.st_dev, st.st_ino).second) return skipFolder(path, "seen before");
        pending.emplace_back(path, depth);
    }

    CZuError candidate(const std::string& path, const char* name) {
        if (units.IsContentException(path, name) || !units.Accepts(path, name)) {
            ++stats.filesFiltered;
            return {};
        }
        ++stats.filesAccepted;
        return output.Accept(path);
    }

    CZuError entry(const std::string& parent, const struct dirent* d, int depth) {
        const char* name = d->d_name;
        std::string path = join(parent, name);
        unsigned char type = d->d_type;
        struct stat st {};
        if (type == DT_UNKNOWN || type == DT_DIR) {
            if (::lstat(path.c_str(), &st) != 0) {
                unreadable(path, errno, "cannot examine");
                return {};
            }
            if (S_ISDIR(st.st_mode)) {
                folder(path, name, st, depth + 1);
                return {};
            }
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_FIFO;
        }
        if (type == DT_REG) return candidate(path, name);
        if (type != DT_LNK) return {};
        if (::stat(path.c_str(), &st) != 0) {
            unreadable(path, errno, "cannot follow link");
            return {};
        }
        if (S_ISREG(st.st_mode)) return candidate(path, name);
        if (S_ISDIR(st.st_mode)) skipFolder(path, "link to a folder");
        return {};
    }

    CZuError list(const std::string& path, int depth) {
        DIR* dir = ::opendir(path.c_str());
        if (!dir) {
            unreadable(path, errno, "cannot open folder");
            return {};
        }
        ++stats.foldersVisited;
        CZuError e;
        for (;;) {
            errno = 0;
            struct dirent* d = ::readdir(dir);
            if (!d) {
                if (errno) unreadable(path, errno, "cannot list folder");
                break;
            }
            if (std::strcmp(d->d_name, ".") == 0 || std::strcmp(d->d_name, "..") == 0) continue;
            if ((e = entry(path, d, depth)).IsError()) break;
        }
        ::closedir(dir);
        return e;
    }
};

}

CZuError CFindFirstScanEngine::Scan(const std::string& root, const CWorkUnitManager& units,
                                    const CScannerOptions& options, CScanOutputHandler& output,
                                    CScannerCallback& callback, CScanStatistics& stats) {
    struct stat st {};
    if (::stat(root.c_str(), &st) != 0) return CZuError::fromErrno(errno, "cannot examine scan root " + root);
    if (!S_ISDIR(st.st_mode)) return CZuError(ENOTDIR, "scan root " + root + " is not a folder");
    Walk w{units, options, output, callback, stats, st.st_dev, {}, {}};
    w.seen.emplace(st.st_dev, st.st_ino);
    w.pending.emplace_back(root, 0);
    while (!w.pending.empty()) {
        auto [path, depth] = std::move(w.pending.back());
        w.pending.pop_back();
        CZuError e = w.list(path, depth);
        if (e.IsError()) return e;
    }
    return {};
}
