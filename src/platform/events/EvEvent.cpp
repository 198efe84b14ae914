#include "platform/events/EvEvent.h"

#include <cstdio>
#include <cstring>

#include "platform/log/EvLMDebug.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {

struct CatalogueText {
    uint32_t id;
    int locale;
    const char* text;
};

// The texts the engine raises or shows. The first text of an id is its English one.
const CatalogueText kCatalogue[] = {
    {0x23000864, EvEvent::kEnglish, "The sample does not match the template."},
    {0x4A0004CB, EvEvent::kEnglish, "Some index engines are down or not reachable (reported by %s)."},
};

const KQMgmtSchemaPart kEventsV1("events", 1, R"SQL(
CREATE TABLE events(
    id INTEGER PRIMARY KEY,
    event_id INTEGER NOT NULL,
    severity INTEGER NOT NULL,
    client TEXT NOT NULL,
    text TEXT NOT NULL,
    raised_at TEXT NOT NULL);
)SQL");

const char* find(uint32_t id, int locale) {
    const char* fallback = nullptr;
    for (const auto& t : kCatalogue) {
        if (t.id != id) continue;
        if (t.locale == locale) return t.text;
        if (!fallback) fallback = t.text;
    }
    return fallback;
}

} // namespace

std::string EvEvent::text(uint32_t messageId, const std::vector<std::string>& args) const {
    const char* t = find(messageId, locale_);
    if (!t) return {};
    std::string out;
    size_t next = 0;
    for (const char* p = t; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            if (next < args.size()) out += args[next];
            ++next;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

int EvEvent::evPrintf(char* buffer, size_t size, uint32_t messageId, const std::vector<std::string>& args) const {
    if (!buffer || size == 0) return -1;
    std::string t = text(messageId, args);
    bool known = !t.empty();
    if (!known) {
        char num[32];
        std::snprintf(num, sizeof num, "event 0x%08X", messageId);
        t = num;
    }
    size_t n = t.size() < size - 1 ? t.size() : size - 1;
    std::memcpy(buffer, t.data(), n);
    buffer[n] = '\0';
    return known ? static_cast<int>(n) : -1;
}

int EvEvent::raise(Severity severity, uint32_t eventId, const std::vector<std::string>& args) {
    EvLMDebug log;
    std::string t = text(eventId, args);
    if (t.empty()) {
        char num[32];
        std::snprintf(num, sizeof num, "event 0x%08X", eventId);
        t = num;
        for (const auto& a : args) t += " " + a;
    }
    KQManagementDB db;
    if (db.open() != 0) {
        log.Error("EvEvent::raise", "event 0x%08X not stored: %s", eventId, t.c_str());
        return 1;
    }
    KQSqlStatement q(db.handle(), "INSERT INTO events(event_id, severity, client, text, raised_at) "
                                  "VALUES(?, ?, ?, ?, strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))");
    q.bind(1, static_cast<int64_t>(eventId)).bind(2, static_cast<int64_t>(severity));
    q.bind(3, KQPlatformInfo().getPhysicalMachine()).bind(4, t);
    if (!q.run()) {
        log.Error("EvEvent::raise", "event 0x%08X not stored: %s (%s)", eventId, db.lastError().c_str(), t.c_str());
        return 1;
    }
    log.DebugLvl("EvEvent::raise", severity == kCritical ? 0 : 1, "event 0x%08X: %s", eventId, t.c_str());
    return 0;
}
