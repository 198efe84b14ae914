#pragma once
// The typed value of one cell: the text as read and, by the column's data type and format, a
// parsed value. Values compare with a right-hand operand of the same data type and type format
// (any other operand compares false for ==, < and contains); the operand's flags choose how texts
// are matched, and text comparisons record the span of this value's text that they matched.
//
// A value is used by one thread at a time. Comparisons are const but record the matched span.
#include <cstddef>
#include <string>

#include "LMExport.h"
#include "values/LMColumnTypes.h"

namespace LogMonitoring {

class LM_EXPORT ColumnData {
public:
    virtual ~ColumnData();

    virtual bool operator==(const ColumnData& other) const;
    virtual bool operator!=(const ColumnData& other) const;
    virtual bool operator<(const ColumnData& other) const;
    virtual bool operator>(const ColumnData& other) const;
    virtual bool operator<=(const ColumnData& other) const;
    virtual bool operator>=(const ColumnData& other) const;
    virtual bool contains(const ColumnData& other) const;
    virtual bool doesNotContain(const ColumnData& other) const;
    // Inside (low, high), or [low, high] when the high operand's inclusive flag is set.
    virtual bool between(const ColumnData& low, const ColumnData& high) const;
    // The span (first and last position, inclusive) of the text the last text comparison matched.
    // An empty match reports its position as both ends.
    virtual size_t positionMatchedFrom() const;
    virtual size_t positionMatchedTo() const;
    // A new value of the same class with the same text, types, flags and parsed value; the
    // caller owns it.
    virtual ColumnData* clone() const = 0;

    const std::string& getDataAsString() const { return text_; }
    DataType getDataType() const { return dataType_; }
    TypeFormat getTypeFormat() const { return typeFormat_; }
    bool isRegEx() const { return regEx_; }
    bool isCaseSensitive() const { return caseSensitive_; }
    bool isInclusive() const { return inclusive_; }
    bool isMatchWholeWord() const { return matchWholeWord_; }
    void setRegEx(bool v) { regEx_ = v; }
    void setCaseSensitive(bool v) { caseSensitive_ = v; }
    void setInclusive(bool v) { inclusive_ = v; }
    void setMatchWholeWord(bool v) { matchWholeWord_ = v; }
    std::string getColumnName() const { return columnName_; }
    void setColumnName(const std::string& name) { columnName_ = name; }

protected:
    ColumnData(DataType dataType, TypeFormat typeFormat, std::string text);
    // Carries text, types and flags; the matched span and the column name start afresh.
    ColumnData(const ColumnData& other);
    ColumnData& operator=(const ColumnData&) = delete;

    // Whether the operand has this value's data type and type format.
    bool sameType(const ColumnData& other) const;
    // Span reset of text comparisons: 0 to the text's length.
    void resetMatchedSpan() const;
    void setMatchedSpan(size_t from, size_t length) const;
    // Whether the operand's text, read as a literal or (with its regular-expression flag) as an
    // expression, matches the whole of this text; case-insensitive unless the operand says so.
    bool textEquals(const ColumnData& other) const;

private:
    std::string text_;
    DataType dataType_;
    TypeFormat typeFormat_;
    bool regEx_ = false;
    bool caseSensitive_ = true;
    bool inclusive_ = true;
    bool matchWholeWord_ = false;
    mutable size_t matchedFrom_ = 0;
    mutable size_t matchedTo_ = 0;
    std::string columnName_;
};

}
