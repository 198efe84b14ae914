#include "values/RegExGenerator.h"

#include "values/LMDateImpl.h"
#include "values/LMTimeImpl.h"

namespace LogMonitoring {

namespace {
const char* const kSigned = "[+-]?[0-9]+";
const char* const kThousands = "[+-]?[0-9]{1,3}(,[0-9]{3})*";
}

RegExGenerator::RegExGenerator(DataType dataType, TypeFormat typeFormat)
    : dataType_(dataType), typeFormat_(typeFormat) {}

void RegExGenerator::setUseThousandSepartor(bool use) {
    if (use == useThousandSeparator_) return;
    useThousandSeparator_ = use;
    set(std::string(), 0);
}

void RegExGenerator::setNumberDecimalPlaces(int places) {
    if (places == decimalPlaces_) return;
    decimalPlaces_ = places;
    set(std::string(), 0);
}

void RegExGenerator::setMatchingList(const std::list<std::string>& items) {
    matchingList_ = items;
    set(std::string(), 0);
}

std::string& RegExGenerator::getRegularExpression(const char* customFormat, bool raw) {
    if (expression_.empty() || raw) build(customFormat, raw);
    if (!raw) return expression_;
    rawExpression_ = expression_;
    expression_.clear();
    return rawExpression_;
}

void RegExGenerator::set(std::string expression, int subStrings) {
    expression_ = std::move(expression);
    numberOfSubStrings_ = subStrings;
}

void RegExGenerator::build(const char* customFormat, bool raw) {
    switch (dataType_) {
    case Number: buildNumber(); break;
    case String:
    case Entity: buildText(raw); break;
    case Date:
    case Time: buildDateTime(customFormat); break;
    case List:
        if (typeFormat_ == IntegerList || typeFormat_ == IdList) set("[0-9]+", 0);
        else set(std::string(), 0);
        break;
    case Timestamp: buildTimestamp(); break;
    default: set(std::string(), 0); break;
    }
}

void RegExGenerator::buildNumber() {
    switch (typeFormat_) {
    case FloatingPoint:
        if (decimalPlaces_ > 0) {
            const std::string places = ".[0-9]{" + std::to_string(decimalPlaces_) + "}";
            if (useThousandSeparator_) set("[+-]?([0-9]{1,3}(,[0-9]{3})*)?" + places, 2);
            else set("[+-]?[0-9]*" + places, 0);
            break;
        }
        [[fallthrough]];
    case Decimal:
        if (useThousandSeparator_) set(kThousands, 1);
        else set(kSigned, 0);
        break;
    case Hexadecimal: set("[+-]?[0]?[xX]?[0-9A-Fa-f]+", 0); break;
    case Binary: set("[bB]?[01]+", 0); break;
    case EpochSeconds: set(kSigned, 0); break;
    case EpochSecondsFraction: buildFraction(); break;
    default: set(std::string(), 0); break;
    }
}

void RegExGenerator::buildFraction() {
    if (decimalPlaces_ > 0) set("[+-]?[0-9]*.[0-9]{" + std::to_string(decimalPlaces_) + "}", 0);
    else set(kSigned, 0);
}

void RegExGenerator::buildText(bool raw) {
    if (matchingList_.empty()) {
        set(".*", 0);
        return;
    }
    std::string expression;
    int count = 0;
    for (const std::string& original : matchingList_) {
        const std::string item = original == "|" ? "\\|" : original;
        if (raw) {
            expression += item;
        } else {
            if (!expression.empty()) expression += "|";
            expression += "(" + item + ")";
        }
        ++count;
    }
    set(std::move(expression), count);
}

void RegExGenerator::buildDateTime(const char* customFormat) {
    if (typeFormat_ == EpochSeconds) {
        set(kSigned, 0);
        return;
    }
    if (typeFormat_ == EpochSecondsFraction) {
        buildFraction();
        return;
    }
    const std::string pattern = convertFormatTypeToPatternType(typeFormat_, customFormat);
    if (dataType_ == Date) {
        LMDateImpl date(pattern);
        set(date.getRegularExpression(), date.getNumberOfSubString());
    } else {
        LMTimeImpl time(pattern);
        set(time.getRegularExpression(), time.getNumberOfSubString());
    }
}

void RegExGenerator::buildTimestamp() {
    if (typeFormat_ == Decimal) set(kSigned, 0);
    else if (typeFormat_ == FloatingPoint) buildFraction();
    else set(std::string(), 0);
}

std::string convertFormatTypeToPatternType(TypeFormat format, const char* customFormat) {
    switch (format) {
    case DayMonthDash: return "DD-MM";
    case MonthDayDash: return "MM-DD";
    case DayMonthSlash: return "DD/MM";
    case MonthDaySlash: return "MM/DD";
    case DayMonthShortYearDash: return "DD-MM-YY";
    case MonthDayShortYearDash: return "MM-DD-YY";
    case DayMonthYearDash: return "DD-MM-YYYY";
    case MonthDayYearDash: return "MM-DD-YYYY";
    case DayMonthShortYearSlash: return "DD/MM/YY";
    case MonthDayShortYearSlash: return "MM/DD/YY";
    case DayMonthYearSlash: return "DD/MM/YYYY";
    case MonthDayYearSlash: return "MM/DD/YYYY";
    case DayMonthNameShortYear: return "DD-MMM-YY";
    case DayMonthNameYear: return "DD-MMM-YYYY";
    case HoursMinutesSeconds: return "HH:MM:SS";
    case HoursMinutesSecondsAmPm: return "HH:MM:SS AMPM";
    case HoursMinutes: return "HH:MM";
    case HoursMinutesAmPm: return "HH:MM AMPM";
    case MonthNameDay: return "MMM\\s+DD";
    case CustomPattern: return customFormat ? std::string(customFormat) : std::string();
    default: return std::string();
    }
}

}
