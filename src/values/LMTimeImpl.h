#pragma once
// Analyses a time-of-day pattern ("HH:MM:SS", "HH:MM AMPM", "HH:MM:SS.NNN", "HH:MM:SS+HH:MM", ...)
// and parses a text written in it. A plain object for one thread.
#include <cstdint>
#include <string>

#include "values/LMDateTimeHelper.h"

namespace LogMonitoring {

class LMTimeImpl : public LMDateTimeHelper {
public:
    // Field kinds of a time pattern.
    enum Kind : uint32_t {
        Hour = 0,
        Minute = 1,
        Second = 2,
        Fraction = 3,
        AmPm = 4,
        OffsetSign = 5,
        OffsetHours = 6,
        OffsetMinutes = 7,
        ZoneLetter = 8,
    };

    LMTimeImpl() = default;
    explicit LMTimeImpl(const std::string& pattern);
    LMTimeImpl(const std::string& text, const std::string& pattern);

    // The analysis of the pattern, from this object's cache when it was analysed before.
    FormatData populateFormat(const std::string& pattern);

    const std::string& getRegularExpression() const { return expression_; }
    int32_t getNumberOfSubString() const { return groups_; }
    uint32_t getHour() const { return hour_; }
    uint32_t getMinute() const { return minute_; }
    uint32_t getSecond() const { return second_; }
    // The fraction of a second as written ('5' is 5, '123' is 123).
    uint32_t getMiliSecond() const { return millisecond_; }

private:
    void parse(const std::string& text);
    void takeField(uint32_t kind, const std::string& value);

    std::string expression_;
    uint32_t hour_ = 0;
    uint32_t minute_ = 0;
    uint32_t second_ = 0;
    uint32_t millisecond_ = 0;
    int32_t groups_ = 0;
    FormatData analysis_;
};

}
