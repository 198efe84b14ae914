#include "platform/mgmt/LogMonitor.h"

#include "platform/messages/catalogue/ServiceMessages.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"
#include "platform/mgmt/handlers/PolicyProperties.h"

int LogMonitor::request(const char* operation, int entityType, uint64_t tag, std::string& text) {
    if (entityType != LMMgmt::kEntityMonitoringPolicy) {
        error_ = "entity type " + std::to_string(entityType) + " is not served";
        log_.Error(operation, "%s", error_.c_str());
        return LMMgmt::kBadEntityType;
    }
    std::string answer;
    int r = LMMgmt::dispatch(operation, LMMgmt::kRequest, tag, text, answer, error_);
    // A handler may answer a failure with a reply that carries its error code.
    if (r == 0 || !answer.empty()) text = std::move(answer);
    return r;
}

int LogMonitor::getProperties(int entityType, uint64_t policyId, const std::string& propertyName, std::string& value,
                              std::string& error, void*) {
    const char* op = "LogMonitor::getProperties";
    value.clear();
    if (entityType != LMMgmt::kEntityMonitoringPolicy) {
        error_ = error = "entity type " + std::to_string(entityType) + " is not served";
        log_.Error(op, "%s", error.c_str());
        return LMMgmt::kBadEntityType;
    }
    KQManagementDB db;
    if (db.open() != 0) {
        error_ = error = "management database unavailable: " + db.lastError();
        log_.Error(op, "%s", error.c_str());
        return LMMgmt::kDatabaseError;
    }
    int r = LMMgmt::readPolicyProperty(db, policyId, propertyName, value, error);
    if (r != 0) {
        error_ = error;
        log_.DebugLvl(op, 1, "%s", error.c_str());
    }
    return r;
}

int LogMonitor::getClinetsUnderLMCloud(int entityType, uint64_t tag, std::string& text) {
    return request("LogMonitor::getClinetsUnderLMCloud", entityType, tag, text);
}

int LogMonitor::setCurrentStatus(int entityType, uint64_t tag, const std::string& report) {
    std::string text = report;
    return request("LogMonitor::setCurrentStatus", entityType, tag, text);
}

int LogMonitor::getIdFromName(std::string& text) {
    std::string answer;
    int r = LMMgmt::dispatch("LogMonitor::getIdFromName", LMMgmt::kRequest, LogMonitoring::getPolicyIdFromName::tagID(),
                             text, answer, error_);
    if (r == 0) text = std::move(answer);
    return r;
}

int LogMonitor::getListOfTemplates(int entityType, uint64_t tag, std::string& text) {
    return request("LogMonitor::getListOfTemplates", entityType, tag, text);
}

int LogMonitor::getIndexedTimeInterval(int entityType, uint64_t tag, std::string& text) {
    return request("LogMonitor::getIndexedTimeInterval", entityType, tag, text);
}

int LogMonitor::getSynchedMPDetailsForContinuous(int entityType, uint64_t tag, std::string& text) {
    return request("LogMonitor::getSynchedMPDetailsForContinuous", entityType, tag, text);
}
