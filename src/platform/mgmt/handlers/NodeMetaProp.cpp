// Node metadata: named properties of a client machine (among them "analyticsPort", the port of
// the analytics engine on that machine), kept by the management server and asked for through the
// stored procedure "AppGetNodeMetaProp".
#include "platform/messages/catalogue/AppMessages.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"

namespace LMMgmt {

namespace {

const KQMgmtSchemaPart kNodePropertiesV1("node_properties", 1, R"SQL(
CREATE TABLE node_properties(
    client_id INTEGER NOT NULL REFERENCES clients(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    value TEXT NOT NULL,
    PRIMARY KEY(client_id, name));
)SQL");

// App::CloudInfo naming one node (its client): answers an App::CloudNodeInfo with that client and
// all its properties, in name order. A known client without properties gets an empty list, which
// tells the caller that nothing is configured for it.
int nodeMetaProp(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error) {
    const auto& req = *input.as<App::CloudInfo>();
    if (req.nodes_size() == 0 || req.nodes(0).client() == nullptr || !req.nodes(0).client()->has_clientId()) {
        error = "the request names no client";
        return kBadRequest;
    }
    const int64_t clientId = req.nodes(0).client()->clientId();
    KQSqlStatement client(db.handle(), "SELECT name FROM clients WHERE id = ?");
    client.bind(1, clientId);
    if (!client.step()) {
        error = client.failed() ? "cannot read clients: " + db.lastError()
                                : "client " + std::to_string(clientId) + " does not exist";
        return client.failed() ? kDatabaseError : kNotFound;
    }
    App::CloudNodeInfo node;
    auto& entity = node.mutable_client();
    entity.set_clientId(clientId);
    entity.set_clientName(client.getText(0));
    node.set_properties_empty();
    KQSqlStatement q(db.handle(), "SELECT name, value FROM node_properties WHERE client_id = ? ORDER BY name");
    q.bind(1, clientId);
    while (q.step()) {
        auto& p = node.add_properties();
        p.set_name(q.getText(0));
        p.set_value(q.getText(1));
    }
    if (q.failed()) {
        error = "cannot read node properties: " + db.lastError();
        return kDatabaseError;
    }
    return node.serialize(answer) == 0 ? kOk : kSerializeFailed;
}

const HandlerRegistrar kNodeMetaProp(kProcedure, App::CloudInfo::tagID(), "AppGetNodeMetaProp", &nodeMetaProp);

} // namespace
} // namespace LMMgmt
