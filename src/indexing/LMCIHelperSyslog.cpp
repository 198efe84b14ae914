// Forwarding of rendered records to a syslog receiver.
#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

#include "indexing/LMCIHelper.h"
#include "indexing/LMSyslogSender.h"

namespace LogMonitoring {

namespace {

// The management data set columns that are forwarded, compared case-sensitively. A constant
// table: initialised at compile time, so it is ready before any static constructor runs and
// safe to read from any thread.
constexpr std::array<std::string_view, 21> sysLogFields = {
    "opid",          "auditdate",      "audittime",      "severitylevel", "operation",
    "details",       "username",       "eventid",        "occurrencedate", "occurrencetime",
    "eventseverity", "description",    "program",        "computer",      "jobid",
    "alertid",       "alertname",      "alertdate",      "alerttime",     "alertseverity",
    "alertdescription",
};

} // namespace

bool AllowFieldForSyslog(const std::string& name) {
    return std::find(sysLogFields.begin(), sysLogFields.end(), std::string_view(name)) != sysLogFields.end();
}

void LMCIHelper::setPropertiesForSysLog(std::string dataSetName) {
    if (dataSetName == "LMGetAlertDataSetForCI")
        syslogPrefix = "Alerts: ";
    else if (dataSetName == "LMGetGUIAuditDataSetForCI")
        syslogPrefix = "AuditTrail: ";
    else if (dataSetName == "LMGetEventViewerDataSetForCI")
        syslogPrefix = "Events: ";
}

int LMCIHelper::initialize(std::string host, int port, int protocol) {
    if (protocol != LMSyslogSender::kUdp && protocol != LMSyslogSender::kTcp) {
        Error("LMCIHelper::initialize", "syslog protocol [%d] is not supported, use 1 (UDP) or 2 (TCP)", protocol);
        return kLMNotSupported;
    }
    if (!syslog_) syslog_ = std::make_shared<LMSyslogSender>();
    if (syslog_->open(host, port, protocol) != 0) {
        Error("LMCIHelper::initialize", "cannot reach syslog receiver [%s:%d] with protocol [%d]", host.c_str(),
              port, protocol);
        return -1;
    }
    return 0;
}

int LMCIHelper::sendDataToSysLog() {
    if (!syslog_ || !syslog_->isOpen()) {
        Error("LMCIHelper::sendDataToSysLog", "syslog connection is not initialized, record not sent");
        return -1;
    }
    std::string message;
    message.reserve(syslogPrefix.size() + currentDoc.size());
    message += syslogPrefix;
    message += currentDoc;
    return syslog_->send(message) == 0 ? 0 : -1;
}

int LMCIHelper::closeConnection() {
    if (syslog_) syslog_->close();
    return 0;
}

// Syslog over TLS is not offered on this platform.
int LMCIHelper::sendDataToSysLogTLS() { return kLMNotSupported; }
int LMCIHelper::initializeTLS(std::string, int) { return kLMNotSupported; }
int LMCIHelper::LoadCACertificatePath(std::string&) { return kLMNotSupported; }
int LMCIHelper::LoadKqLMSSLHelperDLL() { return kLMNotSupported; }
int LMCIHelper::closeConnectionTLS() { return kLMNotSupported; }

}
