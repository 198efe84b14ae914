#include "LMHostModuleTable.h"

#include <dlfcn.h>

#include <filesystem>

#include "platform/registry/KQPlatformInfo.h"
#include "platform/registry/KQRegistryStore.h"

namespace {

// The engine beside the host (bin/ and lib/ side by side, as in the build tree and an install),
// else whatever the loader finds under its plain name.
std::string engineLibrary() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        std::filesystem::path beside = exe.parent_path().parent_path() / "lib" / "liblogmonitoring.so";
        if (std::filesystem::exists(beside, ec)) return beside.string();
    }
    return "liblogmonitoring.so";
}

} // namespace

LMHostModuleTable::LMHostModuleTable() {
    add(KqRemoteModuleDescriptor::kLMCIUtilModule, KqRemoteModuleDescriptor::kLMCIUtilEntry, engineLibrary(),
        "LMUtilEntry");
}

LMHostModuleTable::~LMHostModuleTable() {
    // A library with work of its own on its threads (the engine's indexing runs) stops it before
    // its code goes away.
    for (auto& [path, handle] : libraries_) {
        if (auto stop = reinterpret_cast<void (*)()>(::dlsym(handle, "LMEngineShutdown"))) {
            log_.DebugLvl("LMHostModuleTable::~LMHostModuleTable", 1, "stopping the work of %s", path.c_str());
            stop();
        }
        ::dlclose(handle);
    }
}

void LMHostModuleTable::add(const std::string& module, const std::string& entry, const std::string& library,
                            const std::string& symbol) {
    std::lock_guard<std::mutex> l(mu_);
    targets_[keyOf(module, entry)] = Target{library, symbol, nullptr};
}

void LMHostModuleTable::loadFromRegistry() {
    auto store = KQPlatformInfo::storeFor(KQPI_Focus::getFocus());
    if (!store) return;
    const std::string suffix = ".library";
    for (const std::string& key : store->keys(kSection)) {
        if (key.size() <= suffix.size() || key.compare(key.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        std::string name = key.substr(0, key.size() - suffix.size());
        size_t slash = name.find('/');
        std::string library, symbol;
        store->get(kSection, key, library);
        if (slash == std::string::npos || !store->get(kSection, name + ".symbol", symbol) || library.empty() ||
            symbol.empty()) {
            log_.Error("LMHostModuleTable::loadFromRegistry", "ignoring incomplete module entry [%s]", name.c_str());
            continue;
        }
        add(name.substr(0, slash), name.substr(slash + 1), library, symbol);
        log_.DebugLvl("LMHostModuleTable::loadFromRegistry", 1, "module %s served by %s:%s", name.c_str(),
                      library.c_str(), symbol.c_str());
    }
}

KqRemoteModuleEntry LMHostModuleTable::resolve(const KqRemoteModuleDescriptor& module, std::string& why) {
    std::lock_guard<std::mutex> l(mu_);
    auto t = targets_.find(keyOf(module.moduleName, module.entryName));
    if (t == targets_.end()) {
        why = std::string("no module serves ") + module.moduleName + "/" + module.entryName;
        return nullptr;
    }
    Target& target = t->second;
    if (target.entry) return target.entry;
    void*& handle = libraries_[target.library];
    if (!handle) handle = ::dlopen(target.library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* err = ::dlerror();
        libraries_.erase(target.library);
        why = "cannot load " + target.library + ": " + (err ? err : "unknown error");
        return nullptr;
    }
    ::dlerror();
    void* sym = ::dlsym(handle, target.symbol.c_str());
    if (!sym) {
        why = "symbol " + target.symbol + " not found in " + target.library;
        return nullptr;
    }
    target.entry = reinterpret_cast<KqRemoteModuleEntry>(sym);
    return target.entry;
}
