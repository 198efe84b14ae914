#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "scan/LMScan.h"
#include "scan/unixUniqueFileIdentfier.h"
#include "support/TestSupport.h"

using LogMonitoring::LMScan;
using LogMonitoring::unixUniqueFileIdentfier;

TEST(FileIdentity, ARenamedFileKeepsItsIdentifierAndIsFoundAgain) {
    lmtest::TempDir dir("lmident");
    unixUniqueFileIdentfier ident;
    lmtest::writeFile(dir.file("app.log"), "x");
    long long before = 0, after = 0;
    ASSERT_EQ(ident.getUniqueFileIdentfier(dir.file("app.log"), before, false), 0);
    ASSERT_EQ(::rename(dir.file("app.log").c_str(), dir.file("app.log.1").c_str()), 0);
    ASSERT_EQ(ident.getUniqueFileIdentfier(dir.file("app.log.1"), after, false), 0);
    EXPECT_EQ(before, after);
    EXPECT_EQ(ident.getUniqueFileIdentfier(dir.file("app.log"), after, false), 1);
    long long folderId = 0;
    EXPECT_EQ(ident.getUniqueFileIdentfier(dir.path(), folderId, false), 0);

    ::mkdir(dir.file("sub").c_str(), 0755);
    lmtest::writeFile(dir.file("other.log"), "y");
    std::string found;
    ASSERT_EQ(ident.getFileNameFromUniqueIdentfier(before, dir.path(), found), 0);
    EXPECT_EQ(found, dir.file("app.log.1"));
    EXPECT_EQ(ident.getFileNameFromUniqueIdentfier(folderId, dir.path(), found), 1); // folders are skipped
}

TEST(FileIdentity, HardLinksShareTheIdentifierAndTheFirstListedIsReturned) {
    lmtest::TempDir dir("lmident");
    unixUniqueFileIdentfier ident;
    lmtest::writeFile(dir.file("a"), "x");
    ASSERT_EQ(::link(dir.file("a").c_str(), dir.file("b").c_str()), 0);
    long long a = 0, b = 0;
    ident.getUniqueFileIdentfier(dir.file("a"), a, false);
    ident.getUniqueFileIdentfier(dir.file("b"), b, false);
    EXPECT_EQ(a, b);
    std::string found;
    ASSERT_EQ(ident.getFileNameFromUniqueIdentfier(a, dir.path(), found), 0);
    EXPECT_TRUE(found == dir.file("a") || found == dir.file("b"));
}

TEST(FileIdentity, FailuresOfTheFolderSearch) {
    lmtest::TempDir dir("lmident");
    unixUniqueFileIdentfier ident;
    std::string found;
    ::mkdir(dir.file("only").c_str(), 0755);
    ::mkdir(dir.file("only/sub").c_str(), 0755);
    EXPECT_EQ(ident.getFileNameFromUniqueIdentfier(1, dir.file("only"), found), 1);
    EXPECT_EQ(ident.getFileNameFromUniqueIdentfier(1, dir.file("missing"), found), 1);
    ::mkdir(dir.file("dangling").c_str(), 0755);
    ASSERT_EQ(::symlink("/nonexistent/target", dir.file("dangling/link").c_str()), 0);
    EXPECT_EQ(ident.getFileNameFromUniqueIdentfier(1, dir.file("dangling"), found), -1);
}

TEST(FileIdentity, CompressedFileNames) {
    struct Case {
        const char* name;
        bool compressed;
    } cases[] = {{"a.7z", true},      {"a.rar", true},  {"a.zip", true},     {"x.log.gz", true}, {"a.tar", true},
                 {"a.bz2", true},     {"gz", true},     {"a.GZ", false},     {"a.tgz", false},   {"a.gz.log", false},
                 {"a.zipx", false},   {"", false},      {"/d.gz/file", false}};
    for (auto& c : cases) {
        std::string n = c.name;
        EXPECT_EQ(LMScan::isItACompressedFile(n), c.compressed) << c.name;
    }
}
