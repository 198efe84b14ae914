#include "platform/mgmt/handlers/CloudNodes.h"

#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"

namespace LMMgmt {

int loadCloudNodes(KQManagementDB& db, int64_t cloudId, std::vector<CloudNode>& nodes, std::string& error) {
    KQSqlStatement cloud(db.handle(), "SELECT 1 FROM clouds WHERE id = ?");
    cloud.bind(1, cloudId);
    if (!cloud.step()) {
        error = cloud.failed() ? "cannot read clouds: " + db.lastError()
                               : "cloud " + std::to_string(cloudId) + " does not exist";
        return cloud.failed() ? kDatabaseError : kNotFound;
    }
    KQSqlStatement q(db.handle(), "SELECT n.client_id, n.free_space, n.host_name, n.base_port, n.availability, "
                                  "c.network_host_name FROM cloud_nodes n LEFT JOIN clients c ON c.id = n.client_id "
                                  "WHERE n.cloud_id = ? ORDER BY n.free_space DESC, n.client_id");
    q.bind(1, cloudId);
    nodes.clear();
    while (q.step()) {
        CloudNode n;
        n.clientId = q.getInt(0);
        n.freeSpace = q.getInt(1);
        n.hostName = q.getText(2);
        n.basePort = q.getText(3);
        n.availability = q.getInt(4);
        n.networkHostName = q.getText(5);
        nodes.push_back(std::move(n));
    }
    if (q.failed()) {
        error = "cannot read cloud nodes: " + db.lastError();
        return kDatabaseError;
    }
    return kOk;
}

int loadCloudNodes(KQManagementDB& db, int64_t cloudId, LogMonitoring::GetCloudClientInfoListResp& resp,
                   std::string& error) {
    std::vector<CloudNode> nodes;
    if (int r = loadCloudNodes(db, cloudId, nodes, error); r != kOk) return r;
    resp.set_cloudClients_empty();
    for (const CloudNode& node : nodes) {
        auto& n = resp.add_cloudClients();
        n.set_clientId(node.clientId);
        n.set_freeSpace(node.freeSpace);
        n.set_hostName(node.hostName);
        n.set_basePort(node.basePort);
        n.set_availability(node.availability);
    }
    resp.set_errorCode(0);
    return kOk;
}

namespace {

// GetCloudClientInfoListReq: the index engine nodes of a cloud. An unknown cloud is answered with
// its error code as well, since callers look for it in the reply.
int cloudClientInfoList(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error) {
    const auto& req = *input.as<LogMonitoring::GetCloudClientInfoListReq>();
    if (!req.has_cloudId()) {
        error = "the request names no cloud";
        return kBadRequest;
    }
    LogMonitoring::GetCloudClientInfoListResp resp;
    int r = loadCloudNodes(db, req.cloudId(), resp, error);
    if (r != kOk) {
        LogMonitoring::GetCloudClientInfoListResp failed;
        failed.set_errorCode(r);
        failed.serialize(answer);
        return r;
    }
    return resp.serialize(answer) == 0 ? kOk : kSerializeFailed;
}

const HandlerRegistrar kCloudClients(kRequest, LogMonitoring::GetCloudClientInfoListReq::tagID(),
                                     "GetCloudClientInfoListReq", &cloudClientInfoList);

} // namespace
} // namespace LMMgmt
