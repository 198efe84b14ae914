#include "values/LMTimeImpl.h"

#include <cstdlib>

#include "values/LMRegexCache.h"

namespace LogMonitoring {

namespace {

// Expression of each field kind, indexed by kind.
const char* const kTimeFieldExpressions[] = {
    "([0-2]?[0-9])",                 // hour
    "([0-5]?[0-9])",                 // minute
    "([0-5]?[0-9])",                 // second
    "([0-9Zz]*)",                    // fraction
    "([aApP][.]?[mM][.]?)",          // AM/PM
    "([+-]?)",                       // offset sign
    "([0-2]?[0-9])",                 // offset hours
    "([0-5]?[0-9])",                 // offset minutes
    "([+-][0-9]*s|[0-9]*s)",         // zone letter
};

struct TimeSearch {
    uint32_t kind;
    const char* finder;
};

// In search order. The letter-class searches find the first occurrence of their letters; the
// AM/PM and offset searches find the last.
const TimeSearch kPlainSearches[] = {
    {LMTimeImpl::Hour, "[^H]*(HH)[^H]*"},
    {LMTimeImpl::Minute, "[^M]*(MM)[^M]*"},
    {LMTimeImpl::Second, "[^S]*(SS)[^S]*"},
    {LMTimeImpl::Fraction, "[^N]*([N]+)[^N]*"},
    {LMTimeImpl::AmPm, ".*(AMPM)"},
    {LMTimeImpl::ZoneLetter, "[^Z]*(Z)[^Z]*"},
};

const TimeSearch kOffsetSearches[] = {
    {LMTimeImpl::OffsetHours, ".*[+-]+(HH).?(MM)"},
    {LMTimeImpl::OffsetMinutes, ".*[+-]+HH.?(MM)"},
};

bool findField(const std::string& pattern, const TimeSearch& s, FormatData& data) {
    size_t first = 0, last = 0;
    if (!searchPattern(pattern, s.finder, 1, first, last)) return false;
    data.fields.push_back({s.kind, first, last});
    return true;
}

}

LMTimeImpl::LMTimeImpl(const std::string& pattern) {
    analysis_ = populateFormat(pattern);
    expression_ = analysis_.expression;
    groups_ = analysis_.groups;
}

LMTimeImpl::LMTimeImpl(const std::string& text, const std::string& pattern) : LMTimeImpl(pattern) {
    parse(text);
}

FormatData LMTimeImpl::populateFormat(const std::string& pattern) {
    if (const FormatData* cached = getFormatData(pattern)) return *cached;
    FormatData data;
    if (!findShared(Analyser::Time, pattern, data)) {
        for (const TimeSearch& s : kPlainSearches) findField(pattern, s, data);
        if (findField(pattern, {OffsetSign, ".*([-+]+)HH.?MM"}, data)) {
            for (const TimeSearch& s : kOffsetSearches) findField(pattern, s, data);
        }
        buildExpression(pattern, data, kTimeFieldExpressions);
        storeShared(Analyser::Time, pattern, data);
    }
    setFormatData(pattern, data);
    return data;
}

void LMTimeImpl::parse(const std::string& text) {
    auto re = compileRegex(expression_, boost::regex::perl | boost::regex::icase);
    if (!re) return;
    boost::smatch m;
    if (!searchRegex(text, *re, m)) return;
    for (size_t i = 0; i < analysis_.fields.size() && i + 1 < m.size(); ++i) {
        if (!m[i + 1].matched || m[i + 1].length() == 0) continue;
        takeField(analysis_.fields[i].kind, m[i + 1].str());
    }
}

void LMTimeImpl::takeField(uint32_t kind, const std::string& value) {
    switch (kind) {
    case Hour: hour_ = static_cast<uint32_t>(std::atoi(value.c_str())); break;
    case Minute: minute_ = static_cast<uint32_t>(std::atoi(value.c_str())); break;
    case Second: second_ = static_cast<uint32_t>(std::atoi(value.c_str())); break;
    case Fraction: millisecond_ = static_cast<uint32_t>(std::atoi(value.c_str())); break;
    case AmPm:
        if ((value[0] == 'P' || value[0] == 'p') && hour_ <= 11) hour_ += 12;
        else if ((value[0] == 'A' || value[0] == 'a') && hour_ == 12) hour_ = 0;
        break;
    default: break; // the zone is recognised but the written local time is kept
    }
}

}
