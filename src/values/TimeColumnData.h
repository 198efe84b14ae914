#pragma once
// A time-of-day cell (a fixed time format or a custom pattern). The whole text must match the
// format's expression (case-sensitively), else the value stays all-zero.
#include <string>

#include "values/ColumnData.h"
#include "values/LMTime.h"

namespace LogMonitoring {

class LM_EXPORT TimeColumnData : public ColumnData {
public:
    // The custom format is read for type format 28 only; it may be null otherwise.
    TimeColumnData(TypeFormat typeFormat, std::string text, const char* customFormat);
    TimeColumnData(const TimeColumnData& other);

    bool operator==(const ColumnData& other) const override;
    bool operator<(const ColumnData& other) const override;
    ColumnData* clone() const override;

    const LMTime& getValue() const { return value_; }

private:
    LMTime value_;
};

}
