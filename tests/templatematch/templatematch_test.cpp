// Whether values fit template columns and data types.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "documents/LMTemplateMatch.h"
#include "platform/log/EvLMDebug.h"

using namespace LogMonitoring;

namespace {

Column makeColumn(DataType type, TypeFormat format, const std::string& custom = "") {
    Column column;
    column.set_dataType(type);
    column.set_typeFormat(format);
    if (!custom.empty()) column.set_customFormat(custom);
    return column;
}

}

TEST(CheckForTemplateMatch, ValuesAgainstColumns) {
    struct Case {
        DataType type;
        TypeFormat format;
        std::string custom;
        std::string value;
        bool fits;
    };
    const std::vector<Case> cases = {
        {Number, Decimal, "", "42", true},
        {Number, Decimal, "", " 42", false},    // blanks are part of the whole-text match
        {Number, Decimal, "", "42 ", false},
        {Number, Decimal, "", "   ", true},     // blanks only always fit
        {Number, Decimal, "", "", true},
        {Number, Decimal, "", "\"42\"", true},  // enclosing quotes are not checked
        {Number, Decimal, "", "\"4x\"", false},
        {Number, Decimal, "", "\"", false},
        {Number, Decimal, "", "abc", false},
        {Number, Hexadecimal, "", "0x1F", true},
        {Number, FloatingPoint, "", "3.14", true},  // decimal places taken from the value
        {Number, FloatingPoint, "", "-0.125", true},
        {Number, FloatingPoint, "", "3.1x", false},
        {String, FreeText, "", "anything at all", true},
        {String, SeparatorList, "", " x ", true},
        {Date, DayMonthYearDash, "", "25-12-2024", true},
        {Date, DayMonthYearDash, "", "2024-12-25", false},
        {Date, CustomPattern, "YYYY/MM/DD", "2024/12/25", true},
        {Date, CustomPattern, "YYYY/MM/DD", "25/12/2024", false},
        {Date, CustomPattern, "", "2024/12/25", false},  // no pattern: nothing but blanks fits
        {Time, HoursMinutesSeconds, "", "23:59:01", true},
        {Time, HoursMinutesSeconds, "", "23:59", false},
    };
    for (const auto& c : cases) {
        Column column = makeColumn(c.type, c.format, c.custom);
        EXPECT_EQ(checkForTemplateMatch(column, c.value), c.fits)
            << c.type << "/" << c.format << " [" << c.value << "]";
    }
}

TEST(MatchTemplateVariableFormat, WholeValueCaseInsensitive) {
    struct Case {
        DataType type;
        TypeFormat format;
        std::string custom;
        std::string value;
        bool fits;
    };
    const std::vector<Case> cases = {
        {Number, Decimal, "", "42", true},
        {Number, Decimal, "", "-7", true},
        {Number, Decimal, "", "4a2", false},
        {Number, Decimal, "", " 42", false},
        {Number, Hexadecimal, "", "0XFF", true},
        {Number, Binary, "", "b101", true},
        {Number, Binary, "", "b102", false},
        {String, FreeText, "", "free text", true},
        {Date, DayMonthYearDash, "", "01-02-2024", true},
        {Date, DayMonthYearDash, "", "01-02-2024x", false},
        {Date, CustomPattern, "YYYY/MM/DD", "2024/12/25", true},
        {Time, HoursMinutesSecondsAmPm, "", "10:15:00 PM", true},
        {Time, HoursMinutesSecondsAmPm, "", "10:15:00 pm", true},
        {Time, HoursMinutes, "", "10:15", true},
        {Time, HoursMinutes, "", "10-15", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchTemplateVariableFormat(c.type, c.value, c.custom, c.format), c.fits)
            << c.type << "/" << c.format << " [" << c.value << "]";
    }
}
