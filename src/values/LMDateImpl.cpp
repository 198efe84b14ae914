#include "values/LMDateImpl.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "values/LMRegexCache.h"
#include "values/LMTimeImpl.h"

namespace LogMonitoring {

namespace {

// Expression of each field kind, indexed by kind. The long month names come first so that the
// alternation takes "January" whole rather than stopping at "Jan".
const char* const kDateFieldExpressions[] = {
    "([12][0-9]|[3][01]|0?[1-9])",
    "(1[0-2]|0?[1-9])",
    "(January|February|March|April|May|June|July|August|September|October|November|December|"
    "Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)",
    "([0-9][0-9])",
    "([0-9][0-9][0-9][0-9])",
};

const char* const kShortMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                    "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const kLongMonths[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                   "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};

// 1 to 12, or 0 when the text names no month.
uint32_t monthFromName(const std::string& name) {
    for (const auto* list : {kShortMonths, kLongMonths}) {
        for (uint32_t i = 0; i < 12; ++i) {
            if (strcasecmp(name.c_str(), list[i]) == 0) return i + 1;
        }
    }
    return 0;
}

// Searches one field and records it when found.
bool findField(const std::string& pattern, uint32_t kind, const char* finder, FormatData& data) {
    size_t first = 0, last = 0;
    if (!searchPattern(pattern, finder, 1, first, last)) return false;
    data.fields.push_back({kind, first, last});
    return true;
}

// Pattern characters from the first date field to the last, both included.
size_t dateLengthOf(const FormatData& data) {
    size_t spanFirst = 0, spanLast = 0;
    for (FormatParsedData f : data.fields) updateIndexParamOfDateFormat(spanFirst, spanLast, f.first, f.last);
    return spanLast > spanFirst ? spanLast - spanFirst + 1 : 0;
}

}

LMDateImpl::LMDateImpl(const std::string& pattern) {
    analyseDate(pattern);
    appendTime(timePattern(pattern));
}

LMDateImpl::LMDateImpl(const std::string& text, const std::string& pattern) {
    analyseDate(pattern);
    size_t dateEnd = parseDate(text);
    std::string timePart = timePattern(pattern);
    if (timePart.empty()) return;
    appendTime(timePart);
    if (dateEnd == std::string::npos) return;
    // The time stands right after the matched date and its one separator character.
    size_t from = std::min(dateEnd + 1, text.size());
    LMTimeImpl time(text.substr(from), timePart);
    hour_ = time.getHour();
    minute_ = time.getMinute();
    second_ = time.getSecond();
    millisecond_ = time.getMiliSecond();
}

FormatData LMDateImpl::populateFormat(const std::string& pattern) {
    FormatData data;
    if (const FormatData* cached = getFormatData(pattern)) {
        data = *cached;
    } else if (!findShared(Analyser::Date, pattern, data)) {
        if (!findField(pattern, MonthName, "[^M]*(MMM)[^M]*", data))
            findField(pattern, MonthNumber, "[^M]*(MM)[^M]*", data);
        findField(pattern, Day, "[^D]*(DD)[^D]*", data);
        if (!findField(pattern, LongYear, "[^Y]*(YYYY)[^Y]*", data))
            findField(pattern, ShortYear, "[^Y]*(YY)[^Y]*", data);
        buildExpression(pattern, data, kDateFieldExpressions);
        storeShared(Analyser::Date, pattern, data);
    }
    if (!getFormatData(pattern)) setFormatData(pattern, data);
    // The date length belongs to the pattern, so it is taken from its fields however the
    // analysis was obtained.
    dateLength_ = dateLengthOf(data);
    return data;
}

void LMDateImpl::analyseDate(const std::string& pattern) {
    analysis_ = populateFormat(pattern);
    expression_ = analysis_.expression;
    groups_ = analysis_.groups;
}

std::string LMDateImpl::timePattern(const std::string& pattern) const {
    if (pattern.size() <= dateLength_ + 1) return std::string();
    return pattern.substr(dateLength_ + 1);
}

void LMDateImpl::appendTime(const std::string& timePattern) {
    if (timePattern.empty()) return;
    LMTimeImpl time(timePattern);
    expression_ += "(.?)";
    expression_ += time.getRegularExpression();
    groups_ += time.getNumberOfSubString() + 1;
}

size_t LMDateImpl::parseDate(const std::string& text) {
    auto re = compileRegex(expression_, boost::regex::perl | boost::regex::icase);
    if (!re) return std::string::npos;
    boost::smatch m;
    if (!searchRegex(text, *re, m)) return std::string::npos;
    for (size_t i = 0; i < analysis_.fields.size() && i + 1 < m.size(); ++i) {
        if (!m[i + 1].matched || m[i + 1].length() == 0) continue;
        takeField(analysis_.fields[i].kind, m[i + 1].str());
    }
    return static_cast<size_t>(m[0].second - text.begin());
}

void LMDateImpl::takeField(uint32_t kind, const std::string& value) {
    switch (kind) {
    case Day: day_ = static_cast<uint32_t>(std::atoi(value.c_str())); break;
    case MonthNumber: month_ = static_cast<uint32_t>(std::atoi(value.c_str())); break;
    case MonthName:
        if (uint32_t month = monthFromName(value)) month_ = month;
        break;
    default: year_ = static_cast<uint32_t>(std::atoi(value.c_str())); break;
    }
}

}
