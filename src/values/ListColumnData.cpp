#include "values/ListColumnData.h"

#include <algorithm>

#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/IntColumnData.h"

namespace LogMonitoring {

ListColumnData::ListColumnData(TypeFormat typeFormat, std::string text)
    : ColumnData(List, typeFormat, std::move(text)) {}

ListColumnData::ListColumnData(const ListColumnData& other) : ColumnData(other) {}

bool ListColumnData::operands(const ColumnData& other, uint32_t& value, std::vector<uint32_t>& list) const {
    if (getTypeFormat() != IntegerList && getTypeFormat() != IdList) return false;
    if (!sameType(other)) return false;
    IntegersList numbers;
    if (numbers.unserialize(other.getDataAsString()) != 0 || numbers.values().empty()) return false;
    value = static_cast<uint32_t>(IntColumnData(Decimal, getDataAsString(), false).getValue());
    list = numbers.values();
    return true;
}

bool ListColumnData::operator==(const ColumnData& other) const {
    uint32_t value = 0;
    std::vector<uint32_t> list;
    if (!operands(other, value, list)) return false;
    return std::find(list.begin(), list.end(), value) != list.end();
}

bool ListColumnData::operator<(const ColumnData& other) const {
    uint32_t value = 0;
    std::vector<uint32_t> list;
    if (!operands(other, value, list)) return false;
    return value < list.front();
}

bool ListColumnData::contains(const ColumnData& other) const { return *this == other; }

bool ListColumnData::doesNotContain(const ColumnData& other) const { return !contains(other); }

ColumnData* ListColumnData::clone() const { return new ListColumnData(*this); }

}
