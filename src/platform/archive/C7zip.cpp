#include "platform/archive/C7zip.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/files/FileHelpers.h"
#include "platform/log/EvLMDebug.h"

namespace {

constexpr const char* kOp = "C7zip::ExtractFilesWithFullPathsFromArchive";

struct ReadDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
struct WriteDeleter {
    void operator()(archive* a) const { archive_write_free(a); }
};

std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string c = path.substr(start, end - start);
        if (!c.empty() && c != ".") out.push_back(c);
        start = end + 1;
    }
    return out;
}

// A relative path that stays inside the folder it is taken from.
bool staysInside(const std::string& path) {
    if (path.empty() || path[0] == '/') return false;
    for (const auto& c : components(path))
        if (c == "..") return false;
    return !components(path).empty();
}

// A link target, taken from the folder of the link itself, that resolves inside the target folder.
bool linkStaysInside(const std::string& entryPath, const std::string& linkTarget) {
    if (linkTarget.empty() || linkTarget[0] == '/') return false;
    std::vector<std::string> at = components(entryPath);
    if (!at.empty()) at.pop_back(); // the link's own name
    for (const auto& c : components(linkTarget)) {
        if (c != "..") {
            at.push_back(c);
            continue;
        }
        if (at.empty()) return false;
        at.pop_back();
    }
    return true;
}

// The name of the single file inside a compressed file: its own name without the compression
// suffix.
std::string rawEntryName(const std::string& archive) {
    std::string name = archive.substr(archive.find_last_of('/') + 1);
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) return name.substr(0, dot);
    return name + ".out";
}

// The formats the engine unpacks, and no others: the catch-all would also take mtree, a text
// format whose entries can pull in files from anywhere on the local disk, and would read any
// stray text file as such a manifest.
void supportFormats(archive* a) {
    archive_read_support_filter_all(a);
    archive_read_support_format_tar(a);
    archive_read_support_format_zip(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_raw(a); // a single compressed file (gz, bz2, xz)
}

CZuError archiveError(archive* a, const std::string& what) {
    int code = archive_errno(a);
    const char* text = archive_error_string(a);
    return CZuError(code > 0 ? code : 1, what + ": " + (text ? text : "unknown archive error"));
}

}

C7zip::C7zip(std::string homeDirectory, int format) : home_(std::move(homeDirectory)), format_(format) {}

CZuError C7zip::Initialize() {
    if (format_ != kFormatDetect) return CZuError(EINVAL, "unsupported archive format value " + std::to_string(format_));
    std::unique_ptr<archive, ReadDeleter> a(archive_read_new());
    if (!a || archive_read_support_format_tar(a.get()) != ARCHIVE_OK ||
        archive_read_support_format_zip(a.get()) != ARCHIVE_OK || archive_read_support_format_7zip(a.get()) != ARCHIVE_OK ||
        archive_read_support_format_rar(a.get()) != ARCHIVE_OK || archive_read_support_filter_all(a.get()) < ARCHIVE_WARN)
        return CZuError(ENOSYS, "the archive library cannot read archives");
    initialized_ = true;
    return {};
}

CZuError C7zip::ExtractFilesWithFullPathsFromArchive(const std::string& archivePath, const std::string& targetFolder) {
    refused_ = 0;
    if (!initialized_) return CZuError(EINVAL, "archiver not initialized");
    if (targetFolder.empty()) return CZuError(EINVAL, "empty target folder");
    int fd = ::open(archivePath.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return CZuError::fromErrno(errno, "cannot open archive " + archivePath);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return CZuError(EINVAL, archivePath + " is not a regular file");
    }
    std::unique_ptr<archive, ReadDeleter> in(archive_read_new());
    supportFormats(in.get());
    if (archive_read_open_fd(in.get(), fd, 1 << 16) != ARCHIVE_OK) {
        CZuError e = archiveError(in.get(), "cannot read archive " + archivePath);
        ::close(fd);
        return e;
    }
    CZuError made = CZuDirectory::Create(targetFolder, true);
    if (made.IsError()) {
        ::close(fd);
        return made;
    }
    std::unique_ptr<archive, WriteDeleter> out(archive_write_disk_new());
    // Entries are written under the target's real path, so that the check for links on the way
    // only concerns what lies inside the target folder. Entry names were checked above to be
    // relative; the full names handed to the writer are absolute by construction.
    char* real = ::realpath(targetFolder.c_str(), nullptr);
    if (!real) {
        CZuError e = CZuError::fromErrno(errno, "cannot resolve " + targetFolder);
        ::close(fd);
        return e;
    }
    std::string base = real;
    std::free(real);
    archive_write_disk_set_options(out.get(), ARCHIVE_EXTRACT_TIME | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                  ARCHIVE_EXTRACT_SECURE_NODOTDOT);

    CZuError result;
    for (;;) {
        archive_entry* entry = nullptr;
        int r = archive_read_next_header(in.get(), &entry);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN) {
            result = archiveError(in.get(), "cannot read archive " + archivePath);
            break;
        }
        bool raw = archive_format(in.get()) == ARCHIVE_FORMAT_RAW;
        if (raw && archive_filter_code(in.get(), 0) == ARCHIVE_FILTER_NONE) {
            result = CZuError(EINVAL, archivePath + " is neither an archive nor a compressed file");
            break;
        }
        const char* p = archive_entry_pathname(entry);
        std::string name = raw ? rawEntryName(archivePath) : (p ? p : "");
        auto type = archive_entry_filetype(entry);
        const char* hard = archive_entry_hardlink(entry);
        const char* soft = type == AE_IFLNK ? archive_entry_symlink(entry) : nullptr;
        const char* why = nullptr;
        if (!staysInside(name)) why = "its path leaves the target folder";
        else if (hard && !staysInside(hard)) why = "it links to a path outside the target folder";
        else if (type == AE_IFLNK && !linkStaysInside(name, soft ? soft : "")) why = "it is a link that leads outside the target folder";
        else if (!hard && type != AE_IFREG && type != AE_IFDIR && type != AE_IFLNK) why = "it is not a file, folder or link";
        if (why) {
            ++refused_;
            EvLMDebug().Error(kOp, "entry [%s] of [%s] refused: %s", p ? p : "", archivePath.c_str(), why);
            continue;
        }
        archive_entry_set_pathname(entry, (base + "/" + name).c_str());
        // A compressed single file does not know its size in advance; a size of 0 would make the
        // writer drop its data.
        if (raw) archive_entry_unset_size(entry);
        if (hard) archive_entry_set_hardlink(entry, (base + "/" + hard).c_str());
        if (type == AE_IFDIR) archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0777) | 0700);
        else if (type == AE_IFREG) archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0777) | 0600);
        r = archive_write_header(out.get(), entry);
        if (r < ARCHIVE_WARN) {
            ++refused_;
            EvLMDebug().Error(kOp, "entry [%s] of [%s] not written: %s", name.c_str(), archivePath.c_str(),
                              archive_error_string(out.get()) ? archive_error_string(out.get()) : "");
            continue;
        }
        if (archive_entry_size(entry) > 0 || raw || !archive_entry_size_is_set(entry)) {
            const void* buf = nullptr;
            size_t size = 0;
            la_int64_t offset = 0;
            while ((r = archive_read_data_block(in.get(), &buf, &size, &offset)) == ARCHIVE_OK) {
                if (archive_write_data_block(out.get(), buf, size, offset) < ARCHIVE_WARN) {
                    result = archiveError(out.get(), "cannot write " + base + "/" + name);
                    break;
                }
            }
            if (result.IsError()) break;
            if (r < ARCHIVE_WARN) {
                result = archiveError(in.get(), "cannot read entry " + name + " of " + archivePath);
                break;
            }
        }
        if (archive_write_finish_entry(out.get()) < ARCHIVE_WARN) {
            result = archiveError(out.get(), "cannot finish " + base + "/" + name);
            break;
        }
    }
    if (archive_write_close(out.get()) < ARCHIVE_WARN && !result.IsError())
        result = archiveError(out.get(), "cannot finish extraction into " + targetFolder);
    archive_read_close(in.get());
    ::close(fd);
    return result;
}
