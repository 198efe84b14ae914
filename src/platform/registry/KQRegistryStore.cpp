#include "platform/registry/KQRegistryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <sstream>

#include "platform/log/EvLMDebug.h"

namespace {
std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

std::string unescape(const std::string& v) {
    std::string out;
    out.reserve(v.size());
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            char n = v[i + 1];
            if (n == 'n') { out += '\n'; ++i; continue; }
            if (n == 'r') { out += '\r'; ++i; continue; }
            if (n == '\\') { out += '\\'; ++i; continue; }
        }
        out += v[i];
    }
    return out;
}

std::string escape(const std::string& v) {
    std::string out;
    out.reserve(v.size());
    for (char c : v) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

bool writeAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}
}

KQRegistryStore::KQRegistryStore(std::string path) : path_(std::move(path)) { reload(); }

bool KQRegistryStore::parse(const std::string& text, Sections& out) const {
    std::istringstream in(text);
    std::string line, section;
    int number = 0;
    out[section];
    while (std::getline(in, line)) {
        ++number;
        std::string t = trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t[0] == '[') {
            if (t.back() != ']') {
                EvLMDebug().DebugLvl("KQRegistryStore::parse", 0,
                                     "ignoring malformed line %d of %s: [%s]", number, path_.c_str(), t.c_str());
                continue;
            }
            section = t.substr(1, t.size() - 2);
            out[section];
            continue;
        }
        size_t eq = t.find('=');
        std::string key = eq == std::string::npos ? std::string() : trim(t.substr(0, eq));
        if (key.empty()) {
            EvLMDebug().DebugLvl("KQRegistryStore::parse", 0, "ignoring malformed line %d of %s: [%s]",
                                 number, path_.c_str(), t.c_str());
            continue;
        }
        out[section][key] = unescape(trim(t.substr(eq + 1)));
    }
    return true;
}

bool KQRegistryStore::reload() {
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // A registry that does not exist yet is empty; the first set creates it.
        bool missing = errno == ENOENT;
        if (missing) {
            std::unique_lock<std::shared_mutex> l(mu_);
            sections_.clear();
        } else {
            EvLMDebug().Error("KQRegistryStore::reload", "cannot read %s", path_.c_str());
        }
        return missing;
    }
    std::string text;
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) text.append(buf, static_cast<size_t>(n));
    ::close(fd);
    Sections fresh;
    parse(text, fresh);
    std::unique_lock<std::shared_mutex> l(mu_);
    sections_ = std::move(fresh);
    return true;
}

bool KQRegistryStore::get(const std::string& section, const std::string& key, std::string& value) const {
    std::shared_lock<std::shared_mutex> l(mu_);
    auto s = sections_.find(section);
    if (s == sections_.end()) return false;
    auto k = s->second.find(key);
    if (k == s->second.end()) return false;
    value = k->second;
    return true;
}

std::vector<std::string> KQRegistryStore::keys(const std::string& section) const {
    std::shared_lock<std::shared_mutex> l(mu_);
    std::vector<std::string> v;
    auto s = sections_.find(section);
    if (s != sections_.end())
        for (auto& [k, val] : s->second) v.push_back(k);
    return v;
}

bool KQRegistryStore::set(const std::string& section, const std::string& key, const std::string& value) {
    if (key.empty() || key.find('=') != std::string::npos || section.find(']') != std::string::npos ||
        section.find('\n') != std::string::npos || key.find('\n') != std::string::npos)
        return false;
    std::unique_lock<std::shared_mutex> l(mu_);
    Sections next = sections_;
    next[section][key] = value;
    if (!save(next)) return false;
    sections_ = std::move(next);
    return true;
}

bool KQRegistryStore::remove(const std::string& section, const std::string& key) {
    std::unique_lock<std::shared_mutex> l(mu_);
    auto s = sections_.find(section);
    if (s == sections_.end() || !s->second.count(key)) return false;
    Sections next = sections_;
    next[section].erase(key);
    if (!save(next)) return false;
    sections_ = std::move(next);
    return true;
}

bool KQRegistryStore::save(const Sections& sections) const {
    std::string text;
    for (auto& [name, keys] : sections) {
        if (keys.empty()) continue;
        // The empty section sorts first, so its keys stand before any section header.
        if (!name.empty()) text += "[" + name + "]\n";
        for (auto& [k, v] : keys) text += k + " = " + escape(v) + "\n";
        text += "\n";
    }
    std::string tmp = path_ + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        EvLMDebug().Error("KQRegistryStore::save", "cannot create a temporary file beside %s", path_.c_str());
        return false;
    }
    ::fchmod(fd, 0600);
    bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmp.c_str(), path_.c_str()) == 0) return true;
    ::unlink(tmp.c_str());
    EvLMDebug().Error("KQRegistryStore::save", "cannot write %s", path_.c_str());
    return false;
}
