// Where the index helper sends its batches: the identity and registry settings of a run, the
// global monitoring configuration of a cloud policy, the index engine node chosen from the
// management server's list, HTTP probing of the nodes, and the policy properties the helper
// writes back.
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "pipeline/LMPolicyProperties.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMCurl.h"
#include "platform/mgmt/App_ExecuteSP.h"
#include "platform/mgmt/KQClient.h"
#include "platform/mgmt/LogMonitor.h"

namespace LogMonitoring {

namespace {

// The management server's entity type of a monitoring policy.
constexpr int kPolicyEntity = 2;
// Client id of the management server, whose short name identifies the caller of a probe.
constexpr uint64_t kManagementClientId = 2;
constexpr int kProbeTimeoutSeconds = 45;
constexpr int kSessionTimeoutSeconds = 120;
constexpr uint64_t kDefaultMaxFieldLength = 5120;

const char* const kEventManager = "EventManager";
const char* const kDocSizeKey = "LMCIDOCSIZE";
const char* const kThreadPoolKey = "nLMCIUseThreadPool";


// The fields both node forms share, each only when it is set; the management server's policy
// list and the helper's network host name stay with their own form.
template <class From, class To> void copyNodeFields(const From& from, To& to) {
    if (from.has_clientId()) to.set_clientId(from.clientId());
    if (from.has_attribute2()) to.set_attribute2(from.attribute2());
    if (from.has_freeSpace()) to.set_freeSpace(from.freeSpace());
    if (from.has_attribute4()) to.set_attribute4(from.attribute4());
    if (from.has_attribute5()) to.set_attribute5(from.attribute5());
    if (from.has_hostName()) to.set_hostName(from.hostName());
    if (from.has_basePort()) to.set_basePort(from.basePort());
    if (from.has_availability()) to.set_availability(from.availability());
}

// A node can only be addressed over HTTP when it names both its host and its port; an entry
// without them would give "http://:/solr".
bool isAddressable(const cloudClientInfoV2& node) { return !node.hostName().empty() && !node.basePort().empty(); }

// A node counts as available until someone has marked it otherwise.
bool isAvailable(const cloudClientInfoV2& node) { return !node.has_availability() || node.availability() != 0; }

std::string baseUrlOf(const cloudClientInfoV2& node) { return "http://" + node.hostName() + ":" + node.basePort(); }

// The network host name under which sessions reach the node: its own when it carries one, else
// what the client directory reports for its client id.
std::string networkHostNameOf(const cloudClientInfoV2& node) {
    std::string name;
    if (node.has_networkHostName()) name = node.networkHostName();
    if (name.empty()) KQClient(static_cast<uint64_t>(node.clientId())).getNetworkHostnameMangled(name);
    return name;
}

bool isHexText(const std::string& text, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

// The domain GUID in the canonical 8-4-4-4-12 form, upper case, without braces; empty when the
// text is not such a GUID.
std::string canonicalGuid(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    size_t last = text.find_last_not_of(" \t\r\n");
    if (first == std::string::npos) return {};
    std::string guid = text.substr(first, last - first + 1);
    if (guid.size() >= 2 && guid.front() == '{' && guid.back() == '}') guid = guid.substr(1, guid.size() - 2);
    if (guid.size() != 36 || guid[8] != '-' || guid[13] != '-' || guid[18] != '-' || guid[23] != '-') return {};
    if (!isHexText(guid, 0, 8) || !isHexText(guid, 9, 4) || !isHexText(guid, 14, 4) || !isHexText(guid, 19, 4) ||
        !isHexText(guid, 24, 12))
        return {};
    for (char& c : guid) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return guid;
}

int readPolicyProperty(uint64_t policyId, const std::string& name, std::string& value, std::string& error) {
    error.clear();
    return LogMonitor().getProperties(kPolicyEntity, policyId, name, value, error, nullptr);
}

void resetIdentity(LMCIHelper& h, uint64_t id, const std::string& name, uint64_t policyId) {
    h.docCount = 0;
    h.clientId = static_cast<int64_t>(id);
    h.clientName = name;
    h.defaultClientName = name;
    h.monitoringPolicyId = policyId;
    h.uniqueFileId = 0;
    h.currentNodeIndex = 0;
    h.cloudPolicyId = 0;
    h.lastErrorCode = 0;
    h.lastErrorText.clear();
    h.discoverEvents = false;
    h.geoDiscoveryEnabled = false;
    h.eventTimeEnabled = true;
    h.proxyClientId = 0;
    h.internetGateway = 0;
    h.globalPolicyId = 0;
    h.uploadUserId = 0;
    h.serialNo.clear();
    h.regCode.clear();
}

void readDocSizeSetting(LMCIHelper& h, const KQPlatformInfo& registry) {
    uint64_t size = kDefaultMaxFieldLength;
    if (!registry.getNumber(kEventManager, kDocSizeKey, size) || size == 0) {
        // A limit of 0 would empty every field of every document; such a value is no setting.
        if (size == 0)
            h.Error("LMCIHelper::initialize", "%s of 0 ignored, using %llu", kDocSizeKey,
                  static_cast<unsigned long long>(kDefaultMaxFieldLength));
        size = kDefaultMaxFieldLength;
    }
    h.maxFieldLength = size;
}

void readThreadPoolSetting(LMCIHelper& h, const KQPlatformInfo& registry) {
    // The pool takes its size as an int; a larger number would turn negative there.
    int32_t size = 0;
    if (registry.getNumber(kEventManager, kThreadPoolKey, size) && size < 0) {
        h.Error("LMCIHelper::initialize", "%s of %d ignored, sending synchronously", kThreadPoolKey,
              static_cast<int>(size));
        size = 0;
    }
    h.threadPoolSize = static_cast<uint64_t>(size);
    h.useThreadPool = h.threadPoolSize != 0;
}

void leaveProxyRoute(LMCIHelper& h) {
    // A global configuration that could not be read or tested must not keep routing through its
    // proxy client: the node chosen next would otherwise never see the test send or a batch.
    h.proxyClientId = 0;
}

bool readGlobalPolicyProperties(LMCIHelper& h) {
    static const char* kOp = "LMCIHelper::setCloudMonitoringPolicy";
    const uint64_t cloud = static_cast<uint64_t>(h.cloudPolicyId);
    const int cloudId = static_cast<int>(h.cloudPolicyId);
    std::string value, error;

    int rc = readPolicyProperty(cloud, LM_GLOBAL_MONITORING_POLICY_ID, value, error);
    if (rc != 0) {
        h.DebugLvl(kOp, -1, "Failed to get global monitoring Id for cloud monitoringPolicyId [%d] with retCode [%d] errorString [%s]",
                 cloudId, rc, error.c_str());
        return false;
    }
    h.globalPolicyId = atoi(value.c_str());
    h.DebugLvl(kOp, 5, "Global monitoring policy Id[%d] for monitoringPolicyId [%d].", h.globalPolicyId,
               static_cast<int>(h.monitoringPolicyId));

    rc = readPolicyProperty(cloud, LM_GLOBAL_MONITORING_POLICY_WEBSERVICE_URL, value, error);
    if (rc != 0) {
        h.DebugLvl(kOp, -1, "Failed to get webservice url for cloud monitoringPolicyId[%d] with retCode [%d]", cloudId,
                 rc);
        return false;
    }
    h.globalWebServiceUrl = value;
    h.DebugLvl(kOp, 5, "WebServiceUrl[%s] for monitoringPolicyId [%d].", h.globalWebServiceUrl.c_str(),
               static_cast<int>(h.monitoringPolicyId));

    rc = readPolicyProperty(cloud, LM_GLOBAL_MONITORING_POLICY_USER_ID, value, error);
    if (rc != 0) {
        h.DebugLvl(kOp, -1, "Failed to get global monitoring userId for cloud monitoringPolicyId [%d] with retCode [%d] errorString [%s]",
                 cloudId, rc, error.c_str());
        return false;
    }
    h.uploadUserId = atoi(value.c_str());
    h.DebugLvl(kOp, 5, "Global monitoring policy userId[%d] for cloud monitoringPolicyId [%d].", h.uploadUserId, cloudId);

    rc = readPolicyProperty(cloud, LM_GLOBAL_MONITORING_POLICY_PROXY_CLIENT_ID, value, error);
    if (rc != 0) {
        h.DebugLvl(kOp, -1, "Failed to get global monitoring proxyClientId for cloud monitoringPolicyId [%d] with retCode [%d] errorString [%s]",
                 cloudId, rc, error.c_str());
        return false;
    }
    h.proxyClientId = atoi(value.c_str());
    h.DebugLvl(kOp, 5, "Global monitoring policy proxyClientId[%d] for monitoringPolicyId [%d].", h.proxyClientId,
               static_cast<int>(h.monitoringPolicyId));

    rc = readPolicyProperty(cloud, LM_GLOBAL_MONITORING_POLICY_INTERNET_GATEWAY, value, error);
    if (rc != 0) {
        h.DebugLvl(kOp, -1, "Failed to get global monitoring InternetGateway option for cloud monitoringPolicyId [%d] with retCode [%d] errorString [%s]",
                 cloudId, rc, error.c_str());
        return false;
    }
    h.internetGateway = atoi(value.c_str()) != 0 ? 1 : 0;
    h.DebugLvl(kOp, 5, "Global monitoring policy InternetGateway Option[%d] for cloud monitoringPolicyId [%d].",
             h.internetGateway, cloudId);
    return true;
}

bool readGatewayProxyClient(LMCIHelper& h) {
    static const char* kOp = "LMCIHelper::setCloudMonitoringPolicy";
    int enabled = 0;
    if (KQGlobalParam::get(ORVEX_SURVEY_PROXYCLIENT_ENABLED, enabled) != 0) {
        h.Debug(kOp, "Failed to get system internet gateway client enable option");
        return false;
    }
    if (enabled == 0) return true;
    int proxy = 0;
    if (KQGlobalParam::get(ORVEX_SURVEY_PROXY_CLIENT, proxy) != 0) {
        h.Debug(kOp, "Failed to get system internet gateway client");
        return false;
    }
    // With the gateway in use, the management server's own proxy client carries the documents.
    if (proxy >= 1) h.proxyClientId = proxy;
    return true;
}

// serialNo and regCode identify the managed domain to the global web service; both come from the
// cloud policy's domain GUID. serialNo is the GUID in its canonical form (upper case, without
// braces, "8-4-4-4-12"); regCode is the same 32 hex digits without the dashes. A missing or
// malformed GUID leaves both empty and is only logged: the documents can still be routed, and the
// web service is the one to refuse them if it needs the domain named.
void readDomainIdentity(LMCIHelper& h) {
    static const char* kOp = "LMCIHelper::setCloudMonitoringPolicy";
    std::string value, error;
    int rc = readPolicyProperty(static_cast<uint64_t>(h.cloudPolicyId), LM_MONITORING_VESTRY_GUID, value, error);
    if (rc != 0) {
        h.DebugLvl(kOp, 5, "No domain GUID for cloud monitoringPolicyId [%d] with retCode [%d] errorString [%s]",
                 static_cast<int>(h.cloudPolicyId), rc, error.c_str());
        return;
    }
    std::string guid = canonicalGuid(value);
    if (guid.empty()) {
        h.DebugLvl(kOp, 5, "Domain GUID [%s] of cloud monitoringPolicyId [%d] is not a GUID", value.c_str(),
                 static_cast<int>(h.cloudPolicyId));
        return;
    }
    h.serialNo = guid;
    h.regCode.clear();
    for (char c : guid)
        if (c != '-') h.regCode.push_back(c);
}

int fetchCloudNodes(LMCIHelper& h, int cloudId) {
    static const char* kOp = "LMCIHelper::getCIEngineURL";
    GetCloudClientInfoListReq request;
    request.set_cloudId(cloudId);
    std::string text;
    if (request.serialize(text) != 0) {
        h.DebugLvl(kOp, -1, "XML serialize failed");
        return kLMDiscoveryBadMessage;
    }
    int rc = LogMonitor().getClinetsUnderLMCloud(kPolicyEntity, GetCloudClientInfoListReq::tagID(), text);
    if (rc != 0) {
        h.Error(kOp, "getClinetsUnderLMCloud returned errorCode [%d]. Unable to get CI Engine URL", rc);
        return rc;
    }
    h.DebugLvl(kOp, -1, "returned cloud list %s", text.c_str());
    GetCloudClientInfoListResp reply;
    if (reply.unserialize(text) != 0) {
        h.DebugLvl(kOp, -1, "XML unserialize failed");
        return kLMDiscoveryBadMessage;
    }
    if (reply.cloudClients_size() == 0) {
        // An empty list is either the management server's error or a cloud without nodes; only
        // a reply that says neither is unreadable.
        if (reply.has_errorCode() && reply.errorCode() != 0) {
            h.Error(kOp, "getClinetsUnderLMCloud returned errorCode [%lu] ", static_cast<unsigned long>(reply.errorCode()));
            return static_cast<int>(reply.errorCode());
        }
        if (!reply.has_errorCode()) return kLMDiscoveryBadMessage;
    }
    std::vector<cloudClientInfo> nodes;
    nodes.reserve(reply.cloudClients_size());
    for (size_t i = 0; i < reply.cloudClients_size(); ++i) nodes.push_back(reply.cloudClients(i));
    h.setCloudClientList(std::move(nodes));
    return 0;
}

void chooseFirstNode(LMCIHelper& h) {
    static const char* kOp = "LMCIHelper::getCIEngineURL";
    int32_t index = 0;
    for (cloudClientInfoV2& node : h.nodeList) {
        if (!isAddressable(node)) {
            // Kept in the list (it is the management server's), but never chosen or failed over to.
            h.DebugLvl(kOp, -1, "client id %ld names no host or port, skipped", static_cast<long>(node.clientId()));
            node.set_availability(0);
            ++index;
            continue;
        }
        h.DebugLvl(kOp, -1, "host name %s baseport %s", node.hostName().c_str(), node.basePort().c_str());
        const std::string base = baseUrlOf(node);
        h.clusteringUrl = base + "/solr/clustering?q=";
        h.engineUrl = base + "/solr";
        h.currentNodeIndex = index;
        h.engineHostName = networkHostNameOf(node);
        return;
    }
}

// The helper's session stays attached between batches. When the chosen node lives on another
// host, the old session must go, or the next send would still reach the previous node.
void followHost(LMCIHelper& h, const std::string& previousHost) {
    if (h.engineHostName == previousHost || !h.network.IsConnected()) return;
    bool aborted = false;
    h.network.Disconnect(kSessionTimeoutSeconds, aborted);
}

bool enterGlobalMonitoring(LMCIHelper& h) { return h.setCloudMonitoringPolicy() && h.cloudPolicyId != 0; }

} // namespace

bool compareByFreeSpace(cloudClientInfoV2 a, cloudClientInfoV2 b) { return a.freeSpace() > b.freeSpace(); }

// ---------------------------------------------------------------- initialisation

int LMCIHelper::initialize(uint64_t id, std::string name, uint64_t policyId, int cloudId, LMDBInterface* db) {
    resetIdentity(*this, id, name, policyId);
    KQPlatformInfo registry;
    registry.setFocus(KQPI_Focus::getFocus());
    readDocSizeSetting(*this, registry);
    forceListMode = false;
    readThreadPoolSetting(*this, registry);
    dbInterface = db;
    if (enterGlobalMonitoring(*this)) return 0;
    if (cloudId == 0) return 0;
    leaveProxyRoute(*this);
    return getCIEngineURL(cloudId);
}

int LMCIHelper::initialize(uint64_t id, std::string name, uint64_t policyId, int cloudId,
                           std::vector<cloudClientInfoV2>& nodes) {
    resetIdentity(*this, id, name, policyId);
    KQPlatformInfo registry;
    registry.setFocus(KQPI_Focus::getFocus());
    forceListMode = false;
    readThreadPoolSetting(*this, registry);
    readDocSizeSetting(*this, registry);
    if (enterGlobalMonitoring(*this)) return 0;
    if (!nodes.empty()) {
        nodeList.assign(nodes.begin(), nodes.end());
        leaveProxyRoute(*this);
        return getCIEngineURL(cloudId);
    }
    if (cloudId == 0) return 0;
    leaveProxyRoute(*this);
    return getCIEngineURL(cloudId);
}

// ---------------------------------------------------------------- global monitoring

bool LMCIHelper::setCloudMonitoringPolicy() {
    static const char* kOp = "LMCIHelper::setCloudMonitoringPolicy";
    std::string value, error;
    int rc = readPolicyProperty(monitoringPolicyId, LM_MONITORING_CLOUD_POLICY, value, error);
    if (rc != 0) {
        DebugLvl(kOp, 100, "Failed to get cloudPolicyId for monitoringPolicyId[%d] with retCode [%d]",
                 static_cast<int>(monitoringPolicyId), rc);
        return false;
    }
    cloudPolicyId = atoi(value.c_str());
    if (cloudPolicyId == 0) return false;
    DebugLvl(kOp, 5, "Monitoring Policy [%lu] uses cloud policy [%lu]", static_cast<unsigned long>(monitoringPolicyId),
             static_cast<unsigned long>(cloudPolicyId));
    if (!readGlobalPolicyProperties(*this)) return false;
    if (internetGateway != 0 && !readGatewayProxyClient(*this)) return false;
    readDomainIdentity(*this);
    return sendDatatoCI(false, true) == 0;
}

// ---------------------------------------------------------------- choosing the node

void LMCIHelper::setCloudClientList(std::vector<cloudClientInfo> nodes) {
    nodeList.clear();
    for (const cloudClientInfo& from : nodes) {
        copyNodeFields(from, nodeList.emplace_back());
    }
}

std::vector<cloudClientInfo> LMCIHelper::getCloudClientList() {
    std::vector<cloudClientInfo> nodes;
    nodes.reserve(nodeList.size());
    for (const cloudClientInfoV2& from : nodeList) {
        copyNodeFields(from, nodes.emplace_back());
    }
    return nodes;
}

int LMCIHelper::getCIEngineURL(int cloudId) {
    static const char* kOp = "LMCIHelper::getCIEngineURL";
    if (nodeList.empty()) {
        engineUrl.clear();
        if (int rc = fetchCloudNodes(*this, cloudId); rc != 0) return rc;
    }
    // Stable, so that nodes with equal free space keep the management server's order.
    nodeList.sort(compareByFreeSpace);
    for (const cloudClientInfoV2& node : nodeList)
        DebugLvl(kOp, -1, "client id %ld", static_cast<long>(node.clientId()));
    if (!nodeList.empty()) {
        const std::string previousHost = engineHostName;
        engineUrl.clear();
        engineHostName.clear();
        chooseFirstNode(*this);
        followHost(*this, previousHost);
    }
    return sendDatatoCI(false, true);
}

// ---------------------------------------------------------------- probing

int LMCIHelper::pingWebserverUrl() {
    static const char* kOp = "LMCIHelper::pingWebserverUrl";
    if (LMCurl().isServerUp(engineUrl)) {
        DebugLvl(kOp, 6, "node %s is available", engineUrl.c_str());
        return 0;
    }
    DebugLvl(kOp, 0, "node %s is not reachable", engineUrl.c_str());
    if (currentNodeIndex >= 0 && static_cast<size_t>(currentNodeIndex) < nodeList.size())
        std::next(nodeList.begin(), currentNodeIndex)->set_availability(0);

    int32_t index = 0;
    for (cloudClientInfoV2& node : nodeList) {
        const int32_t at = index++;
        if (!isAvailable(node)) continue;
        if (!isAddressable(node)) {
            node.set_availability(0);
            continue;
        }
        engineUrl = baseUrlOf(node) + "/solr/update?commit=true";
        currentNodeIndex = at;
        if (LMCurl().isServerUp(engineUrl)) {
            DebugLvl(kOp, 0, "switching to %s", engineUrl.c_str());
            // Batches travel over a session to the node's host; it must follow the URL.
            const std::string previousHost = engineHostName;
            engineHostName = networkHostNameOf(node);
            followHost(*this, previousHost);
            return 0;
        }
        DebugLvl(kOp, 0, "node %s is unavailable", engineUrl.c_str());
        node.set_availability(0);
    }
    return 1;
}

bool LMCIHelper::isClientReachable(uint64_t id) {
    static const char* kOp = "LMCIHelper::isClientReachable";
    KQClient client(id);
    int port = 0;
    std::string mangled, shortName, host, why;
    KQClient(kManagementClientId).getShortName(shortName);
    if (client.getKQDPort(port) != 0 || client.getNetworkHostnameMangled(mangled) != 0) {
        DebugLvl(kOp, 0, "LMCIHelper::attach client %ld is not reachable for %s", static_cast<long>(id),
                 "the client is not known");
        return false;
    }
    int hostPort = 0;
    CZuError e = CKqNetwork::DemangleHostNameToComps(mangled, host, hostPort, port, why);
    if (e.IsError()) {
        DebugLvl(kOp, 0, "LMCIHelper::attach client %ld is not reachable for %s", static_cast<long>(id),
                 e.AsString().c_str());
        return false;
    }
    CKqNetwork probe;
    bool aborted = false;
    e = probe.Attach_RemotePort(host, hostPort, shortName, kProbeTimeoutSeconds, aborted);
    if (e.IsError() || aborted) {
        DebugLvl(kOp, 0, "LMCIHelper::attach client %ld is not reachable for %s", static_cast<long>(id),
                 e.IsError() ? e.AsString().c_str() : "the attach was aborted");
        return false;
    }
    probe.Disconnect(kProbeTimeoutSeconds, aborted);
    return true;
}

// ---------------------------------------------------------------- policy properties

bool LMCIHelper::SetLogMonitoringProperty(std::string name, LMDataType type, std::string value) {
    static const char* kOp = "LMCIHelper::SetLogMonitoringProperty";
    UpdateMonitoringPolicyPropertyRequest request;
    request.mutable_monitoringPolicy().set_monitoringPolicyId(static_cast<int64_t>(monitoringPolicyId));
    MonitoringPolicyPropertyProperty& property = request.add_properties();
    property.set_propertyName(name);
    property.set_propertyValue(value);
    property.set_dataType(type);
    std::string text, response;
    if (request.serialize(text) != 0) {
        DebugLvl(kOp, -1, "XML serialize failed");
        return false;
    }
    int rc = App_ExecuteSP().executeStoredProcedure(UpdateMonitoringPolicyPropertyRequest::tagID(), text, response,
                                                    nullptr);
    if (rc != 0) {
        DebugLvl(kOp, -1, "Failed to Update property[%s], error[%d] response[%s]", name.c_str(), rc, response.c_str());
        return false;
    }
    DebugLvl(kOp, 10, "Successfully set attrName[%s], attrVal[%s] for monitoring policy[%d] ", name.c_str(),
             value.c_str(), static_cast<int>(monitoringPolicyId));
    return true;
}

bool LMCIHelper::SetRemoteHostEventBookmark(std::string host, std::string bookmark) {
    static const char* kOp = "LMCIHelper::SetRemoteHostEventBookmark";
    std::string value, error;
    int rc = readPolicyProperty(monitoringPolicyId, LM_MONITORING_REMOTE_MONITOR_HOSTS, value, error);
    if (rc != 0) {
        DebugLvl(kOp, -1, "Failed to get remote hosts of monitoring policy[%d] with retCode [%d] errorString [%s]",
                 static_cast<int>(monitoringPolicyId), rc, error.c_str());
        return false;
    }
    RemoteHosts hosts;
    if (hosts.unserialize(value) != 0) {
        DebugLvl(kOp, -1, "XML unserialize failed");
        return false;
    }
    for (size_t i = 0; i < hosts.hostBookmarks_size(); ++i) {
        RemoteHostEventBookmarkPair& pair = hosts.mutable_hostBookmarks(i);
        if (pair.hostName() != host) continue;
        pair.set_eventBookmark(bookmark);
        std::string text;
        if (hosts.serialize(text) != 0) {
            DebugLvl(kOp, -1, "XML serialize failed");
            return false;
        }
        return SetLogMonitoringProperty(LM_MONITORING_REMOTE_MONITOR_HOSTS, kLMDataTypeText, text);
    }
    DebugLvl(kOp, 10, "Unable to set book mark[%s], remote host[%s] is not available in monitoring policy[%d] ",
             bookmark.c_str(), host.c_str(), static_cast<int>(monitoringPolicyId));
    return false;
}

}
