#pragma once
#include <limits>
#include <memory>
#include <string>
#include <type_traits>

class KQRegistryStore;

// The instance a thread works for. A thread's own focus wins over the process's default, which
// the host sets when it opens its registry.
class KQPI_Focus {
public:
    // The calling thread's instance, else the process default; empty when neither is set.
    static std::string getFocus();
    static void setFocus(const std::string& instance);       // this thread only
    static void setDefaultFocus(const std::string& instance); // the whole process
};

// Registry access for one instance (the focused one unless setFocus names another).
// Platform keys, section "Platform":
//   sInstanceName       instance name (default "Instance001")
//   sPhysicalMachine    this machine's client name (default: the host name)
//   sOrvexerClientName  the management server's client name
//   nPlatformType       platform type bits (bit 0: this machine is the management server)
//   nClientId, sClientName, sHomeDir, sManagementDB, sLocalDB, sLogFile, nLogLevel,
//   nRemoteModulePort, sBindAddress, sSharedSecret, nMaxFrameBytes, sUploadStagingDir: see README.md
// Every get answers non-zero when the key was found; every set non-zero when it was saved.
class KQPlatformInfo {
public:
    static constexpr const char* kPlatformSection = "Platform";
    static constexpr const char* kDefaultInstance = "Instance001";

    KQPlatformInfo();
    explicit KQPlatformInfo(const std::string& instance);

    void setFocus(const std::string& instance) { instance_ = instance; }
    std::string getFocus() const;

    int getString(const std::string& section, const std::string& key, std::string& value) const;
    int setString(const std::string& section, const std::string& key, const std::string& value);
    int getValue(const std::string& section, const std::string& key, std::string& value) const {
        return getString(section, key, value);
    }
    // A directory: found and not empty.
    int getDirectory(const std::string& section, const std::string& key, std::string& dir) const;

    // A whole decimal number in range of T; anything else counts as not found.
    template <class T> int getNumber(const std::string& section, const std::string& key, T& value) const {
        static_assert(std::is_integral_v<T>);
        long long v = 0;
        if (!getLongLong(section, key, v)) return 0;
        if constexpr (std::is_unsigned_v<T>) {
            if (v < 0 || static_cast<unsigned long long>(v) > static_cast<unsigned long long>(~T(0))) return 0;
        } else {
            if (v < static_cast<long long>(std::numeric_limits<T>::min()) ||
                v > static_cast<long long>(std::numeric_limits<T>::max()))
                return 0;
        }
        value = static_cast<T>(v);
        return 1;
    }
    template <class T> int setNumber(const std::string& section, const std::string& key, T value) {
        return setString(section, key, std::to_string(value));
    }
    // The number, or the engine's documented default for that key when it is not found (0 for
    // keys without one).
    long long getNumberOrDefault(const std::string& section, const std::string& key) const;

    int getKQPlatformType() const;
    std::string getPhysicalMachine() const;
    // The management server's client name; writes at most size-1 bytes and a NUL. Non-zero when set.
    int getOrvexerClientName(char* buffer, size_t size) const;
    std::string getOrvexerClientName() const;
    std::string getInstanceName() const;
    // The folder uploaded files are staged in before they are indexed, one sub-folder per upload
    // request: "sUploadStagingDir", else "uploads" in "sHomeDir". Non-zero when one is known;
    // the path is absolute and lexically normal (no "." or ".." parts, no trailing "/").
    int getUploadStagingDir(std::string& dir) const;
    // The host name under which the management database's clients table knows the client of
    // that name; writes at most size-1 bytes and a NUL. Non-zero when found.
    int getClientHostName(const std::string& clientName, char* buffer, size_t size) const;

    // Binds an instance name to a registry file.
    static void bindInstance(const std::string& instance, const std::string& path);
    // Opens a host's registry: binds the instance the file names (key sInstanceName, default
    // "Instance001") to it, makes it the process's focus and applies its log settings.
    // Returns the instance name.
    static std::string useRegistryFile(const std::string& path);
    // The store of an instance; an unbound instance gets an empty store that cannot be saved,
    // unless LM_REGISTRY names a file, which is then bound to it.
    static std::shared_ptr<KQRegistryStore> storeFor(const std::string& instance);

private:
    bool getLongLong(const std::string& section, const std::string& key, long long& v) const;
    std::shared_ptr<KQRegistryStore> store() const;
    std::string instance_; // empty: follow KQPI_Focus
};

// The suite's global parameters ("nLMRetryIntervalForUploadedFiles", "bEnableLmscalability",
// "ORVEX_SURVEY_PROXYCLIENT_ENABLED", "ORVEX_SURVEY_PROXY_CLIENT", ...), kept in the focused
// instance's registry, section "GlobalParameters". Each get returns 0 when the value was read.
class KQGlobalParam {
public:
    static constexpr const char* kSection = "GlobalParameters";
    static int get(const std::string& name, int& value, void* context = nullptr);
    static int get(const std::string& name, long long& value, void* context = nullptr);
    static int get(const std::string& name, std::string& value, void* context = nullptr);
    // 0 when saved.
    static int set(const std::string& name, const std::string& value);
};

// Global parameters of the management server's internet-gateway proxy client: whether it is
// enabled, and its client id.
inline constexpr const char* ORVEX_SURVEY_PROXYCLIENT_ENABLED = "ORVEX_SURVEY_PROXYCLIENT_ENABLED";
inline constexpr const char* ORVEX_SURVEY_PROXY_CLIENT = "ORVEX_SURVEY_PROXY_CLIENT";
