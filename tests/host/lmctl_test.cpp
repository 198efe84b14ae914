#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "network/SessionTestMessages.h"
#include "platform/mgmt/KQClient.h"
#include "platform/mgmt/LogMonitor.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/registry/KQRegistryStore.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;

namespace {

struct CtlResult {
    int exitCode = -1;
    std::string output;
};

CtlResult lmctl(const std::string& registry, std::vector<std::string> args) {
    std::vector<std::string> argv = {LMCTL_BIN, "--registry", registry};
    argv.insert(argv.end(), args.begin(), args.end());
    lmtest::ChildProcess p;
    CtlResult r;
    if (!p.start(argv)) return r;
    int status = p.wait(30s);
    r.output = p.output();
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// lmctl builds an instance that lm-host serves and the management client reads.
TEST(Lmctl, BuildsAnInstanceThatTheHostServes) {
    lmtest::TempDir dir("lmctl");
    const std::string reg = dir.file("instance/registry.ini");
    const int port = lmtest::freeLoopbackPort();
    lmtest::writeFile(dir.file("web.xml"),
                      "<LogMonitoring_TemplateXML><customSeparator>|</customSeparator></LogMonitoring_TemplateXML>");
    lmtest::writeFile(dir.file("junk.xml"), "<nothing/>");

    struct Step {
        std::vector<std::string> args;
        int exitCode;
        const char* says;
    };
    const Step steps[] = {
        {{"init", "--instance", "Inst7", "--client-name", "hostA", "--port", std::to_string(port), "--home",
          dir.file("instance")},
         0, "initialised instance Inst7"},
        {{"init"}, 1, "initialised already"},
        {{"client", "add", "engine1", "--host", "127.0.0.1", "--port", "9301", "--id", "7"}, 0, "id 7"},
        {{"client", "add", "engine1", "--host", "127.0.0.1", "--port", "9301"}, 1, "exists already"},
        {{"client", "add", "engine2", "--host", "127.0.0.1"}, 1, "--port"},
        {{"cloud", "add", "main", "--id", "3"}, 0, "id 3"},
        {{"node", "add", "main", "--client", "engine1", "--host", "127.0.0.1", "--port", "8983", "--free-space", "9"},
         0, "added to cloud main"},
        {{"node", "add", "nocloud", "--client", "engine1", "--host", "h", "--port", "1"}, 1, "no cloud named"},
        {{"template", "add", dir.file("web.xml"), "--type", "2"}, 0, "template web added"},
        {{"template", "add", dir.file("junk.xml")}, 1, "not a template definition"},
        {{"template", "add", dir.file("missing.xml")}, 1, "cannot read"},
        {{"policy", "add", "weblogs", "--template", "web", "--type", "4", "--cloud", "main", "--property",
          "Factor=1"},
         0, "policy weblogs added"},
        {{"policy", "add", "broken", "--template", "nope"}, 1, "no template named [nope]"},
        {{"policy", "set-property", "weblogs", "age ci data after days", "30"}, 0, "age ci data after days = 30"},
        {{"policy", "set-property", "ghost", "Factor", "1"}, 1, "no policy named"},
        {{"frobnicate"}, 2, "unknown command"},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.args[0] + (s.args.size() > 1 ? " " + s.args[1] : ""));
        CtlResult r = lmctl(reg, s.args);
        EXPECT_EQ(s.exitCode, r.exitCode) << r.output;
        EXPECT_NE(std::string::npos, r.output.find(s.says)) << r.output;
    }
    CtlResult shown = lmctl(reg, {"show"});
    ASSERT_EQ(0, shown.exitCode) << shown.output;
    for (const char* line : {"2 hostA (short hostA) at 127.0.0.1:", "7 engine1", "3 main: node client 7 engine1 engine "
                             "127.0.0.1:8983 free 9", "web type 2", "weblogs type 4 templates web",
                             "weblogs: Cloud Id = 3", "weblogs: age ci data after days = 30", "never reported"})
        EXPECT_NE(std::string::npos, shown.output.find(line)) << line << "\n" << shown.output;

    // The registry lmctl wrote is the instance's: the management client and the host use it.
    KQPlatformInfo::useRegistryFile(reg);
    std::string value, error;
    EXPECT_EQ(0, LogMonitor().getProperties(2, 1, "Factor", value, error, nullptr)) << error;
    EXPECT_EQ("1", value);
    std::string mangled;
    ASSERT_EQ(0, KQClient("hostA", 0, 0).getNetworkHostnameMangled(mangled));
    EXPECT_EQ("127.0.0.1:" + std::to_string(port), mangled);

    KQRegistryStore store(reg);
    ASSERT_TRUE(store.set("RemoteModules", "sTestEcho/sTestEchoEntry.library",
                          std::string(LM_BINARY_DIR) + "/lib/liblm_test_echo_module.so"));
    ASSERT_TRUE(store.set("RemoteModules", "sTestEcho/sTestEchoEntry.symbol", "LMTestEchoEntry"));
    lmtest::ChildProcess host;
    ASSERT_TRUE(host.start({LM_HOST_BIN, "--registry", reg}));
    ASSERT_FALSE(host.waitForLine("listening on 127.0.0.1:" + std::to_string(port), 10s).empty()) << host.output();
    CKqNetwork c;
    bool aborted = false;
    CZuError e = c.Attach_RemoteDLL(mangled, KqRemoteModuleDescriptor("sTestEcho", "sTestEchoEntry"), "hostA", 120,
                                    aborted);
    ASSERT_FALSE(e.IsError()) << e.AsString();
    LMTest::SessionEcho m;
    m.set_body("through the instance lmctl built");
    ASSERT_FALSE(c.SendXMLMessage(m, 0, 10, aborted).IsError());
    std::unique_ptr<CNMessageBase> got;
    ASSERT_FALSE(c.ReceiveXMLMessage(got, 10, aborted).IsError());
    EXPECT_EQ(m.body(), got->as<LMTest::SessionEcho>()->body());
    EXPECT_FALSE(c.Disconnect(120, aborted).IsError());
    ASSERT_TRUE(host.signal(SIGTERM));
    int status = host.wait(15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

} // namespace
