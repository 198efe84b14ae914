#pragma once
// Analysis of date and time patterns such as "DD-MMM-YYYY" or "HH:MM:SS AMPM": the fields found
// in a pattern, the expression that recognises a matching text, and the per-analyser cache of
// analysed patterns shared by the date and time analysers.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace LogMonitoring {

// One field of a pattern: its kind (the meaning depends on the analyser) and its first and last
// position in the pattern, both inclusive.
struct FormatParsedData {
    uint32_t kind = 0;
    size_t first = 0;
    size_t last = 0;
};

// The analysis of one pattern: the recognising expression, its number of capture groups (one per
// field) and the fields in the order they stand in the pattern.
struct FormatData {
    std::string expression;
    int32_t groups = 0;
    std::vector<FormatParsedData> fields;
};

// Patterns analysed by one analyser object. Not thread-safe; the cache lives with the object.
//
// Typed values build a new analyser for every cell, so every cell would analyse its column's
// pattern again; analyses are therefore also kept process-wide (thread-safe, bounded, keyed by
// analyser and pattern). An analysis depends on the pattern alone, so the shared copy is exactly
// what a fresh analysis gives.
class LMDateTimeHelper {
public:
    // The cached analysis of the pattern, or null.
    const FormatData* getFormatData(const std::string& pattern) const;
    void setFormatData(const std::string& pattern, const FormatData& data);

    // The process-wide analyses (on by default; benchmarks compare the two).
    static void setSharedCacheEnabled(bool enabled);
    static bool isSharedCacheEnabled();
    static void clearSharedCache();
    static constexpr size_t kSharedCapacity = 1024;

protected:
    enum class Analyser { Date, Time };
    // The process-wide analysis of the pattern by this analyser, when there is one.
    static bool findShared(Analyser analyser, const std::string& pattern, FormatData& out);
    static void storeShared(Analyser analyser, const std::string& pattern, const FormatData& data);

    // Appends to `data` the expression built from the pattern and its sorted fields: the text
    // before and between fields is copied unchanged (it acts as expression syntax), each field
    // contributes its own expression, text after the last field is dropped.
    static void buildExpression(const std::string& pattern, FormatData& data,
                                const char* const* fieldExpressions);

private:
    std::map<std::string, FormatData> cache_;
};

// Searches the text case-insensitively; when the match has a non-empty capture group `group`,
// stores its first and last position (inclusive) and returns true. Otherwise first and last are
// left as they are.
bool searchPattern(const std::string& text, const std::string& expression, int group, size_t& first,
                   size_t& last);

// Widens the span (spanFirst, spanLast) by the found field (first, last), then resets first and
// last to 0 for the next search. A field with last 0 was not found and changes nothing.
void updateIndexParamOfDateFormat(size_t& spanFirst, size_t& spanLast, size_t& first, size_t& last);

}
