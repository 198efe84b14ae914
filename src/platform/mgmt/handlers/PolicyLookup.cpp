// Lookups of policies by name and of a policy's templates.
#include "platform/messages/catalogue/PolicyMessages.h"
#include "platform/messages/catalogue/ServiceMessages.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"
#include "platform/mgmt/handlers/PolicyProperties.h"

namespace LMMgmt {
namespace {

// getPolicyIdFromName: answers the same message with the policy id in field 1.
int policyIdFromName(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error) {
    const auto& req = *input.as<LogMonitoring::getPolicyIdFromName>();
    if (req.policyName().empty()) {
        error = "the request names no policy";
        return kBadRequest;
    }
    KQSqlStatement q(db.handle(), "SELECT id FROM policies WHERE name = ?");
    q.bind(1, req.policyName());
    if (!q.step()) {
        error = q.failed() ? "cannot read policies: " + db.lastError()
                           : "no monitoring policy named [" + req.policyName() + "]";
        return q.failed() ? kDatabaseError : kNotFound;
    }
    LogMonitoring::getPolicyIdFromName resp;
    resp.set_policyName(req.policyName());
    resp.set_monitoringPolicyId(q.getInt(0));
    return resp.serialize(answer) == 0 ? kOk : kSerializeFailed;
}

// GetListOfTemplatesReq: the policy's templates, primary first.
int listOfTemplates(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error) {
    const auto& req = *input.as<LogMonitoring::GetListOfTemplatesReq>();
    if (!req.has_monitoringPolicyId()) {
        error = "the request names no policy";
        return kBadRequest;
    }
    if (int r = checkPolicy(db, static_cast<uint64_t>(req.monitoringPolicyId()), error); r != kOk) return r;
    KQSqlStatement q(db.handle(), "SELECT t.id, t.name, t.xml, t.type FROM policy_templates pt "
                                  "JOIN templates t ON t.id = pt.template_id WHERE pt.policy_id = ? "
                                  "ORDER BY pt.position");
    q.bind(1, req.monitoringPolicyId());
    LogMonitoring::GetListOfTemplatesResp resp;
    resp.set_templates_empty();
    while (q.step()) {
        auto& t = resp.add_templates();
        t.mutable_templateEntity().set_templateId(q.getInt(0));
        t.mutable_templateEntity().set_templateName(q.getText(1));
        t.set_templateXml(q.getText(2));
        t.set_templateType(q.getInt(3));
    }
    if (q.failed()) {
        error = "cannot read templates: " + db.lastError();
        return kDatabaseError;
    }
    return resp.serialize(answer) == 0 ? kOk : kSerializeFailed;
}

const HandlerRegistrar kIdFromName(kRequest, LogMonitoring::getPolicyIdFromName::tagID(), "getPolicyIdFromName",
                                   &policyIdFromName);
const HandlerRegistrar kTemplates(kRequest, LogMonitoring::GetListOfTemplatesReq::tagID(), "GetListOfTemplatesReq",
                                  &listOfTemplates);

} // namespace
} // namespace LMMgmt
