#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/LMColumnData.h"

using namespace LogMonitoring;

namespace {

std::string serialisedList(std::vector<uint32_t> values) {
    IntegersList l;
    l.set_values(std::move(values));
    std::string xml;
    l.serialize(xml);
    return xml;
}

}

TEST(NumberConversion, FunctionsFollowTheirDigitRules) {
    EXPECT_EQ(atoh(nullptr), 0);
    EXPECT_EQ(atoh(""), 0);
    EXPECT_EQ(atoh("-0x1F"), -31);
    EXPECT_EQ(atoh("+0XfF"), 255);
    EXPECT_EQ(atoh("abc"), 2748);
    EXPECT_EQ(atoh("0"), 0);
    EXPECT_EQ(atoh("0x"), 0);
    EXPECT_EQ(atoh("FFFFFFFF"), -1); // 32-bit arithmetic
    EXPECT_EQ(atob(nullptr), 0);
    EXPECT_EQ(atob(""), 0);
    EXPECT_EQ(atob("b101"), 5);
    EXPECT_EQ(atob("B1111"), 15);
    EXPECT_EQ(atob("0010"), 2);
    EXPECT_EQ(atoiWithThousandSeparator(nullptr), 0);
    EXPECT_EQ(atoiWithThousandSeparator("1,234,567"), 1234567);
    EXPECT_EQ(atoiWithThousandSeparator("-1,2,3"), -123);
    EXPECT_DOUBLE_EQ(atofWithThousandSeparator(nullptr), 0);
    EXPECT_DOUBLE_EQ(atofWithThousandSeparator("1,234.50"), 1234.5);
}

TEST(IntColumnData, ValuesRecognisedInTheText) {
    struct Case {
        int format;
        std::string text;
        bool thousands;
        int32_t value;
    };
    const std::vector<Case> cases = {
        {Decimal, "abc 1,234 def", true, 1234},
        {Decimal, "abc 1,234 def", false, 1},
        {Decimal, "-42 items", false, -42},
        {Decimal, "no digits", false, 0},
        {Decimal, "", true, 0},
        {Hexadecimal, "-0x1F", false, -31},
        {Hexadecimal, "abc", false, 2748},
        {Binary, "b101", false, 5},
        {Binary, "value 110", false, 6},
        {EpochSeconds, "86400", false, 86400},
        {IdList, "123", false, 0}, // identifiers keep their text only
        {DayMonthDash, "12", false, 0},
    };
    for (const auto& c : cases) {
        IntColumnData v(static_cast<TypeFormat>(c.format), c.text, c.thousands);
        EXPECT_EQ(v.getValue(), c.value) << c.format << " '" << c.text << "'";
        EXPECT_EQ(v.getDataAsString(), c.text);
        EXPECT_EQ(v.getDataType(), Number);
        EXPECT_EQ(v.getTypeFormat(), c.format);
        EXPECT_EQ(v.isUseThousandSeparatorSet(), c.thousands);
        EXPECT_FALSE(v.isRegEx());
        EXPECT_TRUE(v.isCaseSensitive());
        EXPECT_TRUE(v.isInclusive());
        EXPECT_FALSE(v.isMatchWholeWord());
        EXPECT_EQ(v.positionMatchedFrom(), 0u);
        EXPECT_EQ(v.positionMatchedTo(), 0u);
        EXPECT_EQ(v.getColumnName(), "");
    }
}

TEST(FloatColumnData, ValuesRecognisedInTheText) {
    struct Case {
        int format;
        std::string text;
        int places;
        bool thousands;
        double value;
    };
    const std::vector<Case> cases = {
        {FloatingPoint, "3.75", 0, false, 3.0},
        {FloatingPoint, "1,234.50", 2, true, 1234.5},
        {FloatingPoint, "12.34", 2, false, 12.34},
        // The "." of the expression is any character: the leftmost match is " 12".
        {FloatingPoint, "took 12.34s", 2, false, 12.0},
        {FloatingPoint, "-0.125", 3, false, -0.125},
        {FloatingPoint, "7", 2, false, 0},
        {EpochSecondsFraction, "1600000000.250", 3, false, 1600000000.25},
        {EpochSecondsFraction, "1600000000", 0, false, 1600000000.0},
        {FloatingPoint, "", 2, false, 0},
    };
    for (const auto& c : cases) {
        FloatColumnData v(static_cast<TypeFormat>(c.format), c.text, c.places, c.thousands);
        EXPECT_DOUBLE_EQ(v.getValue(), c.value) << "'" << c.text << "'";
        EXPECT_EQ(v.getDataType(), Number);
        EXPECT_EQ(v.getTypeFormat(), c.format);
    }
}

TEST(FloatColumnData, EqualityUsesAnAbsoluteEpsilon) {
    auto f = [](const char* t) { return FloatColumnData(FloatingPoint, t, 17, false); };
    FloatColumnData a = f("0.30000000000000004"), b = f("0.30000000000000000");
    ASSERT_NE(a.getValue(), b.getValue());
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);
    FloatColumnData small = f("0.00000000010000000"), larger = f("0.00000000020000000");
    EXPECT_FALSE(small == larger);
    EXPECT_TRUE(small < larger);
    EXPECT_FALSE(larger < small);
    EXPECT_TRUE(larger > small);
}

TEST(ColumnData, TypeGateMakesMismatchedOperandsUnequalAndUnordered) {
    std::vector<std::pair<std::unique_ptr<ColumnData>, std::unique_ptr<ColumnData>>> pairs;
    pairs.emplace_back(new IntColumnData(Decimal, "10", false), new IntColumnData(Hexadecimal, "10", false));
    pairs.emplace_back(new IntColumnData(Decimal, "10", false), new StringColumnData(Decimal, "10"));
    pairs.emplace_back(new StringColumnData(FreeText, "abc"), new StringColumnData(SeparatorList, "abc"));
    pairs.emplace_back(new FloatColumnData(FloatingPoint, "1.50", 2, false),
                       new FloatColumnData(EpochSecondsFraction, "1.50", 2, false));
    pairs.emplace_back(new DateColumnData(DayMonthYearDash, "01-02-2020", nullptr),
                       new DateColumnData(DayMonthYearSlash, "01/02/2020", nullptr));
    pairs.emplace_back(new TimeColumnData(HoursMinutes, "10:20", nullptr),
                       new TimeColumnData(HoursMinutesSeconds, "10:20:00", nullptr));
    pairs.emplace_back(new ListColumnData(IntegerList, "7"), new ListColumnData(IdList, serialisedList({7})));
    for (const auto& [l, r] : pairs) {
        SCOPED_TRACE(l->getDataAsString() + " vs " + r->getDataAsString());
        EXPECT_FALSE(*l == *r);
        EXPECT_FALSE(*l < *r);
        EXPECT_FALSE(l->contains(*r));
        EXPECT_TRUE(*l != *r);
        EXPECT_TRUE(*l > *r);
        EXPECT_TRUE(*l >= *r);
        EXPECT_FALSE(*l <= *r);
    }
}

TEST(ColumnData, NumberDateAndTimeOrdering) {
    IntColumnData i1(Decimal, "-5", false), i2(Decimal, "3", false), i3(Decimal, "3", false);
    EXPECT_TRUE(i1 < i2);
    EXPECT_TRUE(i2 == i3);
    EXPECT_TRUE(i2 >= i3);
    EXPECT_TRUE(i2 <= i3);
    EXPECT_TRUE(i2 > i1);

    DateColumnData d1(CustomPattern, "05-Jan-2020 08:00:00", "DD-MMM-YYYY HH:MM:SS");
    DateColumnData d2(CustomPattern, "05-Jan-2020 20:30:00", "DD-MMM-YYYY HH:MM:SS");
    DateColumnData d3(CustomPattern, "06-Jan-2020 00:00:00", "DD-MMM-YYYY HH:MM:SS");
    EXPECT_EQ(d2.getValue().getHour(), 20u);
    EXPECT_EQ(d2.getValue().getMinute(), 30u);
    EXPECT_TRUE(d1 == d2); // the time of day is not compared
    EXPECT_FALSE(d1 < d2);
    EXPECT_TRUE(d2 < d3);

    TimeColumnData t1(HoursMinutesAmPm, "01:15 PM", nullptr), t2(HoursMinutes, "13:15", nullptr);
    TimeColumnData t3(HoursMinutesAmPm, "12:15 AM", nullptr);
    EXPECT_EQ(t1.getValue(), LMTime(13, 15, 0, 0));
    EXPECT_EQ(t3.getValue(), LMTime(0, 15, 0, 0));
    EXPECT_TRUE(t3 < t1);
    EXPECT_FALSE(t1 == t2); // same time, different format
}

TEST(DateTimeColumnData, WholeTextMustMatchTheFormat) {
    struct Case {
        int format;
        std::string text;
        const char* custom;
        uint32_t day, month, year;
    };
    const std::vector<Case> cases = {
        {DayMonthNameYear, "05-Jan-2020", nullptr, 5, 1, 2020},
        {DayMonthNameYear, "05-January-2020", nullptr, 5, 1, 2020},
        {DayMonthNameYear, "05-Jan-2020 trailing", nullptr, 0, 0, 0},
        {DayMonthNameYear, "05-jan-2020", nullptr, 0, 0, 0}, // the month names are case-sensitive here
        {MonthDayShortYearSlash, "12/31/20", nullptr, 31, 12, 20},
        {DayMonthDash, "31-12", nullptr, 31, 12, 0},
        {MonthNameDay, "Feb  7", nullptr, 7, 2, 0},
        {CustomPattern, "2021.03.04", "YYYY.MM.DD", 4, 3, 2021},
        {CustomPattern, "2021.03.04", nullptr, 0, 0, 0},
        {CustomPattern, "2021.03.04", "", 0, 0, 0},
        {DayMonthYearDash, "", nullptr, 0, 0, 0},
    };
    for (const auto& c : cases) {
        DateColumnData v(static_cast<TypeFormat>(c.format), c.text, c.custom);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(v.getValue().getDay(), c.day);
        EXPECT_EQ(v.getValue().getMonth(), c.month);
        EXPECT_EQ(v.getValue().getYear(), c.year);
        EXPECT_EQ(v.getDataType(), Date);
        EXPECT_EQ(v.getDataAsString(), c.text);
    }
    TimeColumnData trailing(HoursMinutesSeconds, "10:20:30 extra", nullptr);
    EXPECT_EQ(trailing.getValue(), LMTime());
    TimeColumnData custom(CustomPattern, "10:20:30.250", "HH:MM:SS.NNN");
    EXPECT_EQ(custom.getValue(), LMTime(10, 20, 30, 250));
}

TEST(StringColumnData, EqualityMatchesTheWholeTextByTheOperandsFlags) {
    struct Case {
        std::string text, operand;
        bool regex, caseSensitive, equal;
    };
    const std::vector<Case> cases = {
        {"Error", "error", false, false, true},
        {"Error", "error", false, true, false},
        {"Error", "Error", false, true, true},
        {"Error 42", "error", false, false, false}, // whole text only
        {"Error 42", "err.* [0-9]+", true, false, true},
        {"Error 42", "err.* [0-9]+", true, true, false},
        {"a.c", "a.c", false, true, true},
        {"abc", "a.c", false, true, false}, // literal: "." is a dot
        {"abc", "a.c", true, true, true},
    };
    for (const auto& c : cases) {
        StringColumnData v(FreeText, c.text), op(FreeText, c.operand);
        op.setRegEx(c.regex);
        op.setCaseSensitive(c.caseSensitive);
        SCOPED_TRACE(c.text + " == " + c.operand);
        EXPECT_EQ(v == op, c.equal);
        EXPECT_EQ(v != op, !c.equal);
        EXPECT_EQ(v.positionMatchedFrom(), 0u);
        EXPECT_EQ(v.positionMatchedTo(), c.equal ? c.text.size() - 1 : c.text.size());
    }
    // Ordering is byte-wise and case-sensitive whatever the flags say.
    StringColumnData upper(FreeText, "B"), lower(FreeText, "a");
    lower.setCaseSensitive(false);
    EXPECT_TRUE(upper < lower);
    EXPECT_FALSE(lower < upper);
}

TEST(StringColumnData, ContainmentReportsTheMatchedSpan) {
    struct Case {
        std::string operand;
        bool regex, caseSensitive, wholeWord, contained;
        size_t from, to;
    };
    const std::string text = "Error: disk full";
    const std::vector<Case> cases = {
        {"DISK", false, false, false, true, 7, 10},
        {"DISK", false, true, false, false, 0, 16},
        {"dis", false, false, false, true, 7, 9},
        {"dis", false, false, true, false, 0, 16},
        {"disk", false, false, true, true, 7, 10},
        {"d.sk|full", false, false, true, true, 7, 10}, // a whole-word operand is an expression
        {"d.sk", true, false, false, true, 7, 10},
        {"d.sk", false, false, false, false, 0, 16},
        {"f[aeiou]ll$", true, true, false, true, 12, 15},
    };
    for (const auto& c : cases) {
        StringColumnData v(FreeText, text), op(FreeText, c.operand);
        op.setRegEx(c.regex);
        op.setCaseSensitive(c.caseSensitive);
        op.setMatchWholeWord(c.wholeWord);
        SCOPED_TRACE(c.operand);
        EXPECT_EQ(v.contains(op), c.contained);
        EXPECT_EQ(v.positionMatchedFrom(), c.from);
        EXPECT_EQ(v.positionMatchedTo(), c.to);
        EXPECT_EQ(v.doesNotContain(op), !c.contained);
    }
}

TEST(StringColumnData, MalformedExpressionOperandComparesFalseAndIsReported) {
    StringColumnData v(FreeText, "a(b"), op(FreeText, "a(b");
    op.setRegEx(true);
    testing::internal::CaptureStdout();
    bool equal = v == op;
    bool contained = v.contains(op);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(equal);
    EXPECT_FALSE(contained);
    EXPECT_EQ(out.rfind("Error in regex creation ", 0), 0u) << out;
    // Read as a literal the same text is fine.
    op.setRegEx(false);
    EXPECT_TRUE(v == op);
    EXPECT_TRUE(v.contains(op));
}

TEST(ColumnData, NumbersCompareAsTextWithAnExpressionOperand) {
    IntColumnData v(Decimal, "1234", false), op(Decimal, "12[0-9]+", false);
    EXPECT_FALSE(v == op); // by value, 1234 against 12
    op.setRegEx(true);
    EXPECT_TRUE(v == op);
    EXPECT_EQ(v.positionMatchedTo(), 3u);
    FloatColumnData f(FloatingPoint, "1.50", 2, false), fop(FloatingPoint, "1\\.5.", 2, false);
    fop.setRegEx(true);
    EXPECT_TRUE(f == fop);
}

TEST(ListColumnData, IntegerTestedAgainstTheOperandsList) {
    auto op = [](std::vector<uint32_t> values, int format = IntegerList) {
        return ListColumnData(static_cast<TypeFormat>(format), serialisedList(std::move(values)));
    };
    ListColumnData seven(IntegerList, "7");
    EXPECT_TRUE(seven == op({3, 7}));
    EXPECT_TRUE(seven.contains(op({3, 7})));
    EXPECT_FALSE(seven.doesNotContain(op({3, 7})));
    EXPECT_FALSE(seven == op({3, 8}));
    EXPECT_TRUE(seven.doesNotContain(op({3, 8})));
    EXPECT_TRUE(seven < op({9, 1}));  // only the first element counts
    EXPECT_FALSE(seven < op({1, 9}));
    EXPECT_FALSE(seven == op({}));
    EXPECT_FALSE(seven < op({}));
    EXPECT_FALSE(seven == ListColumnData(IntegerList, "not a list"));
    ListColumnData id(IdList, "42");
    EXPECT_TRUE(id == op({42}, IdList));

    // Any other format compares false with everything, itself included.
    ListColumnData other(FreeText, "7");
    EXPECT_FALSE(other == op({7}, FreeText));
    EXPECT_FALSE(other < op({9}, FreeText));
    EXPECT_FALSE(other.contains(op({7}, FreeText)));
}

TEST(EntityColumnData, NeverEqualAndAlwaysGreater) {
    EntityColumnData e(FreeText, "server1"), same(FreeText, "server1");
    StringColumnData s(FreeText, "server1");
    EXPECT_FALSE(e == same);
    EXPECT_FALSE(e < same);
    EXPECT_TRUE(e > same);
    EXPECT_TRUE(e > s);
    EXPECT_FALSE(e.contains(same)); // non-const: equality
    const EntityColumnData& ce = e;
    EXPECT_FALSE(ce.contains(same)); // const: the base's
    EXPECT_FALSE(e.doesNotContain(same));
}

TEST(ColumnData, BetweenTakesInclusionFromTheHighOperand) {
    IntColumnData low(Decimal, "10", false), high(Decimal, "20", false);
    struct Case {
        const char* value;
        bool lowInclusive, highInclusive, inside;
    };
    const std::vector<Case> cases = {
        {"10", false, true, true},  {"20", false, true, true},  {"15", false, true, true},
        {"10", true, false, false}, {"20", true, false, false}, {"15", true, false, true},
        {"9", true, true, false},   {"21", true, true, false},
    };
    for (const auto& c : cases) {
        low.setInclusive(c.lowInclusive);
        high.setInclusive(c.highInclusive);
        EXPECT_EQ(IntColumnData(Decimal, c.value, false).between(low, high), c.inside)
            << c.value << " low " << c.lowInclusive << " high " << c.highInclusive;
    }
}

TEST(ColumnData, CloneCarriesTextTypesFlagsAndValue) {
    std::vector<std::unique_ptr<ColumnData>> values;
    values.emplace_back(new IntColumnData(Hexadecimal, "0x10", true));
    values.emplace_back(new FloatColumnData(FloatingPoint, "2.50", 2, true));
    values.emplace_back(new DateColumnData(DayMonthNameYear, "05-Jan-2020", nullptr));
    values.emplace_back(new TimeColumnData(HoursMinutes, "10:20", nullptr));
    values.emplace_back(new StringColumnData(FreeText, "text"));
    values.emplace_back(new ListColumnData(IntegerList, "7"));
    values.emplace_back(new EntityColumnData(FreeText, "entity"));
    for (const auto& v : values) {
        v->setRegEx(true);
        v->setCaseSensitive(false);
        v->setInclusive(false);
        v->setMatchWholeWord(true);
        std::unique_ptr<ColumnData> c(v->clone());
        EXPECT_EQ(typeid(*c), typeid(*v));
        EXPECT_EQ(c->getDataAsString(), v->getDataAsString());
        EXPECT_EQ(c->getDataType(), v->getDataType());
        EXPECT_EQ(c->getTypeFormat(), v->getTypeFormat());
        EXPECT_TRUE(c->isRegEx());
        EXPECT_FALSE(c->isCaseSensitive());
        EXPECT_FALSE(c->isInclusive());
        EXPECT_TRUE(c->isMatchWholeWord());
    }
    EXPECT_EQ(dynamic_cast<IntColumnData&>(*std::unique_ptr<ColumnData>(values[0]->clone())).getValue(), 16);
    auto f = std::unique_ptr<ColumnData>(values[1]->clone());
    EXPECT_DOUBLE_EQ(dynamic_cast<FloatColumnData&>(*f).getValue(), 2.5);
    EXPECT_TRUE(dynamic_cast<FloatColumnData&>(*f).isUseThousandSeparatorSet());
    auto d = std::unique_ptr<ColumnData>(values[2]->clone());
    EXPECT_EQ(dynamic_cast<DateColumnData&>(*d).getValue(), LMDate(5, 1, 2020));
    auto t = std::unique_ptr<ColumnData>(values[3]->clone());
    EXPECT_EQ(dynamic_cast<TimeColumnData&>(*t).getValue(), LMTime(10, 20, 0, 0));
}

TEST(ColumnDataGenerator, MakesTheClassOfTheColumnsTypeAndFormat) {
    struct Case {
        int64_t dataType, format;
        const char* text;
        std::string cls; // empty: no value
        int storedType;
    };
    const std::vector<Case> cases = {
        {Number, Decimal, "1,234", "IntColumnData", Number},
        {Number, Hexadecimal, "ff", "IntColumnData", Number},
        {Number, IdList, "77", "IntColumnData", Number},
        {Number, FloatingPoint, "1,234.56", "FloatColumnData", Number},
        {String, FreeText, "x", "StringColumnData", String},
        {Date, EpochSeconds, "86400", "IntColumnData", Number},
        {Date, EpochSecondsFraction, "86400.500", "FloatColumnData", Number},
        {Date, DayMonthYearDash, "01-02-2020", "DateColumnData", Date},
        {Time, EpochSeconds, "60", "IntColumnData", Number},
        {Time, EpochSecondsFraction, "60.500", "FloatColumnData", Number},
        {Time, HoursMinutes, "10:20", "TimeColumnData", Time},
        {List, IntegerList, "7", "ListColumnData", List},
        {Entity, FreeText, "e", "EntityColumnData", Entity},
        {Timestamp, FloatingPoint, "1600000000.500", "FloatColumnData", Number},
        {Timestamp, Decimal, "1600000000", "IntColumnData", Number},
        {4, Decimal, "1", "", 0},
        {7, Decimal, "1", "", 0},
        {9, Decimal, "1", "", 0},
        {-1, Decimal, "1", "", 0},
    };
    for (const auto& c : cases) {
        Column col;
        col.set_dataType(c.dataType);
        col.set_typeFormat(c.format);
        col.set_useThousandSeparator(1);
        col.set_decimalPlaces(3);
        std::unique_ptr<ColumnData> v(ColumnDataGenerator(col, c.text));
        SCOPED_TRACE(testing::Message() << c.dataType << "/" << c.format);
        if (c.cls.empty()) {
            EXPECT_EQ(v, nullptr);
            continue;
        }
        ASSERT_NE(v, nullptr);
        EXPECT_NE(std::string(typeid(*v).name()).find(c.cls), std::string::npos) << typeid(*v).name();
        EXPECT_EQ(v->getDataType(), c.storedType);
        EXPECT_EQ(v->getTypeFormat(), c.format);
        EXPECT_EQ(v->getDataAsString(), c.text);
    }
}

TEST(ColumnDataGenerator, ReadsSeparatorPlacesAndCustomFormatFromTheColumn) {
    Column col;
    col.set_dataType(Number);
    col.set_typeFormat(Decimal);
    std::unique_ptr<ColumnData> plain(ColumnDataGenerator(col, "1,234"));
    EXPECT_EQ(dynamic_cast<IntColumnData&>(*plain).getValue(), 1); // flag absent: no separators
    col.set_useThousandSeparator(5);
    std::unique_ptr<ColumnData> sep(ColumnDataGenerator(col, "1,234"));
    EXPECT_EQ(dynamic_cast<IntColumnData&>(*sep).getValue(), 1234);
    EXPECT_TRUE(dynamic_cast<IntColumnData&>(*sep).isUseThousandSeparatorSet());

    col.set_typeFormat(FloatingPoint);
    std::unique_ptr<ColumnData> noPlaces(ColumnDataGenerator(col, "3.75"));
    EXPECT_DOUBLE_EQ(dynamic_cast<FloatColumnData&>(*noPlaces).getValue(), 3.0);
    col.set_decimalPlaces(2);
    std::unique_ptr<ColumnData> places(ColumnDataGenerator(col, "1,234.50"));
    EXPECT_DOUBLE_EQ(dynamic_cast<FloatColumnData&>(*places).getValue(), 1234.5);

    // Timestamps never use thousand separators.
    col.set_dataType(Timestamp);
    col.set_typeFormat(Decimal);
    std::unique_ptr<ColumnData> ts(ColumnDataGenerator(col, "1,234"));
    EXPECT_EQ(dynamic_cast<IntColumnData&>(*ts).getValue(), 1);

    Column date;
    date.set_dataType(Date);
    date.set_typeFormat(CustomPattern);
    date.set_customFormat("YYYY-MM-DD HH:MM:SS");
    std::unique_ptr<ColumnData> d(ColumnDataGenerator(date, "2020-01-05 10:20:30"));
    const LMDate& value = dynamic_cast<DateColumnData&>(*d).getValue();
    EXPECT_EQ(value.getYear(), 2020u);
    EXPECT_EQ(value.getDay(), 5u);
    EXPECT_EQ(value.getHour(), 10u);
    EXPECT_EQ(value.getSecond(), 30u);
}
