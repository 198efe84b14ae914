#pragma once
// A text cell. Equality matches the whole text against the operand (a literal, or an expression
// with the operand's regular-expression flag; case-insensitive unless the operand is
// case-sensitive); containment searches for the operand, optionally as a whole word; ordering is
// byte-wise and case-sensitive.
#include <string>

#include "values/ColumnData.h"

namespace LogMonitoring {

class LM_EXPORT StringColumnData : public ColumnData {
public:
    StringColumnData(TypeFormat typeFormat, std::string text);
    StringColumnData(const StringColumnData& other);

    bool operator==(const ColumnData& other) const override;
    bool operator<(const ColumnData& other) const override;
    bool contains(const ColumnData& other) const override;
    bool doesNotContain(const ColumnData& other) const override;
    ColumnData* clone() const override;
};

}
