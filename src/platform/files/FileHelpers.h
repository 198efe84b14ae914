#pragma once
#include <string>

#include "platform/error/CZuError.h"

// Directory and file operations of the platform. None of them follows a symbolic link into the
// place it points to: removing a link removes the link. The root folder and empty paths are
// always refused.
class CZuDirectory {
public:
    // Creates the folder (and its parents when recursive); an existing folder is success.
    static CZuError Create(const std::string& path, bool recursive = true);
    // Removes the folder; with recursive also everything in it. The third argument is kept for
    // callers of the suite's interface and has no effect: links are never followed.
    static CZuError Remove(const std::string& path, bool recursive = true, bool followLinks = false);
};

class CZuPath {
public:
    static bool IsDirectory(const std::string& path); // a real folder, not a link to one
    static bool Exists(const std::string& path);
};

class FXFile {
public:
    // Copies a regular file; `overwrite` non-zero replaces an existing target. The copy is
    // written beside the target and renamed into place, so a reader never sees half a file.
    static CZuError KQCopyFile(const std::string& from, const std::string& to, int overwrite);
    // Removes a folder and its contents; `flags` is kept for the suite's interface.
    static CZuError RemoveFolder(const std::string& path, int flags);
};
