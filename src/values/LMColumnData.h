#pragma once
// Typed cell values: the value classes, their factory and the number conversions.
#include "values/ColumnData.h"
#include "values/ColumnDataGenerator.h"
#include "values/DateColumnData.h"
#include "values/EntityColumnData.h"
#include "values/FloatColumnData.h"
#include "values/IntColumnData.h"
#include "values/LMColumnTypes.h"
#include "values/ListColumnData.h"
#include "values/NumericConversion.h"
#include "values/StringColumnData.h"
#include "values/TimeColumnData.h"
