#pragma once
#include "scan/uniqueFileIdentfier.h"

namespace LogMonitoring {

// The identifier is the inode number: it survives a rename within the file system, and hard
// links share it. Folders have one too. Stateless, so safe to share between threads.
class LM_EXPORT unixUniqueFileIdentfier : public uniqueFileIdentfier {
public:
    int getUniqueFileIdentfier(std::string path, long long& id, bool) override;
    int getFileNameFromUniqueIdentfier(long long id, std::string folder, std::string& path) override;
};

}
