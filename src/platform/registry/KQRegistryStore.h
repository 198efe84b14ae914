#pragma once
#include <map>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

// One instance's registry: a text file of sections and keys, read when opened and rewritten
// atomically (temporary file, then rename) whenever a value is set.
//
//   # comment
//   [EventManager]
//   LMCIDOCSIZE = 5120
//
// Keys before the first section belong to the empty section. In values, "\n", "\r" and "\\"
// stand for a line feed, a carriage return and a backslash. A malformed line is ignored with a
// log line. Thread-safe.
class KQRegistryStore {
public:
    explicit KQRegistryStore(std::string path);

    const std::string& path() const { return path_; }
    // Reads the file again; false when it cannot be read (values stay as they were).
    bool reload();
    bool get(const std::string& section, const std::string& key, std::string& value) const;
    // Sets and saves; false when the file cannot be written (the value is then not kept).
    bool set(const std::string& section, const std::string& key, const std::string& value);
    bool remove(const std::string& section, const std::string& key);
    std::vector<std::string> keys(const std::string& section) const;

private:
    using Sections = std::map<std::string, std::map<std::string, std::string>>;
    bool parse(const std::string& text, Sections& out) const;
    bool save(const Sections& s) const;

    std::string path_;
    mutable std::shared_mutex mu_;
    Sections sections_;
};
