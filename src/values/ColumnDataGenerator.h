#pragma once
// Makes the typed value of one cell from its template column and text.
#include <string>

#include "LMExport.h"
#include "values/ColumnData.h"

namespace LogMonitoring {

class Column;

// A new value owned by the caller, or null for a data type that has no typed value (4, 7 and
// any value not named). Reads the column's data type, type format, thousand-separator flag,
// decimal places and, for Date and Time columns, its custom format.
LM_EXPORT ColumnData* ColumnDataGenerator(Column& column, const std::string& text);

}
