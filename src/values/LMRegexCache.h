#pragma once
// Compiled regular expressions shared by the whole process.
//
// Every typed cell of every log line builds the expression of its column and compiles it; the
// texts of those expressions come from a small set (one per column format and pattern), so the
// compiled forms are kept here, keyed by expression text and syntax flags, and handed out as
// shared, immutable objects. A compiled boost::regex may be used by many threads at once; the
// match results live with each caller. A lookup gives exactly what a fresh compilation would
// give, including a failure (which is not kept: a broken expression is compiled, and reported,
// again each time, as it would be without the cache).
//
// Thread-safe. The cache is bounded: a shard that grows past its share is emptied before the next
// insertion, which only costs recompilations (entries still in use stay alive with their users).
#include <cstddef>
#include <memory>
#include <string>

#include <boost/regex.hpp>

#include "LMExport.h"

namespace LogMonitoring {

class LM_EXPORT LMRegexCache {
public:
    using Flags = boost::regex_constants::syntax_option_type;

    // The compiled expression, or null when the library rejects it; then `error` holds the
    // library's message (it is left alone on success).
    static std::shared_ptr<const boost::regex> get(const std::string& expression, Flags flags,
                                                   std::string& error);

    // Turning the cache off makes every request compile anew (benchmarks compare the two).
    static void setEnabled(bool enabled);
    static bool isEnabled();
    static void clear();
    static size_t size();
    // Entries kept at most, over all shards.
    static constexpr size_t kCapacity = 4096;
};

// Compiles through the cache; on failure writes "Error in regex creation " and the library's
// message to the standard output and returns null.
LM_EXPORT std::shared_ptr<const boost::regex> compileRegex(const std::string& expression,
                                                          LMRegexCache::Flags flags);

// Search and whole-text match that never throw: a match the library gives up on (too complex)
// counts as no match.
LM_EXPORT bool searchRegex(const std::string& text, const boost::regex& re, boost::smatch& m);
LM_EXPORT bool matchRegex(const std::string& text, const boost::regex& re, boost::smatch& m);

}
