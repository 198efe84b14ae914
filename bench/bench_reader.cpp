// The text log reader over a generated access log of 1,000,000 lines (date, time, client address,
// method, path, status, bytes, then user agent and key=value pairs; about 5% continuation lines)
// through a template of eight typed columns. Reports lines per second (items_per_second) and
// bytes per second for LMTextFileDocumentWithCurrentState::read, beside a plain loop that only
// searches the record pattern in every line, and the reader with a secondary template whose
// key/value pairs become cells.
#include <benchmark/benchmark.h>

#include <boost/regex.hpp>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "documents/LMTextFileDocumentWithCurrentState.h"
#include "platform/messages/catalogue/TemplateMessages.h"

using namespace LogMonitoring;

namespace {

constexpr int kLines = 1000000;

struct AccessLog {
    std::string dir;
    std::string path;
    uint64_t bytes = 0;

    ~AccessLog() { std::filesystem::remove_all(dir); }
    AccessLog() {
        std::string pattern = (std::filesystem::temp_directory_path() / "lmbench.XXXXXX").string();
        dir = mkdtemp(pattern.data()) ? pattern : std::string("/tmp");
        path = dir + "/access.log";
        static const char* const methods[] = {"GET", "POST", "PUT", "DELETE"};
        static const char* const agents[] = {"Mozilla/5.0 (X11; Linux x86_64) Gecko/20100101 Firefox/120.0",
                                             "curl/8.4.0", "Mozilla/5.0 (Windows NT 10.0; Win64; x64) Edge/119.0"};
        FILE* f = fopen(path.c_str(), "wb");
        char line[512];
        for (int i = 0; i < kLines; ++i) {
            int n;
            if (i % 20 == 19) {
                n = snprintf(line, sizeof line, "    at com.example.server.Handler.run(Handler.java:%d)\n", i % 400);
            } else {
                n = snprintf(line, sizeof line,
                             "%02d-12-2026 %02d:%02d:%02d 10.%d.%d.%d %s /app/v1/items/%d?page=%d %d %d %s "
                             "user=u%d session=s%05x took=%d\n",
                             1 + i % 28, i / 3600 % 24, i / 60 % 60, i % 60, i % 256, i / 256 % 256, i % 7,
                             methods[i % 4], i % 9973, i % 17, i % 50 == 0 ? 500 : 200, 200 + i % 90000,
                             agents[i % 3], i % 1000, i & 0xfffff, i % 900);
            }
            fwrite(line, 1, static_cast<size_t>(n), f);
            bytes += static_cast<uint64_t>(n);
        }
        fclose(f);
    }
};

const AccessLog& accessLog() {
    static const AccessLog log;
    return log;
}

Column& addColumn(TemplateXML& t, int id, const char* name, DataType type, TypeFormat format) {
    Column& c = t.add_columns();
    c.mutable_columnEntity().set_id(id);
    c.mutable_columnEntity().set_name(name);
    c.set_dataType(type);
    c.set_typeFormat(format);
    return c;
}

TemplateXML accessTemplate() {
    TemplateXML t;
    addColumn(t, 1, "date", Date, DayMonthYearDash);
    addColumn(t, 2, "time", Time, HoursMinutesSeconds);
    addColumn(t, 3, "client", String, FreeText);
    addColumn(t, 4, "method", String, FreeText);
    addColumn(t, 5, "path", String, FreeText);
    addColumn(t, 6, "status", Number, Decimal);
    addColumn(t, 7, "bytes", Number, Decimal);
    addColumn(t, 8, "rest", String, FreeText);
    t.set_separatorFlags(1);
    return t;
}

TemplateXML keyValueTemplate() {
    TemplateXML t;
    addColumn(t, 11, "user", String, FreeText);
    addColumn(t, 12, "session", String, FreeText);
    addColumn(t, 13, "took", Number, Decimal);
    return t;
}

void readAll(benchmark::State& state, bool withSecondary) {
    const AccessLog& log = accessLog();
    TemplateXML primary = accessTemplate();
    TemplateXML secondary = keyValueTemplate();
    uint64_t rows = 0;
    for (auto _ : state) {
        LMTextFileDocumentWithCurrentState doc(log.path, MonitoringTextLog);
        doc.setTemplateXml(&primary);
        if (withSecondary) doc.setSecondaryTemplateXml(&secondary);
        doc.openDocument();
        while (LMDocumentRow* row = doc.read()) {
            ++rows;
            delete row;
        }
        if (doc.getLineNumber() != static_cast<uint64_t>(kLines)) state.SkipWithError("not every line was read");
    }
    state.counters["rows"] = static_cast<double>(rows / state.iterations());
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.bytes));
}

void BM_ReaderRead(benchmark::State& state) { readAll(state, false); }

void BM_ReaderReadWithKeyValues(benchmark::State& state) { readAll(state, true); }

// Lines from a stream and a search of the record pattern in each: the floor under the reader.
void BM_PatternOnly(benchmark::State& state) {
    const AccessLog& log = accessLog();
    TemplateXML primary = accessTemplate();
    LMTextFileDocument patternDoc("");
    patternDoc.setTemplateXml(&primary);
    const boost::regex re(patternDoc.getTemplatePattern(), boost::regex::perl | boost::regex::icase);
    uint64_t matched = 0;
    for (auto _ : state) {
        std::ifstream in(log.path, std::ios::binary);
        std::string line;
        boost::smatch m;
        while (std::getline(in, line)) matched += boost::regex_search(line, m, re) ? 1 : 0;
    }
    state.counters["matched"] = static_cast<double>(matched / state.iterations());
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.bytes));
}

}

BENCHMARK(BM_PatternOnly)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReaderRead)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReaderReadWithKeyValues)->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
