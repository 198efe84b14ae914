#pragma once
#include <cstring>
#include <string>

// Names the module a peer wants to reach on a remote client and the entry the host calls for the
// connection. The engine's request dispatcher is module "sLMCIUTIL", entry "sLMCIUTILENTRY".
struct KqRemoteModuleDescriptor {
    static constexpr size_t kNameBytes = 257;
    static constexpr const char* kLMCIUtilModule = "sLMCIUTIL";
    static constexpr const char* kLMCIUtilEntry = "sLMCIUTILENTRY";

    char moduleName[kNameBytes] = {};
    char entryName[kNameBytes] = {};
    int number = 1;

    KqRemoteModuleDescriptor() = default;
    // Names longer than 256 bytes are cut; they cannot name any module then.
    KqRemoteModuleDescriptor(const std::string& module, const std::string& entry, int n = 1) : number(n) {
        copyName(moduleName, module);
        copyName(entryName, entry);
    }

    // The engine's request dispatcher.
    static KqRemoteModuleDescriptor lmciUtil() { return {kLMCIUtilModule, kLMCIUtilEntry, 1}; }

private:
    static void copyName(char (&to)[kNameBytes], const std::string& from) {
        size_t n = from.size() < kNameBytes - 1 ? from.size() : kNameBytes - 1;
        std::memcpy(to, from.data(), n);
        to[n] = '\0';
    }
};
