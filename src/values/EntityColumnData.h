#pragma once
// An entity cell: kept for its text; it is never equal to, less than or containing anything.
#include <string>

#include "values/ColumnData.h"

namespace LogMonitoring {

class LM_EXPORT EntityColumnData : public ColumnData {
public:
    EntityColumnData(TypeFormat typeFormat, std::string text);
    EntityColumnData(const EntityColumnData& other);

    bool operator==(const ColumnData& other) const override;
    using ColumnData::contains;
    // Containment through a non-const value is equality (so also false).
    virtual bool contains(const ColumnData& other);
    ColumnData* clone() const override;
};

}
