// Engine discovery and routing of the index helper: which node a run sends to, under which host
// name, the global monitoring configuration of a cloud policy, HTTP probing and switching, and
// the policy properties the helper writes back. The management server is a real database; the
// engine host is a stand-in that answers the test send.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LMFakeEngineHost.h"
#include "LMHttpPeer.h"
#include "indexing/LMCIHelper.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"
#include "platform/mgmt/LogMonitor.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

using namespace LogMonitoring;

namespace {

const char* kSecret = "discovery-secret";
const char* kTemplate = "<LogMonitoring_TemplateXML><customSeparator>,</customSeparator></LogMonitoring_TemplateXML>";

// Clients of the management database.
constexpr int64_t kEngineClient = 8;   // reached at the stand-in engine host
constexpr int64_t kClosedClient = 9;   // a port nobody listens on
constexpr int64_t kProxyClient = 5;    // the gateway's proxy client, a second stand-in
constexpr int64_t kPolicy = 21;
constexpr int64_t kCloudPolicy = 17;
constexpr int kCloud = 3;
constexpr int kEmptyCloud = 4;

cloudClientInfoV2 node(int64_t clientId, int64_t freeSpace, std::string host, std::string port,
                       std::string networkHostName = {}) {
    cloudClientInfoV2 n;
    n.set_clientId(clientId);
    n.set_freeSpace(freeSpace);
    if (!host.empty()) n.set_hostName(std::move(host));
    if (!port.empty()) n.set_basePort(std::move(port));
    if (!networkHostName.empty()) n.set_networkHostName(std::move(networkHostName));
    return n;
}

std::vector<int64_t> freeSpaces(const LMCIHelper& h) {
    std::vector<int64_t> out;
    for (const auto& n : h.nodeList) out.push_back(n.freeSpace());
    return out;
}

std::string property(uint64_t policy, const std::string& name) {
    std::string value, error;
    EXPECT_EQ(0, LogMonitor().getProperties(2, policy, name, value, error, nullptr)) << error;
    return value;
}

class EngineDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(engine_.start());
        ASSERT_TRUE(proxy_.start());
        lmtest::writeFile(dir_.file("registry.ini"),
                          std::string("[Platform]\nsInstanceName = DiscoveryTest\nsSharedSecret = ") + kSecret +
                              "\nsManagementDB = " + dir_.file("management.db") + "\nnManagementDBBusyMs = 200\n");
        KQPlatformInfo::useRegistryFile(dir_.file("registry.ini"));
        ASSERT_EQ(0, db_.open());
        KQMgmtAdmin admin(db_);
        int64_t id = 0;
        ASSERT_EQ(0, admin.addClient({2, "mgmt", "mg", "127.0.0.1", 8403}, id, err_)) << err_;
        ASSERT_EQ(0, admin.addClient({kEngineClient, "engine", "", "127.0.0.1", engine_.port()}, id, err_)) << err_;
        ASSERT_EQ(0, admin.addClient({kClosedClient, "closed", "", "127.0.0.1", closedPort_}, id, err_)) << err_;
        ASSERT_EQ(0, admin.addClient({kProxyClient, "proxy", "", "127.0.0.1", proxy_.port()}, id, err_)) << err_;
        ASSERT_EQ(0, admin.addCloud("cloud", kCloud, id, err_)) << err_;
        ASSERT_EQ(0, admin.addCloud("empty", kEmptyCloud, id, err_)) << err_;
        ASSERT_EQ(0, admin.addNode("cloud", "closed", "idx-small", 9010, 10, err_)) << err_;
        ASSERT_EQ(0, admin.addNode("cloud", "engine", "idx-big", 9030, 30, err_)) << err_;
        ASSERT_EQ(0, admin.addTemplate("tpl", 2, kTemplate, 11, id, err_)) << err_;
        addPolicy(kPolicy, "web logs");
        addPolicy(kCloudPolicy, "cloud policy");
    }

    void addPolicy(int64_t policyId, const std::string& name) {
        KQMgmtAdmin::Policy p;
        p.id = policyId;
        p.name = name;
        p.templates = {"tpl"};
        int64_t id = 0;
        ASSERT_EQ(0, KQMgmtAdmin(db_).addPolicy(p, id, err_)) << err_;
    }
    void setProperty(const std::string& policy, const std::string& name, const std::string& value) {
        ASSERT_EQ(0, KQMgmtAdmin(db_).setPolicyProperty(policy, name, value, 1, err_)) << err_;
    }
    // The five global properties of the cloud policy, all but `skip`.
    void setGlobalProperties(const std::string& skip = {}) {
        const std::vector<std::pair<std::string, std::string>> props = {
            {"Global Policy Id", "70"},
            {"Global Monitoring Web Service URL", "https://global.example/ws"},
            {"Global Monitoring User Id", "12"},
            {"Global Monitoring Proxy Client Id", "99"},
            {"Global Monitoring Internet Gateway", "4"},
        };
        for (const auto& [name, value] : props)
            if (name != skip) setProperty("cloud policy", name, value);
    }

    lmtest::TempDir dir_{"lmdiscovery"};
    lmtest::FakeEngineHost engine_{kSecret, lmtest::FakeEngineHost::replyWith(1, "")};
    lmtest::FakeEngineHost proxy_{kSecret, [](const CNMessageBase&) -> std::unique_ptr<CNMessageBase> {
                                      auto r = std::make_unique<LMAddDocumentsToGlobalCIResp>();
                                      r->set_errorCode(1);
                                      r->set_response("");
                                      return r;
                                  }};
    int closedPort_ = lmtest::freeLoopbackPort();
    KQManagementDB db_;
    std::string err_;
};

// The list form sorts what it is given, chooses the node with the most free space and proves the
// choice with an empty send to that node's host, even without a cloud id.
TEST_F(EngineDiscoveryTest, ChoosesTheNodeWithMostFreeSpaceAndTestsIt) {
    std::vector<cloudClientInfoV2> nodes = {node(kClosedClient, 10, "h10", "1010"),
                                            node(kEngineClient, 30, "h30", "1030"),
                                            node(kClosedClient, 20, "h20", "1020")};
    LMCIHelper h;
    EXPECT_EQ(0, h.initialize(1, "me", kPolicy, 0, nodes));
    EXPECT_EQ((std::vector<int64_t>{30, 20, 10}), freeSpaces(h));
    EXPECT_EQ("http://h30:1030/solr", h.engineUrl);
    EXPECT_EQ("http://h30:1030/solr/clustering?q=", h.clusteringUrl);
    EXPECT_EQ(0, h.currentNodeIndex);
    EXPECT_EQ(engine_.mangledName(), h.engineHostName);
    auto seen = engine_.received();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(LMAddDocumentBucketsToCIReq::tagID(), seen[0].tag);
}

// Field 15 wins over the client directory; without it the directory's name for the client is used.
TEST_F(EngineDiscoveryTest, NodeIsReachedUnderItsNetworkHostName) {
    struct Case {
        const char* what;
        int64_t clientId;
        bool ownName; // field 15 names the stand-in host
    } cases[] = {
        {"field 15 beats a client whose port is closed", kClosedClient, true},
        {"without field 15 the client's own name", kEngineClient, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<cloudClientInfoV2> nodes = {node(c.clientId, 1, "h", "1", c.ownName ? engine_.mangledName() : "")};
        LMCIHelper h;
        EXPECT_EQ(0, h.initialize(1, "me", kPolicy, 0, nodes));
        EXPECT_EQ(engine_.mangledName(), h.engineHostName);
    }
}

// A node entry without a host or a port cannot be addressed: it is passed over and marked, so
// neither the choice nor a later switch builds "http://:/solr".
TEST_F(EngineDiscoveryTest, NodeWithoutHostOrPortIsNotChosen) {
    std::vector<cloudClientInfoV2> nodes = {node(kClosedClient, 90, "", "1090"), node(kClosedClient, 80, "h80", ""),
                                            node(kEngineClient, 10, "h10", "1010")};
    LMCIHelper h;
    EXPECT_EQ(0, h.initialize(1, "me", kPolicy, 0, nodes));
    EXPECT_EQ("http://h10:1010/solr", h.engineUrl);
    EXPECT_EQ(2, h.currentNodeIndex);
    EXPECT_EQ(0, h.nodeList.front().availability());
}

// Nodes from the management server, with its host name for the chosen node's client; the copy
// handed back keeps every field the server sent.
TEST_F(EngineDiscoveryTest, NodesComeFromTheManagementServer) {
    LMCIHelper h;
    std::vector<cloudClientInfoV2> none;
    EXPECT_EQ(0, h.initialize(1, "me", kPolicy, kCloud, none));
    EXPECT_EQ("http://idx-big:9030/solr", h.engineUrl);
    EXPECT_EQ(engine_.mangledName(), h.engineHostName);
    std::vector<cloudClientInfo> back = h.getCloudClientList();
    ASSERT_EQ(2u, back.size());
    EXPECT_EQ(kEngineClient, back[0].clientId());
    EXPECT_EQ("9030", back[0].basePort());
    EXPECT_EQ(1, back[0].availability());

    // The list is fetched once: a second discovery only re-sorts it, so the closed node now comes
    // first; its test send fails and failover carries it to the other node.
    h.nodeList.front().set_freeSpace(1);
    EXPECT_EQ(0, h.getCIEngineURL(kCloud));
    EXPECT_EQ(kClosedClient, h.nodeList.front().clientId());
    EXPECT_EQ(0, h.nodeList.front().availability());
    EXPECT_EQ(2u, engine_.received().size());
}

TEST_F(EngineDiscoveryTest, WithoutCloudOrNodesNothingIsChosen) {
    LMCIHelper listForm, dbForm;
    std::vector<cloudClientInfoV2> none;
    EXPECT_EQ(0, listForm.initialize(1, "me", kPolicy, 0, none));
    EXPECT_EQ(0, dbForm.initialize(1, "me", kPolicy, 0, static_cast<LMDBInterface*>(nullptr)));
    EXPECT_TRUE(listForm.engineUrl.empty());
    EXPECT_TRUE(listForm.nodeList.empty());
    EXPECT_TRUE(dbForm.nodeList.empty());
    EXPECT_EQ(0u, engine_.received().size());
}

// A cloud without nodes is no discovery failure; the test send then finds no URL.
TEST_F(EngineDiscoveryTest, EmptyCloudFailsOnTheEmptyUrl) {
    LMCIHelper h;
    EvLogCapture log;
    EXPECT_EQ(-1, h.initialize(1, "me", kPolicy, kEmptyCloud, static_cast<LMDBInterface*>(nullptr)));
    EXPECT_TRUE(h.engineUrl.empty());
    EXPECT_EQ(kLMEmptyUrlOrData, h.lastErrorCode);
    EXPECT_TRUE(log.contains("LMCIHelper::sendDatatoCI", "webserver url is empty"));
}

// What the management server answers in place of a node list.
TEST_F(EngineDiscoveryTest, DiscoveryErrorsAreReturned) {
    const uint64_t tag = GetCloudClientInfoListReq::tagID();
    const char* realName = nullptr;
    LMMgmt::Handler real = LMMgmt::find(LMMgmt::kRequest, tag, &realName);
    ASSERT_NE(nullptr, real);
    struct Restore {
        uint64_t tag;
        const char* name;
        LMMgmt::Handler handler;
        ~Restore() { LMMgmt::HandlerRegistrar(LMMgmt::kRequest, tag, name, handler); }
    } restore{tag, realName, real};

    static std::string answer;
    LMMgmt::Handler canned = [](KQManagementDB&, const CNMessageBase&, std::string& out, std::string&) {
        out = answer;
        return 0;
    };
    auto reply = [](bool withCode, int64_t code) {
        GetCloudClientInfoListResp r;
        if (withCode) r.set_errorCode(code);
        std::string s;
        r.serialize(s);
        return s;
    };
    struct Case {
        const char* what;
        bool useReal;
        int cloud;
        std::string answer;
        int expected;
        const char* message;
    } cases[] = {
        {"unknown cloud", true, 99, "", LMMgmt::kNotFound, "getClinetsUnderLMCloud returned errorCode ["},
        {"neither nodes nor code", false, kCloud, reply(false, 0), kLMDiscoveryBadMessage, ""},
        {"the reply's own code", false, kCloud, reply(true, 7), 7, "getClinetsUnderLMCloud returned errorCode [7] "},
        {"unreadable reply", false, kCloud, "no xml", kLMDiscoveryBadMessage, "XML unserialize failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        answer = c.answer;
        LMMgmt::HandlerRegistrar(LMMgmt::kRequest, tag, "test", c.useReal ? real : canned);
        EvLogCapture log;
        LMCIHelper h;
        EXPECT_EQ(c.expected, h.getCIEngineURL(c.cloud));
        EXPECT_TRUE(h.engineUrl.empty());
        EXPECT_TRUE(log.contains("LMCIHelper::getCIEngineURL", c.message));
    }
    EXPECT_EQ(0u, engine_.received().size());
}

TEST_F(EngineDiscoveryTest, InitializeReadsTheRegistry) {
    struct Case {
        const char* docSize;    // null: key absent
        const char* threadPool; // null: key absent
        uint64_t maxFieldLength;
        uint64_t threadPoolSize;
    } cases[] = {
        {nullptr, nullptr, 5120, 0},
        {"777", "3", 777, 3},
        {"0", "-2", 5120, 0}, // neither would be a usable setting
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.docSize ? c.docSize : "absent");
        std::string reg = std::string("[Platform]\nsInstanceName = DiscoveryTest\nsManagementDB = ") +
                          dir_.file("management.db") + "\n[EventManager]\n";
        if (c.docSize) reg += std::string("LMCIDOCSIZE = ") + c.docSize + "\n";
        if (c.threadPool) reg += std::string("nLMCIUseThreadPool = ") + c.threadPool + "\n";
        lmtest::writeFile(dir_.file("registry2.ini"), reg);
        KQPlatformInfo::useRegistryFile(dir_.file("registry2.ini"));
        for (bool listForm : {false, true}) {
            LMCIHelper h;
            h.maxFieldLength = 1;
            h.useThreadPool = true;
            std::vector<cloudClientInfoV2> none;
            if (listForm) h.initialize(1, "me", kPolicy, 0, none);
            else h.initialize(1, "me", kPolicy, 0, static_cast<LMDBInterface*>(nullptr));
            EXPECT_EQ(c.maxFieldLength, h.maxFieldLength);
            EXPECT_EQ(c.threadPoolSize, h.threadPoolSize);
            EXPECT_EQ(c.threadPoolSize != 0, h.useThreadPool);
        }
    }
}

// ---------------------------------------------------------------- global monitoring

TEST_F(EngineDiscoveryTest, OrdinaryPolicyIsNotInGlobalMonitoring) {
    setProperty("web logs", "Cloud Policy Id", "0");
    LMCIHelper h;
    EXPECT_EQ(0, h.initialize(1, "me", kPolicy, kCloud, static_cast<LMDBInterface*>(nullptr)));
    EXPECT_EQ(0, h.cloudPolicyId);
    EXPECT_EQ(0, h.proxyClientId);
    EXPECT_EQ("http://idx-big:9030/solr", h.engineUrl);
}

// The cloud policy's properties, with the gateway's proxy client in place of the one the policy
// names; the test send goes to that proxy and no node list is fetched.
TEST_F(EngineDiscoveryTest, CloudPolicyReadsItsGlobalConfiguration) {
    setProperty("web logs", "Cloud Policy Id", "17");
    setGlobalProperties();
    setProperty("cloud policy", " Vestry GUID", " {8f2a01bc-3d4e-4f50-9a6b-7c8d9e0f1a2b}");
    ASSERT_EQ(0, KQGlobalParam::set(ORVEX_SURVEY_PROXYCLIENT_ENABLED, "1"));
    ASSERT_EQ(0, KQGlobalParam::set(ORVEX_SURVEY_PROXY_CLIENT, "5"));

    LMCIHelper h;
    EXPECT_EQ(0, h.initialize(1, "me", kPolicy, kCloud, static_cast<LMDBInterface*>(nullptr)));
    EXPECT_EQ(kCloudPolicy, h.cloudPolicyId);
    EXPECT_EQ(70, h.globalPolicyId);
    EXPECT_EQ("https://global.example/ws", h.globalWebServiceUrl);
    EXPECT_EQ(12, h.uploadUserId);
    EXPECT_EQ(1, h.internetGateway);
    EXPECT_EQ(kProxyClient, h.proxyClientId);
    EXPECT_EQ("8F2A01BC-3D4E-4F50-9A6B-7C8D9E0F1A2B", h.serialNo);
    EXPECT_EQ("8F2A01BC3D4E4F509A6B7C8D9E0F1A2B", h.regCode);
    EXPECT_TRUE(h.nodeList.empty());
    EXPECT_TRUE(h.engineUrl.empty());
    auto seen = proxy_.received();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(LMAddDocumentsToGlobalCIReq::tagID(), seen[0].tag);
    EXPECT_EQ(0u, engine_.received().size());
}

// A configuration that cannot be read keeps what was read, but the run is routed to the cloud's
// node, not to the proxy client the cloud policy named.
TEST_F(EngineDiscoveryTest, IncompleteCloudPolicyFallsBackToTheNode) {
    setProperty("web logs", "Cloud Policy Id", "17");
    setGlobalProperties("Global Monitoring Internet Gateway");
    setProperty("cloud policy", "Global Monitoring Proxy Client Id", "5");
    EvLogCapture log;
    LMCIHelper h;
    EXPECT_EQ(0, h.initialize(1, "me", kPolicy, kCloud, static_cast<LMDBInterface*>(nullptr)));
    EXPECT_TRUE(log.contains("LMCIHelper::setCloudMonitoringPolicy", -1,
                             "Failed to get global monitoring InternetGateway option for cloud monitoringPolicyId [17]"));
    EXPECT_EQ(kCloudPolicy, h.cloudPolicyId);
    EXPECT_EQ(70, h.globalPolicyId);
    EXPECT_EQ(0, h.proxyClientId);
    EXPECT_EQ("http://idx-big:9030/solr", h.engineUrl);
    EXPECT_EQ(1u, engine_.received().size());
    EXPECT_EQ(0u, proxy_.received().size());
}

// ---------------------------------------------------------------- probing

TEST_F(EngineDiscoveryTest, PingSwitchesToTheFirstNodeThatAnswers) {
    lmtest::HttpPeer up([](const httplib::Request&, httplib::Response& res) { res.set_content("ok", "text/plain"); });
    ASSERT_TRUE(up.running());
    const std::string closed = std::to_string(closedPort_);
    const std::string open = std::to_string(up.port());

    LMCIHelper h;
    h.nodeList = {node(kClosedClient, 0, "127.0.0.1", closed), node(kClosedClient, 0, "", closed),
                  node(kEngineClient, 0, "127.0.0.1", open)};
    h.engineUrl = "http://127.0.0.1:" + closed + "/solr";
    EXPECT_EQ(0, h.pingWebserverUrl());
    EXPECT_EQ("http://127.0.0.1:" + open + "/solr/update?commit=true", h.engineUrl);
    EXPECT_EQ(2, h.currentNodeIndex);
    EXPECT_EQ(engine_.mangledName(), h.engineHostName);
    EXPECT_EQ(0, h.nodeList.front().availability());
    EXPECT_EQ(0, h.pingWebserverUrl()); // the node it switched to answers now

    LMCIHelper none;
    none.nodeList = {node(kClosedClient, 0, "127.0.0.1", closed), node(kClosedClient, 0, "", "")};
    none.engineUrl = "http://127.0.0.1:" + closed + "/solr";
    EvLogCapture log;
    EXPECT_EQ(1, none.pingWebserverUrl());
    for (const auto& n : none.nodeList) EXPECT_EQ(0, n.availability());
    for (const auto& line : log.lines()) EXPECT_EQ(std::string::npos, line.text.find("http://:"));
}

TEST_F(EngineDiscoveryTest, ClientIsReachableWhenASessionOpens) {
    LMCIHelper h;
    EXPECT_TRUE(h.isClientReachable(kEngineClient));
    EvLogCapture log;
    EXPECT_FALSE(h.isClientReachable(kClosedClient));
    EXPECT_TRUE(log.contains("LMCIHelper::isClientReachable", 0, "LMCIHelper::attach client 9 is not reachable for"));
    EXPECT_FALSE(h.isClientReachable(4242));
}

// ---------------------------------------------------------------- policy properties

TEST_F(EngineDiscoveryTest, RemoteHostBookmarkIsRewrittenOnlyForAKnownHost) {
    RemoteHosts hosts;
    auto& a = hosts.add_hostBookmarks();
    a.set_hostName("hostA");
    a.set_eventBookmark("bm-a");
    auto& b = hosts.add_hostBookmarks();
    b.set_hostName("hostB");
    b.set_eventBookmark("bm-b");
    std::string text;
    ASSERT_EQ(0, hosts.serialize(text));
    setProperty("web logs", "Remote Monitor Hosts", text);

    LMCIHelper h;
    h.monitoringPolicyId = kPolicy;
    EvLogCapture log;
    EXPECT_FALSE(h.SetRemoteHostEventBookmark("HOSTB", "bm-new"));
    EXPECT_TRUE(log.contains("LMCIHelper::SetRemoteHostEventBookmark", 10,
                             "Unable to set book mark[bm-new], remote host[HOSTB] is not available in monitoring policy[21] "));
    EXPECT_EQ(text, property(kPolicy, "Remote Monitor Hosts"));

    EXPECT_TRUE(h.SetRemoteHostEventBookmark("hostB", "bm-new"));
    RemoteHosts stored;
    ASSERT_EQ(0, stored.unserialize(property(kPolicy, "Remote Monitor Hosts")));
    ASSERT_EQ(2u, stored.hostBookmarks_size());
    EXPECT_EQ("bm-a", stored.hostBookmarks(0).eventBookmark());
    EXPECT_EQ("bm-new", stored.hostBookmarks(1).eventBookmark());
}

TEST_F(EngineDiscoveryTest, PropertyUpdateReportsTheManagementServersAnswer) {
    LMCIHelper h;
    h.monitoringPolicyId = kPolicy;
    EXPECT_TRUE(h.SetLogMonitoringProperty("Factor", kLMDataTypeText, "3"));
    EXPECT_EQ("3", property(kPolicy, "Factor"));
    h.monitoringPolicyId = 4711; // no such policy
    EvLogCapture log;
    EXPECT_FALSE(h.SetLogMonitoringProperty("Factor", kLMDataTypeText, "3"));
    EXPECT_TRUE(log.contains("LMCIHelper::SetLogMonitoringProperty", -1, "Failed to Update property[Factor], error["));
}

} // namespace
