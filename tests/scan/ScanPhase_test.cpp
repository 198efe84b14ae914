#include "ScanFixture.h"

using LogMonitoring::LMScan;
using LogMonitoring::MonitoringDataSet;
using LogMonitoring::MonitoringEventLogContent;
using LogMonitoring::MonitoringTextLog;
using LogMonitoring::MonitoringTextLogNoHeader;
using namespace scantest;

namespace {

struct ScanPhase : ScanFixture {
    std::string logs = tmp.file("content/logs");
    LMScan scan{static_cast<int>(::getpid() % 100000)};

    void SetUp() override {
        ScanFixture::SetUp();
        file(logs + "/app.log");
        file(logs + "/app.txt");
        file(logs + "/data.bin");
        file(logs + "/sub/deep.log");
        file(logs + "/LogMonitoring.log");
        file(logs + "/LogMonitorControlProcess.log.1");
        file(logs + "/LogMonitoring.log.gz");
    }

    int run(std::vector<std::string> paths, std::string filter, int subfolders, int component = 9,
            LogMonitoring::MonitoringType type = MonitoringTextLog, bool unc = false) {
        return scan.ScanPhase(type, paths, platform, filter, subfolders, component, db, "", "", unc, false, false);
    }
};

}

TEST_F(ScanPhase, FolderFilterAndSubfolderSettings) {
    struct Case {
        std::string filter;
        int subfolders;
        std::set<std::string> expected;
    } cases[] = {
        {"*.log*", 0, {logs + "/app.log", logs + "/LogMonitoring.log.gz"}},
        {"*.log*", 1, {logs + "/app.log", logs + "/LogMonitoring.log.gz", logs + "/sub/deep.log"}},
        {"", 0, {logs + "/app.log", logs + "/app.txt", logs + "/data.bin", logs + "/LogMonitoring.log.gz"}},
        {"Torvik logs", 1, {logs + "/app.log", logs + "/app.txt", logs + "/LogMonitoring.log.gz", logs + "/sub/deep.log"}},
    };
    for (auto& c : cases) {
        LMDBInterface fresh(tmp.file("case" + std::to_string(&c - cases) + ".db"));
        std::string filter = c.filter;
        ASSERT_EQ(scan.ScanPhase(MonitoringTextLog, {logs + "/"}, platform, filter, c.subfolders, 1, fresh, "", "",
                                 false, false, false),
                  0)
            << c.filter;
        std::vector<LM_ClientFiles_t2> files;
        fresh.getClientFiles(files);
        std::set<std::string> got;
        for (auto& f : files) got.insert(f.filePath);
        EXPECT_EQ(got, c.expected) << "filter [" << c.filter << "] subfolders " << c.subfolders;
        if (c.filter.empty()) {
            EXPECT_EQ(filter, "*"); // the caller's empty filter becomes "*"
        }
        std::string v;
        EXPECT_EQ(fresh.getClientComponentProp(1, ComponentTypeSubfolderSetting, "Subfolder Selected", v),
                  c.subfolders ? 0 : 1);
        if (c.subfolders) {
            EXPECT_EQ(v, "1");
        }
    }
}

TEST_F(ScanPhase, SingleFilesWildcardsAndInodes) {
    file(tmp.file("single.log"));
    ASSERT_EQ(run({tmp.file("single.log"), logs + "/app*"}, "*", 0), 0);
    auto files = registered();
    EXPECT_EQ(registeredPaths(), (std::set<std::string>{tmp.file("single.log"), logs + "/app.log", logs + "/app.txt"}));
    struct stat st {};
    ::stat((logs + "/app.log").c_str(), &st);
    EXPECT_EQ(files[logs + "/app.log"].fileReferenceNumber, static_cast<long long>(st.st_ino));

    // A wildcard with subfolders matches the last component at any depth.
    LMDBInterface other(tmp.file("other.db"));
    std::string filter = "*";
    ASSERT_EQ(scan.ScanPhase(MonitoringTextLogNoHeader, {logs + "/*.log"}, platform, filter, 1, 1, other, "", "",
                             false, false, false),
              0);
    std::vector<LM_ClientFiles_t2> v;
    other.getClientFiles(v);
    std::set<std::string> got;
    for (auto& f : v) got.insert(f.filePath);
    EXPECT_EQ(got, (std::set<std::string>{logs + "/app.log", logs + "/sub/deep.log"}));
}

TEST_F(ScanPhase, LogDirectoryVariablesAndInvalidPaths) {
    file(logDir + "/app.log");
    file(logDir + "/q.log");
    EvLogCapture log;
    ASSERT_EQ(run({"%LOG_DIR%/app.log", "%QUILMAR_LOG_DIR%\\q.log", "\\\\server\\share\\x.log", logs + "\\bad"}, "*", 0),
              0);
    EXPECT_EQ(registeredPaths(), (std::set<std::string>{logDir + "/app.log", logDir + "/q.log"}));
    EXPECT_TRUE(log.contains("LMScan::ScanPhase", "Log Dir Path [" + logDir + "]"));
    EXPECT_TRUE(log.contains("LMScan::processContent",
                             "Content path is invalid, it contains backward slash, it may be a windows path"));
    EXPECT_TRUE(log.contains("LMScan::ScanPhase", "Process Content Failed, returning 1"));
    // The UNC path was skipped before processing; with the flag on it reaches processContent and fails there.
    EXPECT_FALSE(log.contains("", "Processing Content : \\\\server"));
    log.clear();
    ASSERT_EQ(run({"\\\\server\\share\\x.log"}, "*", 0, 9, MonitoringTextLog, true), 1);
    EXPECT_TRUE(log.contains("", "Process Content failed for all  paths"));

    // "%LOG_DIR%" alone is the log folder itself.
    LMDBInterface whole(tmp.file("whole.db"));
    std::string filter = "*.log";
    ASSERT_EQ(scan.ScanPhase(MonitoringTextLog, {"%TORVIK_LOG_DIR%"}, platform, filter, 0, 1, whole, "", "", false,
                             false, false),
              0);
    std::string v;
    EXPECT_EQ(whole.getClientComponentProp(1, ComponentTypeContentPath, logDir, v), 0);

    // Without a log folder in the registry the scan gives up at once.
    lmtest::writeFile(registry, "[Platform]\nsPhysicalMachine = scanhost\n");
    KQPlatformInfo::bindInstance(instance, registry);
    log.clear();
    EXPECT_EQ(run({"%LOG_DIR%/app.log"}, "*", 0), 1);
    EXPECT_TRUE(log.contains("LMScan::ScanPhase", -1, "Failed to get log dir"));
}

TEST_F(ScanPhase, EmptyListsMissingFilesAndOtherTypes) {
    EvLogCapture log;
    EXPECT_EQ(run({}, "*", 0), 0);
    EXPECT_TRUE(log.contains("LMScan::ScanPhase", "Process Content failed for all  paths"));
    ::mkdir(tmp.file("empty").c_str(), 0755);
    EXPECT_EQ(run({tmp.file("empty")}, "*", 1), -5);
    std::string v;
    EXPECT_EQ(db.getClientComponentProp(9, ComponentTypeContentPath, tmp.file("empty"), v), 1); // not marked
    EXPECT_EQ(db.getClientComponentProp(9, ComponentTypeSubfolderSetting, "Subfolder Selected", v), 1);
    EXPECT_EQ(run({tmp.file("does-not-exist")}, "*", 0), 1);
    EXPECT_EQ(run({logs}, "*", 0, 9, MonitoringDataSet), 0);
    EXPECT_TRUE(registered().empty());
}

TEST_F(ScanPhase, NewPathsMergeRenamesAndForgetting) {
    std::string other = tmp.file("content/other");
    file(other + "/o.log");
    EvLogCapture log;
    ASSERT_EQ(run({logs, other}, "*.log", 0), 0);
    EXPECT_TRUE(log.contains("LMScan::ScanPhase", "Found New path,will set offset=0 for all files under path [" + logs + "]"));
    std::string v;
    ASSERT_EQ(db.getClientComponentProp(9, ComponentTypeContentPath, logs, v), 0);
    EXPECT_EQ(v, "1");
    auto first = registered();
    ASSERT_EQ(first.size(), 2u);

    ASSERT_EQ(::rename((logs + "/app.log").c_str(), (logs + "/renamed.log").c_str()), 0);
    log.clear();
    ASSERT_EQ(run({logs}, "*.log", 0), 0); // "other" is no longer configured
    EXPECT_FALSE(log.contains("", "Found New path"));
    auto second = registered();
    EXPECT_EQ(second.size(), 1u);
    ASSERT_TRUE(second.count(logs + "/renamed.log"));
    EXPECT_EQ(second[logs + "/renamed.log"].fileId, first[logs + "/app.log"].fileId);
    EXPECT_EQ(db.getClientComponentProp(9, ComponentTypeContentPath, other, v), 1);
}

TEST_F(ScanPhase, EventLogsAreRegisteredByName) {
    ASSERT_EQ(run({"Application", "System"}, "*", 0, 9, MonitoringEventLogContent), 0);
    auto files = registered();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files["Application"].fileReferenceNumber, 1);
    EXPECT_EQ(run({}, "*", 0, 9, MonitoringEventLogContent), -5);
}

TEST_F(ScanPhase, ADatabaseFailureIsReturnedAsIs) {
    lmtest::writeFile(tmp.file("broken.db"), std::string(4096, 'z'));
    LMDBInterface broken(tmp.file("broken.db"));
    std::string filter = "*";
    int rc = scan.ScanPhase(MonitoringTextLog, {logs}, platform, filter, 0, 1, broken, "", "", false, false, false);
    EXPECT_EQ(rc, LMDBInterface::kErrorBase + 26);
}
