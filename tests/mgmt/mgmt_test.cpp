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
