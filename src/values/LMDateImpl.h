#pragma once
// Analyses a date pattern ("DD-MM-YYYY", "MMM\s+DD", "DD-MMM-YYYY HH:MM:SS", ...) and parses a
// text written in it. A pattern may carry a time of day after the date and one separator
// character; that part is analysed and parsed by LMTimeImpl. A plain object for one thread.
#include <cstddef>
#include <cstdint>
#include <string>

#include "values/LMDateTimeHelper.h"

namespace LogMonitoring {

class LMDateImpl : public LMDateTimeHelper {
public:
    // Field kinds of a date pattern.
    enum Kind : uint32_t {
        Day = 0,
        MonthNumber = 1,
        MonthName = 2,
        ShortYear = 3,
        LongYear = 4,
    };

    explicit LMDateImpl(const std::string& pattern);
    LMDateImpl(const std::string& text, const std::string& pattern);

    // The analysis of the date fields of the pattern (from this object's cache when it was
    // analysed before); also sets the date length.
    FormatData populateFormat(const std::string& pattern);

    const std::string& getRegularExpression() const { return expression_; }
    int32_t getNumberOfSubString() const { return groups_; }
    // Pattern characters from the first date field to the last, both included (0 without date
    // fields).
    size_t getDateLength() const { return dateLength_; }
    uint32_t getDay() const { return day_; }
    uint32_t getMonth() const { return month_; }
    uint32_t getYear() const { return year_; }
    uint32_t getHour() const { return hour_; }
    uint32_t getMinute() const { return minute_; }
    uint32_t getSecond() const { return second_; }
    uint32_t getMiliSecond() const { return millisecond_; }

private:
    void analyseDate(const std::string& pattern);
    // The time part of the pattern (after the date and its separator), empty when there is none.
    std::string timePattern(const std::string& pattern) const;
    void appendTime(const std::string& timePattern);
    // Parses the date fields; returns where the date's match ends in the text, or npos when the
    // text holds no date.
    size_t parseDate(const std::string& text);
    void takeField(uint32_t kind, const std::string& value);

    std::string expression_;
    uint32_t day_ = 0;
    uint32_t month_ = 0;
    uint32_t year_ = 0;
    int32_t groups_ = 0;
    uint32_t hour_ = 0;
    uint32_t minute_ = 0;
    uint32_t second_ = 0;
    uint32_t millisecond_ = 0;
    size_t dateLength_ = 0;
    FormatData analysis_;
};

}
