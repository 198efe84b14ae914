#include "DateMath.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace lmindexd {
namespace {

constexpr int64_t kMsPerDay = 86400000;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

unsigned daysInMonth(int64_t y, unsigned m) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

struct Civil {
    int64_t year;
    unsigned month, day;
    int64_t msOfDay;
};

Civil toCivil(int64_t ms) {
    int64_t days = ms / kMsPerDay;
    int64_t rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    Civil c{};
    civilFromDays(days, c.year, c.month, c.day);
    c.msOfDay = rest;
    return c;
}

int64_t fromCivil(const Civil& c) { return daysFromCivil(c.year, c.month, c.day) * kMsPerDay + c.msOfDay; }

// Reads one run of digits; false when there is none or it is absurdly long.
bool readNumber(std::string_view s, size_t& pos, int64_t& value, size_t maxDigits = 9) {
    const size_t start = pos;
    value = 0;
    while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
        if (pos - start >= maxDigits) return false;
        value = value * 10 + (s[pos] - '0');
        ++pos;
    }
    return pos > start;
}

bool expect(std::string_view s, size_t& pos, char c) {
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

enum class Unit { Year, Month, Day, Hour, Minute, Second, Milli, None };

Unit unitFrom(std::string_view word) {
    std::string w;
    for (char c : word) w.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (w.size() > 1 && w.back() == 'S') w.pop_back();
    if (w == "YEAR") return Unit::Year;
    if (w == "MONTH") return Unit::Month;
    if (w == "DAY" || w == "DATE") return Unit::Day;
    if (w == "HOUR") return Unit::Hour;
    if (w == "MINUTE") return Unit::Minute;
    if (w == "SECOND") return Unit::Second;
    if (w == "MILLI" || w == "MILLISECOND") return Unit::Milli;
    return Unit::None;
}

int64_t addUnits(int64_t ms, Unit unit, int64_t n) {
    switch (unit) {
    case Unit::Milli: return ms + n;
    case Unit::Second: return ms + n * 1000;
    case Unit::Minute: return ms + n * 60000;
    case Unit::Hour: return ms + n * 3600000;
    case Unit::Day: return ms + n * kMsPerDay;
    case Unit::Month:
    case Unit::Year: {
        Civil c = toCivil(ms);
        int64_t months = c.year * 12 + (c.month - 1) + (unit == Unit::Year ? n * 12 : n);
        int64_t y = months >= 0 ? months / 12 : (months - 11) / 12;
        c.year = y;
        c.month = static_cast<unsigned>(months - y * 12 + 1);
        c.day = std::min(c.day, daysInMonth(c.year, c.month));
        return fromCivil(c);
    }
    case Unit::None: break;
    }
    return ms;
}

int64_t roundDown(int64_t ms, Unit unit) {
    Civil c = toCivil(ms);
    switch (unit) {
    case Unit::Year: c.month = 1; c.day = 1; c.msOfDay = 0; break;
    case Unit::Month: c.day = 1; c.msOfDay = 0; break;
    case Unit::Day: c.msOfDay = 0; break;
    case Unit::Hour: c.msOfDay -= c.msOfDay % 3600000; break;
    case Unit::Minute: c.msOfDay -= c.msOfDay % 60000; break;
    case Unit::Second: c.msOfDay -= c.msOfDay % 1000; break;
    case Unit::Milli:
    case Unit::None: break;
    }
    return fromCivil(c);
}

// Parses the ISO part at the start of `s`; `pos` is left after it.
bool parseIsoPrefix(std::string_view s, size_t& pos, int64_t& ms) {
    int64_t y, mo, d, h, mi, sec;
    if (!readNumber(s, pos, y, 5) || !expect(s, pos, '-') || !readNumber(s, pos, mo, 2) ||
        !expect(s, pos, '-') || !readNumber(s, pos, d, 2) || !expect(s, pos, 'T') ||
        !readNumber(s, pos, h, 2) || !expect(s, pos, ':') || !readNumber(s, pos, mi, 2) ||
        !expect(s, pos, ':') || !readNumber(s, pos, sec, 2)) {
        return false;
    }
    int64_t frac = 0;
    if (expect(s, pos, '.')) {
        int64_t scale = 100;
        const size_t start = pos;
        while (pos < s.size() && std::isdigit(static_cast<unsigned char>(s[pos]))) {
            frac += (s[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start) return false;
    }
    if (!expect(s, pos, 'Z')) return false;
    if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, static_cast<unsigned>(mo)) || h > 23 ||
        mi > 59 || sec > 60) {
        return false;
    }
    ms = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * kMsPerDay +
         ((h * 60 + mi) * 60 + sec) * 1000 + frac;
    return true;
}

}  // namespace

bool parseIsoDate(std::string_view text, int64_t& epochMs) {
    size_t pos = 0;
    return parseIsoPrefix(text, pos, epochMs) && pos == text.size();
}

bool evalDateMath(std::string_view text, int64_t nowMs, int64_t& epochMs) {
    size_t pos = 0;
    int64_t ms = 0;
    if (text.substr(0, 3) == "NOW") {
        ms = nowMs;
        pos = 3;
    } else if (!parseIsoPrefix(text, pos, ms)) {
        return false;
    }
    while (pos < text.size()) {
        const char op = text[pos++];
        if (op != '+' && op != '-' && op != '/') return false;
        int64_t n = 1;
        if (op != '/' && !readNumber(text, pos, n, 12)) return false;
        const size_t start = pos;
        while (pos < text.size() && std::isalpha(static_cast<unsigned char>(text[pos]))) ++pos;
        const Unit unit = unitFrom(text.substr(start, pos - start));
        if (unit == Unit::None) return false;
        ms = op == '/' ? roundDown(ms, unit) : addUnits(ms, unit, op == '+' ? n : -n);
    }
    epochMs = ms;
    return true;
}

std::string formatIsoDate(int64_t epochMs) {
    const Civil c = toCivil(epochMs);
    const int64_t secs = c.msOfDay / 1000;
    const int64_t millis = c.msOfDay % 1000;
    char buf[64];
    if (millis != 0) {
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ",
                      static_cast<long long>(c.year), c.month, c.day,
                      static_cast<long long>(secs / 3600), static_cast<long long>(secs / 60 % 60),
                      static_cast<long long>(secs % 60), static_cast<long long>(millis));
    } else {
        std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                      static_cast<long long>(c.year), c.month, c.day,
                      static_cast<long long>(secs / 3600), static_cast<long long>(secs / 60 % 60),
                      static_cast<long long>(secs % 60));
    }
    return buf;
}

int64_t nowEpochMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}
