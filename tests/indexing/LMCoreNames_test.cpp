#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "LMHttpPeer.h"
#include "indexing/LMCoreNames.h"
#include "platform/log/EvLMDebug.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

using namespace LogMonitoring;

namespace {

constexpr time_t kMarch7At0030 = 1615077000; // 2021-03-07 00:30:00 UTC, a Sunday
constexpr time_t kJan1 = 1609459200;         // 2021-01-01 00:00:00 UTC, a Friday

// Runs the body with the process's zone set to one far from UTC, then restores it.
class FarZone {
public:
    FarZone() {
        const char* tz = std::getenv("TZ");
        had_ = tz != nullptr;
        if (had_) old_ = tz;
        setenv("TZ", "Pacific/Kiritimati", 1); // UTC+14: 00:30 UTC is already the afternoon there
        tzset();
    }
    ~FarZone() {
        if (had_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

TEST(CoreNames, NamesComeFromTheUtcCalendar) {
    FarZone zone;
    struct Case {
        time_t time;
        int factor;
        const char* name;
    };
    const Case cases[] = {
        {kMarch7At0030, kLMFactorDay, "kqcorelm_12_2021_3_7"},
        {kMarch7At0030, kLMFactorWeek, "kqcorelm_12_W09_2021"},
        {kMarch7At0030, kLMFactorMonth, "kqcorelm_12_M3_2021"},
        {kJan1, kLMFactorWeek, "kqcorelm_12_W00_2021"},
        {kJan1, 7, "kqcorelm_12_"},
    };
    for (const Case& c : cases) {
        std::string name;
        getCoreName(c.time, name, c.factor, 12);
        EXPECT_EQ(c.name, name);
        EXPECT_EQ(c.factor == 7 ? kLMFactorDay : c.factor, getFactorForCoreName("127.0.0.1:8983/solr/" + name));
    }
    int day = 0, week = 0, month = 0, year = 0;
    getFactorsForGivenTime(kMarch7At0030, day, week, month, year);
    EXPECT_EQ(7, day);
    EXPECT_EQ(9, week);
    EXPECT_EQ(3, month);
    EXPECT_EQ(2021, year);
    int part = -5;
    getFactorParts(kMarch7At0030, kLMFactorDay, year, part);
    EXPECT_EQ(-5, part);
    getFactorParts(kMarch7At0030, kLMFactorMonth, year, part);
    EXPECT_EQ(3, part);
}

TEST(CoreNames, RangeTestsOfWeekMonthAndDayCores) {
    const std::string base = "127.0.0.1:8983/solr/";
    struct Case {
        std::string core;
        bool valid;
    };
    // Week 50 of 2020 to week 2 of 2021.
    for (const Case& c : {Case{"kqcorelm_7_W51_2020", true}, Case{"kqcorelm_7_W01_2021", true},
                          Case{"kqcorelm_7_W50_2020", true}, Case{"kqcorelm_7_W02_2021", true},
                          Case{"kqcorelm_7_W03_2021", false}, Case{"kqcorelm_7_W49_2020", false}}) {
        EXPECT_EQ(c.valid, checkWhetherUrlIsValidForGivenTime(base + c.core, 50, 2020, 2, 2021, kLMFactorWeek))
            << c.core;
    }
    // 2020-12-30 to 2021-01-02; a plain core has too few pieces to be a day core.
    for (const Case& c : {Case{"kqcorelm_7_2020_12_31", true}, Case{"kqcorelm_7_2021_1_1", true},
                          Case{"kqcorelm_7_2020_12_30", true}, Case{"kqcorelm_7_2021_1_3", false},
                          Case{"kqcorelm_7_2020_12_29", false}, Case{"kqcorelm2", false}}) {
        EXPECT_EQ(c.valid, checkWhetherDayCoreUrlIsValidForGivenTime(base + c.core, 30, 12, 2020, 2, 1, 2021))
            << c.core;
    }
    // A host whose name holds a marker does not make a day core a month core.
    EXPECT_EQ(kLMFactorDay, getFactorForCoreName("my_Mhost:8983/solr/kqcorelm_7_2021_1_1"));

    LMShardsMap shards{{7, {base + "kqcorelm_7_2020_12_31", base + "kqcorelm_7_2021_1_3", base + "kqcorelm2"}},
                       {8, {base + "kqcorelm_8_W00_2021", base + "kqcorelm_8_M12_2020", base + "kqcorelm_8_M2_2021"}}};
    const time_t start = 1609286400; // 2020-12-30
    const time_t end = 1609545600;   // 2021-01-02
    std::string all, only8;
    filterTimeOnCompleteShardsList(shards, all, start, end);
    EXPECT_EQ(base + "kqcorelm_7_2020_12_31," + base + "kqcorelm_8_W00_2021," + base + "kqcorelm_8_M12_2020", all);
    filterTimeOnAssociatedShardsList(shards, {8, 99}, only8, start, end);
    EXPECT_EQ(base + "kqcorelm_8_W00_2021," + base + "kqcorelm_8_M12_2020", only8);
}

TEST(CoreNames, ShardsMapFromTheEnginesCoreList) {
    struct Case {
        const char* name;
        std::string body;
        size_t policies;
        const char* log;
    };
    const Case cases[] = {
        {"partitioned cores",
         R"({"response":["kqcorelm0","kqcorelm_12_2021_3_7","kqcorelm_12_W09_2021","kqcorelm_0_2021_1_1",
             "kqcorelm_x_2021_1_1","kqcorelm_5",7,"kqcorelm_13_M3_2021"]})",
         2, nullptr},
        {"plain cores only", R"({"response":["kqcorelm0","kqcorelm1","kqcorelm2","kqcorelm3"]})", 0, nullptr},
        {"no list", R"({"response":{"a":1}})", 0, "No cores returned as output"},
        {"not json", "<html>oops</html>", 0, "failed to unserialize json response"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lmtest::HttpPeer peer([&](const httplib::Request&, httplib::Response& res) {
            res.set_content(c.body, "application/json");
        });
        EvLogCapture capture;
        LMShardsMap shards;
        populateLMScalePolicyToShardsMap("127.0.0.1", std::to_string(peer.port()), shards);
        EXPECT_EQ(c.policies, shards.size());
        if (c.log) {
            EXPECT_TRUE(capture.contains("", c.log));
        }
        ASSERT_FALSE((peer.requestCount() == 0));
        EXPECT_EQ("GET", peer.requests()[0].method);
        EXPECT_EQ("/solr/api/admin/cores", peer.requests()[0].path);
        if (c.policies == 2) {
            const std::string prefix = "127.0.0.1:" + std::to_string(peer.port()) + "/solr/";
            EXPECT_EQ((std::vector<std::string>{prefix + "kqcorelm_12_2021_3_7", prefix + "kqcorelm_12_W09_2021"}),
                      shards[12]);
            EXPECT_EQ(std::vector<std::string>{prefix + "kqcorelm_13_M3_2021"}, shards[13]);
        }
    }
    EvLogCapture capture;
    LMShardsMap shards{{4, {"kept"}}};
    populateLMScalePolicyToShardsMap("127.0.0.1", std::to_string(lmtest::freeLoopbackPort()), shards);
    EXPECT_EQ(1u, shards.size());
    EXPECT_TRUE(capture.contains("", "failed to get status query for host:[127.0.0.1]"));
}

class AnalyticsAddress : public ::testing::Test {
protected:
    void write(const std::string& extra) {
        lmtest::writeFile(dir_.file("registry.ini"), "[Platform]\nsInstanceName = CoreNamesTest\nsManagementDB = " +
                                                         dir_.file("mgmt.db") + "\nsPhysicalMachine = engine1\n" +
                                                         extra);
        KQPlatformInfo::useRegistryFile(dir_.file("registry.ini"));
    }
    void SetUp() override {
        write("");
        KQManagementDB db;
        ASSERT_EQ(0, db.open());
        std::string err;
        int64_t id = 0;
        ASSERT_EQ(0, KQMgmtAdmin(db).addClient({9, "engine1", "", "analytics.example", 8400}, id, err)) << err;
        ASSERT_EQ(0, KQMgmtAdmin(db).addClient({10, "bare", "", "bare.example", 8401}, id, err)) << err;
    }
    int setProperty(const std::string& client, const std::string& name, const std::string& value) {
        KQManagementDB db;
        if (db.open() != 0) return -1;
        std::string err;
        return KQMgmtAdmin(db).setNodeProperty(client, name, value, err);
    }
    lmtest::TempDir dir_{"lmcorenames"};
};

TEST_F(AnalyticsAddress, RegistryPortNeedsNoManagementRequest) {
    write("[Analytics]\nanalyticsPort = 8985\n");
    EvLogCapture capture;
    std::string host;
    int port = 0;
    uint64_t clientId = 0;
    ASSERT_EQ(0, getHostAndPortInfo(host, port, clientId));
    EXPECT_EQ("analytics.example", host);
    EXPECT_EQ(8985, port);
    EXPECT_EQ(9u, clientId);
    EXPECT_FALSE(capture.contains("", "So making API call"));
    EXPECT_FALSE(capture.contains("getAnalyticsPortNumber", ""));
}

TEST_F(AnalyticsAddress, PortFromTheNodeMetadataProcedure) {
    ASSERT_EQ(0, setProperty("engine1", "otherThing", "x"));
    ASSERT_EQ(0, setProperty("engine1", "analyticsPort", "8990"));
    ASSERT_EQ(0, setProperty("engine1", "analyticsPort", "8991")); // replaces
    ASSERT_EQ(0, setProperty("bare", "unrelated", "1"));
    EXPECT_NE(0, setProperty("nobody", "analyticsPort", "1"));
    struct Case {
        uint64_t client;
        int rc; // 0, or just "non-zero"
        int port;
        const char* log;
    };
    const Case cases[] = {
        {9, 0, 8991, "Analytics Port number is 8991"},
        {10, 1, -1, "There is no analytics port number"},
        {77, 1, -1, "failed to execute SP[AppGetNodeMetaProp]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.client);
        EvLogCapture capture;
        int port = -1;
        const int rc = getAnalyticsPortNumber(c.client, port);
        EXPECT_EQ(c.rc == 0, rc == 0);
        EXPECT_EQ(c.port, port);
        EXPECT_TRUE(capture.contains("", c.log));
    }
    // Without the registry key the whole address comes through the procedure.
    EvLogCapture capture;
    std::string host;
    int port = 0;
    uint64_t clientId = 0;
    ASSERT_EQ(0, getHostAndPortInfo(host, port, clientId));
    EXPECT_EQ(8991, port);
    EXPECT_TRUE(capture.contains("", "Not able to find analytics port number from registry. So making API call"));
}

TEST_F(AnalyticsAddress, ANodeWithoutPropertiesIsNotConfigured) {
    int port = -1;
    EvLogCapture capture;
    EXPECT_NE(0, getAnalyticsPortNumber(10, port));
    EXPECT_TRUE(capture.contains("", "Analayitcs service is not configured"));
    write("\n"); // no analytics port in the registry: getHostAndPortInfo fails with the procedure
    std::string host;
    uint64_t clientId = 0;
    EXPECT_EQ(1, getHostAndPortInfo(host, port, clientId));
}

} // namespace
