#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/log/EvLMDebug.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/registry/KQRegistryStore.h"
#include "support/TestSupport.h"

using lmtest::TempDir;

// Run by RegistrySurvivesRestart in a separate process: writes values and exits.
TEST(RegistryChild, WriteValues) {
    const char* path = std::getenv("LM_TEST_REGISTRY_CHILD");
    if (!path) GTEST_SKIP() << "runs only as the child of RegistrySurvivesRestart";
    std::string instance = KQPlatformInfo::useRegistryFile(path);
    KQPlatformInfo info;
    ASSERT_EQ(info.getFocus(), instance);
    ASSERT_NE(info.setNumber("EventManager", "LMCIDOCSIZE", 4096), 0);
    ASSERT_NE(info.setString("Machines\\host1", "dJOBRESULTSDIR", "/var/jobs\nwith newline"), 0);
    ASSERT_EQ(KQGlobalParam::set("nLMRetryIntervalForUploadedFiles", "30"), 0);
}

TEST(Registry, ValuesSurviveARestartOfTheProcess) {
    TempDir dir;
    std::string path = dir.file("registry.conf");
    lmtest::writeFile(path, "[Platform]\nsInstanceName = Inst7\n");

    lmtest::ChildProcess child;
    ASSERT_TRUE(child.start({"/proc/self/exe", "--gtest_filter=RegistryChild.WriteValues"},
                            {{"LM_TEST_REGISTRY_CHILD", path}}));
    int status = child.wait(std::chrono::seconds(30));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << child.output();

    KQPlatformInfo::bindInstance("Inst7", path);
    KQPlatformInfo info("Inst7");
    int size = 0;
    EXPECT_NE(info.getNumber("EventManager", "LMCIDOCSIZE", size), 0);
    EXPECT_EQ(size, 4096);
    std::string dirValue;
    EXPECT_NE(info.getDirectory("Machines\\host1", "dJOBRESULTSDIR", dirValue), 0);
    EXPECT_EQ(dirValue, "/var/jobs\nwith newline");
    KQPI_Focus::setFocus("Inst7");
    int interval = 0;
    EXPECT_EQ(KQGlobalParam::get("nLMRetryIntervalForUploadedFiles", interval, nullptr), 0);
    EXPECT_EQ(interval, 30);
    KQPI_Focus::setFocus("");

    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "the registry holds the shared secret";
    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename(), "registry.conf") << "no temporary file left behind";
}

TEST(Registry, MalformedLinesAreIgnoredAndLogged) {
    TempDir dir;
    std::string path = dir.file("r.conf");
    lmtest::writeFile(path,
                      "top = level\n"
                      "# comment\n; also a comment\n\n"
                      "[EventManager\n"
                      "[EventManager]\n"
                      "this line has no equals sign\n"
                      "= no key\n"
                      "LMCIDOCSIZE = 100\n"
                      "  nLmSessionTimeout=  60  \n");
    EvLogCapture capture;
    KQRegistryStore store(path);
    std::string v;
    EXPECT_TRUE(store.get("", "top", v));
    EXPECT_EQ(v, "level");
    EXPECT_TRUE(store.get("EventManager", "LMCIDOCSIZE", v));
    EXPECT_EQ(v, "100");
    EXPECT_TRUE(store.get("EventManager", "nLmSessionTimeout", v));
    EXPECT_EQ(v, "60");
    int malformed = 0;
    for (auto& l : capture.lines())
        if (l.text.find("malformed line") != std::string::npos) ++malformed;
    EXPECT_EQ(malformed, 3);
    EXPECT_TRUE(capture.contains("KQRegistryStore::parse", "line 5"));
}

TEST(Registry, NumbersOutOfRangeOrNotNumbersAreNotFound) {
    TempDir dir;
    std::string path = dir.file("r.conf");
    lmtest::writeFile(path, "[S]\nbig = 99999999999\nneg = -5\ntext = 12abc\nempty =\nok = +42\n");
    KQPlatformInfo::bindInstance("NumInst", path);
    KQPlatformInfo info("NumInst");
    int i = 7;
    unsigned u = 7;
    long long ll = 0;
    EXPECT_EQ(info.getNumber("S", "big", i), 0);
    EXPECT_EQ(i, 7);
    EXPECT_NE(info.getNumber("S", "big", ll), 0);
    EXPECT_EQ(ll, 99999999999LL);
    EXPECT_EQ(info.getNumber("S", "neg", u), 0);
    EXPECT_NE(info.getNumber("S", "neg", i), 0);
    EXPECT_EQ(i, -5);
    EXPECT_EQ(info.getNumber("S", "text", i), 0);
    EXPECT_EQ(info.getNumber("S", "empty", i), 0);
    EXPECT_NE(info.getNumber("S", "ok", i), 0);
    EXPECT_EQ(i, 42);
    EXPECT_EQ(info.getNumber("S", "missing", i), 0);
    std::string d;
    EXPECT_EQ(info.getDirectory("S", "empty", d), 0);
}

TEST(Registry, DefaultsOfTheEngineKeys) {
    KQPlatformInfo info("NoSuchInstance");
    EXPECT_EQ(info.getNumberOrDefault("EventManager", "LMCIDOCSIZE"), 5120);
    EXPECT_EQ(info.getNumberOrDefault("EventManager", "nLmSessionTimeout"), 300);
    EXPECT_EQ(info.getNumberOrDefault("Kqd", "LMMaxFileSizeToSplitInMb"), 15);
    EXPECT_EQ(info.getNumberOrDefault("QMachineMaint", "nTimer_LogMonitoringAlertRule"), 5);
    EXPECT_EQ(info.getNumberOrDefault("EventManager", "unknown"), 0);
    int v = 0;
    EXPECT_EQ(info.getNumber("EventManager", "LMCIDOCSIZE", v), 0) << "a default is not a found key";
    EXPECT_EQ(info.setString("EventManager", "x", "1"), 0) << "an instance without a file cannot save";
}

TEST(Registry, ThreadFocusWinsOverTheProcessDefault) {
    TempDir dir;
    lmtest::writeFile(dir.file("a.conf"), "[Platform]\nsPhysicalMachine = alpha\n");
    lmtest::writeFile(dir.file("b.conf"), "[Platform]\nsPhysicalMachine = beta\nsOrvexerClientName = mgmt\nnPlatformType = 1\n");
    KQPlatformInfo::bindInstance("FocusA", dir.file("a.conf"));
    KQPlatformInfo::bindInstance("FocusB", dir.file("b.conf"));
    std::string before = KQPI_Focus::getFocus();
    KQPI_Focus::setDefaultFocus("FocusA");
    KQPI_Focus::setFocus("FocusB");
    EXPECT_EQ(KQPlatformInfo().getPhysicalMachine(), "beta");
    EXPECT_EQ(KQPlatformInfo().getKQPlatformType() & 1, 1);
    char buf[256];
    EXPECT_NE(KQPlatformInfo().getOrvexerClientName(buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "mgmt");
    std::string other;
    std::thread([&] { other = KQPlatformInfo().getPhysicalMachine(); }).join();
    EXPECT_EQ(other, "alpha");
    KQPI_Focus::setFocus("");
    EXPECT_EQ(KQPI_Focus::getFocus(), "FocusA");
    KQPI_Focus::setDefaultFocus(before);
}

TEST(Registry, RefusesKeysThatWouldBreakTheFile) {
    TempDir dir;
    KQRegistryStore store(dir.file("r.conf"));
    EXPECT_FALSE(store.set("S", "a=b", "1"));
    EXPECT_FALSE(store.set("S]", "a", "1"));
    EXPECT_FALSE(store.set("S", "", "1"));
    EXPECT_TRUE(store.set("S", "a", "x = y \\ z"));
    KQRegistryStore again(dir.file("r.conf"));
    std::string v;
    EXPECT_TRUE(again.get("S", "a", v));
    EXPECT_EQ(v, "x = y \\ z");
}
