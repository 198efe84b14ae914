#pragma once
#include <string>

#include "platform/error/CZuError.h"

// The archiver: unpacks 7z, zip, rar, tar (plain or compressed) and single compressed files
// (gz, bz2, xz) with their full paths below a target folder.
//
// Nothing is ever written outside the target folder. An entry whose path is absolute or has a
// ".." component, a symbolic link whose target is absolute or leads out of the folder, a hard
// link to such a path, and device, pipe or socket entries are refused: they are logged and
// skipped, the other entries are unpacked, and RefusedEntries() counts them. No entry is written
// through a symbolic link already on disk. Set-id bits are not restored and every unpacked file
// stays readable and writable by its owner, so the engine can index and clean it.
// The archive itself is opened without following a symbolic link at its name.
class C7zip {
public:
    static constexpr int kFormatDetect = 2; // format value: recognise the format from the content

    // The installation's home folder is kept for the suite's interface; libarchive needs no
    // plug-ins from it.
    C7zip(std::string homeDirectory, int format);

    // Checks that the archive library can read archives; Extract refuses to run without it.
    CZuError Initialize();
    CZuError ExtractFilesWithFullPathsFromArchive(const std::string& archive, const std::string& targetFolder);

    int RefusedEntries() const { return refused_; }
    const std::string& HomeDirectory() const { return home_; }

private:
    std::string home_;
    int format_;
    bool initialized_ = false;
    int refused_ = 0;
};
