#pragma once
#include <map>
#include <string>
#include <vector>

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

    int openInstance();
    int fail(const std::string& message);
    int usage(const std::string& message = "");
    static bool parseOptions(const std::vector<std::string>& args, size_t from, Options& o, std::string& bad);
    static bool toNumber(const std::string& text, long long& v);

    std::string registry_;
};
