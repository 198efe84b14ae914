#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>

#include "ScanFixture.h"
#include "platform/scanner/CScanArbiter.h"
#include "platform/scanner/CWorkUnitManager.h"
#include "scan/TestScannerCallback.h"

using LogMonitoring::LMScan;
using LogMonitoring::MonitoringTextLog;
using LogMonitoring::TestScannerCallback;
using namespace scantest;

namespace {

struct Scanner : ScanFixture {
    int number = static_cast<int>(::getpid() % 100000);
    LMScan scan{number};
    std::string listName = "lmscanlist" + std::to_string(::getpid());
    std::string listPath = "/tmp/" + listName + ".out";

    void TearDown() override {
        ::unlink(listPath.c_str());
        ScanFixture::TearDown();
    }

    std::vector<std::string> list(const std::string& folder, bool logs = false, bool compressed = false) {
        std::string out;
        EXPECT_EQ(scan.simpleSan(folder, "", 0, listName, out, logs, compressed), 0);
        EXPECT_EQ(out, listPath);
        auto l = lines(out);
        ::unlink(out.c_str());
        return l;
    }
};

}

TEST_F(Scanner, LinkLoopsDanglingLinksAndOddEntriesDoNotStopTheWalk) {
    std::string root = tmp.file("tree");
    file(root + "/a/one.log");
    file(root + "/b/two.log");
    ASSERT_EQ(::symlink(root.c_str(), (root + "/a/loop").c_str()), 0);       // folder link to an ancestor
    ASSERT_EQ(::symlink((root + "/x").c_str(), (root + "/y").c_str()), 0);  // y -> x -> y
    ASSERT_EQ(::symlink((root + "/y").c_str(), (root + "/x").c_str()), 0);
    ASSERT_EQ(::symlink("/nonexistent", (root + "/dangling.log").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/b/two.log").c_str(), (root + "/link.log").c_str()), 0);
    ASSERT_EQ(::mkfifo((root + "/pipe.log").c_str(), 0600), 0);
    EXPECT_EQ(list(root), (std::vector<std::string>{root + "/a/one.log", root + "/b/two.log", root + "/link.log"}));
}

TEST_F(Scanner, UnreadableFoldersAreCountedAndPassedOver) {
    std::string root = tmp.file("tree");
    file(root + "/ok/a.log");
    file(root + "/closed/b.log");
    file(root + "/closed/deeper/c.log");
    ::chmod((root + "/closed").c_str(), 0);
    ::chmod(tmp.path().c_str(), 0755);
    // Permissions do not bind the super-user: the walk then runs in a child that gave them up.
    const bool forked = ::geteuid() == 0;
    pid_t child = forked ? ::fork() : 0;
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool dropped = ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
        std::string out;
        int rc = scan.simpleSan(root, "", 0, listName, out, false, false);
        std::vector<std::string> got = rc == 0 ? lines(out) : std::vector<std::string>{};
        ::unlink(out.c_str());
        bool ok = dropped && rc == 0 && got == std::vector<std::string>{root + "/ok/a.log"};
        if (forked) ::_exit(ok ? 0 : 1);
        EXPECT_TRUE(ok);
    } else {
        int status = -1;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    ::chmod((root + "/closed").c_str(), 0755);
}

TEST_F(Scanner, SimpleScanPatterns) {
    std::string root = tmp.file("tree");
    for (const char* n : {"a.log", "b.txt.1", "c.zip", "d.tar.gz", "e.7z", "f.rar", "g.bz2", "h.bin", "i.evtx", "s/j.log"})
        file(root + "/" + n);
    EXPECT_EQ(list(root, true), (std::vector<std::string>{root + "/a.log", root + "/b.txt.1", root + "/s/j.log"}));
    EXPECT_EQ(list(root, false, true), (std::vector<std::string>{root + "/c.zip", root + "/d.tar.gz", root + "/e.7z",
                                                                 root + "/f.rar", root + "/g.bz2"}));
    EXPECT_EQ(list(root).size(), 10u);
    scan.setEventLogScan(true);
    EXPECT_EQ(list(root, true), (std::vector<std::string>{root + "/i.evtx"}));
}

TEST_F(Scanner, AListFileNameThatIsTakenIsRefusedNeverFollowed) {
    std::string root = tmp.file("tree");
    file(root + "/a.log");
    std::string victim = tmp.file("victim");
    lmtest::writeFile(victim, "precious");
    for (bool link : {true, false}) {
        ::unlink(listPath.c_str());
        if (link) ASSERT_EQ(::symlink(victim.c_str(), listPath.c_str()), 0);
        else lmtest::writeFile(listPath, root + "/planted.log\n");
        EvLogCapture log;
        std::string out = "unchanged";
        EXPECT_NE(scan.simpleSan(root, "", 0, listName, out, false, false), 0);
        EXPECT_TRUE(out.empty());
        EXPECT_TRUE(log.contains("CFlatCollectFile::Open", "refusing to use " + listPath));
        EXPECT_EQ(lmtest::readFile(victim), "precious");
        EXPECT_TRUE(exists(listPath)); // left where it was
    }
    // The same for the list of a content scan: the planted list is neither read nor deleted.
    std::string contentList = "/tmp/" + instance + std::to_string(number) + ".out";
    ::unlink(contentList.c_str());
    ASSERT_EQ(::symlink(victim.c_str(), contentList.c_str()), 0);
    std::string filter = "*";
    EXPECT_EQ(scan.processContent(root, filter, 0, 1, db, "", "", false, false, 0, 0), 1);
    EXPECT_EQ(lmtest::readFile(victim), "precious");
    EXPECT_TRUE(exists(contentList));
    EXPECT_TRUE(registered().empty());
    ::unlink(contentList.c_str());
    // Free again, the scan works and removes its list.
    EXPECT_EQ(scan.processContent(root, filter, 0, 1, db, "", "", false, false, 0, 0), 0);
    EXPECT_FALSE(exists(contentList));
}

TEST_F(Scanner, ListFilesAreCreatedPrivate) {
    std::string root = tmp.file("tree");
    file(root + "/a.log");
    std::string out;
    ASSERT_EQ(scan.simpleSan(root, "", 0, listName, out, false, false), 0);
    struct stat st {};
    ASSERT_EQ(::lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(Scanner, FileNamesWithLineBreaksNeverReachTheList) {
    std::string root = tmp.file("tree");
    file(root + "/a.log");
    file(root + "/evil\n" + tmp.file("secret.log"));
    file(tmp.file("secret.log"));
    EXPECT_EQ(list(root), (std::vector<std::string>{root + "/a.log"}));
}

TEST_F(Scanner, OtherFileSystemsBelowTheRootAreLeftOutUnlessFollowed) {
    struct stat dev {}, shm {};
    if (::stat("/dev", &dev) != 0 || ::stat("/dev/shm", &shm) != 0 || dev.st_dev == shm.st_dev ||
        ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no separate writable file system at /dev/shm";
    std::string marker = "/dev/shm/lmscan-marker-" + std::to_string(::getpid()) + ".log";
    lmtest::writeFile(marker, "x");
    auto run = [&](bool follow) {
        CWorkUnitManager units(-1);
        units.SetFollowMountPaths(follow);
        units.SetAutoExcludeMountPoints(true);
        EXPECT_FALSE(units.AssignSourceWorkUnit("/dev").IsError());
        EXPECT_FALSE(units.FinalizeWorkUnits({}, {"*"}, {"lmscan-marker-*"}, {}, {}).IsError());
        TestScannerCallback cb(listPath);
        CScanArbiter arbiter(1, 1, cb);
        EXPECT_FALSE(arbiter.Run(units).IsError());
        auto l = lines(listPath);
        ::unlink(listPath.c_str());
        return l;
    };
    EXPECT_TRUE(run(false).empty());
    EXPECT_EQ(run(true), (std::vector<std::string>{marker}));
    ::unlink(marker.c_str());
}

TEST_F(Scanner, AHundredThousandFilesAreAllRegistered) {
    std::string root = tmp.file("big");
    const int folders = 200, perFolder = 500;
    for (int d = 0; d < folders; ++d) {
        std::string folder = root + "/d" + std::to_string(d);
        mkdirs(folder);
        for (int f = 0; f < perFolder; ++f) {
            int fd = ::open((folder + "/f" + std::to_string(f) + ".log").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    }
    std::string filter = "*.log";
    ASSERT_EQ(scan.ScanPhase(MonitoringTextLog, {root}, platform, filter, 1, 1, db, "", "", false, false, false), 0);
    std::vector<LM_ClientFiles_t2> files;
    ASSERT_EQ(db.getClientFiles(files), 0);
    EXPECT_EQ(files.size(), static_cast<size_t>(folders * perFolder));
}

TEST(WorkUnits, FilterLayersAndContentExceptions) {
    lmtest::TempDir dir("lmunits");
    CWorkUnitManager units(1);
    ASSERT_FALSE(units.AssignSourceWorkUnit(dir.path() + "/").IsError());
    EXPECT_EQ(units.WorkUnits().front(), dir.path());
    EXPECT_TRUE(units.AssignSourceWorkUnit(dir.path()).IsError()); // one work unit allowed
    ASSERT_FALSE(units.FinalizeWorkUnits({"/var/log/skip", "*.tmp"}, {"*"}, {"*.log*", "/var/log/top/*.txt"},
                                         {"*.log.old"}, {"keep*.log.old"})
                     .IsError());
    struct Case {
        const char* path;
        bool accepted;
        bool excepted;
    } cases[] = {
        {"/var/log/a.log", true, false},         {"/var/log/sub/b.log.1", true, false},
        {"/var/log/top/c.txt", true, false},     {"/var/log/top/sub/c.txt", false, false},
        {"/var/log/d.bin", false, false},        {"/var/log/e.log.old", false, false},
        {"/var/log/keep1.log.old", true, false}, {"/var/log/skip", false, true},
        {"/var/log/x.tmp", false, true},
    };
    for (auto& c : cases) {
        std::string p = c.path;
        std::string name = p.substr(p.find_last_of('/') + 1);
        EXPECT_EQ(units.Accepts(p, name), c.accepted) << p;
        EXPECT_EQ(units.IsContentException(p, name), c.excepted) << p;
    }
    CWorkUnitManager none(-1);
    EXPECT_TRUE(none.AssignSourceWorkUnit(dir.file("missing")).IsError());
    lmtest::writeFile(dir.file("plain"), "x");
    EXPECT_TRUE(none.AssignSourceWorkUnit(dir.file("plain")).IsError());
    EXPECT_TRUE(none.FinalizeWorkUnits({}, {}, {}, {}, {}).IsError()); // nothing to scan
}
