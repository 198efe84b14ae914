#include "platform/mgmt/handlers/PolicyProperties.h"

#include "platform/messages/catalogue/CommonMessages.h"
#include "platform/messages/catalogue/NodeMessages.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"

namespace LMMgmt {

int checkPolicy(KQManagementDB& db, uint64_t policyId, std::string& error) {
    KQSqlStatement q(db.handle(), "SELECT 1 FROM policies WHERE id = ?");
    q.bind(1, static_cast<int64_t>(policyId));
    if (q.step()) return kOk;
    if (q.failed()) {
        error = "cannot read policies: " + db.lastError();
        return kDatabaseError;
    }
    error = "monitoring policy " + std::to_string(policyId) + " does not exist";
    return kNotFound;
}

int readPolicyProperty(KQManagementDB& db, uint64_t policyId, const std::string& name, std::string& value,
                       std::string& error) {
    KQSqlStatement q(db.handle(), "SELECT value FROM policy_properties WHERE policy_id = ? AND name = ?");
    q.bind(1, static_cast<int64_t>(policyId)).bind(2, name);
    if (q.step()) {
        value = q.getText(0);
        return kOk;
    }
    if (q.failed()) {
        error = "cannot read property [" + name + "]: " + db.lastError();
        return kDatabaseError;
    }
    error = "property [" + name + "] of monitoring policy " + std::to_string(policyId) + " is not set";
    return kNotFound;
}

int writePolicyProperty(KQManagementDB& db, uint64_t policyId, const std::string& name, const std::string& value,
                        int64_t dataType, std::string& error) {
    if (int r = checkPolicy(db, policyId, error); r != kOk) return r;
    KQSqlStatement q(db.handle(), "INSERT INTO policy_properties(policy_id, name, value, data_type) VALUES(?, ?, ?, ?) "
                                  "ON CONFLICT(policy_id, name) DO UPDATE SET value = excluded.value, "
                                  "data_type = excluded.data_type");
    q.bind(1, static_cast<int64_t>(policyId)).bind(2, name).bind(3, value).bind(4, dataType);
    if (!q.run()) {
        error = "cannot write property [" + name + "]: " + db.lastError();
        return kDatabaseError;
    }
    return kOk;
}

namespace {

// UpdateMonitoringPolicyPropertyRequest: writes every property of the request, all or none.
int updatePolicyProperties(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error) {
    const auto& req = *input.as<LogMonitoring::UpdateMonitoringPolicyPropertyRequest>();
    if (!req.monitoringPolicy() || !req.monitoringPolicy()->has_monitoringPolicyId()) {
        error = "the request names no monitoring policy";
        return kBadRequest;
    }
    const auto policyId = static_cast<uint64_t>(req.monitoringPolicy()->monitoringPolicyId());
    if (!db.begin()) {
        error = "cannot start a transaction: " + db.lastError();
        return kDatabaseError;
    }
    for (size_t i = 0; i < req.properties_size(); ++i) {
        const auto& p = req.properties(i);
        if (p.propertyName().empty()) {
            db.rollback();
            error = "property " + std::to_string(i) + " has no name";
            return kBadRequest;
        }
        int r = writePolicyProperty(db, policyId, p.propertyName(), p.propertyValue(), p.dataType(), error);
        if (r != kOk) {
            db.rollback();
            return r;
        }
    }
    if (!db.commit()) {
        db.rollback();
        error = "cannot commit: " + db.lastError();
        return kDatabaseError;
    }
    LogMonitoring::GenericEntityResponse resp;
    resp.set_errorCode(0);
    return resp.serialize(answer) == 0 ? kOk : kSerializeFailed;
}

const HandlerRegistrar kUpdateProperties(kProcedure, LogMonitoring::UpdateMonitoringPolicyPropertyRequest::tagID(),
                                         "UpdateMonitoringPolicyPropertyRequest", &updatePolicyProperties);

} // namespace
} // namespace LMMgmt
