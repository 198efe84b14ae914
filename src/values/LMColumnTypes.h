#pragma once
// The data type and type format of a template column, as stored in its fields 2 and 3. Values
// outside the named ones occur in stored templates (4, 7, 25, ...) and are kept as they are.
#include <cstdint>

namespace LogMonitoring {

enum DataType : int32_t {
    Number = 0,
    String = 1,
    Date = 2,
    Time = 3,
    List = 5,
    Entity = 6,
    Timestamp = 8,
};

enum TypeFormat : int32_t {
    Decimal = 0,
    Hexadecimal = 1,
    Binary = 2,
    DayMonthDash = 3,
    MonthDayDash = 4,
    DayMonthSlash = 5,
    MonthDaySlash = 6,
    DayMonthShortYearDash = 7,
    MonthDayShortYearDash = 8,
    DayMonthYearDash = 9,
    MonthDayYearDash = 10,
    DayMonthShortYearSlash = 11,
    MonthDayShortYearSlash = 12,
    DayMonthYearSlash = 13,
    MonthDayYearSlash = 14,
    DayMonthNameShortYear = 15,
    DayMonthNameYear = 16,
    HoursMinutesSeconds = 17,
    HoursMinutesSecondsAmPm = 18,
    HoursMinutes = 19,
    HoursMinutesAmPm = 20,
    SeparatorList = 21,
    FreeText = 22,
    IntegerList = 23,
    IdList = 24,
    FloatingPoint = 26,
    MonthNameDay = 27,
    CustomPattern = 28,
    EpochSeconds = 29,
    EpochSecondsFraction = 30,
};

}
