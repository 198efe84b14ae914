#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <chrono>
#include <thread>

#include "network/SessionTestMessages.h"
#include "platform/network/CKqNetwork.h"
#include "platform/network/HandshakeMessages.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

using namespace std::chrono_literals;

namespace {

const char* kSecret = "host-test-secret";
const KqRemoteModuleDescriptor kEcho("sTestEcho", "sTestEchoEntry");
const KqRemoteModuleDescriptor kSlowEcho("sTestEcho", "sTestSlowEchoEntry");

std::string echoModulePath() { return std::string(LM_BINARY_DIR) + "/lib/liblm_test_echo_module.so"; }

size_t countEntries(const std::string& dir) {
    size_t n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = lmtest::freeLoopbackPort();
        std::string reg = "[Platform]\nsInstanceName = HostTest\nsSharedSecret = " + std::string(kSecret) +
                          "\nnRemoteModulePort = " + std::to_string(port_) +
                          "\nnMaxFrameBytes = 1048576\n"
                          "[Host]\nnHandshakeTimeout = 1\nnShutdownWaitSeconds = 2\n"
                          "[RemoteModules]\n"
                          "sTestEcho/sTestEchoEntry.library = " + echoModulePath() + "\n"
                          "sTestEcho/sTestEchoEntry.symbol = LMTestEchoEntry\n"
                          "sTestEcho/sTestSlowEchoEntry.library = " + echoModulePath() + "\n"
                          "sTestEcho/sTestSlowEchoEntry.symbol = LMTestSlowEchoEntry\n"
                          "sTestEcho/sMissing.library = " + echoModulePath() + "\n"
                          "sTestEcho/sMissing.symbol = LMNoSuchEntry\n";
        lmtest::writeFile(registry(), reg);
        KQPlatformInfo::useRegistryFile(registry());
        ASSERT_TRUE(host_.start({LM_HOST_BIN, "--registry", registry()}));
        std::string line = host_.waitForLine("listening on", 10s);
        ASSERT_EQ("listening on 127.0.0.1:" + std::to_string(port_), line) << host_.output();
        mangled_ = CKqNetwork::MangleHostName("127.0.0.1", port_);
    }

    std::string registry() const { return dir_.file("registry.ini"); }
    std::string proc(const char* what) const { return "/proc/" + std::to_string(host_.pid()) + "/" + what; }

    // Sends `n` messages and checks that each comes back unchanged.
    static void exchange(CKqNetwork& c, int n, const std::string& tag) {
        for (int i = 0; i < n; ++i) {
            LMTest::SessionEcho m;
            m.set_seq(i);
            m.set_body(tag + std::to_string(i));
            bool aborted = false;
            ASSERT_FALSE(c.SendXMLMessage(m, 0, 10, aborted).IsError());
            std::unique_ptr<CNMessageBase> got;
            CZuError e = c.ReceiveXMLMessage(got, 10, aborted);
            ASSERT_FALSE(e.IsError()) << e.AsString();
            auto* echo = got->as<LMTest::SessionEcho>();
            ASSERT_NE(nullptr, echo);
            EXPECT_EQ(i, echo->seq());
            EXPECT_EQ(m.body(), echo->body());
        }
    }

    int rawConnect() const {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<uint16_t>(port_));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
        timeval tv{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        return fd;
    }
    static std::string frame(const std::string& payload, uint32_t declared) {
        uint32_t be = htonl(declared);
        return std::string(reinterpret_cast<const char*>(&be), 4) + payload;
    }
    // Whether the host closed the raw connection (reads until EOF, skipping any answer frame).
    static bool closedByHost(int fd) {
        char buf[4096];
        for (;;) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n == 0) return true;
            if (n < 0) return errno == ECONNRESET;
        }
    }

    // Waits until the host's open files and threads fall back to what they were.
    void expectBackTo(size_t fds, size_t threads) {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (std::chrono::steady_clock::now() < deadline &&
               (countEntries(proc("fd")) > fds || countEntries(proc("task")) > threads))
            std::this_thread::sleep_for(50ms);
        EXPECT_EQ(fds, countEntries(proc("fd")));
        EXPECT_EQ(threads, countEntries(proc("task")));
    }

    lmtest::TempDir dir_{"lmhost"};
    lmtest::ChildProcess host_;
    int port_ = 0;
    std::string mangled_;
};

TEST_F(HostTest, ServesTwoClientsAtOnce) {
    std::atomic<int> done{0};
    auto client = [&](const std::string& name) {
        CKqNetwork c;
        bool aborted = false;
        CZuError e = c.Attach_RemoteDLL(mangled_, kEcho, name.c_str(), 120, aborted);
        ASSERT_FALSE(e.IsError()) << e.AsString();
        exchange(c, 200, name);
        ASSERT_FALSE(c.Disconnect(120, aborted).IsError());
        ++done;
    };
    std::thread a(client, "clientA"), b(client, "clientB");
    a.join();
    b.join();
    EXPECT_EQ(2, done.load());
    host_.waitForLine("no such line", 300ms); // lets the host's log catch up
    EXPECT_NE(std::string::npos, host_.output().find("client clientA attached to sTestEcho/sTestEchoEntry"));
    EXPECT_NE(std::string::npos, host_.output().find("client clientB attached to sTestEcho/sTestEchoEntry"));

    CKqNetwork probe;
    bool aborted = false;
    EXPECT_FALSE(probe.Attach_RemotePort("127.0.0.1", port_, "prober", 45, aborted).IsError());
    EXPECT_FALSE(probe.Disconnect(45, aborted).IsError());
}

// Every bad peer ends its own session with a log line; a session that was open before keeps
// working, and the host holds no more files or threads afterwards than before.
TEST_F(HostTest, BadPeersEndOnlyTheirOwnSessionAndLeakNothing) {
    bool aborted = false;
    // One whole session first, so that whatever the runtime starts lazily is in the baseline.
    {
        CKqNetwork warm;
        ASSERT_FALSE(warm.Attach_RemoteDLL(mangled_, kEcho, "warm", 120, aborted).IsError());
        exchange(warm, 1, "warm");
        ASSERT_FALSE(warm.Disconnect(120, aborted).IsError());
    }
    size_t fds = SIZE_MAX, threads = SIZE_MAX;
    for (int i = 0; i < 20; ++i) {
        fds = std::min(fds, countEntries(proc("fd")));
        threads = std::min(threads, countEntries(proc("task")));
        std::this_thread::sleep_for(50ms);
    }

    CKqNetwork good;
    ASSERT_FALSE(good.Attach_RemoteDLL(mangled_, kEcho, "steady", 120, aborted).IsError());
    exchange(good, 3, "before");

    KqSession::Hello wrong;
    wrong.set_moduleName(kEcho.moduleName);
    wrong.set_entryName(kEcho.entryName);
    wrong.set_secret("not the secret");
    std::string wrongText;
    ASSERT_EQ(0, wrong.serialize(wrongText));

    struct Raw {
        const char* name;
        std::string bytes;
        bool closeWrite;
        const char* logged;
    };
    const Raw raws[] = {
        {"garbage", frame("\x01\x02 not xml \xff", 11), true, "not a session hello"},
        {"wrong secret", frame(wrongText, static_cast<uint32_t>(wrongText.size())), false, "wrong shared secret"},
        {"hello over the limit", frame("", 1u << 30), false, "above the limit"},
        {"truncated frame", frame("<KqSession_Hello>", 500), true, "in the middle of a frame"},
        {"silence", "", false, "timed out"},
    };
    for (const Raw& r : raws) {
        SCOPED_TRACE(r.name);
        int fd = rawConnect();
        if (!r.bytes.empty()) {
            ASSERT_EQ(static_cast<ssize_t>(r.bytes.size()), ::send(fd, r.bytes.data(), r.bytes.size(), MSG_NOSIGNAL));
        }
        if (r.closeWrite) ::shutdown(fd, SHUT_WR);
        EXPECT_TRUE(closedByHost(fd));
        ::close(fd);
        EXPECT_FALSE(host_.waitForLine(r.logged, 5s).empty()) << host_.output();
    }

    struct Refused {
        KqRemoteModuleDescriptor module;
        const char* logged;
    };
    const Refused refused[] = {
        {KqRemoteModuleDescriptor("sNoSuchModule", "sNoEntry"), "no module serves sNoSuchModule/sNoEntry"},
        {KqRemoteModuleDescriptor("sTestEcho", "sMissing"), "symbol LMNoSuchEntry not found"},
    };
    for (const Refused& r : refused) {
        CKqNetwork c;
        CZuError e = c.Attach_RemoteDLL(mangled_, r.module, "lost", 120, aborted);
        EXPECT_EQ(CKqNetwork::kRefused, e.GetErrorCode());
        EXPECT_NE(std::string::npos, e.AsString().find(r.logged)) << e.AsString();
        EXPECT_FALSE(host_.waitForLine(r.logged, 5s).empty());
    }

    // A frame above the host's limit once the session is attached ends that session.
    {
        CKqNetwork big;
        ASSERT_FALSE(big.Attach_RemoteDLL(mangled_, kEcho, "big", 120, aborted).IsError());
        big.setMaxFrameBytes(8u << 20);
        LMTest::SessionEcho m;
        m.set_body(std::string(2u << 20, 'x'));
        big.SendXMLMessage(m, 0, 10, aborted); // the host may close before it has read everything
        std::unique_ptr<CNMessageBase> got;
        EXPECT_TRUE(big.ReceiveXMLMessage(got, 10, aborted).IsError());
        EXPECT_FALSE(host_.waitForLine("above the limit", 5s).empty());
    }

    exchange(good, 3, "after");
    EXPECT_FALSE(good.Disconnect(120, aborted).IsError());
    expectBackTo(fds, threads);
}

TEST_F(HostTest, StopsOnSigtermLettingARunningCallFinish) {
    CKqNetwork c;
    bool aborted = false;
    ASSERT_FALSE(c.Attach_RemoteDLL(mangled_, kSlowEcho, "slow", 120, aborted).IsError());
    LMTest::SessionEcho m;
    m.set_body("in flight");
    ASSERT_FALSE(c.SendXMLMessage(m, 0, 10, aborted).IsError());
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(host_.signal(SIGTERM));

    std::unique_ptr<CNMessageBase> got;
    CZuError e = c.ReceiveXMLMessage(got, 10, aborted);
    ASSERT_FALSE(e.IsError()) << e.AsString();
    EXPECT_EQ("in flight", got->as<LMTest::SessionEcho>()->body());

    // No new sessions once stopping.
    std::this_thread::sleep_for(300ms);
    CKqNetwork late;
    EXPECT_TRUE(late.Attach_RemoteDLL(mangled_, kEcho, "late", 5, aborted).IsError());

    // The idle session outlives the shutdown wait: the host aborts it and exits 0.
    int status = host_.wait(15s);
    ASSERT_TRUE(WIFEXITED(status)) << host_.output();
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_NE(std::string::npos, host_.output().find("aborting 1 sessions still open"));
    EXPECT_TRUE(c.ReceiveXMLMessage(got, 5, aborted).IsError());
}

// Two instances on one machine: the mangled names carry their ports, so each session reaches the
// host it names.
TEST_F(HostTest, MangledNamesReachSeveralHostsOnOneMachine) {
    const int otherPort = lmtest::freeLoopbackPort();
    std::string reg = lmtest::readFile(registry());
    reg.replace(reg.find("sInstanceName = HostTest"), 24, "sInstanceName = HostTwo ");
    reg.replace(reg.find("nRemoteModulePort = " + std::to_string(port_)), 20 + std::to_string(port_).size(),
                "nRemoteModulePort = " + std::to_string(otherPort));
    lmtest::writeFile(dir_.file("second.ini"), reg);
    lmtest::ChildProcess second;
    ASSERT_TRUE(second.start({LM_HOST_BIN, "--registry", dir_.file("second.ini")}));
    ASSERT_FALSE(second.waitForLine("listening on 127.0.0.1:" + std::to_string(otherPort), 10s).empty());

    for (auto [name, mangled] : {std::pair<std::string, std::string>{"toFirst", mangled_},
                                 {"toSecond", CKqNetwork::MangleHostName("127.0.0.1", otherPort)}}) {
        CKqNetwork c;
        bool aborted = false;
        ASSERT_FALSE(c.Attach_RemoteDLL(mangled, kEcho, name.c_str(), 120, aborted).IsError()) << mangled;
        exchange(c, 2, name);
        EXPECT_FALSE(c.Disconnect(120, aborted).IsError());
    }
    EXPECT_FALSE(host_.waitForLine("client toFirst attached", 5s).empty());
    EXPECT_FALSE(second.waitForLine("client toSecond attached", 5s).empty());
    EXPECT_EQ(std::string::npos, host_.output().find("toSecond"));
    EXPECT_EQ(std::string::npos, second.output().find("toFirst"));
}

// The engine's descriptor is known without configuration: the host loads liblogmonitoring.so,
// runs its dispatcher for the session, and the dispatcher answers the disconnect.
TEST_F(HostTest, EngineDescriptorLoadsTheEngineLibrary) {
    CKqNetwork c;
    bool aborted = false;
    CZuError e = c.Attach_RemoteDLL(mangled_, KqRemoteModuleDescriptor::lmciUtil(), "engine user", 120, aborted);
    ASSERT_FALSE(e.IsError()) << e.AsString();
    e = c.Disconnect(30, aborted);
    EXPECT_FALSE(e.IsError()) << e.AsString();
}

TEST(HostStart, RefusesToStartWithoutItsSettings) {
    lmtest::TempDir dir("lmhoststart");
    struct Case {
        const char* name;
        std::string registry;
        const char* message;
    };
    const Case cases[] = {
        {"no registry file", "", "not found"},
        {"no port", "[Platform]\nsSharedSecret = x\n", "nRemoteModulePort"},
        {"no secret", "[Platform]\nnRemoteModulePort = " + std::to_string(lmtest::freeLoopbackPort()) + "\n",
         "sSharedSecret"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file(std::string(c.name) + ".ini");
        if (!c.registry.empty()) lmtest::writeFile(path, c.registry);
        lmtest::ChildProcess p;
        ASSERT_TRUE(p.start({LM_HOST_BIN, "--registry", path}));
        int status = p.wait(10s);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_NE(0, WEXITSTATUS(status));
        EXPECT_NE(std::string::npos, p.output().find(c.message)) << p.output();
    }
}

} // namespace
