#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "values/LMDateImpl.h"
#include "values/LMTimeImpl.h"
#include "values/RegExGenerator.h"

using namespace LogMonitoring;

namespace {
struct GenCase {
    int dataType, format;
    bool thousands;
    int places;
    std::string expression;
    int subStrings;
};
}

TEST(RegExGenerator, ExpressionAndSubStringCountByTypeAndFormat) {
    const std::vector<GenCase> cases = {
        {Number, Decimal, true, 0, "[+-]?[0-9]{1,3}(,[0-9]{3})*", 1},
        {Number, Decimal, false, 0, "[+-]?[0-9]+", 0},
        {Number, Hexadecimal, false, 0, "[+-]?[0]?[xX]?[0-9A-Fa-f]+", 0},
        {Number, Binary, true, 0, "[bB]?[01]+", 0},
        {Number, FloatingPoint, true, 3, "[+-]?([0-9]{1,3}(,[0-9]{3})*)?.[0-9]{3}", 2},
        {Number, FloatingPoint, false, 2, "[+-]?[0-9]*.[0-9]{2}", 0},
        {Number, FloatingPoint, true, 0, "[+-]?[0-9]{1,3}(,[0-9]{3})*", 1},
        {Number, FloatingPoint, false, 0, "[+-]?[0-9]+", 0},
        {Number, EpochSeconds, true, 0, "[+-]?[0-9]+", 0},
        {Number, EpochSecondsFraction, true, 4, "[+-]?[0-9]*.[0-9]{4}", 0},
        {Number, EpochSecondsFraction, true, 0, "[+-]?[0-9]+", 0},
        {Number, DayMonthSlash, false, 0, "", 0},
        {Date, EpochSeconds, false, 0, "[+-]?[0-9]+", 0},
        {Date, EpochSecondsFraction, false, 3, "[+-]?[0-9]*.[0-9]{3}", 0},
        {Time, EpochSeconds, false, 0, "[+-]?[0-9]+", 0},
        {List, IntegerList, false, 0, "[0-9]+", 0},
        {List, IdList, false, 0, "[0-9]+", 0},
        {List, FreeText, false, 0, "", 0},
        {Timestamp, Decimal, true, 0, "[+-]?[0-9]+", 0},
        {Timestamp, FloatingPoint, true, 3, "[+-]?[0-9]*.[0-9]{3}", 0},
        {Timestamp, FloatingPoint, true, 0, "[+-]?[0-9]+", 0},
        {Timestamp, Hexadecimal, false, 0, "", 0},
        {String, FreeText, false, 0, ".*", 0},
        {Entity, FreeText, false, 0, ".*", 0},
        {4, Decimal, false, 0, "", 0},
        {7, Decimal, false, 0, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.dataType << " format " << c.format);
        RegExGenerator g(static_cast<DataType>(c.dataType), static_cast<TypeFormat>(c.format));
        g.setUseThousandSepartor(c.thousands);
        g.setNumberDecimalPlaces(c.places);
        EXPECT_EQ(g.getRegularExpression(nullptr, false), c.expression);
        EXPECT_EQ(g.getNumberOfSubString(), c.subStrings);
    }
}

TEST(RegExGenerator, DateAndTimeFormatsTakeTheAnalysersExpression) {
    const std::vector<int> dateFormats = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 27};
    for (int f : dateFormats) {
        std::string pattern = convertFormatTypeToPatternType(static_cast<TypeFormat>(f), nullptr);
        LMDateImpl date(pattern);
        RegExGenerator g(Date, static_cast<TypeFormat>(f));
        EXPECT_EQ(g.getRegularExpression(), date.getRegularExpression()) << f;
        EXPECT_EQ(g.getNumberOfSubString(), date.getNumberOfSubString()) << f;
        EXPECT_GT(g.getNumberOfSubString(), 1) << f;
    }
    for (int f : {17, 18, 19, 20}) {
        std::string pattern = convertFormatTypeToPatternType(static_cast<TypeFormat>(f), nullptr);
        LMTimeImpl time(pattern);
        RegExGenerator g(Time, static_cast<TypeFormat>(f));
        EXPECT_EQ(g.getRegularExpression(), time.getRegularExpression()) << f;
        EXPECT_EQ(g.getNumberOfSubString(), time.getNumberOfSubString()) << f;
    }
    RegExGenerator dmy(Date, DayMonthYearDash);
    EXPECT_EQ(dmy.getRegularExpression(), "([12][0-9]|[3][01]|0?[1-9])-(1[0-2]|0?[1-9])-([0-9][0-9][0-9][0-9])");
    EXPECT_EQ(dmy.getNumberOfSubString(), 3);
    RegExGenerator hms(Time, HoursMinutesSecondsAmPm);
    EXPECT_EQ(hms.getRegularExpression(), "([0-2]?[0-9]):([0-5]?[0-9]):([0-5]?[0-9]) ([aApP][.]?[mM][.]?)");
    EXPECT_EQ(hms.getNumberOfSubString(), 4);

    RegExGenerator custom(Date, CustomPattern);
    EXPECT_EQ(custom.getRegularExpression("YYYY/MM/DD"), LMDateImpl("YYYY/MM/DD").getRegularExpression());
    EXPECT_EQ(custom.getNumberOfSubString(), 3);
    RegExGenerator none(Time, CustomPattern);
    EXPECT_EQ(none.getRegularExpression(nullptr), "");
    EXPECT_EQ(none.getNumberOfSubString(), 0);
}

TEST(RegExGenerator, PatternStringsOfTypeFormats) {
    const std::vector<std::pair<int, std::string>> cases = {
        {3, "DD-MM"},        {4, "MM-DD"},         {5, "DD/MM"},       {6, "MM/DD"},
        {7, "DD-MM-YY"},     {8, "MM-DD-YY"},      {9, "DD-MM-YYYY"},  {10, "MM-DD-YYYY"},
        {11, "DD/MM/YY"},    {12, "MM/DD/YY"},     {13, "DD/MM/YYYY"}, {14, "MM/DD/YYYY"},
        {15, "DD-MMM-YY"},   {16, "DD-MMM-YYYY"},  {17, "HH:MM:SS"},   {18, "HH:MM:SS AMPM"},
        {19, "HH:MM"},       {20, "HH:MM AMPM"},   {27, "MMM\\s+DD"},  {0, ""},
        {22, ""},            {25, ""},             {29, ""},
    };
    for (const auto& [format, pattern] : cases)
        EXPECT_EQ(convertFormatTypeToPatternType(static_cast<TypeFormat>(format), "ignored"), pattern) << format;
    EXPECT_EQ(convertFormatTypeToPatternType(CustomPattern, "YYYY.MM.DD HH:MM"), "YYYY.MM.DD HH:MM");
    EXPECT_EQ(convertFormatTypeToPatternType(CustomPattern, nullptr), "");
}

TEST(RegExGenerator, MatchingListGivesGroupsOrRawBracketText) {
    RegExGenerator g(String, SeparatorList);
    g.setMatchingList({" ", ","});
    EXPECT_EQ(g.getRegularExpression(), "( )|(,)");
    EXPECT_EQ(g.getNumberOfSubString(), 2);
    EXPECT_EQ(g.getRegularExpression(nullptr, true), " ,");
    EXPECT_EQ(g.getNumberOfSubString(), 2);

    g.setMatchingList({"|", ";"});
    EXPECT_EQ(g.getRegularExpression(nullptr, true), "\\|;");
    // A raw request leaves no cached expression: the plain one is built again.
    EXPECT_EQ(g.getRegularExpression(), "(\\|)|(;)");
    EXPECT_EQ(g.getNumberOfSubString(), 2);

    g.setMatchingList({});
    EXPECT_EQ(g.getRegularExpression(), ".*");
    EXPECT_EQ(g.getNumberOfSubString(), 0);
}

TEST(RegExGenerator, SettingsEmptyTheCacheOnlyWhenTheyChange) {
    RegExGenerator g(Number, Decimal);
    g.setUseThousandSepartor(true);
    std::string& cached = g.getRegularExpression();
    EXPECT_EQ(cached, "[+-]?[0-9]{1,3}(,[0-9]{3})*");
    g.setUseThousandSepartor(true); // same value: the cache stays
    EXPECT_EQ(cached, "[+-]?[0-9]{1,3}(,[0-9]{3})*");
    EXPECT_EQ(g.getNumberOfSubString(), 1);
    g.setUseThousandSepartor(false);
    EXPECT_EQ(cached, "");
    EXPECT_EQ(g.getNumberOfSubString(), 0);
    EXPECT_EQ(g.getRegularExpression(), "[+-]?[0-9]+");

    RegExGenerator f(Number, FloatingPoint);
    f.setNumberDecimalPlaces(2);
    std::string& fc = f.getRegularExpression();
    f.setNumberDecimalPlaces(2);
    EXPECT_EQ(fc, "[+-]?[0-9]*.[0-9]{2}");
    f.setNumberDecimalPlaces(3);
    EXPECT_EQ(fc, "");
    EXPECT_EQ(f.getRegularExpression(), "[+-]?[0-9]*.[0-9]{3}");

    RegExGenerator s(String, SeparatorList);
    std::string& sc = s.getRegularExpression();
    EXPECT_EQ(sc, ".*");
    s.setMatchingList({});
    EXPECT_EQ(sc, ""); // always cleared, even by an equal list
}
