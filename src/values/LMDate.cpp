#include "values/LMDate.h"

#include <tuple>

#include "values/LMDateImpl.h"

namespace LogMonitoring {

LMDate::LMDate(uint32_t day, uint32_t month, uint32_t year) : day_(day), month_(month), year_(year) {}

LMDate::LMDate(const std::string& text, const std::string& pattern) {
    LMDateImpl parsed(text, pattern);
    day_ = parsed.getDay();
    month_ = parsed.getMonth();
    year_ = parsed.getYear();
    hour_ = parsed.getHour();
    minute_ = parsed.getMinute();
    second_ = parsed.getSecond();
    millisecond_ = parsed.getMiliSecond();
}

bool LMDate::operator<(const LMDate& other) const {
    return std::tie(year_, month_, day_) < std::tie(other.year_, other.month_, other.day_);
}

bool LMDate::operator==(const LMDate& other) const {
    return day_ == other.day_ && month_ == other.month_ && year_ == other.year_;
}

}
