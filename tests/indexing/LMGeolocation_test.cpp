// IPv4 discovery and geolocation against a peer that plays both the location service (a get
// answered with coordinates) and the reverse-geocoding service (a post answered with XML), with
// the local database on a temporary file.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "indexing/LMCIHelper.h"
#include "indexing/LMHttpPeer.h"
#include "platform/localdb/LMDBInterface.h"
#include "platform/log/EvLMDebug.h"
#include "support/TestSupport.h"

namespace {

using LogMonitoring::LMCIHelper;

std::string field(const std::string& name, const std::string& value) {
    return "<field name = \"" + name + "\">" + value + "</field>\n";
}

class GeolocationTest : public ::testing::Test {
protected:
    lmtest::TempDir dir{"lmgeo"};
    std::string locationReply = "status=ok latitude: 37.7749, longitude: -122.4194 accuracy=30";
    std::atomic<bool> reverseFails{false};
    lmtest::HttpPeer peer{[this](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/locate") {
            res.set_content(locationReply, "text/plain");
        } else if (reverseFails) {
            res.status = 503;
        } else {
            res.set_content("<ReverseGeoRS><location><country code=\"US\">United States</country>"
                            "<state code=\"CA\">California</state></location></ReverseGeoRS>",
                            "text/xml");
        }
    }};
    LMDBInterface db{dir.file("local.db")};
    LMCIHelper helper;
    EvLogCapture capture;

    void SetUp() override {
        ASSERT_TRUE(peer.running());
        configure(helper);
    }

    void configure(LMCIHelper& h, const std::string& key = "key1") {
        h.geoDiscoveryEnabled = true;
        h.setDBInterface(&db);
        h.setGeolocationService(peer.url("/locate?version=2"), peer.url("/reverse"), key, "user1");
    }

    static std::string discover(LMCIHelper& h, const std::string& text) {
        h.currentDoc.clear();
        EXPECT_EQ(h.discoverIPAndAddToCIDoc(text, h.currentDoc), 1);
        return h.currentDoc;
    }
};

const std::string kResolvedFields =
    field("countrycode_ss", "us") + field("state_ss", "california") +
    field("countrystate_tp", "us\\california\\37.7749,-122.4194") + field("keys", "State") +
    field("keyVals", "StateKQ_DIS_DELcalifornia") + field("keys", "Country") + field("keyVals", "CountryKQ_DIS_DELus") +
    field("ipAddress_ss", "8.8.8.8") + field("keys", "IpAddress") + field("keyVals", "IpAddressKQ_DIS_DEL8.8.8.8");

TEST_F(GeolocationTest, PrivateAndRevisionAddressesAreNotLookedUp) {
    for (const char* text : {"from 10.1.2.3 port 22", "via 172.16.0.9 ", "via 172.31.255.1)", "at [192.168.1.1]",
                             "$Revision: 1.2.3.4 $", "no address 1.2.3 here"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(discover(helper, text), "");
    }
    EXPECT_EQ(peer.requestCount(), 0u);
}

TEST_F(GeolocationTest, PublicAddressIsResolvedOnceThenAnsweredFromMemoryAndTheLocalTable) {
    EXPECT_EQ(discover(helper, "accepted connection from 8.8.8.8 port 53"), kResolvedFields);

    const std::vector<lmtest::SeenRequest> seen = peer.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "GET");
    EXPECT_NE(seen[0].target.find("version=2&ip=8.8.8.8&key=key1&user=user1&timestamp="), std::string::npos)
        << seen[0].target;
    EXPECT_EQ(seen[1].method, "POST");
    EXPECT_EQ(seen[1].header("Content-Type"), "text/xml");
    EXPECT_NE(seen[1].body.find(" <key key=\"key1\" username=\"user1\" />"), std::string::npos) << seen[1].body;
    EXPECT_NE(seen[1].body.find(" <point> <latitude>37.7749</latitude> <longitude>-122.4194</longitude> </point>"),
              std::string::npos)
        << seen[1].body;

    std::string latitude, longitude, country, state;
    ASSERT_TRUE(db.wasIPCachedRecently("8.8.8.8", 7));
    ASSERT_EQ(db.selectGeoIPLocation("8.8.8.8", latitude, longitude, country, state), 0);
    EXPECT_EQ(latitude + " " + longitude + " " + country + " " + state, "37.7749 -122.4194 US California");

    // Seen again by the same helper: from its memory.
    EXPECT_EQ(discover(helper, "again from '8.8.8.8'"), kResolvedFields);
    // A second helper over the same database: from the local table, which was used this week.
    LMCIHelper second;
    configure(second);
    EXPECT_EQ(discover(second, "later from \"8.8.8.8\""), kResolvedFields);
    EXPECT_EQ(second.geoCache.count("8.8.8.8"), 1u);
    EXPECT_EQ(peer.requestCount(), 2u);
}

TEST_F(GeolocationTest, NothingIsRequestedWithoutAServiceKey) {
    LMCIHelper keyless;
    configure(keyless, "");
    EXPECT_EQ(discover(keyless, "from 8.8.8.8 "), "");
    keyless.currentDoc.clear();
    EXPECT_EQ(keyless.discoverAndAddLatLng("lat=1.5 lng=2.5", keyless.currentDoc, ""), 1);
    EXPECT_EQ(keyless.currentDoc, "");
    EXPECT_EQ(peer.requestCount(), 0u);
    EXPECT_FALSE(db.wasIPCachedRecently("8.8.8.8", 7));
    EXPECT_TRUE(capture.contains("", -1, "ERROR calling SkyhookURL: " + peer.url("/reverse")));
}

TEST_F(GeolocationTest, FailedReverseGeocodingIsNotRemembered) {
    reverseFails = true;
    EXPECT_EQ(discover(helper, "from 8.8.8.8 "), "");
    EXPECT_FALSE(db.wasIPCachedRecently("8.8.8.8", 7));
    EXPECT_EQ(helper.geoCache.count("8.8.8.8"), 0u);

    // Once the service answers again, the address is resolved.
    reverseFails = false;
    EXPECT_EQ(discover(helper, "from 8.8.8.8 "), kResolvedFields);
    EXPECT_EQ(peer.requestCount(), 4u);
}

TEST_F(GeolocationTest, CoordinatesAreReadInTheServicesSpellings) {
    struct Case {
        std::string text;
        int result;
        std::string point; // what the reverse-geocoding request carries
    };
    const std::vector<Case> cases = {
        {"lat=1.5\tlng=-2.25", 1, "<latitude>1.5</latitude> <longitude>-2.25</longitude>"},
        {"Latitude:\"51.5074\",\nLongitude:\"-0.1278\"", 1, "<latitude>51.5074</latitude> <longitude>-0.1278</longitude>"},
        {R"({\"lat\":48.85,\"long\":2.35})", 1, "<latitude>48.85</latitude> <longitude>2.35</longitude>"},
        {"LAT 10.0 ; LNG 20.0", 0, ""},
        {"lat=12 lng=13", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const size_t before = peer.requestCount();
        helper.currentDoc.clear();
        EXPECT_EQ(helper.discoverAndAddLatLng(c.text, helper.currentDoc, ""), c.result);
        if (c.result == 0) {
            EXPECT_EQ(peer.requestCount(), before);
            continue;
        }
        ASSERT_EQ(peer.requestCount(), before + 1);
        EXPECT_NE(peer.requests().back().body.find(c.point), std::string::npos) << peer.requests().back().body;
        // No address: the location fields without the address ones, and nothing remembered.
        EXPECT_NE(helper.currentDoc.find(field("countrycode_ss", "us")), std::string::npos);
        EXPECT_EQ(helper.currentDoc.find("ipAddress_ss"), std::string::npos);
    }
    EXPECT_TRUE(helper.geoCache.empty());
}

TEST(GeolocationPrivateAddress, Table) {
    struct Case {
        const char* ip;
        bool isPrivate;
    };
    const std::vector<Case> cases = {
        {"10.0.0.1", true},     {"10.255.255.255", true}, {"172.15.0.1", false},  {"172.16.0.1", true},
        {"172.31.9.9", true},   {"172.32.0.1", false},    {"192.168.0.1", true},  {"192.169.0.1", false},
        {"8.8.8.8", false},     {"11.0.0.1", false},      {"1.2.3", true},        {"1.2.3.4.5", true},
        {"1..2.3", true},       {"", true},               {"0000000001.2.3.4444", false},
        {"00000000001.2.3.4444", true}, // 20 bytes
    };
    LMCIHelper helper;
    for (const Case& c : cases) EXPECT_EQ(helper.isPrivateIPAddress(c.ip), c.isPrivate) << c.ip;
}

}
