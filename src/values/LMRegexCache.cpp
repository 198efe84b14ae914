#include "values/LMRegexCache.h"

#include <array>
#include <atomic>
#include <functional>
#include <iostream>
#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <unordered_map>

namespace LogMonitoring {

namespace {

struct KeyView {
    unsigned flags;
    std::string_view expression;
};

struct Key {
    unsigned flags;
    std::string expression;
};

struct KeyHash {
    using is_transparent = void;
    size_t operator()(const KeyView& k) const {
        return std::hash<std::string_view>{}(k.expression) ^ (static_cast<size_t>(k.flags) * 0x9e3779b97f4a7c15ULL);
    }
    size_t operator()(const Key& k) const { return (*this)(KeyView{k.flags, k.expression}); }
};

struct KeyEqual {
    using is_transparent = void;
    static KeyView view(const Key& k) { return {k.flags, k.expression}; }
    static KeyView view(const KeyView& k) { return k; }
    template <class A, class B> bool operator()(const A& a, const B& b) const {
        KeyView x = view(a), y = view(b);
        return x.flags == y.flags && x.expression == y.expression;
    }
};

constexpr size_t kShards = 16;
constexpr size_t kPerShard = LMRegexCache::kCapacity / kShards;

struct Shard {
    std::shared_mutex mu;
    std::unordered_map<Key, std::shared_ptr<const boost::regex>, KeyHash, KeyEqual> entries;
};

std::array<Shard, kShards>& shards() {
    static std::array<Shard, kShards> s;
    return s;
}

std::atomic<bool>& enabledFlag() {
    static std::atomic<bool> on{true};
    return on;
}

std::shared_ptr<const boost::regex> compileFresh(const std::string& expression, LMRegexCache::Flags flags,
                                                 std::string& error) {
    try {
        return std::make_shared<const boost::regex>(expression, flags);
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
}

}

std::shared_ptr<const boost::regex> LMRegexCache::get(const std::string& expression, Flags flags,
                                                      std::string& error) {
    if (!isEnabled()) return compileFresh(expression, flags, error);
    KeyView key{static_cast<unsigned>(flags), expression};
    size_t h = KeyHash{}(key);
    Shard& shard = shards()[h % kShards];
    {
        std::shared_lock lock(shard.mu);
        auto it = shard.entries.find(key);
        if (it != shard.entries.end()) return it->second;
    }
    // Compiled outside the lock: two threads may compile the same text at once, the first to
    // insert wins and both get equal expressions.
    auto compiled = compileFresh(expression, flags, error);
    if (!compiled) return nullptr;
    std::unique_lock lock(shard.mu);
    if (shard.entries.size() >= kPerShard) shard.entries.clear();
    auto [it, inserted] = shard.entries.try_emplace(Key{key.flags, expression}, compiled);
    return it->second;
}

void LMRegexCache::setEnabled(bool enabled) { enabledFlag().store(enabled, std::memory_order_relaxed); }

bool LMRegexCache::isEnabled() { return enabledFlag().load(std::memory_order_relaxed); }

void LMRegexCache::clear() {
    for (Shard& s : shards()) {
        std::unique_lock lock(s.mu);
        s.entries.clear();
    }
}

size_t LMRegexCache::size() {
    size_t n = 0;
    for (Shard& s : shards()) {
        std::shared_lock lock(s.mu);
        n += s.entries.size();
    }
    return n;
}

std::shared_ptr<const boost::regex> compileRegex(const std::string& expression, LMRegexCache::Flags flags) {
    std::string error;
    auto re = LMRegexCache::get(expression, flags, error);
    if (!re) std::cout << "Error in regex creation " << error << std::endl;
    return re;
}

bool searchRegex(const std::string& text, const boost::regex& re, boost::smatch& m) {
    try {
        return boost::regex_search(text, m, re);
    } catch (const std::exception&) {
        return false;
    }
}

bool matchRegex(const std::string& text, const boost::regex& re, boost::smatch& m) {
    try {
        return boost::regex_match(text, m, re);
    } catch (const std::exception&) {
        return false;
    }
}

}
