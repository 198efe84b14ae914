#include "platform/registry/KQPlatformInfo.h"

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

#include "platform/log/EvLMDebug.h"
#include "platform/mgmt/KQClient.h"
#include "platform/registry/KQRegistryStore.h"

namespace {

struct Instances {
    std::mutex mu;
    std::map<std::string, std::shared_ptr<KQRegistryStore>> stores;
    std::string defaultFocus;
    bool envChecked = false;
};

Instances& instances() {
    static Instances* i = new Instances; // lives as long as the process
    return *i;
}

thread_local std::string tFocus;

struct Default {
    const char* section;
    const char* key;
    long long value;
};
// Documented defaults of the keys the engine reads.
constexpr Default kDefaults[] = {
    {"EventManager", "LMCIDOCSIZE", 5120},
    {"EventManager", "nLMCIUseThreadPool", 0},
    {"EventManager", "nEnableSoftCommit", 0},
    {"EventManager", "nEnableUTCFormatConversion", 0},
    {"EventManager", "nLmSessionTimeout", 300},
    {"Kqd", "LMMaxFileSizeToSplitInMb", 15},
    {"EventManager", "nLMSearchAlertRulesAvailable", 0},
    {"EventManager", "bEnableLmscalability", 1},
    {"QMachineMaint", "nTimer_LogMonitoringAlertRule", 5},
    {"EventManager", "nEnableOptmizeLMSolrCores", 0},
    {"Platform", "nMaxFrameBytes", 64ll << 20},
    {"Platform", "nLogLevel", EvLMDebug::kDefaultThreshold},
};

// LM_REGISTRY names the registry of a process that was not given one explicitly.
void bindFromEnvironment(Instances& in) {
    if (in.envChecked) return;
    in.envChecked = true;
    const char* path = std::getenv("LM_REGISTRY");
    if (!path || !*path || !in.stores.empty()) return;
    auto store = std::make_shared<KQRegistryStore>(path);
    std::string name;
    if (!store->get(KQPlatformInfo::kPlatformSection, "sInstanceName", name) || name.empty())
        name = KQPlatformInfo::kDefaultInstance;
    in.stores[name] = store;
    if (in.defaultFocus.empty()) in.defaultFocus = name;
}

}

std::string KQPI_Focus::getFocus() {
    if (!tFocus.empty()) return tFocus;
    auto& in = instances();
    std::lock_guard<std::mutex> l(in.mu);
    bindFromEnvironment(in);
    return in.defaultFocus;
}

void KQPI_Focus::setFocus(const std::string& instance) { tFocus = instance; }

void KQPI_Focus::setDefaultFocus(const std::string& instance) {
    auto& in = instances();
    std::lock_guard<std::mutex> l(in.mu);
    in.defaultFocus = instance;
}

KQPlatformInfo::KQPlatformInfo() = default;
KQPlatformInfo::KQPlatformInfo(const std::string& instance) : instance_(instance) {}

std::string KQPlatformInfo::getFocus() const {
    if (!instance_.empty()) return instance_;
    std::string f = KQPI_Focus::getFocus();
    return f.empty() ? kDefaultInstance : f;
}

void KQPlatformInfo::bindInstance(const std::string& instance, const std::string& path) {
    auto store = std::make_shared<KQRegistryStore>(path);
    auto& in = instances();
    std::lock_guard<std::mutex> l(in.mu);
    in.envChecked = true;
    in.stores[instance] = store;
}

std::shared_ptr<KQRegistryStore> KQPlatformInfo::storeFor(const std::string& instance) {
    auto& in = instances();
    std::lock_guard<std::mutex> l(in.mu);
    bindFromEnvironment(in);
    auto it = in.stores.find(instance);
    if (it != in.stores.end()) return it->second;
    return nullptr;
}

std::string KQPlatformInfo::useRegistryFile(const std::string& path) {
    auto store = std::make_shared<KQRegistryStore>(path);
    std::string name;
    if (!store->get(kPlatformSection, "sInstanceName", name) || name.empty()) name = kDefaultInstance;
    {
        auto& in = instances();
        std::lock_guard<std::mutex> l(in.mu);
        in.envChecked = true;
        in.stores[name] = store;
        in.defaultFocus = name;
    }
    KQPlatformInfo info(name);
    std::string logFile;
    if (info.getString(kPlatformSection, "sLogFile", logFile) && !logFile.empty() &&
        !EvLMDebug::setLogFile(logFile))
        EvLMDebug().Error("KQPlatformInfo::useRegistryFile", "cannot open log file %s", logFile.c_str());
    int level = 0;
    if (info.getNumber(kPlatformSection, "nLogLevel", level)) EvLMDebug::setThreshold(level);
    return name;
}

std::shared_ptr<KQRegistryStore> KQPlatformInfo::store() const { return storeFor(getFocus()); }

int KQPlatformInfo::getString(const std::string& section, const std::string& key, std::string& value) const {
    auto s = store();
    return s && s->get(section, key, value) ? 1 : 0;
}

int KQPlatformInfo::setString(const std::string& section, const std::string& key, const std::string& value) {
    auto s = store();
    if (!s) {
        EvLMDebug().Error("KQPlatformInfo::setString", "instance %s has no registry file; %s\\%s not saved",
                          getFocus().c_str(), section.c_str(), key.c_str());
        return 0;
    }
    return s->set(section, key, value) ? 1 : 0;
}

int KQPlatformInfo::getDirectory(const std::string& section, const std::string& key, std::string& dir) const {
    std::string v;
    if (!getString(section, key, v) || v.empty()) return 0;
    dir = v;
    return 1;
}

bool KQPlatformInfo::getLongLong(const std::string& section, const std::string& key, long long& v) const {
    std::string s;
    if (!getString(section, key, s)) return false;
    const char* b = s.data();
    const char* e = b + s.size();
    if (b != e && *b == '+') ++b;
    auto r = std::from_chars(b, e, v);
    return b != e && r.ec == std::errc() && r.ptr == e;
}

long long KQPlatformInfo::getNumberOrDefault(const std::string& section, const std::string& key) const {
    long long v = 0;
    if (getLongLong(section, key, v)) return v;
    for (const auto& d : kDefaults)
        if (section == d.section && key == d.key) return d.value;
    return 0;
}

int KQPlatformInfo::getKQPlatformType() const {
    int t = 0;
    getNumber(kPlatformSection, "nPlatformType", t);
    return t;
}

int KQPlatformInfo::getClientHostName(const std::string& clientName, char* buffer, size_t size) const {
    if (buffer == nullptr || size == 0) return 0;
    buffer[0] = '\0';
    std::string host;
    // The clients table belongs to the focused instance's management database.
    if (KQClient(clientName, 0, 0).getHostName(host) != 0 || host.empty()) return 0;
    const size_t n = std::min(host.size(), size - 1);
    host.copy(buffer, n);
    buffer[n] = '\0';
    return 1;
}

std::string KQPlatformInfo::getPhysicalMachine() const {
    std::string name;
    if (getString(kPlatformSection, "sPhysicalMachine", name) && !name.empty()) return name;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return {};
    return host;
}

std::string KQPlatformInfo::getOrvexerClientName() const {
    std::string name;
    getString(kPlatformSection, "sOrvexerClientName", name);
    return name;
}

int KQPlatformInfo::getOrvexerClientName(char* buffer, size_t size) const {
    std::string name = getOrvexerClientName();
    if (!buffer || size == 0) return 0;
    size_t n = std::min(name.size(), size - 1);
    std::memcpy(buffer, name.data(), n);
    buffer[n] = '\0';
    return name.empty() ? 0 : 1;
}

std::string KQPlatformInfo::getInstanceName() const { return getFocus(); }

int KQPlatformInfo::getUploadStagingDir(std::string& dir) const {
    std::string configured;
    std::filesystem::path path;
    if (getString(kPlatformSection, "sUploadStagingDir", configured) && !configured.empty()) {
        path = configured;
    } else if (getString(kPlatformSection, "sHomeDir", configured) && !configured.empty()) {
        path = std::filesystem::path(configured) / "uploads";
    } else {
        return 0;
    }
    std::error_code ec;
    path = std::filesystem::absolute(path, ec).lexically_normal();
    if (ec) return 0;
    dir = path.string();
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir.size() > 1 ? 1 : 0;
}

int KQGlobalParam::get(const std::string& name, std::string& value, void*) {
    return KQPlatformInfo().getString(kSection, name, value) ? 0 : 1;
}

int KQGlobalParam::get(const std::string& name, long long& value, void*) {
    KQPlatformInfo info;
    long long v = 0;
    if (!info.getNumber(kSection, name, v)) return 1;
    value = v;
    return 0;
}

int KQGlobalParam::get(const std::string& name, int& value, void*) {
    int v = 0;
    if (!KQPlatformInfo().getNumber(kSection, name, v)) return 1;
    value = v;
    return 0;
}

int KQGlobalParam::set(const std::string& name, const std::string& value) {
    KQPlatformInfo info;
    return info.setString(kSection, name, value) ? 0 : 1;
}
