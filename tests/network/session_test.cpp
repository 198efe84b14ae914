#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "network/SessionTestMessages.h"
#include "platform/network/CKqNetwork.h"
#include "platform/network/CKqNetworkListener.h"
#include "platform/network/HandshakeMessages.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

namespace {

const char* kSecret = "s3cret-of-the-installation";

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        lmtest::writeFile(dir_.file("registry.ini"),
                          std::string("[Platform]\nsInstanceName = SessionTest\nsSharedSecret = ") + kSecret +
                              "\nnMaxFrameBytes = 33554432\n");
        KQPlatformInfo::useRegistryFile(dir_.file("registry.ini"));
        ASSERT_FALSE(listener_.listen("127.0.0.1", 0).IsError());
        host_ = CKqNetwork::MangleHostName("127.0.0.1", listener_.port());
    }
    void TearDown() override {
        if (server_.joinable()) server_.join();
    }

    // Accepts one connection, runs the handshake and then `body` with the session.
    template <class Body> void serveOne(Body body, const std::string& secret = kSecret) {
        server_ = std::thread([this, body, secret] {
            CZuError err;
            int fd = -1;
            for (int i = 0; i < 100 && fd < 0; ++i) fd = listener_.accept(100, err);
            if (fd < 0) return;
            CKqNetwork s(fd);
            KqRemoteModuleDescriptor module;
            std::string peer;
            bool probe = false;
            handshake_ = s.AcceptHandshake(secret, 5, module, peer, probe);
            module_ = module;
            peer_ = peer;
            probe_ = probe;
            if (!handshake_.IsError()) body(s);
        });
    }

    // Echoes until the peer disconnects or the session fails.
    static void echo(CKqNetwork& s) {
        for (;;) {
            bool aborted = false;
            std::unique_ptr<CNMessageBase> m;
            if (s.ReceiveXMLMessage(m, 10, aborted).IsError()) return;
            if (m->getTagID() == CKqNetwork::kDisconnectTag) {
                s.ReplyDisconnect(120, aborted);
                return;
            }
            if (s.SendXMLMessage(*m, 0, 10, aborted).IsError()) return;
        }
    }

    // A plain socket to the listener, for peers that do not follow the protocol.
    int rawConnect() {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(listener_.port()));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
        return fd;
    }
    static void rawSend(int fd, const std::string& bytes) {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL));
    }
    static std::string frameHeader(uint32_t len) {
        uint32_t be = htonl(len);
        return std::string(reinterpret_cast<const char*>(&be), 4);
    }

    lmtest::TempDir dir_{"lmsession"};
    CKqNetworkListener listener_;
    std::string host_;
    std::thread server_;
    CZuError handshake_;
    KqRemoteModuleDescriptor module_;
    std::string peer_;
    bool probe_ = false;
};

TEST_F(SessionTest, EchoesMessagesAndDisconnectsCleanly) {
    serveOne(echo);
    CKqNetwork c;
    bool aborted = true;
    ASSERT_FALSE(c.Attach_RemoteDLL(host_, KqRemoteModuleDescriptor::lmciUtil(), "clientA", 120, aborted).IsError());
    EXPECT_FALSE(aborted);
    EXPECT_TRUE(c.IsConnected());
    EXPECT_TRUE(c.IsConnectionGood());
    for (int i = 0; i < 3; ++i) {
        LMTest::SessionEcho m;
        m.set_seq(i);
        m.set_body(std::string(1000 * i, 'x') + "<&>\"'");
        ASSERT_FALSE(c.SendXMLMessage(m, 0, -1, aborted).IsError());
        CNMessageBase* got = nullptr;
        ASSERT_FALSE(c.ReceiveXMLMessage(nullptr, got, nullptr, 0, 10, aborted).IsError());
        std::unique_ptr<CNMessageBase> owned(got);
        auto* e = got->as<LMTest::SessionEcho>();
        ASSERT_NE(nullptr, e);
        EXPECT_EQ(i, e->seq());
        EXPECT_EQ(m.body(), e->body());
    }
    ASSERT_FALSE(c.Disconnect(120, aborted).IsError());
    EXPECT_FALSE(c.IsConnected());
    server_.join();
    EXPECT_FALSE(handshake_.IsError());
    EXPECT_STREQ("sLMCIUTIL", module_.moduleName);
    EXPECT_STREQ("sLMCIUTILENTRY", module_.entryName);
    EXPECT_EQ(1, module_.number);
    EXPECT_EQ("clientA", peer_);
    EXPECT_FALSE(probe_);
}

TEST_F(SessionTest, CarriesAMessageOfFourteenMebibytes) {
    serveOne(echo);
    CKqNetwork c;
    bool aborted = false;
    ASSERT_FALSE(c.Attach_RemoteDLL(host_, KqRemoteModuleDescriptor::lmciUtil(), nullptr, 120, aborted).IsError());
    LMTest::SessionEcho m;
    std::string body(14u << 20, 'a');
    for (size_t i = 0; i < body.size(); i += 4093) body[i] = static_cast<char>('a' + i % 26);
    m.set_body(body);
    ASSERT_FALSE(c.SendXMLMessage(m, 0, -1, aborted).IsError());
    std::unique_ptr<CNMessageBase> got;
    ASSERT_FALSE(c.ReceiveXMLMessage(got, 60, aborted).IsError());
    ASSERT_NE(nullptr, got->as<LMTest::SessionEcho>());
    EXPECT_TRUE(got->as<LMTest::SessionEcho>()->body() == body);
    c.Disconnect(120, aborted);
}

TEST_F(SessionTest, WrongSecretIsRefusedOnBothSides) {
    serveOne(echo, "another secret");
    CKqNetwork c;
    bool aborted = false;
    CZuError e = c.Attach_RemoteDLL(host_, KqRemoteModuleDescriptor::lmciUtil(), nullptr, 120, aborted);
    EXPECT_EQ(CKqNetwork::kRefused, e.GetErrorCode());
    EXPECT_NE(std::string::npos, e.AsString().find("wrong shared secret"));
    EXPECT_FALSE(c.IsConnected());
    server_.join();
    EXPECT_EQ(CKqNetwork::kRefused, handshake_.GetErrorCode());
}

TEST_F(SessionTest, ProbeReachesAListeningClient) {
    serveOne(echo);
    CKqNetwork c;
    bool aborted = false;
    ASSERT_FALSE(c.Attach_RemotePort("127.0.0.1", listener_.port(), "probe", 45, aborted).IsError());
    EXPECT_FALSE(c.Disconnect(45, aborted).IsError());
    server_.join();
    EXPECT_TRUE(probe_);

    CKqNetwork nobody;
    int closedPort = lmtest::freeLoopbackPort();
    CZuError e = nobody.Attach_RemotePort("127.0.0.1", closedPort, "probe", 45, aborted);
    EXPECT_EQ(CKqNetwork::kConnectFailed, e.GetErrorCode());
    EXPECT_FALSE(nobody.IsConnected());
}

// Bad peers, seen from the accepting side: every one ends with an error on that session only.
TEST_F(SessionTest, BadPeersEndTheHandshakeWithAnError) {
    struct Case {
        const char* name;
        std::string bytes;
        int expected;
    };
    const Case cases[] = {
        {"garbage", frameHeader(9) + "not xml!!", CKqNetwork::kBadMessage},
        {"oversized hello", frameHeader(CKqNetwork::kHelloFrameLimit + 1), CKqNetwork::kFrameTooLarge},
        {"truncated frame", frameHeader(100) + "<KqSession_Hel", CKqNetwork::kPeerClosed},
        {"closed at once", "", CKqNetwork::kPeerClosed},
        {"silence", "keep open", CKqNetwork::kTimedOut},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::atomic<bool> done{false};
        CZuError result;
        std::thread t([&] {
            CZuError err;
            int fd = -1;
            while (fd < 0) fd = listener_.accept(100, err);
            CKqNetwork s(fd);
            KqRemoteModuleDescriptor module;
            std::string peer;
            bool probe = false;
            result = s.AcceptHandshake(kSecret, 1, module, peer, probe);
            done = true;
        });
        int fd = rawConnect();
        if (c.bytes != "keep open") {
            if (!c.bytes.empty()) rawSend(fd, c.bytes);
            ::shutdown(fd, SHUT_WR);
        }
        t.join();
        ::close(fd);
        EXPECT_EQ(c.expected, result.GetErrorCode()) << result.AsString();
    }
}

TEST_F(SessionTest, FrameLimitHoldsInBothDirections) {
    std::atomic<int> serverResult{0};
    serveOne([&](CKqNetwork& s) {
        s.setMaxFrameBytes(4096);
        bool aborted = false;
        std::unique_ptr<CNMessageBase> m;
        serverResult = s.ReceiveXMLMessage(m, 10, aborted).GetErrorCode();
        EXPECT_FALSE(s.IsConnectionGood());
    });
    CKqNetwork c;
    bool aborted = false;
    ASSERT_FALSE(c.Attach_RemoteDLL(host_, KqRemoteModuleDescriptor::lmciUtil(), nullptr, 120, aborted).IsError());
    LMTest::SessionEcho big;
    big.set_body(std::string(10000, 'b'));
    c.setMaxFrameBytes(1000);
    EXPECT_EQ(CKqNetwork::kFrameTooLarge, c.SendXMLMessage(big, 0, 10, aborted).GetErrorCode());
    EXPECT_TRUE(c.IsConnectionGood()); // refused before anything was written
    c.setMaxFrameBytes(1u << 20);
    EXPECT_FALSE(c.SendXMLMessage(big, 0, 10, aborted).IsError());
    server_.join();
    EXPECT_EQ(CKqNetwork::kFrameTooLarge, serverResult.load());
}

TEST_F(SessionTest, ReceiveTimesOutOrIsAbortedFromAnotherThread) {
    std::atomic<bool> release{false};
    serveOne([&](CKqNetwork&) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    });
    CKqNetwork c;
    bool aborted = false;
    ASSERT_FALSE(c.Attach_RemoteDLL(host_, KqRemoteModuleDescriptor::lmciUtil(), nullptr, 120, aborted).IsError());
    std::unique_ptr<CNMessageBase> m;
    CZuError e = c.ReceiveXMLMessage(m, 1, aborted);
    EXPECT_EQ(CKqNetwork::kTimedOut, e.GetErrorCode());
    EXPECT_TRUE(aborted);
    EXPECT_EQ(nullptr, m);
    EXPECT_TRUE(c.IsConnectionGood()); // a time-out between frames leaves the stream usable

    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        c.Abort();
    });
    e = c.ReceiveXMLMessage(m, -1, aborted);
    stopper.join();
    EXPECT_EQ(CKqNetwork::kAborted, e.GetErrorCode());
    EXPECT_TRUE(aborted);
    EXPECT_FALSE(c.IsConnectionGood());
    release = true;
}

TEST_F(SessionTest, AFrameOfAnUnknownClassIsAnErrorButKeepsTheSession) {
    serveOne([](CKqNetwork& s) {
        bool aborted = false;
        s.sendFrame("<Nobody_Knows><x>1</x></Nobody_Knows>", 10, aborted);
        LMTest::SessionEcho m;
        m.set_seq(7);
        s.SendXMLMessage(m, 0, 10, aborted);
        echo(s);
    });
    CKqNetwork c;
    bool aborted = false;
    ASSERT_FALSE(c.Attach_RemoteDLL(host_, KqRemoteModuleDescriptor::lmciUtil(), nullptr, 120, aborted).IsError());
    std::unique_ptr<CNMessageBase> got;
    EXPECT_EQ(CKqNetwork::kBadMessage, c.ReceiveXMLMessage(got, 10, aborted).GetErrorCode());
    EXPECT_EQ(nullptr, got);
    EXPECT_TRUE(c.IsConnectionGood());
    ASSERT_FALSE(c.ReceiveXMLMessage(got, 10, aborted).IsError());
    EXPECT_EQ(7, got->as<LMTest::SessionEcho>()->seq());
    EXPECT_FALSE(c.Disconnect(120, aborted).IsError());
}

TEST(SessionHostNames, DemangleSplitsHostAndPort) {
    struct Case {
        const char* mangled;
        int sessionPort;
        bool ok;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"engine1:8403", 0, true, "engine1", 8403},
        {"127.0.0.1:9000", 7000, true, "127.0.0.1", 9000},
        {"engine1", 7000, true, "engine1", 7000},
        {"[::1]:8403", 0, true, "::1", 8403},
        {"[::1]", 5, true, "::1", 5},
        {"engine1", 0, false, "", 0},
        {":8403", 0, false, "", 0},
        {"engine1:0", 0, false, "", 0},
        {"engine1:70000", 0, false, "", 0},
        {"engine1:84x3", 0, false, "", 0},
        {"::1:8403", 0, false, "", 0},
        {"[::1", 0, false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mangled);
        std::string host, last;
        int port = -1;
        CZuError e = CKqNetwork::DemangleHostNameToComps(c.mangled, host, port, c.sessionPort, last);
        EXPECT_EQ(c.ok, !e.IsError());
        if (c.ok) {
            EXPECT_EQ(c.host, host);
            EXPECT_EQ(c.port, port);
        } else {
            EXPECT_FALSE(last.empty());
        }
    }
    std::string host, last;
    int port = 0;
    ASSERT_FALSE(CKqNetwork::DemangleHostNameToComps(CKqNetwork::MangleHostName("fe80::1", 81), host, port, 0, last)
                     .IsError());
    EXPECT_EQ("fe80::1", host);
    EXPECT_EQ(81, port);
}

TEST(SessionUnconnected, OperationsFailWithoutAConnection) {
    CKqNetwork c;
    bool aborted = false;
    LMTest::SessionEcho m;
    EXPECT_EQ(CKqNetwork::kNotConnected, c.SendXMLMessage(m, 0, 1, aborted).GetErrorCode());
    std::unique_ptr<CNMessageBase> got;
    EXPECT_EQ(CKqNetwork::kNotConnected, c.ReceiveXMLMessage(got, 1, aborted).GetErrorCode());
    EXPECT_EQ(CKqNetwork::kNotConnected, c.Disconnect(1, aborted).GetErrorCode());
    EXPECT_FALSE(c.IsConnected());
    EXPECT_FALSE(c.IsConnectionGood());
}

} // namespace
