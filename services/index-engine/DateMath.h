#pragma once
// Dates of the index: ISO-8601 UTC texts, with or without zero padding ('2024-3-5T7:4:9.0Z' is
// what the document builder writes), and date math over them ("NOW-7DAY", "NOW/DAY+1HOUR",
// "2024-03-05T00:00:00Z+1MONTH"). All arithmetic is done in UTC.
#include <cstdint>
#include <string>
#include <string_view>

namespace lmindexd {

// Parses "Y-M-DTh:m:s[.fraction]Z" (each part one or more digits). Epoch milliseconds.
bool parseIsoDate(std::string_view text, int64_t& epochMs);

// Evaluates a date text with optional math: an anchor (NOW or an ISO date), then any number of
// "+N UNIT", "-N UNIT" and "/UNIT" steps. Units: YEAR, MONTH, DAY (DATE), HOUR, MINUTE, SECOND,
// MILLISECOND (MILLI), each also in the plural.
bool evalDateMath(std::string_view text, int64_t nowMs, int64_t& epochMs);

// "2024-03-05T07:04:09.123Z" (milliseconds left out when zero).
std::string formatIsoDate(int64_t epochMs);

int64_t nowEpochMs();

}
