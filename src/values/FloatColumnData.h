#pragma once
// A floating-point cell with a fixed number of decimal places, or fractional epoch seconds. Its
// data type is always Number. Values within the double epsilon of each other (an absolute bound)
// are equal.
#include <string>

#include "values/ColumnData.h"

namespace LogMonitoring {

class LM_EXPORT FloatColumnData : public ColumnData {
public:
    FloatColumnData(TypeFormat typeFormat, std::string text, int decimalPlaces, bool useThousandSeparator);
    FloatColumnData(const FloatColumnData& other);

    bool operator==(const ColumnData& other) const override;
    bool operator<(const ColumnData& other) const override;
    ColumnData* clone() const override;

    double getValue() const { return value_; }
    bool isUseThousandSeparatorSet() const { return useThousandSeparator_; }
    int getDecimalPlaces() const { return decimalPlaces_; }

private:
    double value_ = 0;
    bool useThousandSeparator_;
    int decimalPlaces_;
};

}
