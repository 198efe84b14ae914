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
          "MonitoringPolicyProcessingRequest", "MonitoringPolicyProcessingResponse", "LMSetIterationSize"}},
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
