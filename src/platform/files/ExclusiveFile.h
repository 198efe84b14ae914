#pragma once
#include <string>

#include "platform/error/CZuError.h"

// Files created under names that others can predict (in a shared temporary folder, say). They
// are created exclusively with mode 0600: an entry already at that name, a symbolic link planted
// there included, is never followed, written or replaced; the creation is refused instead.
class ExclusiveFile {
public:
    // A new file opened for writing; -1 and the error when the name is taken or cannot be created.
    static int create(const std::string& path, CZuError& error);
    // Copies a regular file (a link is not followed) into a new file made by create(). A partly
    // written copy is removed again.
    static CZuError copy(const std::string& from, const std::string& to);
    // Whether the entry is a file this process could have made with create(): a regular file, not
    // a link, owned by this user, with no other name and no access for anybody else.
    static bool isOwnPrivateFile(const std::string& path);
};
