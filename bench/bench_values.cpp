// Typed values built from typical cell texts, with the process-wide expression cache on and off.
// Reports values per second (items_per_second).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/LMColumnData.h"
#include "values/LMDateTimeHelper.h"
#include "values/LMRegexCache.h"

using namespace LogMonitoring;

namespace {

// 0: every expression compiled and every pattern analysed anew; 1: compiled expressions cached;
// 2: pattern analyses shared as well.
void setCache(benchmark::State& state) {
    LMRegexCache::setEnabled(state.range(0) >= 1);
    LMDateTimeHelper::setSharedCacheEnabled(state.range(0) >= 2);
    static const char* const labels[] = {"no cache", "expression cache", "expression and analysis caches"};
    state.SetLabel(labels[state.range(0)]);
}

void BM_Decimal(benchmark::State& state) {
    setCache(state);
    const std::string text = "1234567";
    for (auto _ : state) benchmark::DoNotOptimize(IntColumnData(Decimal, text, false).getValue());
    state.SetItemsProcessed(state.iterations());
}

void BM_FloatWithSeparators(benchmark::State& state) {
    setCache(state);
    const std::string text = "1,234,567.89";
    for (auto _ : state) benchmark::DoNotOptimize(FloatColumnData(FloatingPoint, text, 2, true).getValue());
    state.SetItemsProcessed(state.iterations());
}

void BM_DateTime(benchmark::State& state) {
    setCache(state);
    const std::string text = "05-Jan-2020 10:20:30";
    for (auto _ : state)
        benchmark::DoNotOptimize(DateColumnData(CustomPattern, text, "DD-MMM-YYYY HH:MM:SS").getValue().getHour());
    state.SetItemsProcessed(state.iterations());
}

void BM_String(benchmark::State& state) {
    setCache(state);
    const std::string text = "Error: disk full on /var/log";
    for (auto _ : state) benchmark::DoNotOptimize(StringColumnData(FreeText, text).getDataAsString().size());
    state.SetItemsProcessed(state.iterations());
}

// One row of the four cells above, as a reader makes it through the factory.
void BM_RowThroughFactory(benchmark::State& state) {
    setCache(state);
    Column number, real, date, text;
    number.set_dataType(Number);
    number.set_typeFormat(Decimal);
    real.set_dataType(Number);
    real.set_typeFormat(FloatingPoint);
    real.set_decimalPlaces(2);
    real.set_useThousandSeparator(1);
    date.set_dataType(Date);
    date.set_typeFormat(CustomPattern);
    date.set_customFormat("DD-MMM-YYYY HH:MM:SS");
    text.set_dataType(String);
    text.set_typeFormat(FreeText);
    for (auto _ : state) {
        delete ColumnDataGenerator(number, "1234567");
        delete ColumnDataGenerator(real, "1,234,567.89");
        delete ColumnDataGenerator(date, "05-Jan-2020 10:20:30");
        delete ColumnDataGenerator(text, "Error: disk full on /var/log");
    }
    state.SetItemsProcessed(state.iterations() * 4);
}

}

BENCHMARK(BM_Decimal)->Arg(2)->Arg(1)->Arg(0);
BENCHMARK(BM_FloatWithSeparators)->Arg(2)->Arg(1)->Arg(0);
BENCHMARK(BM_DateTime)->Arg(2)->Arg(1)->Arg(0);
BENCHMARK(BM_String)->Arg(2)->Arg(1)->Arg(0);
BENCHMARK(BM_RowThroughFactory)->Arg(2)->Arg(1)->Arg(0);

BENCHMARK_MAIN();
