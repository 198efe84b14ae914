#include "platform/scanner/CFlatCollectFile.h"

#include <unistd.h>

#include <cerrno>

#include "platform/files/ExclusiveFile.h"
#include "platform/log/EvLMDebug.h"

CFlatCollectFile::CFlatCollectFile(int format, std::string path, std::string mode)
    : format_(format), path_(std::move(path)), mode_(std::move(mode)) {}

CFlatCollectFile::~CFlatCollectFile() {
    if (file_) std::fclose(file_);
}

CZuError CFlatCollectFile::Open() {
    if (format_ != 1) return CZuError(EINVAL, "unsupported list format " + std::to_string(format_));
    if (mode_ != "w") return CZuError(EINVAL, "unsupported list mode " + mode_);
    if (file_) return CZuError(EBUSY, path_ + " is open already");
    CZuError error;
    int fd = ExclusiveFile::create(path_, error);
    if (fd < 0) {
        EvLMDebug().Error("CFlatCollectFile::Open", "%s", error.AsString().c_str());
        return error;
    }
    file_ = ::fdopen(fd, "w");
    if (!file_) {
        int err = errno;
        ::close(fd);
        return CZuError::fromErrno(err, "cannot open " + path_);
    }
    return {};
}

CZuError CFlatCollectFile::Consume(const std::string& path) {
    if (!file_) return CZuError(EBADF, path_ + " is not open");
    if (path.find_first_of("\r\n") != std::string::npos) {
        EvLMDebug().Error("CFlatCollectFile::Consume", "file name with a line break not listed: [%s]", path.c_str());
        return {};
    }
    if (std::fputs(path.c_str(), file_) < 0 || std::fputc('\n', file_) == EOF)
        return CZuError::fromErrno(errno, "cannot write " + path_);
    return {};
}

CZuError CFlatCollectFile::Close() {
    if (!file_) return {};
    int rc = std::fclose(file_);
    file_ = nullptr;
    if (rc != 0) return CZuError::fromErrno(errno, "cannot close " + path_);
    return {};
}
