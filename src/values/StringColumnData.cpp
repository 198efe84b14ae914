#include "values/StringColumnData.h"

#include "values/LMRegexCache.h"

namespace LogMonitoring {

StringColumnData::StringColumnData(TypeFormat typeFormat, std::string text)
    : ColumnData(String, typeFormat, std::move(text)) {}

StringColumnData::StringColumnData(const StringColumnData& other) : ColumnData(other) {}

bool StringColumnData::operator==(const ColumnData& other) const {
    resetMatchedSpan();
    if (!sameType(other)) return false;
    return textEquals(other);
}

bool StringColumnData::operator<(const ColumnData& other) const {
    resetMatchedSpan();
    if (!sameType(other)) return false;
    return getDataAsString() < other.getDataAsString();
}

bool StringColumnData::contains(const ColumnData& other) const {
    resetMatchedSpan();
    if (!sameType(other)) return false;
    // A whole-word operand is always read as an expression, inside the word boundaries.
    const bool wholeWord = other.isMatchWholeWord();
    const std::string pattern = wholeWord ? "\\b(" + other.getDataAsString() + ")\\b" : other.getDataAsString();
    LMRegexCache::Flags flags = other.isRegEx() || wholeWord ? boost::regex::perl : boost::regex::literal;
    if (!other.isCaseSensitive()) flags |= boost::regex::icase;
    auto re = compileRegex(pattern, flags);
    if (!re) return false;
    boost::smatch m;
    if (!searchRegex(getDataAsString(), *re, m)) return false;
    setMatchedSpan(static_cast<size_t>(m[0].first - getDataAsString().begin()), static_cast<size_t>(m[0].length()));
    return true;
}

bool StringColumnData::doesNotContain(const ColumnData& other) const {
    resetMatchedSpan();
    return !contains(other);
}

ColumnData* StringColumnData::clone() const { return new StringColumnData(*this); }

}
