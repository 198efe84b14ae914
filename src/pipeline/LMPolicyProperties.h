#pragma once
// Names of the policy properties the engine reads from the management server
// (LogMonitor::getProperties with entity type 2). Process-wide constants, set at load.
#include <string>

#include "LMExport.h"

namespace LogMonitoring {

LM_EXPORT extern const std::string LM_MONITORING_AGE_CI_AFTER_DAYS;             // "age ci data after days"
LM_EXPORT extern const std::string LM_MONITORING_POLICY_CAPTURE_LOGFILE_HEADER; // "Capture log file header"
LM_EXPORT extern const std::string LM_MONITORING_ENABLE_CLOUD_ID;               // "Cloud Id"
LM_EXPORT extern const std::string LM_MONITORING_FACTOR;                        // "Factor"
LM_EXPORT extern const std::string LM_MONITORING_CLOUD_POLICY;                  // "Cloud Policy Id"
LM_EXPORT extern const std::string LM_MONITORING_VESTRY_GUID;                   // " Vestry GUID"
LM_EXPORT extern const std::string LM_GLOBAL_MONITORING_POLICY_ID;
LM_EXPORT extern const std::string LM_GLOBAL_MONITORING_POLICY_WEBSERVICE_URL;
LM_EXPORT extern const std::string LM_GLOBAL_MONITORING_POLICY_USER_ID;
LM_EXPORT extern const std::string LM_GLOBAL_MONITORING_POLICY_PROXY_CLIENT_ID;
LM_EXPORT extern const std::string LM_GLOBAL_MONITORING_POLICY_INTERNET_GATEWAY;
LM_EXPORT extern const std::string LM_GLOBAL_MONITORING_POLICY_USER_NAME;
LM_EXPORT extern const std::string LM_GLOBAL_MONITORING_POLICY_PASSWORD;
LM_EXPORT extern const std::string LM_MONITORING_REMOTE_MONITOR_HOSTS;

// The entity type of a monitoring policy in property reads.
constexpr int kLMPolicyEntityType = 2;

} // namespace LogMonitoring
