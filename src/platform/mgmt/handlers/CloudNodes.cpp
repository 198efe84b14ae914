#include "platform/mgmt/handlers/CloudNodes.h"

#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"

namespace LMMgmt {

int loadCloudNodes(KQManagementDB& db, int64_t cloudId, LogMonitoring::GetCloudClientInfoListResp& resp,
                   std::string& error) {
    KQSqlStatement cloud(db.handle(), "SELECT 1 FROM clouds WHERE id = ?");
    cloud.bind(1, cloudId);
    if (!cloud.step()) {
        error = cloud.failed() ? "cannot read clouds: " + db.lastError()
                               : "cloud " + std::to_string(cloudId) + " does not exist";
        return cloud.failed() ? kDatabaseError : kNotFound;
    }
    KQSqlStatement q(db.handle(), "SELECT client_id, free_space, host_name, base_port, availability "
                                  "FROM cloud_nodes WHERE cloud_id = ? ORDER BY free_space DESC, client_id");
    q.bind(1, cloudId);
    resp.set_cloudClients_empty();
    while (q.step()) {
        auto& n = resp.add_cloudClients();
        n.set_clientId(q.getInt(0));
        n.set_freeSpace(q.getInt(1));
        n.set_hostName(q.getText(2));
        n.set_basePort(q.getText(3));
        n.set_availability(q.getInt(4));
    }
    if (q.failed()) {
        error = "cannot read cloud nodes: " + db.lastError();
        return kDatabaseError;
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
