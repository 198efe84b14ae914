#include "platform/files/FileHelpers.h"
#include "platform/files/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
bool refused(const std::string& path) {
    if (path.empty()) return true;
    fs::path p = fs::path(path).lexically_normal();
    return p == p.root_path();
}
}

CZuError CZuDirectory::Create(const std::string& path, bool recursive) {
    if (path.empty()) return CZuError(EINVAL, "empty folder name");
    std::error_code ec;
    if (recursive) fs::create_directories(path, ec);
    else fs::create_directory(path, ec);
    if (ec) return CZuError(ec.value(), "cannot create folder " + path + ": " + ec.message());
    if (!CZuPath::IsDirectory(path)) return CZuError(ENOTDIR, path + " exists and is not a folder");
    return {};
}

CZuError CZuDirectory::Remove(const std::string& path, bool recursive, bool) {
    if (refused(path)) return CZuError(EPERM, "refusing to remove [" + path + "]");
    std::error_code ec;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return CZuError::fromErrno(errno, "cannot remove " + path);
    if (recursive) fs::remove_all(path, ec); // does not follow links
    else fs::remove(path, ec);
    if (ec) return CZuError(ec.value(), "cannot remove " + path + ": " + ec.message());
    return {};
}

bool CZuPath::IsDirectory(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CZuPath::Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

CZuError FXFile::KQCopyFile(const std::string& from, const std::string& to, int overwrite) {
    struct stat st {};
    CZuError error;
    int in = filecopy::openRegularSource(from, st, error);
    if (in < 0) return error;
    if (!overwrite && CZuPath::Exists(to)) {
        ::close(in);
        return CZuError(EEXIST, to + " exists");
    }
    std::string tmp = to + ".copyXXXXXX";
    int out = ::mkstemp(tmp.data());
    if (out < 0) {
        ::close(in);
        return CZuError::fromErrno(errno, "cannot create " + tmp);
    }
    ::fchmod(out, st.st_mode & 0777);
    int err = filecopy::copyBytes(in, out);
    ::close(in);
    if (::close(out) != 0 && !err) err = errno;
    if (!err && ::rename(tmp.c_str(), to.c_str()) == 0) return {};
    if (!err) err = errno;
    ::unlink(tmp.c_str());
    return CZuError::fromErrno(err, "cannot copy " + from + " to " + to);
}

CZuError FXFile::RemoveFolder(const std::string& path, int) { return CZuDirectory::Remove(path, true); }

namespace filecopy {

int openRegularSource(const std::string& path, struct stat& st, CZuError& error) {
    int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) {
        error = CZuError::fromErrno(errno, "cannot open " + path);
        return -1;
    }
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        error = CZuError(EINVAL, path + " is not a regular file");
        return -1;
    }
    return in;
}

int copyBytes(int in, int out) {
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return 0;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return errno;
            done += w;
        }
    }
}

}
