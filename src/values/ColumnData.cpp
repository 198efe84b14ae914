#include "values/ColumnData.h"

#include "values/LMRegexCache.h"

namespace LogMonitoring {

ColumnData::ColumnData(DataType dataType, TypeFormat typeFormat, std::string text)
    : text_(std::move(text)), dataType_(dataType), typeFormat_(typeFormat) {}

ColumnData::ColumnData(const ColumnData& other)
    : text_(other.text_),
      dataType_(other.dataType_),
      typeFormat_(other.typeFormat_),
      regEx_(other.regEx_),
      caseSensitive_(other.caseSensitive_),
      inclusive_(other.inclusive_),
      matchWholeWord_(other.matchWholeWord_) {}

ColumnData::~ColumnData() = default;

bool ColumnData::operator==(const ColumnData&) const { return false; }

bool ColumnData::operator!=(const ColumnData& other) const { return !(*this == other); }

bool ColumnData::operator<(const ColumnData&) const { return false; }

bool ColumnData::operator>(const ColumnData& other) const { return !(*this < other) && !(*this == other); }

bool ColumnData::operator<=(const ColumnData& other) const { return !(*this > other); }

bool ColumnData::operator>=(const ColumnData& other) const { return !(*this < other); }

bool ColumnData::contains(const ColumnData&) const { return false; }

bool ColumnData::doesNotContain(const ColumnData&) const { return false; }

bool ColumnData::between(const ColumnData& low, const ColumnData& high) const {
    if (high.isInclusive()) return *this >= low && *this <= high;
    return *this > low && *this < high;
}

size_t ColumnData::positionMatchedFrom() const { return matchedFrom_; }

size_t ColumnData::positionMatchedTo() const { return matchedTo_; }

bool ColumnData::sameType(const ColumnData& other) const {
    return dataType_ == other.dataType_ && typeFormat_ == other.typeFormat_;
}

void ColumnData::resetMatchedSpan() const {
    matchedFrom_ = 0;
    matchedTo_ = text_.size();
}

void ColumnData::setMatchedSpan(size_t from, size_t length) const {
    matchedFrom_ = from;
    matchedTo_ = length > 0 ? from + length - 1 : from;
}

bool ColumnData::textEquals(const ColumnData& other) const {
    resetMatchedSpan();
    LMRegexCache::Flags flags = other.isRegEx() ? boost::regex::perl : boost::regex::literal;
    if (!other.isCaseSensitive()) flags |= boost::regex::icase;
    auto re = compileRegex(other.getDataAsString(), flags);
    if (!re) return false;
    boost::smatch m;
    if (!matchRegex(text_, *re, m)) return false;
    setMatchedSpan(static_cast<size_t>(m[0].first - text_.begin()), static_cast<size_t>(m[0].length()));
    return true;
}

}
