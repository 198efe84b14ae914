#include "pipeline/LMPolicyProperties.h"

namespace LogMonitoring {

const std::string LM_MONITORING_AGE_CI_AFTER_DAYS = "age ci data after days";
const std::string LM_MONITORING_POLICY_CAPTURE_LOGFILE_HEADER = "Capture log file header";
const std::string LM_MONITORING_ENABLE_CLOUD_ID = "Cloud Id";
const std::string LM_MONITORING_FACTOR = "Factor";
const std::string LM_MONITORING_CLOUD_POLICY = "Cloud Policy Id";
// The leading blank is part of the stored name.
const std::string LM_MONITORING_VESTRY_GUID = " Vestry GUID";
const std::string LM_GLOBAL_MONITORING_POLICY_ID = "Global Policy Id";
const std::string LM_GLOBAL_MONITORING_POLICY_WEBSERVICE_URL = "Global Monitoring Web Service URL";
const std::string LM_GLOBAL_MONITORING_POLICY_USER_ID = "Global Monitoring User Id";
const std::string LM_GLOBAL_MONITORING_POLICY_PROXY_CLIENT_ID = "Global Monitoring Proxy Client Id";
const std::string LM_GLOBAL_MONITORING_POLICY_INTERNET_GATEWAY = "Global Monitoring Internet Gateway";
const std::string LM_GLOBAL_MONITORING_POLICY_USER_NAME = "Global Monitoring User Name";
const std::string LM_GLOBAL_MONITORING_POLICY_PASSWORD = "Global Monitoring Password";
const std::string LM_MONITORING_REMOTE_MONITOR_HOSTS = "Remote Monitor Hosts";

} // namespace LogMonitoring
