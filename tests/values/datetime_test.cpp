#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "values/LMDate.h"
#include "values/LMDateImpl.h"
#include "values/LMTime.h"
#include "values/LMTimeImpl.h"

using namespace LogMonitoring;

namespace {

// Field expressions, as the recognising expressions are written out below.
const std::string D = "([12][0-9]|[3][01]|0?[1-9])";
const std::string M = "(1[0-2]|0?[1-9])";
const std::string MN =
    "(January|February|March|April|May|June|July|August|September|October|November|December|"
    "Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)";
const std::string Y2 = "([0-9][0-9])";
const std::string Y4 = "([0-9][0-9][0-9][0-9])";
const std::string H = "([0-2]?[0-9])";
const std::string MI = "([0-5]?[0-9])";
const std::string S = "([0-5]?[0-9])";
const std::string AP = "([aApP][.]?[mM][.]?)";

struct PatternCase {
    std::string pattern;
    std::string expression;
    int groups;
};

}

TEST(DatePattern, FixedAndCombinedPatternsGiveTheirExpressionAndGroupCount) {
    const std::vector<PatternCase> cases = {
        {"DD-MM", D + "-" + M, 2},
        {"MM-DD", M + "-" + D, 2},
        {"DD/MM", D + "/" + M, 2},
        {"MM/DD", M + "/" + D, 2},
        {"DD-MM-YY", D + "-" + M + "-" + Y2, 3},
        {"MM-DD-YY", M + "-" + D + "-" + Y2, 3},
        {"DD-MM-YYYY", D + "-" + M + "-" + Y4, 3},
        {"MM-DD-YYYY", M + "-" + D + "-" + Y4, 3},
        {"DD/MM/YY", D + "/" + M + "/" + Y2, 3},
        {"MM/DD/YY", M + "/" + D + "/" + Y2, 3},
        {"DD/MM/YYYY", D + "/" + M + "/" + Y4, 3},
        {"MM/DD/YYYY", M + "/" + D + "/" + Y4, 3},
        {"DD-MMM-YY", D + "-" + MN + "-" + Y2, 3},
        {"DD-MMM-YYYY", D + "-" + MN + "-" + Y4, 3},
        {"MMM\\s+DD", MN + "\\s+" + D, 2},
        // Lower-case letters are found as well; the copied "." acts as expression syntax.
        {"dd.mm.yyyy", D + "." + M + "." + Y4, 3},
        {"DD-MMM-YYYY HH:MM:SS", D + "-" + MN + "-" + Y4 + "(.?)" + H + ":" + MI + ":" + S, 7},
        {"YYYY-MM-DD HH:MM AMPM", Y4 + "-" + M + "-" + D + "(.?)" + H + ":" + MI + " " + AP, 7},
        // No date fields at all.
        {"", "", 0},
        {"X", "", 0},
    };
    for (const auto& c : cases) {
        LMDateImpl d(c.pattern);
        EXPECT_EQ(d.getRegularExpression(), c.expression) << c.pattern;
        EXPECT_EQ(d.getNumberOfSubString(), c.groups) << c.pattern;
    }
}

TEST(TimePattern, FixedAndCustomPatternsGiveTheirExpressionAndGroupCount) {
    const std::vector<PatternCase> cases = {
        {"HH:MM:SS", H + ":" + MI + ":" + S, 3},
        {"HH:MM:SS AMPM", H + ":" + MI + ":" + S + " " + AP, 4},
        {"HH:MM", H + ":" + MI, 2},
        {"HH:MM AMPM", H + ":" + MI + " " + AP, 3},
        {"HH:MM:SS.NNN", H + ":" + MI + ":" + S + "." + "([0-9Zz]*)", 4},
        {"HH:MM:SS+HH:MM", H + ":" + MI + ":" + S + "([+-]?)" + H + ":" + MI, 6},
        {"HH:MM:SS Z", H + ":" + MI + ":" + S + " " + "([+-][0-9]*s|[0-9]*s)", 4},
        {"", "", 0},
    };
    for (const auto& c : cases) {
        LMTimeImpl t(c.pattern);
        EXPECT_EQ(t.getRegularExpression(), c.expression) << c.pattern;
        EXPECT_EQ(t.getNumberOfSubString(), c.groups) << c.pattern;
    }
}

TEST(DatePattern, FieldsAreSortedByPositionAndSpanGivesTheDateLength) {
    LMDateImpl d("DD-MMM-YYYY HH:MM:SS");
    FormatData f = d.populateFormat("DD-MMM-YYYY HH:MM:SS");
    ASSERT_EQ(f.fields.size(), 3u);
    EXPECT_EQ(f.fields[0].kind, LMDateImpl::Day);
    EXPECT_EQ(f.fields[0].first, 0u);
    EXPECT_EQ(f.fields[0].last, 1u);
    EXPECT_EQ(f.fields[1].kind, LMDateImpl::MonthName);
    EXPECT_EQ(f.fields[1].first, 3u);
    EXPECT_EQ(f.fields[1].last, 5u);
    EXPECT_EQ(f.fields[2].kind, LMDateImpl::LongYear);
    EXPECT_EQ(f.fields[2].first, 7u);
    EXPECT_EQ(f.fields[2].last, 10u);
    EXPECT_EQ(d.getDateLength(), 11u);
    EXPECT_EQ(f.groups, 3);

    FormatData none = d.populateFormat("abc");
    EXPECT_TRUE(none.expression.empty());
    EXPECT_EQ(none.groups, 0);
    EXPECT_EQ(d.getDateLength(), 0u);
}

TEST(DatePattern, CachedAnalysisKeepsEachPatternsOwnDateLength) {
    LMDateImpl d("DD-MM-YYYY");
    EXPECT_EQ(d.getDateLength(), 10u);
    d.populateFormat("DD-MM HH:MM");
    EXPECT_EQ(d.getDateLength(), 5u);
    // The second request of a pattern comes from the cache and gives the same analysis.
    FormatData again = d.populateFormat("DD-MM-YYYY");
    EXPECT_EQ(d.getDateLength(), 10u);
    EXPECT_EQ(again.expression, D + "-" + M + "-" + Y4);
    EXPECT_EQ(again.groups, 3);
}

TEST(DatePattern, SharedAnalysesEqualFreshOnes) {
    const std::vector<std::string> patterns = {"DD-MM", "MM/DD/YY", "DD-MMM-YYYY", "MMM\\s+DD",
                                               "DD-MMM-YYYY HH:MM:SS", "DD-MM HH:MM", "YYYY-MM-DD HH:MM:SS.NNN",
                                               "HH:MM:SS+HH:MM", "X", ""};
    struct Seen {
        std::string dateExpression, timeExpression;
        int dateGroups, timeGroups;
        size_t dateLength;
        uint32_t hour;
    };
    auto look = [](const std::string& p) {
        LMDateImpl d("05-Jan-2020 10:20:30", p);
        LMTimeImpl t(p);
        return Seen{d.getRegularExpression(), t.getRegularExpression(), d.getNumberOfSubString(),
                    t.getNumberOfSubString(), d.getDateLength(), d.getHour()};
    };
    LMDateTimeHelper::setSharedCacheEnabled(false);
    std::vector<Seen> fresh;
    for (const auto& p : patterns) fresh.push_back(look(p));
    LMDateTimeHelper::setSharedCacheEnabled(true);
    LMDateTimeHelper::clearSharedCache();
    for (int round = 0; round < 2; ++round) { // first fills the shared analyses, second reads them
        for (size_t i = 0; i < patterns.size(); ++i) {
            Seen s = look(patterns[i]);
            EXPECT_EQ(s.dateExpression, fresh[i].dateExpression) << patterns[i];
            EXPECT_EQ(s.timeExpression, fresh[i].timeExpression) << patterns[i];
            EXPECT_EQ(s.dateGroups, fresh[i].dateGroups) << patterns[i];
            EXPECT_EQ(s.timeGroups, fresh[i].timeGroups) << patterns[i];
            EXPECT_EQ(s.dateLength, fresh[i].dateLength) << patterns[i];
            EXPECT_EQ(s.hour, fresh[i].hour) << patterns[i];
        }
    }
}

TEST(TimePattern, OffsetFieldsAreFoundOnlyAfterASign) {
    LMTimeImpl t;
    FormatData f = t.populateFormat("HH:MM:SS+HH:MM");
    std::vector<uint32_t> kinds;
    for (const auto& p : f.fields) kinds.push_back(p.kind);
    EXPECT_EQ(kinds, (std::vector<uint32_t>{LMTimeImpl::Hour, LMTimeImpl::Minute, LMTimeImpl::Second,
                                            LMTimeImpl::OffsetSign, LMTimeImpl::OffsetHours,
                                            LMTimeImpl::OffsetMinutes}));
    // A pattern that starts with the sign has its hour and offset hours on the same letters.
    FormatData s = t.populateFormat("+HH:MM");
    EXPECT_EQ(s.groups, 5);
    EXPECT_EQ(s.expression, "([+-]?)" + H + H + ":" + MI + MI);
}

namespace {
struct DateCase {
    std::string pattern, text;
    uint32_t day, month, year, hour, minute, second, ms;
};
}

TEST(DateParse, TextsGiveTheirFields) {
    const std::vector<DateCase> cases = {
        {"DD-MMM-YYYY HH:MM:SS", "05-Jan-2020 10:20:30", 5, 1, 2020, 10, 20, 30, 0},
        {"DD-MMM-YYYY HH:MM:SS", "5-January-2020 23:59:01", 5, 1, 2020, 23, 59, 1, 0},
        {"MM/DD/YY", "12/31/20", 31, 12, 20, 0, 0, 0, 0},
        {"DD-MM-YYYY", "09-11-2001", 9, 11, 2001, 0, 0, 0, 0},
        {"DD-MMM-YYYY", "05-jan-2020", 5, 1, 2020, 0, 0, 0, 0},
        {"DD-MMM-YYYY", "05-JANUARY-2020", 5, 1, 2020, 0, 0, 0, 0},
        {"DD-MMM-YYYY", "05-Sep-2020", 5, 9, 2020, 0, 0, 0, 0},
        {"DD-MMM-YY", "17-december-99", 17, 12, 99, 0, 0, 0, 0},
        {"MMM\\s+DD", "Feb \t 7", 7, 2, 0, 0, 0, 0, 0},
        {"YYYY-MM-DD HH:MM:SS.NNN", "2021-03-04 05:06:07.89", 4, 3, 2021, 5, 6, 7, 89},
        {"DD/MM/YYYY HH:MM AMPM", "01/02/2003 12:30 am", 1, 2, 2003, 0, 30, 0, 0},
        // The time stands right after the date and its separator, whatever the fields' widths.
        {"DD-MM HH:MM", "05-01 10:20", 5, 1, 0, 10, 20, 0, 0},
        {"DD-MM HH:MM", "5-1 10:20", 5, 1, 0, 10, 20, 0, 0},
        {"YYYYMMDD HH:MM", "20200105 10:20", 5, 1, 2020, 10, 20, 0, 0},
        // A text that ends with the date has no time; one without a date gives nothing at all.
        {"DD-MM HH:MM", "05-01", 5, 1, 0, 0, 0, 0, 0},
        {"DD-MM HH:MM", "xx 10:20", 0, 0, 0, 0, 0, 0, 0},
        {"DD-MM-YYYY", "no date here", 0, 0, 0, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        LMDateImpl d(c.text, c.pattern);
        SCOPED_TRACE(c.pattern + " / " + c.text);
        EXPECT_EQ(d.getDay(), c.day);
        EXPECT_EQ(d.getMonth(), c.month);
        EXPECT_EQ(d.getYear(), c.year);
        EXPECT_EQ(d.getHour(), c.hour);
        EXPECT_EQ(d.getMinute(), c.minute);
        EXPECT_EQ(d.getSecond(), c.second);
        EXPECT_EQ(d.getMiliSecond(), c.ms);
        LMDate v(c.text, c.pattern);
        EXPECT_EQ(v.getDay(), c.day);
        EXPECT_EQ(v.getMonth(), c.month);
        EXPECT_EQ(v.getYear(), c.year);
        EXPECT_EQ(v.getHour(), c.hour);
        EXPECT_EQ(v.getMinute(), c.minute);
        EXPECT_EQ(v.getSecond(), c.second);
        EXPECT_EQ(v.getMiliSecond(), c.ms);
    }
}

TEST(DateParse, ParsingConstructorCarriesTheFullExpression) {
    LMDateImpl d("05-Jan-2020 10:20:30", "DD-MMM-YYYY HH:MM:SS");
    EXPECT_EQ(d.getRegularExpression(), D + "-" + MN + "-" + Y4 + "(.?)" + H + ":" + MI + ":" + S);
    EXPECT_EQ(d.getNumberOfSubString(), 7);
}

TEST(DateParse, MalformedCustomPatternIsReportedOnStandardOutput) {
    testing::internal::CaptureStdout();
    LMDateImpl d("05-01", "DD(-MM");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Error in regex creation ", 0), 0u) << out;
    EXPECT_EQ(d.getDay(), 0u);
    EXPECT_EQ(d.getMonth(), 0u);
}

namespace {
struct TimeCase {
    std::string pattern, text;
    uint32_t hour, minute, second, ms;
};
}

TEST(TimeParse, TextsGiveTheirFields) {
    const std::vector<TimeCase> cases = {
        {"HH:MM:SS", "10:20:30", 10, 20, 30, 0},
        {"HH:MM:SS", "at 7:05:09 sharp", 7, 5, 9, 0},
        {"HH:MM AMPM", "12:15 am", 0, 15, 0, 0},
        {"HH:MM AMPM", "01:15 PM", 13, 15, 0, 0},
        {"HH:MM AMPM", "12:15 PM", 12, 15, 0, 0},
        {"HH:MM AMPM", "11:59 p.m.", 23, 59, 0, 0},
        {"HH:MM:SS AMPM", "03:04:05 AM", 3, 4, 5, 0},
        // The fraction is the number written, and the dot before it matches any character.
        {"HH:MM:SS.NNN", "10:20:30.5", 10, 20, 30, 5},
        {"HH:MM:SS.NNN", "10:20:30,123456", 10, 20, 30, 123456},
        {"HH:MM:SS.NNN", "10:20:30.", 10, 20, 30, 0},
        // The offset is recognised, the written local time kept.
        {"HH:MM:SS+HH:MM", "10:20:30+05:30", 10, 20, 30, 0},
        {"HH:MM:SS+HH:MM", "10:20:30-11:00", 10, 20, 30, 0},
        {"HH:MM:SS Z", "10:20:30 +05s", 10, 20, 30, 0},
        {"HH:MM:SS.NNN AMPM", "09:08:07.6 pm", 21, 8, 7, 6},
        {"hh:mm:ss", "01:02:03", 1, 2, 3, 0},
        {"HH:MM:SS", "no time", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern + " / " + c.text);
        LMTimeImpl t(c.text, c.pattern);
        EXPECT_EQ(t.getHour(), c.hour);
        EXPECT_EQ(t.getMinute(), c.minute);
        EXPECT_EQ(t.getSecond(), c.second);
        EXPECT_EQ(t.getMiliSecond(), c.ms);
        EXPECT_EQ(LMTime(c.text, c.pattern), LMTime(c.hour, c.minute, c.second, c.ms));
    }
}

TEST(DateTimeValues, DatesCompareByDayMonthYearOnlyAndTimesByAllFields) {
    LMDate morning("05-Jan-2020 08:00:00", "DD-MMM-YYYY HH:MM:SS");
    LMDate evening("05-Jan-2020 20:00:00", "DD-MMM-YYYY HH:MM:SS");
    EXPECT_TRUE(morning == evening);
    EXPECT_FALSE(morning < evening);
    EXPECT_FALSE(evening < morning);

    EXPECT_TRUE(LMDate(31, 12, 2019) < LMDate(1, 1, 2020));
    EXPECT_TRUE(LMDate(1, 1, 2020) < LMDate(1, 2, 2020));
    EXPECT_TRUE(LMDate(1, 2, 2020) < LMDate(2, 2, 2020));
    EXPECT_FALSE(LMDate(2, 2, 2020) < LMDate(2, 2, 2020));
    EXPECT_FALSE(LMDate(1, 2, 2020) == LMDate(2, 1, 2020));

    EXPECT_TRUE(LMTime(10, 0, 0, 0) < LMTime(10, 0, 0, 1));
    EXPECT_TRUE(LMTime(9, 59, 59, 999) < LMTime(10, 0, 0, 0));
    EXPECT_FALSE(LMTime(10, 0, 0, 1) < LMTime(10, 0, 0, 1));
    EXPECT_FALSE(LMTime(10, 0, 0, 1) == LMTime(10, 0, 0, 2));
}

TEST(DateTimeHelpers, SearchPatternReportsNonEmptyGroupsOnly) {
    size_t first = 99, last = 99;
    EXPECT_TRUE(searchPattern("dd-mmm-yyyy", "[^M]*(MMM)[^M]*", 1, first, last));
    EXPECT_EQ(first, 3u);
    EXPECT_EQ(last, 5u);

    first = last = 99;
    EXPECT_FALSE(searchPattern("DD-MM", "[^M]*(MMM)[^M]*", 1, first, last)); // no match
    EXPECT_FALSE(searchPattern("DD-MM", "(X?)MM", 1, first, last));         // empty group
    EXPECT_FALSE(searchPattern("DD-MM", "(MM)", 2, first, last));           // no such group
    EXPECT_FALSE(searchPattern("DD-MM", "(MM", 1, first, last));            // does not compile
    EXPECT_EQ(first, 99u);
    EXPECT_EQ(last, 99u);
}

TEST(DateTimeHelpers, UpdateIndexParamWidensTheSpanAndResetsTheField) {
    struct Case {
        size_t spanFirst, spanLast, first, last;
        size_t wantSpanFirst, wantSpanLast, wantFirst, wantLast;
    };
    const std::vector<Case> cases = {
        {0, 0, 3, 5, 3, 5, 0, 0},  // empty span takes the field
        {3, 5, 0, 1, 0, 5, 0, 0},  // widened to the left
        {0, 5, 7, 10, 0, 10, 0, 0}, // widened to the right
        {3, 10, 5, 6, 3, 10, 0, 0}, // inside: unchanged span
        {3, 5, 0, 0, 3, 5, 0, 0},  // not found: nothing changes
        {3, 5, 4, 0, 3, 5, 4, 0},  // last 0 means not found even with a first position
    };
    for (auto c : cases) {
        updateIndexParamOfDateFormat(c.spanFirst, c.spanLast, c.first, c.last);
        EXPECT_EQ(c.spanFirst, c.wantSpanFirst);
        EXPECT_EQ(c.spanLast, c.wantSpanLast);
        EXPECT_EQ(c.first, c.wantFirst);
        EXPECT_EQ(c.last, c.wantLast);
    }
}
