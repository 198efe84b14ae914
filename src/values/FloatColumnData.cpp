#include "values/FloatColumnData.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "values/LMRegexCache.h"
#include "values/NumericConversion.h"
#include "values/RegExGenerator.h"

namespace LogMonitoring {

FloatColumnData::FloatColumnData(TypeFormat typeFormat, std::string text, int decimalPlaces,
                                 bool useThousandSeparator)
    : ColumnData(Number, typeFormat, std::move(text)),
      useThousandSeparator_(useThousandSeparator),
      decimalPlaces_(decimalPlaces) {
    if (getDataAsString().empty()) return;
    RegExGenerator generator(Number, typeFormat);
    generator.setUseThousandSepartor(useThousandSeparator);
    generator.setNumberDecimalPlaces(decimalPlaces);
    auto re = compileRegex(generator.getRegularExpression(), boost::regex::perl);
    if (!re) return;
    boost::smatch m;
    if (!searchRegex(getDataAsString(), *re, m)) return;
    const std::string digits = m[0].str();
    value_ = useThousandSeparator ? atofWithThousandSeparator(digits.c_str()) : std::atof(digits.c_str());
}

FloatColumnData::FloatColumnData(const FloatColumnData& other)
    : ColumnData(other),
      value_(other.value_),
      useThousandSeparator_(other.useThousandSeparator_),
      decimalPlaces_(other.decimalPlaces_) {}

bool FloatColumnData::operator==(const ColumnData& other) const {
    if (!sameType(other)) return false;
    if (other.isRegEx()) return textEquals(other);
    const auto* o = dynamic_cast<const FloatColumnData*>(&other);
    return o && std::fabs(value_ - o->value_) < DBL_EPSILON;
}

bool FloatColumnData::operator<(const ColumnData& other) const {
    if (!sameType(other)) return false;
    const auto* o = dynamic_cast<const FloatColumnData*>(&other);
    return o && value_ < o->value_ && std::fabs(value_ - o->value_) >= DBL_EPSILON;
}

ColumnData* FloatColumnData::clone() const { return new FloatColumnData(*this); }

}
