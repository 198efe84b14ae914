#include "values/ColumnDataGenerator.h"

#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/DateColumnData.h"
#include "values/EntityColumnData.h"
#include "values/FloatColumnData.h"
#include "values/IntColumnData.h"
#include "values/ListColumnData.h"
#include "values/StringColumnData.h"
#include "values/TimeColumnData.h"

namespace LogMonitoring {

ColumnData* ColumnDataGenerator(Column& column, const std::string& text) {
    const auto format = static_cast<TypeFormat>(column.typeFormat());
    const bool thousands = column.has_useThousandSeparator() && column.useThousandSeparator() != 0;
    const int places = column.has_decimalPlaces() ? static_cast<int>(column.decimalPlaces()) : 0;
    const char* custom = column.has_customFormat() ? column.customFormat().c_str() : nullptr;
    switch (column.dataType()) {
    case Number:
        if (format == FloatingPoint) return new FloatColumnData(format, text, places, thousands);
        return new IntColumnData(format, text, thousands);
    case String: return new StringColumnData(format, text);
    case Date:
        if (format == EpochSeconds) return new IntColumnData(format, text, false);
        if (format == EpochSecondsFraction) return new FloatColumnData(format, text, places, false);
        return new DateColumnData(format, text, custom);
    case Time:
        if (format == EpochSeconds) return new IntColumnData(format, text, false);
        if (format == EpochSecondsFraction) return new FloatColumnData(format, text, places, false);
        return new TimeColumnData(format, text, custom);
    case List: return new ListColumnData(format, text);
    case Entity: return new EntityColumnData(format, text);
    case Timestamp:
        if (format == FloatingPoint) return new FloatColumnData(format, text, places, false);
        return new IntColumnData(format, text, false);
    default: return nullptr;
    }
}

}
