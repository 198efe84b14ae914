#pragma once
// A date cell (a fixed date format or a custom pattern, which may carry a time of day). Dates
// compare by day, month and year; the time of day is ignored. The whole text must match the
// format's expression (case-sensitively), else the value stays all-zero.
#include <string>

#include "values/ColumnData.h"
#include "values/LMDate.h"

namespace LogMonitoring {

class LM_EXPORT DateColumnData : public ColumnData {
public:
    // The custom format is read for type format 28 only; it may be null otherwise.
    DateColumnData(TypeFormat typeFormat, std::string text, const char* customFormat);
    DateColumnData(const DateColumnData& other);

    bool operator==(const ColumnData& other) const override;
    bool operator<(const ColumnData& other) const override;
    ColumnData* clone() const override;

    const LMDate& getValue() const { return value_; }

private:
    LMDate value_;
};

}
