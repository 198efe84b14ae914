#pragma once
// The cores of one data folder: DIR/<core>/index.db. A core is created by CREATE or by its first
// update; UNLOAD closes it and, when asked, deletes its index and its folder. A core unloaded
// without deletion keeps its files and a marker, and is not loaded again at start.
// Thread-safe.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "IndexCore.h"

namespace lmindexd {

class CoreRegistry {
public:
    explicit CoreRegistry(std::string dataDir) : dataDir_(std::move(dataDir)) {}
    ~CoreRegistry() { closeAll(); }

    // Opens every core found under the data folder.
    bool loadExisting(std::string& error);

    // Letters, digits, "_", "-" and "." only; never "." or "..", at most 200 bytes.
    static bool validName(const std::string& name);

    std::shared_ptr<IndexCore> get(const std::string& name) const;
    // The core, created when missing. Null with a reason (and a status) on failure.
    std::shared_ptr<IndexCore> getOrCreate(const std::string& name, int& status, std::string& error);
    int create(const std::string& name, std::string& error);
    int unload(const std::string& name, bool deleteIndex, bool deleteDataDir, std::string& error);

    std::vector<std::string> names() const;
    std::vector<std::shared_ptr<IndexCore>> all() const;
    void closeAll();

    const std::string& dataDir() const { return dataDir_; }

private:
    std::string folderOf(const std::string& name) const { return dataDir_ + "/" + name; }
    std::shared_ptr<IndexCore> openLocked(const std::string& name, int& status, std::string& error);

    std::string dataDir_;
    mutable std::mutex mu_;
    std::map<std::string, std::shared_ptr<IndexCore>> cores_;
};

}
