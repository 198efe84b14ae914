#include "values/EntityColumnData.h"

namespace LogMonitoring {

EntityColumnData::EntityColumnData(TypeFormat typeFormat, std::string text)
    : ColumnData(Entity, typeFormat, std::move(text)) {}

EntityColumnData::EntityColumnData(const EntityColumnData& other) : ColumnData(other) {}

bool EntityColumnData::operator==(const ColumnData&) const { return false; }

bool EntityColumnData::contains(const ColumnData& other) { return *this == other; }

ColumnData* EntityColumnData::clone() const { return new EntityColumnData(*this); }

}
