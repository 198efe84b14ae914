#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/localdb/LMDBInterface.h"
#include "platform/log/EvLMDebug.h"
#include "platform/registry/KQPlatformInfo.h"
#include "scan/LMScan.h"
#include "support/TestSupport.h"

namespace scantest {

inline void mkdirs(const std::string& p) {
    std::string cur;
    for (size_t i = 1; i <= p.size(); ++i)
        if (i == p.size() || p[i] == '/') ::mkdir(p.substr(0, i).c_str(), 0755);
}

inline bool exists(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0;
}

// A private instance: its own registry (job results folder, log folder), its own database and
// instance name, so that tests running side by side never share a /tmp name.
struct ScanFixture : ::testing::Test {
    lmtest::TempDir tmp{"lmscan"};
    std::string instance = "scantest" + std::to_string(::getpid());
    std::string jrd = tmp.file("jrd");
    std::string logDir = tmp.file("evlogs");
    std::string registry = tmp.file("registry.ini");
    LMDBInterface db{tmp.file("local.db")};
    KQPlatformInfo platform;

    void SetUp() override {
        mkdirs(jrd);
        mkdirs(logDir);
        lmtest::writeFile(registry, "[Platform]\nsPhysicalMachine = scanhost\n[Machines\\scanhost]\ndJOBRESULTSDIR = " +
                                        jrd + "\n[EventManager]\ndEVLOGDIR = " + logDir + "\n");
        KQPlatformInfo::bindInstance(instance, registry);
        KQPI_Focus::setFocus(instance);
    }
    void TearDown() override { KQPI_Focus::setFocus(""); }

    void file(const std::string& path, const std::string& content = "line\n") {
        mkdirs(path.substr(0, path.find_last_of('/')));
        lmtest::writeFile(path, content);
    }

    std::map<std::string, LM_ClientFiles_t2> registered() {
        std::vector<LM_ClientFiles_t2> v;
        EXPECT_EQ(db.getClientFiles(v), 0);
        std::map<std::string, LM_ClientFiles_t2> m;
        for (auto& f : v) m[f.filePath] = f;
        return m;
    }
    std::set<std::string> registeredPaths() {
        std::set<std::string> s;
        for (auto& [p, f] : registered()) s.insert(p);
        return s;
    }
};

inline std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> out;
    std::string text = lmtest::readFile(path), cur;
    for (char c : text) {
        if (c == '\n') {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

}
