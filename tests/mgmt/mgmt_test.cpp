#include <sqlite3.h>

#include <gtest/gtest.h>

#include <memory>

#include <cstring>

#include "platform/events/EvAlertEx.h"
#include "platform/events/EvEvent.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "platform/mgmt/App_ExecuteSP.h"
#include "platform/mgmt/KQClient.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"
#include "platform/mgmt/LogMonitor.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

using namespace LogMonitoring;

namespace {

// A part that only this test program registers: opening must create its table too.
const KQMgmtSchemaPart kTestPart("test_extra", 1, "CREATE TABLE test_extra(x INTEGER);");

const char* kTemplateA = "<LogMonitoring_TemplateXML><customSeparator>,</customSeparator></LogMonitoring_TemplateXML>";
const char* kTemplateB = "<LogMonitoring_TemplateXML><headerLineCount>2</headerLineCount></LogMonitoring_TemplateXML>";

template <class T> std::string text(const T& m) {
    std::string s;
    EXPECT_EQ(0, m.serialize(s));
    return s;
}

template <class T> std::unique_ptr<T> parse(const std::string& s) {
    auto m = std::make_unique<T>();
    if (m->unserialize(s) != 0) return nullptr;
    return m;
}

class MgmtTest : public ::testing::Test {
protected:
    void SetUp() override {
        lmtest::writeFile(dir_.file("registry.ini"), "[Platform]\nsInstanceName = MgmtTest\nsManagementDB = " +
                                                          dbPath() + "\nnManagementDBBusyMs = 200\n");
        KQPlatformInfo::useRegistryFile(dir_.file("registry.ini"));
        ASSERT_EQ(0, db_.open());
        KQMgmtAdmin admin(db_);
        std::string err;
        int64_t id = 0;
        ASSERT_EQ(0, admin.addClient({2, "mgmt", "mg", "127.0.0.1", 8403}, id, err)) << err;
        ASSERT_EQ(0, admin.addClient({7, "engineA", "", "127.0.0.1", 9001}, id, err)) << err;
        ASSERT_EQ(0, admin.addClient({8, "engineB", "", "::1", 9002}, id, err)) << err;
        ASSERT_EQ(0, admin.addCloud("cloud1", 5, id, err)) << err;
        ASSERT_EQ(0, admin.addCloud("empty", 6, id, err)) << err;
        ASSERT_EQ(0, admin.addNode("cloud1", "engineA", "idx-a", 8983, 100, err)) << err;
        ASSERT_EQ(0, admin.addNode("cloud1", "engineB", "idx-b", 8984, 500, err)) << err;
        ASSERT_EQ(0, admin.addTemplate("tplA", 2, kTemplateA, 11, id, err)) << err;
        ASSERT_EQ(0, admin.addTemplate("tplB", 0, kTemplateB, 12, id, err)) << err;
        KQMgmtAdmin::Policy p;
        p.id = 21;
        p.name = "web logs";
        p.type = 4;
        p.templates = {"tplB", "tplA"};
        p.cloud = "cloud1";
        p.properties = {{"Factor", "1"}};
        ASSERT_EQ(0, admin.addPolicy(p, id, err)) << err;
        KQMgmtAdmin::Policy lone;
        lone.id = 22;
        lone.name = "lone";
        lone.templates = {"tplA"};
        ASSERT_EQ(0, admin.addPolicy(lone, id, err)) << err;
    }

    std::string dbPath() const { return dir_.file("management.db"); }

    static UpdateMonitoringPolicyProps progressReport(int64_t policyId) {
        UpdateMonitoringPolicyProps r;
        r.mutable_monitoringPolicy().set_monitoringPolicyId(policyId);
        r.mutable_progress().set_state(2);
        r.mutable_progress().set_lastIndexedId(4711);
        r.mutable_progress().set_indexedSize(1000);
        auto& f = r.add_uploadedFiles();
        f.set_uploadRequestId("req-1");
        f.set_localPath("/data/a.log");
        f.set_state(2);
        f.set_bytesIndexed(300);
        return r;
    }

    lmtest::TempDir dir_{"lmmgmt"};
    KQManagementDB db_;
};

TEST_F(MgmtTest, PolicyPropertiesAreReadAndWrittenThroughTheirRequests) {
    LogMonitor lm;
    std::string value, error;
    EXPECT_EQ(0, lm.getProperties(2, 21, "Cloud Id", value, error, nullptr));
    EXPECT_EQ("5", value);
    EXPECT_NE(0, lm.getProperties(2, 21, "Capture log file header", value, error, nullptr));
    EXPECT_NE(std::string::npos, error.find("Capture log file header"));
    EXPECT_NE(0, lm.getProperties(3, 21, "Factor", value, error, nullptr));

    UpdateMonitoringPolicyPropertyRequest req;
    req.mutable_monitoringPolicy().set_monitoringPolicyId(21);
    auto& p1 = req.add_properties();
    p1.set_propertyName("Factor");
    p1.set_propertyValue("3");
    p1.set_dataType(1);
    auto& p2 = req.add_properties();
    p2.set_propertyName(" Vestry GUID");
    p2.set_propertyValue("{guid}");
    std::string answer;
    ASSERT_EQ(0, App_ExecuteSP().executeStoredProcedure(req.tagID(), text(req), answer, nullptr));
    auto resp = parse<GenericEntityResponse>(answer);
    ASSERT_TRUE(resp);
    EXPECT_EQ(0, resp->errorCode());
    EXPECT_EQ(0, lm.getProperties(2, 21, "Factor", value, error, nullptr));
    EXPECT_EQ("3", value);
    EXPECT_EQ(0, lm.getProperties(2, 21, " Vestry GUID", value, error, nullptr));
    EXPECT_EQ("{guid}", value);

    // All or nothing: a nameless second property keeps the first from being written.
    UpdateMonitoringPolicyPropertyRequest bad;
    bad.mutable_monitoringPolicy().set_monitoringPolicyId(21);
    bad.add_properties().set_propertyName("Factor");
    bad.mutable_properties(0).set_propertyValue("9");
    bad.add_properties().set_propertyValue("no name");
    EXPECT_EQ(LMMgmt::kBadRequest, App_ExecuteSP().executeStoredProcedure(bad.tagID(), text(bad), answer, nullptr));
    EXPECT_EQ(0, lm.getProperties(2, 21, "Factor", value, error, nullptr));
    EXPECT_EQ("3", value);

    req.mutable_monitoringPolicy().set_monitoringPolicyId(999);
    EXPECT_EQ(LMMgmt::kNotFound, App_ExecuteSP().executeStoredProcedure(req.tagID(), text(req), answer, nullptr));
}

TEST_F(MgmtTest, PolicyIdFromNameAndItsTemplates) {
    LogMonitor lm;
    getPolicyIdFromName q;
    q.set_policyName("web logs");
    q.set_monitoringPolicyId(0);
    std::string t = text(q);
    ASSERT_EQ(0, lm.getIdFromName(t));
    auto id = parse<getPolicyIdFromName>(t);
    ASSERT_TRUE(id);
    EXPECT_EQ(21, id->monitoringPolicyId());

    q.set_policyName("nobody");
    t = text(q);
    EXPECT_EQ(LMMgmt::kNotFound, lm.getIdFromName(t));

    GetListOfTemplatesReq tr;
    tr.set_monitoringPolicyId(21);
    t = text(tr);
    ASSERT_EQ(0, lm.getListOfTemplates(2, tr.tagID(), t));
    auto list = parse<GetListOfTemplatesResp>(t);
    ASSERT_TRUE(list);
    ASSERT_EQ(2u, list->templates_size());
    const LMTemplate& primary = list->templates(0);
    ASSERT_NE(nullptr, primary.templateEntity());
    EXPECT_EQ(12, primary.templateEntity()->templateId());
    EXPECT_EQ("tplB", primary.templateEntity()->templateName());
    EXPECT_EQ(kTemplateB, primary.templateXml());
    EXPECT_EQ(0, primary.templateType());
    EXPECT_EQ(11, list->templates(1).templateEntity()->templateId());
    EXPECT_EQ(2, list->templates(1).templateType());
    TemplateXML parsed;
    EXPECT_EQ(0, parsed.unserialize(primary.templateXml()));
    EXPECT_EQ(2, parsed.headerLineCount());

    tr.set_monitoringPolicyId(999);
    t = text(tr);
    EXPECT_EQ(LMMgmt::kNotFound, lm.getListOfTemplates(2, tr.tagID(), t));
}

TEST_F(MgmtTest, NodesOfACloudComeMostFreeSpaceFirst) {
    GetCloudClientInfoListReq req;
    req.set_cloudId(5);
    std::string t = text(req);
    ASSERT_EQ(0, LogMonitor().getClinetsUnderLMCloud(2, req.tagID(), t));
    auto resp = parse<GetCloudClientInfoListResp>(t);
    ASSERT_TRUE(resp);
    ASSERT_EQ(2u, resp->cloudClients_size());
    const cloudClientInfo& first = resp->cloudClients(0);
    EXPECT_EQ(8, first.clientId());
    EXPECT_EQ(500, first.freeSpace());
    EXPECT_EQ("idx-b", first.hostName());
    EXPECT_EQ("8984", first.basePort());
    EXPECT_EQ(1, first.availability());
    EXPECT_EQ(7, resp->cloudClients(1).clientId());

    req.set_cloudId(6);
    t = text(req);
    ASSERT_EQ(0, LogMonitor().getClinetsUnderLMCloud(2, req.tagID(), t));
    resp = parse<GetCloudClientInfoListResp>(t);
    ASSERT_TRUE(resp);
    EXPECT_TRUE(resp->has_cloudClients());
    EXPECT_EQ(0u, resp->cloudClients_size());

    // An unknown cloud fails and says so in the reply's error code as well.
    req.set_cloudId(404);
    t = text(req);
    EXPECT_EQ(LMMgmt::kNotFound, LogMonitor().getClinetsUnderLMCloud(2, req.tagID(), t));
    resp = parse<GetCloudClientInfoListResp>(t);
    ASSERT_TRUE(resp);
    EXPECT_FALSE(resp->has_cloudClients());
    EXPECT_EQ(LMMgmt::kNotFound, resp->errorCode());
}

TEST_F(MgmtTest, IndexedByteReportsAddUp) {
    LMSetIterationSize rep;
    rep.set_bytesIndexed(1500);
    rep.set_monitoringPolicyId(21);
    rep.mutable_client().set_clientId(7);
    LogMonitor lm;
    ASSERT_EQ(0, lm.setCurrentStatus(2, rep.tagID(), text(rep)));
    rep.set_bytesIndexed(500);
    ASSERT_EQ(0, lm.setCurrentStatus(2, rep.tagID(), text(rep)));
    KQSqlStatement q(db_.handle(), "SELECT indexed_bytes_total FROM policies WHERE id = 21");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(2000, q.getInt(0));
    KQSqlStatement n(db_.handle(), "SELECT count(*), min(client_id) FROM indexed_size_reports WHERE policy_id = 21");
    ASSERT_TRUE(n.step());
    EXPECT_EQ(2, n.getInt(0));
    EXPECT_EQ(7, n.getInt(1));

    rep.set_monitoringPolicyId(999);
    EXPECT_EQ(LMMgmt::kNotFound, lm.setCurrentStatus(2, rep.tagID(), text(rep)));
    rep.set_monitoringPolicyId(21);
    rep.set_bytesIndexed(-1);
    EXPECT_EQ(LMMgmt::kBadRequest, lm.setCurrentStatus(2, rep.tagID(), text(rep)));
}

TEST_F(MgmtTest, ProgressReportsStoreFileStatesAndAnswerWithTheNodes) {
    UpdateMonitoringPolicyProps r = progressReport(21);
    std::string answer;
    ASSERT_EQ(0, App_ExecuteSP().executeStoredProcedure(r.tagID(), text(r), answer, nullptr));
    auto nodes = parse<GetCloudClientInfoListResp>(answer);
    ASSERT_TRUE(nodes);
    ASSERT_EQ(2u, nodes->cloudClients_size());
    const cloudClientInfo& first = nodes->cloudClients(0);
    EXPECT_TRUE(first.has_clientId() && first.has_hostName() && first.has_basePort());
    EXPECT_EQ("idx-b", first.hostName());
    EXPECT_EQ("8984", first.basePort());

    // A second report: the file is done, its new bytes add to what was indexed.
    UpdateMonitoringPolicyProps done;
    done.mutable_monitoringPolicy().set_monitoringPolicyId(21);
    done.mutable_progress().set_state(0);
    auto& f = done.add_uploadedFiles();
    f.set_uploadRequestId("req-1");
    f.set_state(3);
    f.set_resultCode(0);
    f.set_bytesIndexed(200);
    ASSERT_EQ(0, App_ExecuteSP().executeStoredProcedure(done.tagID(), text(done), answer, nullptr));

    KQSqlStatement p(db_.handle(), "SELECT state, last_indexed_id, indexed_size FROM policies WHERE id = 21");
    ASSERT_TRUE(p.step());
    EXPECT_EQ(0, p.getInt(0));
    EXPECT_EQ(4711, p.getInt(1)); // not in the second report: kept
    EXPECT_EQ(1000, p.getInt(2));
    KQSqlStatement fs(db_.handle(), "SELECT local_path, state, result_code, bytes_indexed FROM policy_files "
                                    "WHERE policy_id = 21 AND request_id = 'req-1'");
    ASSERT_TRUE(fs.step());
    EXPECT_EQ("/data/a.log", fs.getText(0));
    EXPECT_EQ(3, fs.getInt(1));
    EXPECT_EQ(0, fs.getInt(2));
    EXPECT_EQ(500, fs.getInt(3));

    std::string shown, err;
    ASSERT_EQ(0, KQMgmtAdmin(db_).show(shown, err));
    EXPECT_NE(std::string::npos, shown.find("req-1 /data/a.log state 3 result 0 bytes 500"));
    EXPECT_NE(std::string::npos, shown.find("state 0 last indexed id 4711 indexed size 1000"));

    // A policy without a cloud: stored, answered without a node list.
    r = progressReport(22);
    ASSERT_EQ(0, App_ExecuteSP().executeStoredProcedure(r.tagID(), text(r), answer, nullptr));
    nodes = parse<GetCloudClientInfoListResp>(answer);
    ASSERT_TRUE(nodes);
    EXPECT_FALSE(nodes->has_cloudClients());

    r = progressReport(999);
    EXPECT_EQ(LMMgmt::kNotFound, App_ExecuteSP().executeStoredProcedure(r.tagID(), text(r), answer, nullptr));
    r = progressReport(21);
    r.mutable_uploadedFiles(0).set_uploadRequestId("");
    EXPECT_EQ(LMMgmt::kBadRequest, App_ExecuteSP().executeStoredProcedure(r.tagID(), text(r), answer, nullptr));
}

TEST_F(MgmtTest, RequestsAreRoutedByTheirTag) {
    EvLogCapture capture;
    std::string answer;
    GetCloudClientInfoListReq req;
    req.set_cloudId(5);
    // A tag without a handler, and a text of another class than its tag.
    EXPECT_EQ(LMMgmt::kUnknownRequest, App_ExecuteSP().executeStoredProcedure(0x23FC67AC, text(req), answer, nullptr));
    EXPECT_TRUE(capture.contains("App_ExecuteSP::executeStoredProcedure", -1, "no stored procedure for type tag"));
    std::string t = text(req);
    EXPECT_EQ(LMMgmt::kBadRequest, LogMonitor().getListOfTemplates(2, GetListOfTemplatesReq::tagID(), t));
    EXPECT_TRUE(capture.contains("LogMonitor::getListOfTemplates", -1, "is not a message of type tag"));
    t = "<not xml";
    EXPECT_EQ(LMMgmt::kBadRequest, LogMonitor().getClinetsUnderLMCloud(2, req.tagID(), t));
    EXPECT_EQ("<not xml", t);
    // The same tag as a request is not a stored procedure.
    EXPECT_EQ(LMMgmt::kUnknownRequest,
              App_ExecuteSP().executeStoredProcedure(req.tagID(), text(req), answer, nullptr));
}

TEST_F(MgmtTest, LockedOrCorruptDatabaseGivesErrorsAndLogLines) {
    sqlite3* other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(dbPath().c_str(), &other));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
    {
        EvLogCapture capture;
        UpdateMonitoringPolicyProps r = progressReport(21);
        std::string answer;
        EXPECT_EQ(LMMgmt::kDatabaseError,
                  App_ExecuteSP().executeStoredProcedure(r.tagID(), text(r), answer, nullptr));
        EXPECT_TRUE(capture.contains("", -1, "locked"));
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);

    db_.close();
    lmtest::writeFile(dbPath(), std::string(8192, 'x'));
    ::unlink((dbPath() + "-wal").c_str());
    ::unlink((dbPath() + "-shm").c_str());
    EvLogCapture capture;
    std::string value, error;
    EXPECT_EQ(LMMgmt::kDatabaseError, LogMonitor().getProperties(2, 21, "Factor", value, error, nullptr));
    EXPECT_NE(std::string::npos, error.find("not a database"));
    EXPECT_TRUE(capture.contains("KQManagementDB::open", -1, "not usable"));
    GetCloudClientInfoListReq req;
    req.set_cloudId(5);
    std::string t = text(req);
    EXPECT_EQ(LMMgmt::kDatabaseError, LogMonitor().getClinetsUnderLMCloud(2, req.tagID(), t));
    uint64_t id = 1;
    EXPECT_NE(0, KQClient(7).getClientId(id));
    EXPECT_EQ(0u, id);
}

TEST_F(MgmtTest, ClientDirectory) {
    KQClient byId(7);
    uint64_t id = 0;
    std::string name, shortName;
    int port = 0;
    ASSERT_EQ(0, byId.getClientId(id));
    EXPECT_EQ(7u, id);
    ASSERT_EQ(0, byId.getNetworkHostnameMangled(name));
    EXPECT_EQ("127.0.0.1:9001", name);
    ASSERT_EQ(0, byId.getKQDPort(port));
    EXPECT_EQ(9001, port);
    ASSERT_EQ(0, byId.getShortName(shortName));
    EXPECT_EQ("engineA", shortName); // no short name given: the name

    KQClient byName("engineB", 0, 0);
    ASSERT_EQ(0, byName.getClientId(id));
    EXPECT_EQ(8u, id);
    byName.getNetworkHostnameMangled(name);
    EXPECT_EQ("[::1]:9002", name);
    KQClient(2).getShortName(shortName);
    EXPECT_EQ("mg", shortName);

    KQClient nobody("nobody", 0, 0);
    id = 99;
    EXPECT_NE(0, nobody.getClientId(id));
    EXPECT_EQ(0u, id);
    EXPECT_NE(0, nobody.getNetworkHostnameMangled(name));
}

TEST_F(MgmtTest, SchemaPartsAreAppliedOnceAndAdminRefusesDuplicates) {
    for (const char* part : {"core", "test_extra"}) {
        KQSqlStatement q(db_.handle(), "SELECT version FROM schema_parts WHERE part = ?");
        q.bind(1, std::string(part));
        ASSERT_TRUE(q.step()) << part;
        EXPECT_EQ(1, q.getInt(0));
    }
    KQManagementDB again;
    ASSERT_EQ(0, again.open()); // nothing to do, nothing fails
    EXPECT_TRUE(KQSqlStatement(again.handle(), "INSERT INTO test_extra(x) VALUES(1)").run());

    KQMgmtAdmin admin(db_);
    std::string err;
    int64_t id = 0;
    EXPECT_EQ(LMMgmt::kBadRequest, admin.addClient({0, "engineA", "", "h", 1}, id, err));
    EXPECT_NE(std::string::npos, err.find("exists already"));
    EXPECT_EQ(LMMgmt::kBadRequest, admin.addTemplate("junk", 0, "<a/>", 0, id, err));
    KQMgmtAdmin::Policy p;
    p.name = "half";
    p.templates = {"tplA", "missing"};
    EXPECT_EQ(LMMgmt::kNotFound, admin.addPolicy(p, id, err));
    getPolicyIdFromName q2;
    q2.set_policyName("half");
    std::string t = text(q2);
    EXPECT_EQ(LMMgmt::kNotFound, LogMonitor().getIdFromName(t)); // nothing of it was kept
}

// Template id 1 is the suite's own log format (its documents begin with a header): a template
// gets it only when asked for.
TEST(MgmtAdmin, TemplateIdOneIsOnlyGivenWhenAskedFor) {
    lmtest::TempDir dir("lmtplid");
    lmtest::writeFile(dir.file("registry.ini"),
                      "[Platform]\nsInstanceName = TemplateIds\nsManagementDB = " + dir.file("m.db") + "\n");
    KQPlatformInfo::useRegistryFile(dir.file("registry.ini"));
    KQManagementDB db;
    ASSERT_EQ(0, db.open());
    KQMgmtAdmin admin(db);
    std::string err;
    int64_t first = 0, own = 0, next = 0;
    ASSERT_EQ(0, admin.addTemplate("first", 0, kTemplateA, 0, first, err)) << err;
    ASSERT_EQ(0, admin.addTemplate("own format", 0, kTemplateA, 1, own, err)) << err;
    ASSERT_EQ(0, admin.addTemplate("next", 0, kTemplateB, 0, next, err)) << err;
    EXPECT_EQ(2, first);
    EXPECT_EQ(1, own);
    EXPECT_EQ(3, next);
}

} // namespace

namespace {

TEST_F(MgmtTest, EventsAndAlertsAreStoredAndShown) {
    EvEvent ev;
    char buf[1024];
    EXPECT_GT(ev.evPrintf(buf, sizeof buf, 0x23000864), 0);
    EXPECT_STREQ("The sample does not match the template.", buf);
    ev.setLocaleId(0x407); // no texts of its own: English
    EXPECT_EQ("The sample does not match the template.", ev.text(0x23000864));
    EXPECT_EQ(-1, ev.evPrintf(buf, 8, 0x1234));
    EXPECT_EQ(7u, std::strlen(buf)); // cut to the buffer
    ASSERT_EQ(0, ev.CriticalEvent(0x4A0004CB, "node%s7"));

    EvAlertEx alert;
    alert.setDescription("<alerts><a id=\"1\"/></alerts>");
    ASSERT_EQ(0, alert.sendAlert(65, 75, 0));
    alert.clear();
    EXPECT_TRUE(alert.getDescription().empty());

    std::string shown, err;
    ASSERT_EQ(0, KQMgmtAdmin(db_).show(shown, err)) << err;
    EXPECT_NE(std::string::npos,
              shown.find("critical 0x4A0004CB")) << shown;
    EXPECT_NE(std::string::npos, shown.find("(reported by node%s7)")) << shown; // arguments are not formats
    EXPECT_NE(std::string::npos, shown.find("65/75")) << shown;
    EXPECT_NE(std::string::npos, shown.find("<alerts><a id=\"1\"/></alerts>")) << shown;
}

} // namespace

namespace {

void exec(KQManagementDB& db, const char* sql) {
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(db.handle(), sql, nullptr, nullptr, nullptr)) << sql;
}

} // namespace

// The request lmctl upload sends is read by the engine as it stands, so it is checked after a trip
// through its XML form.
TEST_F(MgmtTest, ProcessingRequestCarriesPolicyTemplateCloudProgressAndFiles) {
    exec(db_, "UPDATE policies SET last_indexed_id = 77 WHERE id = 21");
    exec(db_, "UPDATE templates SET type = 3 WHERE id = 12");
    KQMgmtAdmin admin(db_);
    std::string err;
    MonitoringPolicyProcessingRequest built;
    const std::vector<KQMgmtAdmin::UploadFile> files = {{"U21_1_ab_0", "/st/U21_1_ab_0/a.log", "red,blue"},
                                                        {"U21_1_ab_1", "/st/U21_1_ab_1/b.log", ""}};
    ASSERT_EQ(0, admin.buildProcessingRequest("web logs", files, 2, "mgmt", built, err)) << err;
    auto req = parse<MonitoringPolicyProcessingRequest>(text(built));
    ASSERT_TRUE(req && req->client());
    EXPECT_EQ(2, req->client()->clientId());
    EXPECT_EQ("mgmt", req->client()->clientName());
    ASSERT_EQ(1u, req->policies_size());
    const MonitoringPolicyProps& props = req->policies(0);

    ASSERT_TRUE(props.monitoringPolicy());
    const MonitoringPolicy& mp = *props.monitoringPolicy();
    EXPECT_EQ(21, mp.monitoringPolicyId());
    EXPECT_EQ("web logs", mp.policyName());
    EXPECT_EQ(std::vector<int32_t>{4}, mp.monitoringTypes());
    EXPECT_EQ(1, mp.factor());
    ASSERT_EQ(1u, mp.templates_size()); // the first template only: tplB, not tplA
    ASSERT_TRUE(mp.templates(0).templateEntity());
    EXPECT_EQ(12, mp.templates(0).templateEntity()->templateId());
    EXPECT_EQ("tplB", mp.templates(0).templateEntity()->templateName());
    EXPECT_EQ(kTemplateB, mp.templates(0).templateXml());
    EXPECT_EQ(3, mp.templates(0).templateType());

    ASSERT_TRUE(props.indexDestination());
    const LMIndexDestination& dest = *props.indexDestination();
    EXPECT_EQ(5, dest.cloudId());
    ASSERT_EQ(2u, dest.nodes_size());
    struct Node {
        int64_t client;
        const char *host, *port, *network;
        int64_t free;
    };
    const Node want[] = {{8, "idx-b", "8984", "[::1]:9002", 500}, {7, "idx-a", "8983", "127.0.0.1:9001", 100}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(want[i].client, dest.nodes(i).clientId());
        EXPECT_EQ(want[i].host, dest.nodes(i).hostName());
        EXPECT_EQ(want[i].port, dest.nodes(i).basePort());
        EXPECT_EQ(want[i].network, dest.nodes(i).networkHostName());
        EXPECT_EQ(want[i].free, dest.nodes(i).freeSpace());
        EXPECT_EQ(1, dest.nodes(i).availability());
    }
    ASSERT_TRUE(props.progress());
    EXPECT_EQ(77, props.progress()->lastIndexedId());

    ASSERT_EQ(2u, props.uploadedFiles_size());
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const auto& f = props.uploadedFiles(i);
        EXPECT_EQ(files[i].requestId, f.uploadRequestId());
        EXPECT_EQ(files[i].localPath, f.localPath());
        EXPECT_EQ(!files[i].tags.empty(), f.has_uploadTags());
        EXPECT_EQ(files[i].tags, f.uploadTags());
        ASSERT_TRUE(f.uploadUser());
        EXPECT_EQ(0, f.uploadUser()->userId());
    }

    // By id, the same policy; the index engine a search asks is the cloud's first node.
    MonitoringPolicyProcessingRequest byId;
    ASSERT_EQ(0, admin.buildProcessingRequest("21", files, 2, "mgmt", byId, err)) << err;
    EXPECT_EQ(text(built), text(byId));
    KQMgmtAdmin::PolicyRef ref;
    KQMgmtAdmin::IndexEngine engine;
    ASSERT_EQ(0, admin.policyIndexEngine("web logs", ref, engine, err)) << err;
    EXPECT_EQ(21, ref.id);
    EXPECT_EQ("idx-b", engine.host);
    EXPECT_EQ(8984, engine.port);
}

TEST_F(MgmtTest, ProcessingRequestIsRefusedForPoliciesTheEngineCannotIndex) {
    KQMgmtAdmin admin(db_);
    std::string err;
    int64_t id = 0;
    ASSERT_EQ(0, admin.addTemplate("tplC", 0, kTemplateA, 13, id, err)) << err;
    KQMgmtAdmin::Policy p;
    p.name = "to empty cloud";
    p.id = 23;
    p.templates = {"tplC"};
    p.cloud = "empty";
    ASSERT_EQ(0, admin.addPolicy(p, id, err)) << err;
    p.name = "bad factor";
    p.id = 24;
    p.cloud = "cloud1";
    p.properties = {{"Factor", "x2"}};
    ASSERT_EQ(0, admin.addPolicy(p, id, err)) << err;
    p.name = "no template";
    p.id = 25;
    p.properties.clear();
    ASSERT_EQ(0, admin.addPolicy(p, id, err)) << err;
    exec(db_, "DELETE FROM policy_templates WHERE policy_id = 25");

    struct Case {
        const char* policy;
        int result;
        const char* says;
    };
    const Case cases[] = {
        {"ghost", LMMgmt::kNotFound, "no policy named [ghost]"},
        {"999", LMMgmt::kNotFound, "none with that id"},
        {"lone", LMMgmt::kBadRequest, "has no cloud"},
        {"to empty cloud", LMMgmt::kBadRequest, "has no index engine node"},
        {"bad factor", LMMgmt::kBadRequest, "\"Factor\" that is not a number"},
        {"no template", LMMgmt::kBadRequest, "has no template"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        MonitoringPolicyProcessingRequest req;
        err.clear();
        EXPECT_EQ(c.result, admin.buildProcessingRequest(c.policy, {{"r", "/p", ""}}, 2, "mgmt", req, err));
        EXPECT_NE(std::string::npos, err.find(c.says)) << err;
    }
    KQMgmtAdmin::PolicyRef ref;
    KQMgmtAdmin::IndexEngine engine;
    EXPECT_EQ(LMMgmt::kBadRequest, admin.policyIndexEngine("lone", ref, engine, err));
    EXPECT_EQ(LMMgmt::kBadRequest, admin.policyIndexEngine("to empty cloud", ref, engine, err));
}

TEST_F(MgmtTest, UploadRowsFollowTheEngineAndCancellingPutsThePolicyBack) {
    KQMgmtAdmin admin(db_);
    std::string err;
    const std::vector<KQMgmtAdmin::UploadFile> files = {{"U21_a_0", "/st/U21_a_0/a.log", ""},
                                                        {"U21_a_1", "/st/U21_a_1/b.log", ""}};
    KQMgmtAdmin::UploadStatus st;
    ASSERT_EQ(0, admin.uploadStatus(21, {"U21_a_0"}, st, err)) << err;
    EXPECT_FALSE(st.hasState); // never indexed
    EXPECT_FALSE(st.files.at(0).found);

    KQMgmtAdmin::UploadStart started;
    ASSERT_EQ(0, admin.startUpload(21, files, started, err)) << err;
    ASSERT_EQ(0, admin.uploadStatus(21, {"U21_a_1", "U21_a_0", "other"}, st, err)) << err;
    EXPECT_TRUE(st.hasState);
    EXPECT_EQ(2, st.policyState);
    ASSERT_EQ(3u, st.files.size()); // in the order asked
    EXPECT_EQ("U21_a_1", st.files[0].requestId);
    EXPECT_EQ("/st/U21_a_1/b.log", st.files[0].localPath);
    EXPECT_TRUE(st.files[0].found && st.files[1].found && !st.files[2].found);
    EXPECT_EQ(2, st.files[1].state);
    EXPECT_EQ(0, st.files[1].bytesIndexed);

    // A request id that is known already refuses the whole upload: the new file is not entered.
    KQMgmtAdmin::UploadStart again;
    EXPECT_NE(0, admin.startUpload(21, {{"U21_b_0", "/st/x", ""}, files[0]}, again, err));
    ASSERT_EQ(0, admin.uploadStatus(21, {"U21_b_0"}, st, err));
    EXPECT_FALSE(st.files[0].found);

    // The engine's reports land in the same rows.
    UpdateMonitoringPolicyProps rep;
    rep.mutable_monitoringPolicy().set_monitoringPolicyId(21);
    auto& f = rep.add_uploadedFiles();
    f.set_uploadRequestId("U21_a_0");
    f.set_state(3);
    f.set_bytesIndexed(123);
    std::string answer;
    ASSERT_EQ(0, App_ExecuteSP().executeStoredProcedure(rep.tagID(), text(rep), answer, nullptr));
    ASSERT_EQ(0, admin.uploadStatus(21, {"U21_a_0"}, st, err));
    EXPECT_EQ(3, st.files[0].state);
    EXPECT_EQ(123, st.files[0].bytesIndexed);

    ASSERT_EQ(0, admin.cancelUpload(started, files, err)) << err;
    ASSERT_EQ(0, admin.uploadStatus(21, {"U21_a_0", "U21_a_1"}, st, err));
    EXPECT_FALSE(st.hasState);
    EXPECT_FALSE(st.files[0].found || st.files[1].found);

    // A state that was there comes back; a state the engine set meanwhile is left alone.
    exec(db_, "UPDATE policies SET state = 0 WHERE id = 21");
    ASSERT_EQ(0, admin.startUpload(21, files, started, err)) << err;
    ASSERT_EQ(0, admin.cancelUpload(started, files, err)) << err;
    ASSERT_EQ(0, admin.uploadStatus(21, {}, st, err));
    EXPECT_TRUE(st.hasState);
    EXPECT_EQ(0, st.policyState);
    exec(db_, "UPDATE policies SET state = NULL WHERE id = 21");
    ASSERT_EQ(0, admin.startUpload(21, files, started, err)) << err;
    exec(db_, "UPDATE policies SET state = 4 WHERE id = 21");
    ASSERT_EQ(0, admin.cancelUpload(started, files, err)) << err;
    ASSERT_EQ(0, admin.uploadStatus(21, {}, st, err));
    EXPECT_EQ(4, st.policyState);

    EXPECT_EQ(LMMgmt::kNotFound, admin.startUpload(999, files, started, err));
    EXPECT_EQ(LMMgmt::kNotFound, admin.uploadStatus(999, {}, st, err));
}
