#include "values/LMTime.h"

#include <tuple>

#include "values/LMTimeImpl.h"

namespace LogMonitoring {

LMTime::LMTime(uint32_t hour, uint32_t minute, uint32_t second, uint32_t millisecond)
    : hour_(hour), minute_(minute), second_(second), millisecond_(millisecond) {}

LMTime::LMTime(const std::string& text, const std::string& pattern) {
    LMTimeImpl parsed(text, pattern);
    hour_ = parsed.getHour();
    minute_ = parsed.getMinute();
    second_ = parsed.getSecond();
    millisecond_ = parsed.getMiliSecond();
}

bool LMTime::operator<(const LMTime& other) const {
    return std::tie(hour_, minute_, second_, millisecond_) <
           std::tie(other.hour_, other.minute_, other.second_, other.millisecond_);
}

bool LMTime::operator==(const LMTime& other) const {
    return hour_ == other.hour_ && minute_ == other.minute_ && second_ == other.second_ &&
           millisecond_ == other.millisecond_;
}

}
