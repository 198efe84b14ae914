#pragma once
// The generated access log the reader and builder benchmarks share: 1,000,000 lines (date, time,
// client address, method, path, status, bytes, then user agent and key=value pairs; about 5%
// continuation lines) and the template of eight typed columns that reads it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/LMColumnTypes.h"

namespace benchlog {

using namespace LogMonitoring;

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

inline const AccessLog& accessLog() {
    static const AccessLog log;
    return log;
}

inline Column& addColumn(TemplateXML& t, int id, const char* name, DataType type, TypeFormat format) {
    Column& c = t.add_columns();
    c.mutable_columnEntity().set_id(id);
    c.mutable_columnEntity().set_name(name);
    c.set_dataType(type);
    c.set_typeFormat(format);
    return c;
}

inline TemplateXML accessTemplate() {
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

inline TemplateXML keyValueTemplate() {
    TemplateXML t;
    addColumn(t, 11, "user", String, FreeText);
    addColumn(t, 12, "session", String, FreeText);
    addColumn(t, 13, "took", Number, Decimal);
    return t;
}

}
