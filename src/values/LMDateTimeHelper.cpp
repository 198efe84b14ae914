#include "values/LMDateTimeHelper.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <shared_mutex>
#include <utility>

#include "values/LMRegexCache.h"

namespace LogMonitoring {

namespace {

struct SharedAnalyses {
    std::shared_mutex mu;
    std::map<std::pair<int, std::string>, FormatData, std::less<>> entries;
    std::atomic<bool> enabled{true};
};

SharedAnalyses& shared() {
    static SharedAnalyses s;
    return s;
}

}

void LMDateTimeHelper::setSharedCacheEnabled(bool enabled) { shared().enabled.store(enabled); }

bool LMDateTimeHelper::isSharedCacheEnabled() { return shared().enabled.load(std::memory_order_relaxed); }

void LMDateTimeHelper::clearSharedCache() {
    std::unique_lock lock(shared().mu);
    shared().entries.clear();
}

bool LMDateTimeHelper::findShared(Analyser analyser, const std::string& pattern, FormatData& out) {
    if (!isSharedCacheEnabled()) return false;
    SharedAnalyses& s = shared();
    std::shared_lock lock(s.mu);
    auto it = s.entries.find(std::make_pair(static_cast<int>(analyser), pattern));
    if (it == s.entries.end()) return false;
    out = it->second;
    return true;
}

void LMDateTimeHelper::storeShared(Analyser analyser, const std::string& pattern, const FormatData& data) {
    if (!isSharedCacheEnabled()) return;
    SharedAnalyses& s = shared();
    std::unique_lock lock(s.mu);
    // Patterns come from templates, a small set; a full cache is simply started afresh.
    if (s.entries.size() >= kSharedCapacity) s.entries.clear();
    s.entries.try_emplace(std::make_pair(static_cast<int>(analyser), pattern), data);
}

const FormatData* LMDateTimeHelper::getFormatData(const std::string& pattern) const {
    auto it = cache_.find(pattern);
    return it == cache_.end() ? nullptr : &it->second;
}

void LMDateTimeHelper::setFormatData(const std::string& pattern, const FormatData& data) {
    cache_.insert_or_assign(pattern, data);
}

void LMDateTimeHelper::buildExpression(const std::string& pattern, FormatData& data,
                                       const char* const* fieldExpressions) {
    std::stable_sort(data.fields.begin(), data.fields.end(),
                     [](const FormatParsedData& a, const FormatParsedData& b) { return a.first < b.first; });
    size_t next = 0; // first pattern position not yet copied or consumed by a field
    for (const FormatParsedData& f : data.fields) {
        // Fields of one pattern may overlap (an offset's hours are also the first "HH" of a
        // pattern that starts with the sign); there is then no text between them to copy.
        if (f.first > next) data.expression.append(pattern, next, f.first - next);
        data.expression += fieldExpressions[f.kind];
        next = std::max(next, f.last + 1);
    }
    data.groups = static_cast<int32_t>(data.fields.size());
}

bool searchPattern(const std::string& text, const std::string& expression, int group, size_t& first,
                   size_t& last) {
    auto re = compileRegex(expression, boost::regex::perl | boost::regex::icase);
    if (!re) return false;
    boost::smatch m;
    if (!searchRegex(text, *re, m)) return false;
    if (group < 0 || static_cast<size_t>(group) >= m.size() || !m[group].matched || m[group].length() == 0)
        return false;
    first = static_cast<size_t>(m.position(group));
    last = first + static_cast<size_t>(m.length(group)) - 1;
    return true;
}

void updateIndexParamOfDateFormat(size_t& spanFirst, size_t& spanLast, size_t& first, size_t& last) {
    if (last == 0) return;
    if (spanFirst == 0 && spanLast == 0) {
        spanFirst = first;
        spanLast = last;
    } else {
        if (first < spanFirst) spanFirst = first;
        if (last > spanLast) spanLast = last;
    }
    first = 0;
    last = 0;
}

}
