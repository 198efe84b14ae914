#include "values/TimeColumnData.h"

#include "values/LMRegexCache.h"
#include "values/RegExGenerator.h"

namespace LogMonitoring {

TimeColumnData::TimeColumnData(TypeFormat typeFormat, std::string text, const char* customFormat)
    : ColumnData(Time, typeFormat, std::move(text)) {
    if (getDataAsString().empty()) return;
    RegExGenerator generator(Time, typeFormat);
    auto re = compileRegex(generator.getRegularExpression(customFormat), boost::regex::perl);
    if (!re) return;
    boost::smatch m;
    if (!matchRegex(getDataAsString(), *re, m)) return;
    value_ = LMTime(getDataAsString(), convertFormatTypeToPatternType(typeFormat, customFormat));
}

TimeColumnData::TimeColumnData(const TimeColumnData& other) : ColumnData(other), value_(other.value_) {}

bool TimeColumnData::operator==(const ColumnData& other) const {
    if (!sameType(other)) return false;
    const auto* o = dynamic_cast<const TimeColumnData*>(&other);
    return o && value_ == o->value_;
}

bool TimeColumnData::operator<(const ColumnData& other) const {
    if (!sameType(other)) return false;
    const auto* o = dynamic_cast<const TimeColumnData*>(&other);
    return o && value_ < o->value_;
}

ColumnData* TimeColumnData::clone() const { return new TimeColumnData(*this); }

}
