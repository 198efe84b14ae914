#pragma once
// A list column's cell (type formats 23 and 24): its text is an integer, tested against the
// list of numbers that the operand's text carries as a serialised IntegersList message. Cells of
// any other format compare false with everything.
#include <cstdint>
#include <string>
#include <vector>

#include "values/ColumnData.h"

namespace LogMonitoring {

class LM_EXPORT ListColumnData : public ColumnData {
public:
    ListColumnData(TypeFormat typeFormat, std::string text);
    ListColumnData(const ListColumnData& other);

    // The integer is one of the operand's numbers.
    bool operator==(const ColumnData& other) const override;
    // The integer is less than the operand's first number (unsigned comparison).
    bool operator<(const ColumnData& other) const override;
    bool contains(const ColumnData& other) const override;
    bool doesNotContain(const ColumnData& other) const override;
    ColumnData* clone() const override;

private:
    // Whether the comparison applies; then the integer and the operand's numbers.
    bool operands(const ColumnData& other, uint32_t& value, std::vector<uint32_t>& list) const;
};

}
