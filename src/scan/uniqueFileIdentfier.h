#pragma once
#include <string>

#include "LMExport.h"

namespace LogMonitoring {

// How a monitored file is known independently of its name, so that a renamed file is found again.
class LM_EXPORT uniqueFileIdentfier {
public:
    virtual ~uniqueFileIdentfier() = default;
    // 0 with the identifier, 1 when the path cannot be examined. The flag is unused.
    virtual int getUniqueFileIdentfier(std::string path, long long& id, bool) = 0;
    // 0 with the path of the file of `folder` (not its subfolders) that has the identifier;
    // 1 when the folder cannot be opened or no file has it; -1 when an entry cannot be examined.
    virtual int getFileNameFromUniqueIdentfier(long long id, std::string folder, std::string& path) = 0;
};

}
