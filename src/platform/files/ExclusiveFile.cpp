#include "platform/files/ExclusiveFile.h"
#include "platform/files/FileCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int ExclusiveFile::create(const std::string& path, CZuError& error) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        int err = errno;
        error = err == EEXIST ? CZuError(EEXIST, "refusing to use " + path + ": an entry of that name exists already")
                              : CZuError::fromErrno(err, "cannot create " + path);
        return -1;
    }
    // The mode asked for may have been narrowed by the umask, never widened; make it exact.
    ::fchmod(fd, 0600);
    error = CZuError();
    return fd;
}

CZuError ExclusiveFile::copy(const std::string& from, const std::string& to) {
    struct stat st {};
    CZuError error;
    int in = filecopy::openRegularSource(from, st, error);
    if (in < 0) return error;
    int out = create(to, error);
    if (out < 0) {
        ::close(in);
        return error;
    }
    int err = filecopy::copyBytes(in, out);
    ::close(in);
    if (::close(out) != 0 && !err) err = errno;
    if (!err) return {};
    ::unlink(to.c_str());
    return CZuError::fromErrno(err, "cannot copy " + from + " to " + to);
}

bool ExclusiveFile::isOwnPrivateFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1 &&
           (st.st_mode & 077) == 0;
}
