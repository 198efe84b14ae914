#include "CoreRegistry.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace lmindexd {
namespace {

const char* kUnloadedMarker = "core.unloaded";

}  // namespace

bool CoreRegistry::validName(const std::string& name) {
    if (name.empty() || name.size() > 200 || name == "." || name.find("..") != std::string::npos) return false;
    for (unsigned char c : name) {
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return false;
    }
    return true;
}

bool CoreRegistry::loadExisting(std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(dataDir_, ec);
    if (ec) {
        error = "cannot create data folder " + dataDir_ + ": " + ec.message();
        return false;
    }
    std::lock_guard<std::mutex> lock(mu_);
    for (fs::directory_iterator it(dataDir_, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (!it->is_directory() || !validName(name)) continue;
        if (!fs::exists(it->path() / "index.db") || fs::exists(it->path() / kUnloadedMarker)) continue;
        int status = 0;
        if (!openLocked(name, status, error)) return false;
    }
    if (ec) {
        error = "cannot list data folder " + dataDir_ + ": " + ec.message();
        return false;
    }
    return true;
}

std::shared_ptr<IndexCore> CoreRegistry::openLocked(const std::string& name, int& status, std::string& error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string folder = folderOf(name);
    fs::create_directories(folder, ec);
    if (ec) {
        error = "cannot create folder of core " + name + ": " + ec.message();
        status = kServerError;
        return nullptr;
    }
    fs::remove(fs::path(folder) / kUnloadedMarker, ec);
    auto core = std::make_shared<IndexCore>(name, folder);
    status = core->open(error);
    if (status != kOk) return nullptr;
    cores_[name] = core;
    return core;
}

std::shared_ptr<IndexCore> CoreRegistry::get(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = cores_.find(name);
    return it == cores_.end() ? nullptr : it->second;
}

std::shared_ptr<IndexCore> CoreRegistry::getOrCreate(const std::string& name, int& status, std::string& error) {
    if (!validName(name)) {
        status = kBadRequest;
        error = "Invalid core name '" + name + "'";
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(mu_);
    auto it = cores_.find(name);
    if (it != cores_.end()) return it->second;
    return openLocked(name, status, error);
}

int CoreRegistry::create(const std::string& name, std::string& error) {
    if (!validName(name)) {
        error = "Invalid core name '" + name + "'";
        return kBadRequest;
    }
    std::lock_guard<std::mutex> lock(mu_);
    if (cores_.count(name)) {
        error = "Core with name '" + name + "' already exists.";
        return kBadRequest;
    }
    int status = kOk;
    return openLocked(name, status, error) ? kOk : status;
}

int CoreRegistry::unload(const std::string& name, bool deleteIndex, bool deleteDataDir, std::string& error) {
    namespace fs = std::filesystem;
    if (!validName(name)) {
        error = "Invalid core name '" + name + "'";
        return kBadRequest;
    }
    std::shared_ptr<IndexCore> core;
    {
        std::lock_guard<std::mutex> lock(mu_);
        auto it = cores_.find(name);
        if (it == cores_.end()) {
            error = "Cannot unload non-existent core [" + name + "]";
            return kBadRequest;
        }
        core = it->second;
        cores_.erase(it);
    }
    // Requests already holding the core finish first: close() waits for the core's lock.
    core->close();
    std::error_code ec;
    const fs::path folder = folderOf(name);
    if (deleteDataDir) {
        fs::remove_all(folder, ec);
    } else if (deleteIndex) {
        for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(folder / (std::string("index.db") + suffix), ec);
    } else {
        std::FILE* f = std::fopen((folder / kUnloadedMarker).c_str(), "w");
        if (f) std::fclose(f);
    }
    if (ec) {
        error = "core " + name + " unloaded, but its files could not be removed: " + ec.message();
        return kServerError;
    }
    return kOk;
}

std::vector<std::string> CoreRegistry::names() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::string> out;
    for (const auto& [name, core] : cores_) out.push_back(name);
    return out;
}

std::vector<std::shared_ptr<IndexCore>> CoreRegistry::all() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::vector<std::shared_ptr<IndexCore>> out;
    for (const auto& [name, core] : cores_) out.push_back(core);
    return out;
}

void CoreRegistry::closeAll() {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& [name, core] : cores_) core->close();
}

}
