#pragma once
// A whole number cell (decimal, hexadecimal, binary, epoch seconds). Its data type is always
// Number; the type format is the column's. Formats without a conversion keep the value 0.
#include <cstdint>
#include <string>

#include "values/ColumnData.h"

namespace LogMonitoring {

class LM_EXPORT IntColumnData : public ColumnData {
public:
    IntColumnData(TypeFormat typeFormat, std::string text, bool useThousandSeparator);
    IntColumnData(const IntColumnData& other);

    bool operator==(const ColumnData& other) const override;
    bool operator<(const ColumnData& other) const override;
    ColumnData* clone() const override;

    int32_t getValue() const { return value_; }
    bool isUseThousandSeparatorSet() const { return useThousandSeparator_; }

private:
    int32_t value_ = 0;
    bool useThousandSeparator_;
};

}
