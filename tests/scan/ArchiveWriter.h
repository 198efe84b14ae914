#pragma once
// Builds real archives for the tests with libarchive's writer.
#include <archive.h>
#include <archive_entry.h>

#include <string>
#include <vector>

namespace scantest {

struct Entry {
    Entry(std::string p, std::string d = "", char t = 'f', std::string l = "")
        : path(std::move(p)), data(std::move(d)), type(t), link(std::move(l)) {}
    std::string path;
    std::string data;
    char type = 'f'; // 'f' file, 'd' folder, 'l' symbolic link, 'h' hard link
    std::string link;
};

// kind: "tar", "tar.gz", "tar.bz2", "zip", "7z", or "gz" / "bz2" for a single compressed file
// (the first entry's data).
inline bool writeArchive(const std::string& file, const std::string& kind, const std::vector<Entry>& entries) {
    archive* a = archive_write_new();
    bool raw = kind == "gz" || kind == "bz2";
    if (kind == "zip") archive_write_set_format_zip(a);
    else if (kind == "7z") archive_write_set_format_7zip(a);
    else if (raw) archive_write_set_format_raw(a);
    else archive_write_set_format_pax_restricted(a);
    if (kind == "tar.gz" || kind == "gz") archive_write_add_filter_gzip(a);
    if (kind == "tar.bz2" || kind == "bz2") archive_write_add_filter_bzip2(a);
    if (archive_write_open_filename(a, file.c_str()) != ARCHIVE_OK) {
        archive_write_free(a);
        return false;
    }
    bool ok = true;
    for (const auto& e : entries) {
        archive_entry* en = archive_entry_new();
        archive_entry_set_pathname(en, e.path.c_str());
        if (e.type == 'd') {
            archive_entry_set_filetype(en, AE_IFDIR);
            archive_entry_set_perm(en, 0755);
        } else if (e.type == 'l') {
            archive_entry_set_filetype(en, AE_IFLNK);
            archive_entry_set_symlink(en, e.link.c_str());
            archive_entry_set_perm(en, 0777);
        } else if (e.type == 'h') {
            archive_entry_set_filetype(en, AE_IFREG);
            archive_entry_set_hardlink(en, e.link.c_str());
            archive_entry_set_perm(en, 0644);
        } else {
            archive_entry_set_filetype(en, AE_IFREG);
            archive_entry_set_perm(en, 0644);
            archive_entry_set_size(en, static_cast<la_int64_t>(e.data.size()));
        }
        ok = ok && archive_write_header(a, en) == ARCHIVE_OK;
        if (ok && e.type == 'f' && !e.data.empty())
            ok = archive_write_data(a, e.data.data(), e.data.size()) == static_cast<la_ssize_t>(e.data.size());
        archive_entry_free(en);
        if (raw) break;
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

}
