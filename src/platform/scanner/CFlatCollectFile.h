#pragma once
#include <cstdio>
#include <string>

#include "platform/scanner/CScanOutput.h"

// Writes the accepted paths to a list file, one per line (format 1, the only format). Mode "w"
// creates the file; it is made exclusively with mode 0600, so an existing entry at that name (a
// planted link, a stale list) is refused, never followed or overwritten.
// A path holding a line break cannot be written as one line; it is refused with a log line, so a
// crafted file name can never put another path into the list.
class CFlatCollectFile : public CScanConsumer {
public:
    CFlatCollectFile(int format, std::string path, std::string mode);
    ~CFlatCollectFile() override;

    CZuError Open() override;
    CZuError Consume(const std::string& path) override;
    CZuError Close() override;
    const std::string& path() const { return path_; }

private:
    int format_;
    std::string path_;
    std::string mode_;
    FILE* file_ = nullptr;
};
