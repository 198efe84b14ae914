#include <gtest/gtest.h>

#include <string>

#include "LMHttpPeer.h"
#include "platform/gateway/KqInternetGateway.h"
#include "support/TestSupport.h"

using LIBCURL::KqInternetGateway;

namespace {

KqInternetGateway& prepared(KqInternetGateway& g, const std::string& base) {
    EXPECT_EQ(0, g.initialize(KqInternetGateway::kProtocolHttpLibcurl, 0));
    EXPECT_EQ(0, g.setSecured(false));
    EXPECT_EQ(0, g.setURL(base));
    EXPECT_EQ(0, g.DisableProxy());
    return g;
}

TEST(InternetGateway, PostsRelativeToTheBaseUrlAndHandsBackTheReplyOfAnyRefusal) {
    lmtest::HttpPeer peer([](const httplib::Request& req, httplib::Response& res) {
        if (req.path == "/solr/bad/LMUpdateHandler") res.status = 400;
        if (req.path == "/solr/broken/LMUpdateHandler") res.status = 500;
        res.set_content("answer for " + req.path + " body " + req.body, "text/plain");
    });
    KqInternetGateway g;
    prepared(g, "127.0.0.1:" + std::to_string(peer.port()) + "/solr/"); // scheme and slash are added/dropped
    ASSERT_EQ(0, g.connect());
    ASSERT_EQ(0, g.addHeader("Content-Type", "application/xml;charset=utf-8"));
    struct Case {
        std::string path;
        int rc;
        long status;
    };
    const Case cases[] = {
        {"/kqcorelm0/LMUpdateHandler?softCommit=true", 0, 200},
        {"bad/LMUpdateHandler?", 0, 400},     // the engine's answer about the request: the caller judges it
        {"/broken/LMUpdateHandler?", KqInternetGateway::kServerError, 500},
        {peer.url("/solr/kqcorelm1/LMUpdateHandler?"), 0, 200}, // a whole URL goes where it says
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string response;
        EXPECT_EQ(c.rc, g.doPostOperation(c.path, "<add> </add>", response));
        EXPECT_EQ(c.status, g.lastHttpStatus());
        EXPECT_NE(std::string::npos, response.find(" body <add> </add>")) << response;
    }
    auto seen = peer.requests();
    ASSERT_EQ(4u, seen.size());
    EXPECT_EQ("/solr/kqcorelm0/LMUpdateHandler", seen[0].path);
    EXPECT_EQ("/solr/bad/LMUpdateHandler", seen[1].path);
    EXPECT_EQ("/solr/kqcorelm1/LMUpdateHandler", seen[3].path);
    EXPECT_EQ("application/xml;charset=utf-8", seen[0].header("Content-Type"));
}

TEST(InternetGateway, RefusesWhatItCannotDoSafely) {
    lmtest::HttpPeer peer([](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(4096, 'x'), "text/plain");
    });
    KqInternetGateway g;
    EXPECT_EQ(KqInternetGateway::kNotInitialized, g.connect());
    EXPECT_EQ(KqInternetGateway::kUnsupported, g.initialize(2, 0));
    EXPECT_EQ(KqInternetGateway::kUnsupported, g.initialize(3, 1));
    prepared(g, peer.url("/solr"));
    EXPECT_EQ(KqInternetGateway::kBadArgument, g.addHeader("Cookie2", "token\r\nX-Injected: yes"));
    EXPECT_EQ(KqInternetGateway::kBadArgument, g.addHeader("Bad Name", "v"));

    std::string response;
    g.setMaxReplyBytes(1024);
    EXPECT_EQ(KqInternetGateway::kReplyTooLarge, g.doPostOperation("/x", "b", response));
    EXPECT_TRUE(response.empty());
    g.setMaxReplyBytes(8192);
    EXPECT_EQ(0, g.doPostOperation("/x", "b", response));
    EXPECT_EQ(4096u, response.size());
    for (const auto& r : peer.requests()) EXPECT_FALSE(r.hasHeader("X-Injected"));

    KqInternetGateway dead;
    prepared(dead, "http://127.0.0.1:" + std::to_string(lmtest::freeLoopbackPort()) + "/solr");
    EXPECT_EQ(KqInternetGateway::kConnectFailed, dead.connect());
    EXPECT_FALSE(dead.getLastError().empty());
    EXPECT_EQ(KqInternetGateway::kConnectFailed, dead.doPostOperation("/x", "b", response));
}

} // namespace
