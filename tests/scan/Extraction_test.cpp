#include <sys/stat.h>

#include "ArchiveWriter.h"
#include "ScanFixture.h"
#include "platform/archive/C7zip.h"
#include "platform/files/ExclusiveFile.h"
#include "platform/files/FileHelpers.h"

using LogMonitoring::LMScan;
using namespace scantest;

namespace {

struct Extraction : ScanFixture {
    LMScan scan{static_cast<int>(::getpid() % 100000)};
    std::string tag = std::to_string(::getpid());
    std::string src = tmp.file("incoming");
    std::string policyRoot() { return jrd + "/LM/5"; }

    void SetUp() override {
        ScanFixture::SetUp();
        scan.~LMScan(); // read the registry of this instance
        new (&scan) LMScan(static_cast<int>(::getpid() % 100000));
        mkdirs(src);
    }
};

}

TEST_F(Extraction, TargetPaths) {
    std::string target, copy, root;
    ASSERT_EQ(scan.getTargetPath("/var/log/app/x.log.gz", 5, target, copy, root), 0);
    EXPECT_EQ(target, jrd + "/LM/5/var/log/app/x_extracted");
    EXPECT_EQ(copy, "/tmp//x.log.gz");
    EXPECT_EQ(root, jrd + "/LM/5");
    ASSERT_EQ(scan.getTargetPath("/tmp//x.log.gz", 5, target, copy, root), 0);
    EXPECT_EQ(target, jrd + "/LM/5/x.log.gz_extracted");
    ASSERT_EQ(scan.getTargetPath(jrd + "/LM/5/a_extracted/in.zip", 5, target, copy, root), 0);
    EXPECT_EQ(target, jrd + "/LM/5/a_extracted/in.zip_extracted");
    root.clear();
    EXPECT_EQ(scan.getTargetPath("x.gz", 7, target, copy, root), 1);
    EXPECT_EQ(root, jrd + "/LM/7");

    struct Case {
        std::string path;
        bool inside;
    } cases[] = {{jrd + "/LM/5/a.bin", true}, {jrd + "/LM", true}, {jrd + "/LMX/a.bin", false},
                 {jrd + "/LM/5/../../../etc/passwd", false}, {"/etc/passwd", false}};
    for (auto& c : cases) EXPECT_EQ(scan.isItAnExtractedFileInJRD(c.path), c.inside) << c.path;

    std::string noSlash = "x.gz";
    EXPECT_EQ(scan.extractZipScanAndUpdateDB(noSlash, 5, db, false, platform), 1);
}

TEST_F(Extraction, EveryFormatUnpacksWithFullPaths) {
    struct Case {
        const char* kind;
        const char* name;
        const char* expected; // relative to the target folder
    } cases[] = {{"tar", "t.tar", "d/f.log"},       {"tar.gz", "t.tar.gz", "d/f.log"}, {"tar.bz2", "t.tar.bz2", "d/f.log"},
                 {"zip", "t.zip", "d/f.log"},       {"7z", "t.7z", "d/f.log"},         {"gz", "single.log.gz", "single.log"},
                 {"bz2", "single.log.bz2", "single.log"}};
    C7zip zip("", C7zip::kFormatDetect);
    ASSERT_FALSE(zip.Initialize().IsError());
    for (auto& c : cases) {
        std::string archive = src + "/" + c.name;
        bool single = std::string(c.kind) == "gz" || std::string(c.kind) == "bz2";
        std::vector<Entry> entries = single ? std::vector<Entry>{{"x", "hello\n"}}
                                            : std::vector<Entry>{{"d", "", 'd'}, {"d/f.log", "hello\n"}};
        ASSERT_TRUE(writeArchive(archive, c.kind, entries)) << c.kind;
        std::string target = tmp.file(std::string("out_") + c.name);
        CZuError e = zip.ExtractFilesWithFullPathsFromArchive(archive, target);
        ASSERT_FALSE(e.IsError()) << c.kind << ": " << e.AsString();
        EXPECT_EQ(lmtest::readFile(target + "/" + c.expected), "hello\n") << c.kind;
    }
    lmtest::writeFile(src + "/plain.gz", "not compressed at all");
    EXPECT_TRUE(zip.ExtractFilesWithFullPathsFromArchive(src + "/plain.gz", tmp.file("out_plain")).IsError());
    C7zip uninitialized("", C7zip::kFormatDetect);
    EXPECT_TRUE(uninitialized.ExtractFilesWithFullPathsFromArchive(src + "/t.zip", tmp.file("out_u")).IsError());
}

TEST_F(Extraction, AHostileArchiveWritesNothingOutsideItsTarget) {
    std::string outside = tmp.file("a");
    std::string target = outside + "/b/target";
    std::string victim = tmp.file("victim.txt");
    lmtest::writeFile(victim, "precious");
    for (const char* kind : {"tar", "zip"}) {
        std::string archive = src + "/hostile." + kind;
        ASSERT_TRUE(writeArchive(archive, kind,
                                 {{"../../x", "escaped"},
                                  {"d/../../../y", "escaped"},
                                  {tmp.file("abs.txt"), "escaped"},
                                  {"evil", "", 'l', tmp.path()},
                                  {"evil/z", "escaped"},
                                  {"up", "", 'l', "../../.."},
                                  {"hard", "", 'h', "../../../victim.txt"},
                                  {"ok.log", "fine\n"},
                                  {"sub/rel", "", 'l', "../ok.log"}}));
        C7zip zip("", C7zip::kFormatDetect);
        ASSERT_FALSE(zip.Initialize().IsError());
        EvLogCapture log;
        CZuError e = zip.ExtractFilesWithFullPathsFromArchive(archive, target);
        EXPECT_FALSE(e.IsError()) << e.AsString();
        EXPECT_EQ(lmtest::readFile(target + "/ok.log"), "fine\n") << kind;
        EXPECT_EQ(lmtest::readFile(target + "/sub/rel"), "fine\n") << kind; // a link that stays inside is kept
        EXPECT_FALSE(exists(outside + "/x"));
        EXPECT_FALSE(exists(tmp.file("x")));
        EXPECT_FALSE(exists(tmp.file("y")));
        EXPECT_FALSE(exists(outside + "/y"));
        EXPECT_FALSE(exists(tmp.file("abs.txt")));
        EXPECT_FALSE(exists(tmp.file("z")));
        struct stat st {};
        EXPECT_FALSE(::lstat((target + "/evil").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
        EXPECT_FALSE(exists(target + "/up"));
        EXPECT_EQ(lmtest::readFile(victim), "precious");
        EXPECT_GE(zip.RefusedEntries(), 5) << kind;
        EXPECT_TRUE(log.contains("C7zip::ExtractFilesWithFullPathsFromArchive", -1, "refused"));
        CZuDirectory::Remove(outside, true);
    }
    // A manifest that names files of the local disk is no archive.
    std::string manifest = src + "/manifest.tar";
    lmtest::writeFile(manifest, "#mtree\n./stolen type=file contents=" + victim + "\n");
    C7zip zip("", C7zip::kFormatDetect);
    ASSERT_FALSE(zip.Initialize().IsError());
    EXPECT_TRUE(zip.ExtractFilesWithFullPathsFromArchive(manifest, target).IsError());
    EXPECT_FALSE(exists(target + "/stolen"));
}

TEST_F(Extraction, NestedArchivesAreUnpackedTextLogsRegisteredTheRestCleaned) {
    std::string inner = tmp.file("inner.zip");
    ASSERT_TRUE(writeArchive(inner, "zip", {{"z/inner.log", "in\n"}, {"z/pic.png", "png"}}));
    std::string innerBytes = lmtest::readFile(inner);
    std::string archive = src + "/bundle" + tag + ".tar.gz";
    ASSERT_TRUE(writeArchive(archive, "tar.gz",
                             {{"app/a.log", "a\n"},
                              {"app/readme.bin", "bin"},
                              {"other/deep/only.csv", "c,s,v"},
                              {"x.logs/a.bin", "counts as a text log"},
                              {"nested/inner.zip", innerBytes}}));
    EvLogCapture log;
    ASSERT_EQ(scan.extractZipScanAndUpdateDB(archive, 5, db, false, platform), 0);
    std::string out = policyRoot() + "/bundle" + tag + ".tar.gz_extracted";
    EXPECT_EQ(registeredPaths(), (std::set<std::string>{out + "/app/a.log", out + "/x.logs/a.bin",
                                                         out + "/nested/inner.zip_extracted/z/inner.log"}));
    EXPECT_FALSE(exists(out + "/app/readme.bin"));
    EXPECT_FALSE(exists(out + "/nested/inner.zip"));
    EXPECT_FALSE(exists(out + "/nested/inner.zip_extracted/z/pic.png"));
    EXPECT_FALSE(exists(out + "/other")); // emptied folders go, up to the policy root
    EXPECT_TRUE(exists(jrd + "/LM"));
    EXPECT_FALSE(exists("/tmp//bundle" + tag + ".tar.gz")); // the temporary copy is gone
    EXPECT_TRUE(exists(archive));                             // the original stays
    // Registered for the policy, at offset 0.
    FileNameAndFRN rec;
    ASSERT_TRUE(db.doesThisFileExistInDB(out + "/app/a.log", rec));
    struct stat st {};
    ::stat((out + "/app/a.log").c_str(), &st);
    EXPECT_EQ(rec.fileReferenceNumber, static_cast<long long>(st.st_ino));
    LMFileOffsets off;
    EXPECT_EQ(db.getFileOffsets(5, rec.fileId, off), 0);

    // Listed again (already extracted, under the name of its temporary copy): the known text logs
    // are not inserted twice, a new one is.
    file(out + "/app/new.log");
    size_t before = registered().size();
    std::string asCopy = "/tmp//bundle" + tag + ".tar.gz";
    ASSERT_EQ(scan.extractZipScanAndUpdateDB(asCopy, 5, db, true, platform), 0);
    EXPECT_EQ(registered().size(), before + 1);
    EXPECT_TRUE(registered().count(out + "/app/new.log"));
    // With the flag and no extraction folder for the archive, there is nothing to do.
    std::string never = src + "/never.tar.gz";
    EXPECT_EQ(scan.extractZipScanAndUpdateDB(never, 6, db, true, platform), 0);
}

TEST_F(Extraction, ArchivesInTheLogFolderAndBrokenArchives) {
    std::string inLogs = logDir + "/old.tar.gz";
    ASSERT_TRUE(writeArchive(inLogs, "tar.gz", {{"a.log", "a\n"}}));
    EXPECT_EQ(scan.extractZipScanAndUpdateDB(inLogs, 5, db, false, platform), 0);
    EXPECT_FALSE(exists(jrd + "/LM/5"));

    std::string broken = src + "/broken" + tag + ".zip";
    lmtest::writeFile(broken, "PK\x03\x04 this is no zip");
    EvLogCapture log;
    EXPECT_EQ(scan.extractZipScanAndUpdateDB(broken, 5, db, false, platform), 1);
    EXPECT_TRUE(log.contains("LMScan::extract7z", -1, "Decompressing the log file [/tmp//broken" + tag + ".zip] failed"));
    // The copy is kept for a later run, which unpacks it again.
    EXPECT_TRUE(ExclusiveFile::isOwnPrivateFile("/tmp//broken" + tag + ".zip"));
    ::unlink(("/tmp//broken" + tag + ".zip").c_str());
}

TEST_F(Extraction, APlantedTemporaryCopyIsRefused) {
    std::string archive = src + "/planted" + tag + ".tar.gz";
    ASSERT_TRUE(writeArchive(archive, "tar.gz", {{"a.log", "a\n"}}));
    std::string evil = tmp.file("evil.tar.gz");
    ASSERT_TRUE(writeArchive(evil, "tar.gz", {{"evil.log", "planted\n"}}));
    std::string copy = "/tmp//planted" + tag + ".tar.gz";
    for (bool link : {true, false}) {
        ::unlink(copy.c_str());
        if (link) {
            ASSERT_EQ(::symlink(evil.c_str(), copy.c_str()), 0);
        } else {
            lmtest::writeFile(copy, lmtest::readFile(evil));
            ::chmod(copy.c_str(), 0644); // readable by others: not one this engine made
        }
        EvLogCapture log;
        EXPECT_EQ(scan.extractZipScanAndUpdateDB(archive, 5, db, false, platform), 1);
        EXPECT_TRUE(log.contains("LMScan::extractCompressedFile", "refusing [" + copy + "]"));
        EXPECT_TRUE(registered().empty());
        EXPECT_TRUE(exists(copy));
    }
    ::unlink(copy.c_str());
    EXPECT_EQ(scan.extractZipScanAndUpdateDB(archive, 5, db, false, platform), 0);
    EXPECT_EQ(registered().size(), 1u);
}

TEST_F(Extraction, CleaningStaysInsideTheExtractionRoot) {
    std::string keep = tmp.file("keep.bin");
    file(keep);
    std::string sibling = jrd + "/LMX/a.bin";
    file(sibling);
    std::string climbing = jrd + "/LM/5/../../keep.bin";
    scan.cleanIfItsAnExtractedFile(sibling);
    scan.cleanIfItsAnExtractedFile(climbing);
    EXPECT_TRUE(exists(sibling));
    EXPECT_TRUE(exists(keep));

    std::string lone = policyRoot() + "/a/b/c/report.csv";
    file(lone);
    file(policyRoot() + "/a/stay.log");
    scan.cleanIfItsAnExtractedFile(lone);
    EXPECT_FALSE(exists(policyRoot() + "/a/b"));
    EXPECT_TRUE(exists(policyRoot() + "/a/stay.log"));
    std::string emptyFolder = policyRoot() + "/e/f";
    mkdirs(emptyFolder);
    EXPECT_TRUE(scan.isItAnEmptyFolder(emptyFolder));
    EXPECT_FALSE(scan.isItAnEmptyFolder(policyRoot() + "/a"));
    EXPECT_FALSE(scan.isItAnEmptyFolder(policyRoot() + "/a/stay.log"));
    scan.cleanIfItsAnExtractedFile(emptyFolder);
    EXPECT_FALSE(exists(policyRoot() + "/e"));
    EXPECT_TRUE(exists(jrd + "/LM"));
}
