#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "messages/CatalogueCheck.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/messages/catalogue/Catalogue.h"

using catalogue_check::classesOf;
using catalogue_check::roundTripProblems;

namespace {

// The classes each namespace must hold. The list is compared with what the platform library
// registered at load time, so a class that is declared but not registered (or the reverse) shows.
const std::map<std::string, std::set<std::string>>& expectedClasses() {
    static const std::map<std::string, std::set<std::string>> m = {
        {"KqEntities",
         {"ColumnEntity", "TemplateEntity", "ClientEntity", "GenericEntity", "UserEntity", "AlertEntity",
          "MonitoringPolicyEntity", "UserCredentials", "ProcessingInstructionInfo"}},
        {"TMMsg", {"LMRequestedReIndexTimeInterval"}},
        {"LogMonitoring",
         {// templates and conditions
          "GenericEntityResponse", "LMDataExtractionOption", "LMDataExtractionPatterns", "Column",
          "TemplateXML", "IntegersList", "Condition", "ConditionsList", "ColumnValuePair",
          "ValidateTemplateRequest", "ValidateTemplateResponse",
          // index engine nodes
          "CoreInfo", "MonitoringPolicyResp", "MonitoringPolicyRespList", "cloudClientInfo",
          "cloudClientInfoV2", "GetCloudClientInfoListReq", "GetCloudClientInfoListResp",
          "MonitoringPolicyPropertyProperty", "UpdateMonitoringPolicyPropertyRequest",
          "RemoteHostEventBookmarkPair", "RemoteHosts",
          // policies and runs
          "LMDataAgeingInfo", "LMTemplate", "MonitoringPolicy", "LMIndexDestination", "LMIndexingProgress",
          "LogMonitoringODPFileUploadInfo", "MonitoringPolicyProps", "UpdateMonitoringPolicyProps",
          "MonitoringPolicyProcessingRequest", "MonitoringPolicyProcessingResponse", "LMSetIterationSize",
          // batches
          "LMDataBucket", "LMAddDocumentsToCIReq", "LMAddDocumentBucketsToCIReq", "LMAddDocumentsToGlobalCIReq",
          "LMAddDocumentsToCIResp", "LMAddDocumentsToGlobalCIResp", "LMCommitSolrDataOnSuccessReq",
          // global monitoring, pushed lines, compliance
          "GetGlobalMonitoringPolicyListReq", "GetMonitoringPolicyResponse", "LMUploadLinesForPolicyRequest",
          "LMUploadLinesForPolicyResponse", "getPolicyIdFromName", "GetListOfTemplatesReq",
          "GetListOfTemplatesResp", "GetMIFIDPolicyProp", "MIFIDPolicyPropResp",
          // alerts
          "LMSearchAlertReq", "LMSearchAlertResp", "LMRateOfChangeAlert", "LMAlertConfigInfo", "LMAlertInfo",
          "SearchURLInfo", "SearchInfo", "SearchListResp", "GetMonitoringPoliciesListResp",
          "alertProcessedTime", "UpdateLastAlertRulesProcessedTime",
          // retention, removal, re-indexing
          "LMGetListOfPolicyAssociatedToCloudClientReq", "LMPolicyAndRetention",
          "LMGetListOfPolicyAssociatedToCloudClientResp", "LMupdateCoreInfo", "CloudAndMonitoringPolicyInfo",
          "GetCloudAndMonitoringPolicyListReq", "GetReIndexTimeRangeReq", "reIndexTimeRangeInfo",
          "reIndexTimeRangeResp",
          // data sets
          "GenerateDataSetForCI", "EventViewerRow", "GuiAuditRow", "ColumnDataValue", "RowAsColumnList",
          "EventViewerRowList", "GuiAuditRowList", "DataSetRowList"}},
        {"App", {"NameValuePair", "CloudNodeInfo", "CloudInfo", "QueryResultsContainer", "QueryResultsContainerList"}},
        {"PelmContentIndexing", {"CheckCredentialReq", "CheckCredentialResp"}},
        {"KqNetwork", {"DisconnectMessage"}},
    };
    return m;
}

void checkNamespace(const std::string& ns) {
    std::set<std::string> registered;
    for (const MessageClass* cls : classesOf(ns)) {
        registered.insert(cls->name());
        for (const std::string& problem : roundTripProblems(*cls)) ADD_FAILURE() << problem;
    }
    auto it = expectedClasses().find(ns);
    ASSERT_NE(it, expectedClasses().end());
    EXPECT_EQ(registered, it->second);
}

}

TEST(Catalogue, KqEntitiesClassesSurviveTheRoundTrip) { checkNamespace("KqEntities"); }
TEST(Catalogue, LogMonitoringClassesSurviveTheRoundTrip) { checkNamespace("LogMonitoring"); }
TEST(Catalogue, TMMsgClassesSurviveTheRoundTrip) { checkNamespace("TMMsg"); }
TEST(Catalogue, AppClassesSurviveTheRoundTrip) { checkNamespace("App"); }
TEST(Catalogue, PelmContentIndexingClassesSurviveTheRoundTrip) { checkNamespace("PelmContentIndexing"); }
TEST(Catalogue, KqNetworkClassesSurviveTheRoundTrip) { checkNamespace("KqNetwork"); }

TEST(Catalogue, TagsAndRootNamesAreUnique) {
    std::map<uint64_t, std::string> tags;
    std::set<std::string> roots;
    for (const MessageClass* cls : MessageCatalogue::all()) {
        EXPECT_TRUE(roots.insert(cls->rootName()).second) << cls->rootName();
        auto [it, fresh] = tags.emplace(cls->tag(), cls->rootName());
        EXPECT_TRUE(fresh) << cls->rootName() << " shares tag " << std::hex << cls->tag() << " with "
                           << it->second;
        EXPECT_EQ(MessageCatalogue::findByTag(cls->tag()), cls) << cls->rootName();
        EXPECT_EQ(MessageCatalogue::findByRootName(cls->rootName()), cls) << cls->rootName();
    }
}

TEST(Catalogue, DeclarationsAreWellFormed) {
    for (const MessageClass* cls : MessageCatalogue::all()) {
        std::set<int> slots, presences;
        std::set<std::string> names;
        for (const FieldSpec& f : cls->fields()) {
            EXPECT_TRUE(slots.insert(f.slot).second) << cls->rootName() << " slot " << f.slot;
            EXPECT_TRUE(presences.insert(f.presence).second) << cls->rootName() << " presence " << f.presence;
            EXPECT_TRUE(names.insert(f.name).second) << cls->rootName() << " field " << f.name;
        }
    }
}

// Peers and stored procedures pick messages by these tags, so each must be exactly as agreed.
TEST(Catalogue, AgreedTagsAreKept) {
    const std::pair<const char*, uint64_t> agreed[] = {
        {"LogMonitoring_GenerateDataSetForCI", 0x23FC67AC},
        {"LogMonitoring_EventViewerRowList", 0x2323BC74},
        {"LogMonitoring_GuiAuditRowList", 0x238E5BC8},
        {"LogMonitoring_DataSetRowList", 0x23F00A49},
        {"LogMonitoring_LMCommitSolrDataOnSuccessReq", 0x23F178DE},
        {"LogMonitoring_GetGlobalMonitoringPolicyListReq", 0x23A216E3},
        {"LogMonitoring_LMAddDocumentsToCIReq", 0x23972265},
        {"LogMonitoring_LMAddDocumentsToGlobalCIReq", 0x237F96C2},
        {"LogMonitoring_LMAddDocumentBucketsToCIReq", 0x237ACE2F},
        {"LogMonitoring_MonitoringPolicyProcessingRequest", 0x232C9762},
        {"LogMonitoring_GetMIFIDPolicyProp", 0x23D76464},
        {"LogMonitoring_UpdateLastAlertRulesProcessedTime", 0x238307E1},
        {"LogMonitoring_LMupdateCoreInfo", 0x234D3897},
        {"LogMonitoring_reIndexTimeRangeInfo", 0x2337FF1F},
        {"App_CloudInfo", 0x1E06B463},
        {"KqNetwork_DisconnectMessage", 0x09000102},
    };
    for (const auto& [root, tag] : agreed) {
        const MessageClass* cls = MessageCatalogue::findByRootName(root);
        ASSERT_NE(cls, nullptr) << root;
        EXPECT_EQ(cls->tag(), tag) << root;
        EXPECT_EQ(MessageCatalogue::findByTag(tag), cls) << root;
    }
}

// The index engine's alert handler answers with this exact wrapper around an encoded rule list.
TEST(Catalogue, AlertHandlerAnswerDecodesIntoSearchAlertResp) {
    const std::string encoded = "&lt;LogMonitoring_SearchListResp&gt;&lt;/LogMonitoring_SearchListResp&gt; &amp; more";
    const std::string xml = "<LogMonitoring_LMSearchAlertResp><searchListRespString>" + encoded +
                            "</searchListRespString></LogMonitoring_LMSearchAlertResp>";
    std::unique_ptr<CNMessageBase> m(XMLDecoder::unSerialize(xml, nullptr));
    ASSERT_NE(m, nullptr);
    auto* resp = m->as<LogMonitoring::LMSearchAlertResp>();
    ASSERT_NE(resp, nullptr);
    EXPECT_EQ(resp->getModule(), 35u);
    EXPECT_EQ(resp->getType(), 62u);
    EXPECT_TRUE(resp->isSet(1));
    EXPECT_FALSE(resp->isSet(2));
    EXPECT_EQ(resp->getText(1),
              "<LogMonitoring_SearchListResp></LogMonitoring_SearchListResp> & more");

    // And a response with only the rule list set is written in that same form.
    std::string again;
    ASSERT_EQ(resp->serialize(again), 0);
    EXPECT_EQ(again.rfind("<LogMonitoring_LMSearchAlertResp><searchListRespString>", 0), 0u) << again;
    EXPECT_NE(again.find("</searchListRespString></LogMonitoring_LMSearchAlertResp>"), std::string::npos) << again;
}

// A message nested as XML text inside another (rules inside the alert answer, a bucket request
// inside a global request) survives being carried as text and as a nested message alike.
TEST(Catalogue, MessagesCarriedInsideOthersComeBackWhole) {
    LogMonitoring::SearchURLInfo url;
    url.set_searchQuery("q=status:500&fq=x<y");
    auto& alert = url.add_alerts();
    alert.mutable_alertEntity().set_alertId(77);
    alert.set_lastProcessedTime(1600000000);
    alert.set_associatedPolicyIds({3, 4});
    std::string urlXml;
    ASSERT_EQ(url.serialize(urlXml), 0);

    LogMonitoring::SearchListResp rules;
    rules.add_searchInfos().set_searchUrlInfo(urlXml);
    std::string rulesXml;
    ASSERT_EQ(rules.serialize(rulesXml), 0);

    LogMonitoring::LMSearchAlertResp resp;
    resp.set_searchListRespString(rulesXml);
    std::string respXml;
    ASSERT_EQ(resp.serialize(respXml), 0);

    LogMonitoring::LMSearchAlertResp backResp;
    ASSERT_EQ(backResp.unserialize(respXml), 0);
    LogMonitoring::SearchListResp backRules;
    ASSERT_EQ(backRules.unserialize(backResp.searchListRespString()), 0);
    ASSERT_EQ(backRules.searchInfos_size(), 1u);
    LogMonitoring::SearchURLInfo backUrl;
    ASSERT_EQ(backUrl.unserialize(backRules.searchInfos(0).searchUrlInfo()), 0);
    EXPECT_TRUE(catalogue_check::differences(url, backUrl).empty());
    EXPECT_EQ(backUrl.alerts(0).alertEntity()->alertId(), 77);

    LogMonitoring::LMAddDocumentsToGlobalCIReq global;
    auto& buckets = global.mutable_bucketRequest();
    buckets.set_monitoringPolicyId(12);
    buckets.add_buckets().set_documents("<doc>\n<field name = \"a\">b &amp; c</field>\n</doc>\n");
    std::string globalXml;
    ASSERT_EQ(global.serialize(globalXml), 0);
    std::unique_ptr<CNMessageBase> decoded = XMLDecoder::decode(globalXml);
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(catalogue_check::differences(global, *decoded).empty());
}
