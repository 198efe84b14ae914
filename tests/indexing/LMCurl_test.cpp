// The HTTP client and the helper's one-request operation, against a peer on 127.0.0.1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "indexing/LMCIHelper.h"
#include "indexing/LMCurl.h"
#include "indexing/LMHttpPeer.h"
#include "platform/log/EvLMDebug.h"
#include "support/TestSupport.h"

namespace {

using LogMonitoring::LMCIHelper;
using LogMonitoring::LMCurl;
using lmtest::HttpPeer;

// Replies by path: /empty is a bare 204, /error a 500 with a page, /zero a body with a zero byte;
// anything else echoes the size of the body it got.
void reply(const httplib::Request& req, httplib::Response& res) {
    if (req.path == "/empty") {
        res.status = 204;
    } else if (req.path == "/error") {
        res.status = 500;
        res.set_content("<html><body>internal error</body></html>", "text/html");
    } else if (req.path == "/zero") {
        res.set_content(std::string("before\0after", 12), "text/plain");
    } else {
        res.set_content("<response>got " + std::to_string(req.body.size()) + "</response>", "application/xml");
    }
}

class LMCurlTest : public ::testing::Test {
protected:
    HttpPeer peer{reply};
    LMCIHelper helper;
    EvLogCapture capture;

    void SetUp() override { ASSERT_TRUE(peer.running()); }

    int request(const std::string& path, std::string body, std::string& response, bool useContentType = false,
                bool useGet = false) {
        std::string url = peer.url(path);
        return helper.indexCollectedData(url, body, response, useContentType, useGet);
    }
};

TEST_F(LMCurlTest, BodyOfTheLimitIsSentOneByteMoreIsRefusedWithoutContactingThePeer) {
    std::string response = "stale";
    ASSERT_EQ(request("/update", std::string(LMCurl::kMaxBodyLength, 'a'), response), 1);
    EXPECT_EQ(response, "<response>got 22020096</response>");
    ASSERT_EQ(peer.requestCount(), 1u);
    EXPECT_EQ(peer.requests()[0].bodySize, 22020096u);

    response = "stale";
    EXPECT_EQ(request("/update", std::string(LMCurl::kMaxBodyLength + 1, 'a'), response), -1);
    EXPECT_EQ(response, "");
    EXPECT_TRUE(capture.contains("LMCurl::postSimple", -1, "invalid off set [22020097]"));
    EXPECT_TRUE(capture.contains("", "post failed"));
    EXPECT_EQ(peer.requestCount(), 1u);
}

TEST_F(LMCurlTest, EmptyUrlOrBodyFailsAtOnceEvenForAGet) {
    std::string response = "stale";
    EXPECT_EQ(request("/select?q=*:*", "", response, false, true), -1);
    EXPECT_EQ(response, "");
    std::string emptyUrl;
    std::string body = "<commit/>";
    EXPECT_EQ(helper.indexCollectedData(emptyUrl, body, response, false, false), -1);
    EXPECT_TRUE(capture.contains("LMCIHelper::indexCollectedData", -1, "WebServer or query string is empty"));
    EXPECT_EQ(peer.requestCount(), 0u);
}

TEST_F(LMCurlTest, AnyNonEmptyReplyCountsWhateverItsStatus) {
    struct Case {
        const char* path;
        int result;
        std::string response;
    };
    const std::vector<Case> cases = {
        {"/empty", -1, ""},
        {"/error", 1, "<html><body>internal error</body></html>"},
        // The reply is taken as text: a zero byte ends what is kept of its chunk.
        {"/zero", 1, "before"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string response = "stale";
        EXPECT_EQ(request(c.path, "<add/>", response), c.result);
        EXPECT_EQ(response, c.response);
    }
    EXPECT_TRUE(capture.contains("LMCIHelper::indexCollectedData", -1, "received http response is null"));
}

TEST_F(LMCurlTest, HeaderLinesFollowTokenContentTypeChoiceAndMethod) {
    struct Case {
        std::string token;
        bool useContentType;
        bool useGet;
        bool xmlContentType;
        const char* method;
    };
    const std::vector<Case> cases = {
        {"", false, false, true, "POST"},
        {"tok-123", false, false, true, "POST"},
        {"tok-456", true, false, false, "POST"},
        {"", true, true, false, "GET"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        helper.authToken = c.token;
        std::string response;
        ASSERT_EQ(request("/update", "<add><doc/></add>", response, c.useContentType, c.useGet), 1);
        ASSERT_EQ(peer.requestCount(), i + 1);
        const lmtest::SeenRequest seen = peer.requests()[i];
        EXPECT_EQ(seen.method, c.method);
        const std::string type = seen.header("Content-Type");
        EXPECT_EQ(type.rfind("application/xml; charset=utf-8", 0) == 0, c.xmlContentType) << type;
        EXPECT_EQ(seen.hasHeader("Cookie2"), !c.token.empty());
        EXPECT_EQ(seen.header("Cookie2"), c.token);
        EXPECT_EQ(seen.bodySize, c.useGet ? 0u : 17u);
    }
}

TEST_F(LMCurlTest, TokenWithALineBreakIsRefusedRatherThanSentAsHeaders) {
    helper.authToken = "tok\r\nX-Injected: yes";
    std::string response;
    EXPECT_EQ(request("/update", "<add/>", response), -1);
    EXPECT_TRUE(capture.contains("LMCIHelper::indexCollectedData", -1, "create form failed"));
    EXPECT_EQ(peer.requestCount(), 0u);
}

TEST_F(LMCurlTest, ProbeTellsARunningPeerFromAClosedPort) {
    LMCurl curl;
    EXPECT_TRUE(curl.isServerUp(peer.url("/solr/admin/cores?action=STATUS")));
    EXPECT_EQ(peer.requestCount(), 1u);

    const std::string closed = "http://127.0.0.1:" + std::to_string(lmtest::freeLoopbackPort()) + "/";
    EXPECT_FALSE(curl.isServerUp(closed));
    EXPECT_TRUE(capture.contains("LMCurl::isServerUp", -1, "Failed to ping " + closed + " for "));
}

TEST(LMCurlCallback, RefusesAnEmptyChunkOrMissingClient) {
    EvLogCapture capture;
    char data[] = "abc";
    LMCurl curl;
    EXPECT_EQ(LogMonitoring::LMWriteCallback(data, 1, 3, nullptr), 0u);
    EXPECT_EQ(LogMonitoring::LMWriteCallback(nullptr, 1, 3, &curl), 0u);
    EXPECT_EQ(LogMonitoring::LMWriteCallback(data, 1, 0, &curl), 0u);
    EXPECT_EQ(LogMonitoring::LMWriteCallback(data, 1, 3, &curl), 3u);
    uint64_t length = 0;
    EXPECT_EQ(curl.readHttpResponse(length), "abc");
    EXPECT_EQ(length, 3u);
    EXPECT_TRUE(capture.contains("LMWriteCallback", -1, "http resp is null "));
}

}
