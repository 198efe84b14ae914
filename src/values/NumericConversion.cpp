#include "values/NumericConversion.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace LogMonitoring {

namespace {

std::string withoutCommas(const char* s) {
    std::string out;
    out.reserve(std::strlen(s));
    for (; *s; ++s) {
        if (*s != ',') out.push_back(*s);
    }
    return out;
}

uint32_t hexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint32_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint32_t>(c - 'a' + 10);
    return 0;
}

}

int atoh(const char* s) {
    if (!s || !*s) return 0;
    bool negative = false;
    if (*s == '-') {
        negative = true;
        ++s;
    } else if (*s == '+') {
        ++s;
    }
    if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s += 2;
    uint32_t sum = 0, weight = 1;
    for (size_t i = std::strlen(s); i > 0; --i) {
        sum += hexDigit(s[i - 1]) * weight;
        weight *= 16;
    }
    return static_cast<int>(negative ? 0u - sum : sum);
}

int atob(const char* s) {
    if (!s || !*s) return 0;
    if (*s == 'b' || *s == 'B') ++s;
    uint32_t sum = 0, weight = 1;
    for (size_t i = std::strlen(s); i > 0; --i) {
        sum += static_cast<uint32_t>(s[i - 1] - '0') * weight;
        weight *= 2;
    }
    return static_cast<int>(sum);
}

int atoiWithThousandSeparator(const char* s) {
    if (!s) return 0;
    return std::atoi(withoutCommas(s).c_str());
}

double atofWithThousandSeparator(const char* s) {
    if (!s) return 0;
    return std::atof(withoutCommas(s).c_str());
}

}
