#include "platform/events/EvAlertEx.h"

#include "platform/log/EvLMDebug.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {
const KQMgmtSchemaPart kAlertsV1("alerts", 1, R"SQL(
CREATE TABLE alerts(
    id INTEGER PRIMARY KEY,
    category INTEGER NOT NULL,
    type INTEGER NOT NULL,
    flags INTEGER NOT NULL,
    client TEXT NOT NULL,
    description TEXT NOT NULL,
    sent_at TEXT NOT NULL);
)SQL");
}

int EvAlertEx::sendAlert(int category, int type, int flags) {
    EvLMDebug log;
    KQManagementDB db;
    if (db.open() != 0) {
        log.Error("EvAlertEx::sendAlert", "alert %d/%d not stored", category, type);
        return 1;
    }
    KQSqlStatement q(db.handle(), "INSERT INTO alerts(category, type, flags, client, description, sent_at) "
                                  "VALUES(?, ?, ?, ?, ?, strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))");
    q.bind(1, static_cast<int64_t>(category)).bind(2, static_cast<int64_t>(type)).bind(3, static_cast<int64_t>(flags));
    q.bind(4, KQPlatformInfo().getPhysicalMachine()).bind(5, description_);
    if (!q.run()) {
        log.Error("EvAlertEx::sendAlert", "alert %d/%d not stored: %s", category, type, db.lastError().c_str());
        return 1;
    }
    log.DebugLvl("EvAlertEx::sendAlert", 1, "alert %d/%d sent (%zu bytes)", category, type, description_.size());
    return 0;
}
