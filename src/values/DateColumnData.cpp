#include "values/DateColumnData.h"

#include "values/LMRegexCache.h"
#include "values/RegExGenerator.h"

namespace LogMonitoring {

DateColumnData::DateColumnData(TypeFormat typeFormat, std::string text, const char* customFormat)
    : ColumnData(Date, typeFormat, std::move(text)) {
    if (getDataAsString().empty()) return;
    RegExGenerator generator(Date, typeFormat);
    auto re = compileRegex(generator.getRegularExpression(customFormat), boost::regex::perl);
    if (!re) return;
    boost::smatch m;
    if (!matchRegex(getDataAsString(), *re, m)) return;
    value_ = LMDate(getDataAsString(), convertFormatTypeToPatternType(typeFormat, customFormat));
}

DateColumnData::DateColumnData(const DateColumnData& other) : ColumnData(other), value_(other.value_) {}

bool DateColumnData::operator==(const ColumnData& other) const {
    if (!sameType(other)) return false;
    const auto* o = dynamic_cast<const DateColumnData*>(&other);
    return o && value_ == o->value_;
}

bool DateColumnData::operator<(const ColumnData& other) const {
    if (!sameType(other)) return false;
    const auto* o = dynamic_cast<const DateColumnData*>(&other);
    return o && value_ < o->value_;
}

ColumnData* DateColumnData::clone() const { return new DateColumnData(*this); }

}
