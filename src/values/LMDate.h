#pragma once
// A parsed date, with the time of day when its pattern had one. Dates compare by year, month
// and day only. The year is kept as written: a two-digit year stays two-digit.
#include <cstdint>
#include <string>

#include "LMExport.h"

namespace LogMonitoring {

class LM_EXPORT LMDate {
public:
    LMDate() = default;
    LMDate(uint32_t day, uint32_t month, uint32_t year);
    // Parses the text with the pattern; fields the text does not give stay 0.
    LMDate(const std::string& text, const std::string& pattern);

    uint32_t getDay() const { return day_; }
    uint32_t getMonth() const { return month_; }
    uint32_t getYear() const { return year_; }
    uint32_t getHour() const { return hour_; }
    uint32_t getMinute() const { return minute_; }
    uint32_t getSecond() const { return second_; }
    uint32_t getMiliSecond() const { return millisecond_; }

    bool operator<(const LMDate& other) const;
    bool operator==(const LMDate& other) const;

private:
    uint32_t day_ = 0;
    uint32_t month_ = 0;
    uint32_t year_ = 0;
    uint32_t hour_ = 0;
    uint32_t minute_ = 0;
    uint32_t second_ = 0;
    uint32_t millisecond_ = 0;
};

}
