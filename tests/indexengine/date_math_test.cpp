#include <gtest/gtest.h>

#include "DateMath.h"

using namespace lmindexd;

TEST(DateMath, ParsesPaddedAndUnpaddedDates) {
    int64_t ms = 0;
    ASSERT_TRUE(parseIsoDate("2024-3-5T7:4:9.0Z", ms));
    EXPECT_EQ(formatIsoDate(ms), "2024-03-05T07:04:09Z");
    int64_t padded = 0;
    ASSERT_TRUE(parseIsoDate("2024-03-05T07:04:09Z", padded));
    EXPECT_EQ(ms, padded);
    ASSERT_TRUE(parseIsoDate("2024-3-5T7:4:9.7Z", ms));
    EXPECT_EQ(ms, padded + 700);  // a fraction, as written
    ASSERT_TRUE(parseIsoDate("1970-1-1T0:0:0Z", ms));
    EXPECT_EQ(ms, 0);
    for (const char* bad : {"2024-13-01T00:00:00Z", "2023-2-29T0:0:0Z", "2024-3-5T7:4:9:0Z", "2024-3-5",
                            "2024-3-5T7:4:9.0", "yesterday", "2024-3-5T7:4:9.0Zjunk", ""}) {
        EXPECT_FALSE(parseIsoDate(bad, ms)) << bad;
    }
}

TEST(DateMath, EvaluatesArithmeticAndRounding) {
    int64_t now = 0;
    ASSERT_TRUE(parseIsoDate("2024-03-31T10:20:30.456Z", now));
    const std::pair<const char*, const char*> cases[] = {
        {"NOW", "2024-03-31T10:20:30.456Z"},
        {"NOW-7DAY", "2024-03-24T10:20:30.456Z"},
        {"NOW-7DAYS", "2024-03-24T10:20:30.456Z"},
        {"NOW/DAY", "2024-03-31T00:00:00Z"},
        {"NOW/DAY+1HOUR", "2024-03-31T01:00:00Z"},
        {"NOW-1MONTH", "2024-02-29T10:20:30.456Z"},  // clamped to the month's last day
        {"NOW+1YEAR/MONTH", "2025-03-01T00:00:00Z"},
        {"NOW/YEAR", "2024-01-01T00:00:00Z"},
        {"NOW-90MINUTES/HOUR", "2024-03-31T08:00:00Z"},
        {"NOW+1SECOND/SECOND", "2024-03-31T10:20:31Z"},
        {"2021-1-1T0:0:0Z-1DAY", "2020-12-31T00:00:00Z"},
    };
    for (const auto& [expr, expected] : cases) {
        int64_t ms = 0;
        ASSERT_TRUE(evalDateMath(expr, now, ms)) << expr;
        EXPECT_EQ(formatIsoDate(ms), expected) << expr;
    }
    int64_t ms = 0;
    for (const char* bad : {"NOW-7", "NOW-DAY", "NOW+1FORTNIGHT", "NOW*2", "TODAY"}) {
        EXPECT_FALSE(evalDateMath(bad, now, ms)) << bad;
    }
}
