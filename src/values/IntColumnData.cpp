#include "values/IntColumnData.h"

#include <cstdlib>

#include "values/LMRegexCache.h"
#include "values/NumericConversion.h"
#include "values/RegExGenerator.h"

namespace LogMonitoring {

namespace {

bool hasConversion(TypeFormat format) {
    return format == Decimal || format == EpochSeconds || format == Hexadecimal || format == Binary;
}

int32_t convert(TypeFormat format, const std::string& digits, bool useThousandSeparator) {
    switch (format) {
    case Hexadecimal: return atoh(digits.c_str());
    case Binary: return atob(digits.c_str());
    default:
        return useThousandSeparator ? atoiWithThousandSeparator(digits.c_str()) : std::atoi(digits.c_str());
    }
}

}

IntColumnData::IntColumnData(TypeFormat typeFormat, std::string text, bool useThousandSeparator)
    : ColumnData(Number, typeFormat, std::move(text)), useThousandSeparator_(useThousandSeparator) {
    // Formats without a conversion keep 0 whatever their expression finds, so they skip it.
    if (getDataAsString().empty() || !hasConversion(typeFormat)) return;
    RegExGenerator generator(Number, typeFormat);
    generator.setUseThousandSepartor(useThousandSeparator);
    auto re = compileRegex(generator.getRegularExpression(), boost::regex::perl);
    if (!re) return;
    boost::smatch m;
    if (!searchRegex(getDataAsString(), *re, m)) return;
    value_ = convert(typeFormat, m[0].str(), useThousandSeparator);
}

IntColumnData::IntColumnData(const IntColumnData& other)
    : ColumnData(other), value_(other.value_), useThousandSeparator_(other.useThousandSeparator_) {}

bool IntColumnData::operator==(const ColumnData& other) const {
    if (!sameType(other)) return false;
    if (other.isRegEx()) return textEquals(other);
    const auto* o = dynamic_cast<const IntColumnData*>(&other);
    return o && value_ == o->value_;
}

bool IntColumnData::operator<(const ColumnData& other) const {
    if (!sameType(other)) return false;
    const auto* o = dynamic_cast<const IntColumnData*>(&other);
    return o && value_ < o->value_;
}

ColumnData* IntColumnData::clone() const { return new IntColumnData(*this); }

}
