#pragma once
// A parsed time of day. The millisecond is the fraction of a second as written.
#include <cstdint>
#include <string>

#include "LMExport.h"

namespace LogMonitoring {

class LM_EXPORT LMTime {
public:
    LMTime() = default;
    LMTime(uint32_t hour, uint32_t minute, uint32_t second, uint32_t millisecond);
    // Parses the text with the pattern; fields the text does not give stay 0.
    LMTime(const std::string& text, const std::string& pattern);

    uint32_t getHour() const { return hour_; }
    uint32_t getMinute() const { return minute_; }
    uint32_t getSecond() const { return second_; }
    uint32_t getMiliSecond() const { return millisecond_; }

    bool operator<(const LMTime& other) const;
    bool operator==(const LMTime& other) const;

private:
    uint32_t hour_ = 0;
    uint32_t minute_ = 0;
    uint32_t second_ = 0;
    uint32_t millisecond_ = 0;
};

}
