#pragma once
// The regular expression (Perl syntax) that recognises a cell's text for one column data type
// and type format, and its number of capture groups. A plain value object, built for one use.
#include <list>
#include <string>

#include "LMExport.h"
#include "values/LMColumnTypes.h"

namespace LogMonitoring {

class LM_EXPORT RegExGenerator {
public:
    RegExGenerator(DataType dataType, TypeFormat typeFormat);

    // A changed value empties the cached expression; an equal one changes nothing.
    void setUseThousandSepartor(bool use);
    void setNumberDecimalPlaces(int places);
    // The alternatives of a String or Entity column (for a text reader, its separators). Always
    // empties the cached expression.
    void setMatchingList(const std::list<std::string>& items);

    // The expression, built when not cached. A raw request builds the matching list's items
    // joined without groups or bars (for use inside a bracket expression), returns it and leaves
    // no cached expression behind. The custom format is used by Date and Time columns of type
    // format 28 only; a null or empty one gives no pattern and so an empty expression.
    std::string& getRegularExpression(const char* customFormat = nullptr, bool raw = false);
    // The number of capture groups of the last build.
    int getNumberOfSubString() const { return numberOfSubStrings_; }

private:
    void build(const char* customFormat, bool raw);
    void buildNumber();
    void buildText(bool raw);
    void buildDateTime(const char* customFormat);
    void buildTimestamp();
    // "[+-]?[0-9]*.[0-9]{N}" with N decimal places, "[+-]?[0-9]+" without.
    void buildFraction();
    void set(std::string expression, int subStrings);

    DataType dataType_;
    TypeFormat typeFormat_;
    std::string expression_;
    int numberOfSubStrings_ = 0;
    std::list<std::string> matchingList_;
    bool useThousandSeparator_ = false;
    int decimalPlaces_ = 0;
    std::string rawExpression_;
};

// The date or time pattern of a type format ("DD-MM-YYYY", "HH:MM:SS AMPM", ...); for format 28
// the custom format (empty when null); empty for formats that name no pattern.
LM_EXPORT std::string convertFormatTypeToPatternType(TypeFormat format, const char* customFormat);

}
