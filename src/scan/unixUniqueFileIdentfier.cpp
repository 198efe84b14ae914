#include "scan/unixUniqueFileIdentfier.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

namespace LogMonitoring {

int unixUniqueFileIdentfier::getUniqueFileIdentfier(std::string path, long long& id, bool) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 1;
    id = static_cast<long long>(st.st_ino);
    return 0;
}

int unixUniqueFileIdentfier::getFileNameFromUniqueIdentfier(long long id, std::string folder, std::string& path) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 1;
    int result = 1;
    while (struct dirent* d = ::readdir(dir)) {
        std::string candidate = folder + "/" + d->d_name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) != 0) {
            result = -1;
            break;
        }
        if (S_ISDIR(st.st_mode)) continue;
        long long other = 0;
        if (getUniqueFileIdentfier(candidate, other, false) == 0 && other == id) {
            path = candidate;
            result = 0;
            break;
        }
    }
    ::closedir(dir);
    return result;
}

}
