#pragma once
#include <map>
#include <string>
#include <vector>

#include "platform/mgmt/KQMgmtAdmin.h"

class KQManagementDB;

// The commands of lmctl. Each returns the process's exit code: 0 on success, 1 when the command
// failed (with a message on standard error), 2 for a command line it does not understand.
class LMCtl {
public:
    // argv without the program name.
    int run(const std::vector<std::string>& args);

private:
    // Options of one command: "--name value" pairs (repeatable) and the positional words.
    struct Options {
        std::vector<std::string> words;
        std::multimap<std::string, std::string> values;
        std::string get(const std::string& key, const std::string& fallback = "") const;
        std::vector<std::string> all(const std::string& key) const;
    };

    int init(const Options& o);
    int clientAdd(const Options& o);
    int cloudAdd(const Options& o);
    int nodeAdd(const Options& o);
    int nodeSetProperty(const Options& o);
    int templateAdd(const Options& o);
    int policyAdd(const Options& o);
    int policySetProperty(const Options& o);
    int show();

    // One file of an upload: where it came from, its request and staging folder, its size.
    struct Upload {
        std::string source, name, requestId, folder;
        long long bytes = 0, lines = 0;
    };
    int upload(const Options& o);
    int waitForUpload(KQManagementDB& db, const KQMgmtAdmin::PolicyRef& policy, const std::vector<Upload>& files,
                      int timeoutSeconds);
    int search(const Options& o);
    static constexpr long long kMaxSearchRows = 10000;

    int openInstance();
    int fail(const std::string& message);
    int usage(const std::string& message = "");
    static bool parseOptions(const std::vector<std::string>& args, size_t from, Options& o, std::string& bad);
    static bool toNumber(const std::string& text, long long& v);

    std::string registry_;
};
