#include "platform/mgmt/KQClient.h"

#include "platform/log/EvLMDebug.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"

KQClient::KQClient(uint64_t clientId) { load("KQClient::KQClient(id)", clientId, nullptr); }

KQClient::KQClient(const std::string& clientName, int, int) { load("KQClient::KQClient(name)", 0, &clientName); }

void KQClient::load(const char* where, uint64_t id, const std::string* name) {
    KQManagementDB db;
    if (db.open() != 0) return;
    const char* sql = name ? "SELECT id, name, short_name, network_host_name, kqd_port, host_name FROM clients WHERE name = ?"
                           : "SELECT id, name, short_name, network_host_name, kqd_port, host_name FROM clients WHERE id = ?";
    KQSqlStatement q(db.handle(), sql);
    if (name) q.bind(1, *name);
    else q.bind(1, static_cast<int64_t>(id));
    if (q.step()) {
        found_ = true;
        id_ = static_cast<uint64_t>(q.getInt(0));
        name_ = q.getText(1);
        shortName_ = q.getText(2);
        networkHostName_ = q.getText(3);
        kqdPort_ = static_cast<int>(q.getInt(4));
        hostName_ = q.getText(5);
    } else if (q.failed()) {
        EvLMDebug().Error(where, "cannot read clients: %s", db.lastError().c_str());
    }
}

int KQClient::getClientId(uint64_t& id) const {
    id = found_ ? id_ : 0;
    return found_ ? 0 : 1;
}

int KQClient::getClientName(std::string& name) const {
    if (found_) name = name_;
    return found_ ? 0 : 1;
}

int KQClient::getNetworkHostnameMangled(std::string& name) const {
    if (found_) name = networkHostName_;
    return found_ ? 0 : 1;
}

int KQClient::getKQDPort(int& port) const {
    port = found_ ? kqdPort_ : 0;
    return found_ ? 0 : 1;
}

int KQClient::getShortName(std::string& name) const {
    if (found_) name = shortName_;
    return found_ ? 0 : 1;
}

int KQClient::getHostName(std::string& name) const {
    if (found_) name = hostName_;
    return found_ ? 0 : 1;
}
