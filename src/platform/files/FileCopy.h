#pragma once
// The two halves of copying a file, shared by the copies that differ in how the target is made.
#include <sys/stat.h>

#include <string>

#include "platform/error/CZuError.h"

namespace filecopy {

// Opens a regular file for reading without following a link; -1 and the error otherwise.
int openRegularSource(const std::string& path, struct stat& st, CZuError& error);

// Copies every byte from one descriptor to the other; 0, or the errno of the read or write
// that failed.
int copyBytes(int in, int out);

}
