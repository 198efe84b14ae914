#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/FileHelpers.h"
#include "support/TestSupport.h"

using lmtest::TempDir;

TEST(Files, CreateAndRemoveFolders) {
    TempDir dir;
    std::string deep = dir.file("a/b/c");
    EXPECT_FALSE(CZuDirectory::Create(deep, true).IsError());
    EXPECT_TRUE(CZuPath::IsDirectory(deep));
    EXPECT_FALSE(CZuDirectory::Create(deep, true).IsError()) << "existing folder is fine";
    EXPECT_TRUE(CZuDirectory::Create(dir.file("x/y"), false).IsError()) << "no parents without recursion";
    lmtest::writeFile(dir.file("a/b/c/f.txt"), "data");
    lmtest::writeFile(dir.file("plain"), "data");
    EXPECT_TRUE(CZuDirectory::Create(dir.file("plain"), true).IsError());

    CZuError e = CZuDirectory::Remove(dir.file("a"), true, false);
    EXPECT_FALSE(e.IsError()) << e.AsString();
    EXPECT_FALSE(CZuPath::Exists(dir.file("a")));
    CZuError missing = CZuDirectory::Remove(dir.file("a"), true, false);
    EXPECT_TRUE(missing.IsError());
    EXPECT_FALSE(missing.AsString().empty());
}

TEST(Files, RemovalNeverFollowsLinksOrTakesTheRoot) {
    TempDir dir, outside;
    lmtest::writeFile(outside.file("precious"), "keep");
    CZuDirectory::Create(dir.file("owned"), true);
    ASSERT_EQ(::symlink(outside.path().c_str(), dir.file("owned/link").c_str()), 0);
    ASSERT_EQ(::symlink(outside.path().c_str(), dir.file("toplink").c_str()), 0);

    EXPECT_FALSE(CZuPath::IsDirectory(dir.file("toplink"))) << "a link to a folder is not a folder";
    EXPECT_FALSE(CZuDirectory::Remove(dir.file("owned"), true, true).IsError());
    EXPECT_FALSE(FXFile::RemoveFolder(dir.file("toplink"), 113).IsError());
    EXPECT_EQ(lmtest::readFile(outside.file("precious")), "keep");
    EXPECT_FALSE(CZuPath::Exists(dir.file("toplink")));

    for (const char* bad : {"", "/", "//", "/./"}) {
        CZuError e = CZuDirectory::Remove(bad, true, false);
        EXPECT_TRUE(e.IsError()) << "[" << bad << "]";
    }
}

TEST(Files, CopyReplacesOnlyWhenAskedAndKeepsMode) {
    TempDir dir;
    lmtest::writeFile(dir.file("src"), std::string(200000, 'z'));
    ::chmod(dir.file("src").c_str(), 0640);
    EXPECT_FALSE(FXFile::KQCopyFile(dir.file("src"), dir.file("dst"), 1).IsError());
    EXPECT_EQ(lmtest::readFile(dir.file("dst")).size(), 200000u);
    struct stat st {};
    ::stat(dir.file("dst").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    lmtest::writeFile(dir.file("dst"), "old");
    EXPECT_TRUE(FXFile::KQCopyFile(dir.file("src"), dir.file("dst"), 0).IsError());
    EXPECT_EQ(lmtest::readFile(dir.file("dst")), "old");
    EXPECT_TRUE(FXFile::KQCopyFile(dir.file("missing"), dir.file("dst2"), 1).IsError());
    EXPECT_TRUE(FXFile::KQCopyFile(dir.path(), dir.file("dst3"), 1).IsError()) << "folders are not copied";
}
