#pragma once
#include <map>
#include <mutex>
#include <string>

#include "platform/log/EvLMDebug.h"
#include "platform/network/CKqNetwork.h"

// Maps remote-module descriptors to the library and symbol that serve them, and loads them on
// first use. The engine's dispatcher, module "sLMCIUTIL" entry "sLMCIUTILENTRY", is known from
// the start as liblogmonitoring.so (the one in ../lib beside the program when there is one) /
// LMUtilEntry. More entries come from the registry section
// "RemoteModules", two keys per descriptor:
//
//   [RemoteModules]
//   sEcho/sEchoEntry.library = /path/to/module.so
//   sEcho/sEchoEntry.symbol = EchoEntry
//
// A library stays loaded until the table is destroyed. Thread-safe.
class LMHostModuleTable {
public:
    static constexpr const char* kSection = "RemoteModules";

    LMHostModuleTable();
    ~LMHostModuleTable();
    LMHostModuleTable(const LMHostModuleTable&) = delete;
    LMHostModuleTable& operator=(const LMHostModuleTable&) = delete;

    // Reads the registry section of the focused instance.
    void loadFromRegistry();
    void add(const std::string& module, const std::string& entry, const std::string& library,
             const std::string& symbol);

    // The entry of a descriptor, loading its library when needed; null with `why` set when the
    // descriptor is unknown, the library does not load or the symbol is missing.
    KqRemoteModuleEntry resolve(const KqRemoteModuleDescriptor& module, std::string& why);

private:
    struct Target {
        std::string library, symbol;
        KqRemoteModuleEntry entry = nullptr;
    };
    static std::string keyOf(const std::string& module, const std::string& entry) { return module + "/" + entry; }

    EvLMDebug log_;
    std::mutex mu_;
    std::map<std::string, Target> targets_;
    std::map<std::string, void*> libraries_;
};
