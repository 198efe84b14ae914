#pragma once
// An instance for indexing-session tests: a registry, a management database with one client, a
// template and a policy of uploaded files, an upload staging folder, a loopback syslog receiver,
// and builders for the policy message a run works from.

#include <chrono>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/messages/catalogue/Catalogue.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"
#include "support/UdpReceiver.h"
#include "values/LMColumnTypes.h"

namespace pipelinetest {

using namespace LogMonitoring;

constexpr int64_t kPolicyId = 31;
constexpr int64_t kTemplateId = 50;

// Number, word, free text: "42 alpha the rest", named after fields that syslog forwarding renders.
inline TemplateXML numberWordText() {
    TemplateXML t;
    struct Kind {
        int type, format;
        const char* name;
    } kinds[] = {{Number, Decimal, "eventid"}, {String, FreeText, "details"}, {String, FreeText, "description"}};
    int id = 1;
    for (const Kind& k : kinds) {
        Column& c = t.add_columns();
        c.set_dataType(k.type);
        c.set_typeFormat(k.format);
        c.set_columnName(k.name);
        c.mutable_columnEntity().set_id(id++);
        c.mutable_columnEntity().set_name(k.name);
    }
    t.set_separatorFlags(1);
    return t;
}

inline std::string text(const CNMessageBase& m) {
    std::string s;
    EXPECT_EQ(0, m.serialize(s));
    return s;
}

using lmtest::UdpReceiver;

class PipelineInstance {
public:
    explicit PipelineInstance(const std::string& globals = "") {
        std::filesystem::create_directories(staging());
        lmtest::writeFile(dir_.file("registry.ini"),
                          "[Platform]\nsInstanceName = PipelineTest\nsHomeDir = " + dir_.path() +
                              "\nsManagementDB = " + dir_.file("management.db") +
                              "\nsPhysicalMachine = pipehost\n[GlobalParameters]\n" + globals + "\n");
        KQPlatformInfo::useRegistryFile(dir_.file("registry.ini"));
        KQManagementDB db;
        EXPECT_EQ(0, db.open());
        KQMgmtAdmin admin(db);
        std::string err;
        int64_t id = 0;
        EXPECT_EQ(0, admin.addClient({2, "pipehost", "", "127.0.0.1", 8403}, id, err)) << err;
        EXPECT_EQ(0, admin.addTemplate("words", 0, text(numberWordText()), kTemplateId, id, err)) << err;
        KQMgmtAdmin::Policy p;
        p.id = kPolicyId;
        p.name = "uploads";
        p.type = 4;
        p.templates = {"words"};
        EXPECT_EQ(0, admin.addPolicy(p, id, err)) << err;
    }

    std::string staging() const { return dir_.file("uploads"); }
    const lmtest::TempDir& dir() const { return dir_; }

    // Writes `content` as `name` in a request folder of its own under the staging folder.
    LogMonitoringODPFileUploadInfo stage(const std::string& requestId, const std::string& name,
                                         const std::string& content) {
        std::filesystem::create_directories(staging() + "/" + requestId);
        return record(requestId, staging() + "/" + requestId + "/" + name, content);
    }
    // An upload record of a file written at `path`.
    static LogMonitoringODPFileUploadInfo record(const std::string& requestId, const std::string& path,
                                                 const std::string& content) {
        lmtest::writeFile(path, content);
        LogMonitoringODPFileUploadInfo r;
        r.set_uploadRequestId(requestId);
        r.set_localPath(path);
        r.mutable_uploadUser().set_userId(0);
        return r;
    }

    // A policy of uploaded files (type 4) sent to the syslog receiver on `syslogPort`.
    static MonitoringPolicyProps policy(int syslogPort, int64_t templateType = 0,
                                        const TemplateXML& templ = numberWordText(), int64_t templateId = kTemplateId) {
        MonitoringPolicyProps props;
        MonitoringPolicy& mp = props.mutable_monitoringPolicy();
        mp.set_monitoringPolicyId(kPolicyId);
        mp.set_policyName("uploads");
        mp.add_monitoringTypes(4);
        LMTemplate& t = mp.add_templates();
        t.mutable_templateEntity().set_templateId(templateId);
        t.mutable_templateEntity().set_templateName("words");
        t.set_templateXml(text(templ));
        t.set_templateType(templateType);
        LMIndexDestination& dest = props.mutable_indexDestination();
        dest.set_sendToSyslog(1);
        dest.set_syslogDestination("127.0.0.1:" + std::to_string(syslogPort));
        return props;
    }

private:
    lmtest::TempDir dir_{"lmpipeline"};
};

} // namespace pipelinetest
