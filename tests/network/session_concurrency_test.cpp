#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "network/SessionTestMessages.h"
#include "platform/network/CKqNetwork.h"
#include "platform/network/CKqNetworkListener.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

namespace {

// Several sessions at once, each with its own server thread, and an abort that races a blocked
// receive: every exchange completes and the aborted receive returns.
TEST(SessionConcurrency, ParallelSessionsAndARacingAbort) {
    lmtest::TempDir dir("lmsessconc");
    lmtest::writeFile(dir.file("registry.ini"), "[Platform]\nsInstanceName = Conc\nsSharedSecret = conc-secret\n");
    KQPlatformInfo::useRegistryFile(dir.file("registry.ini"));
    CKqNetworkListener listener;
    ASSERT_FALSE(listener.listen("127.0.0.1", 0).IsError());
    const std::string host = CKqNetwork::MangleHostName("127.0.0.1", listener.port());
    constexpr int kClients = 4, kRounds = 100;

    std::atomic<int> served{0};
    std::thread acceptor([&] {
        std::vector<std::thread> servers;
        while (static_cast<int>(servers.size()) < kClients + 1) {
            CZuError err;
            int fd = listener.accept(100, err);
            if (fd < 0) continue;
            servers.emplace_back([fd, &served] {
                CKqNetwork s(fd);
                KqRemoteModuleDescriptor module;
                std::string peer;
                bool probe = false;
                if (s.AcceptHandshake("conc-secret", 5, module, peer, probe).IsError()) return;
                for (;;) {
                    bool aborted = false;
                    std::unique_ptr<CNMessageBase> m;
                    if (s.ReceiveXMLMessage(m, 10, aborted).IsError()) return;
                    if (m->getTagID() == CKqNetwork::kDisconnectTag) {
                        s.ReplyDisconnect(10, aborted);
                        ++served;
                        return;
                    }
                    if (s.SendXMLMessage(*m, 0, 10, aborted).IsError()) return;
                }
            });
        }
        for (auto& t : servers) t.join();
    });

    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            CKqNetwork s;
            bool aborted = false;
            if (s.Attach_RemoteDLL(host, KqRemoteModuleDescriptor::lmciUtil(), nullptr, 10, aborted).IsError()) return;
            for (int i = 0; i < kRounds; ++i) {
                LMTest::SessionEcho m;
                m.set_seq(c * 1000 + i);
                std::unique_ptr<CNMessageBase> got;
                if (s.SendXMLMessage(m, 0, 10, aborted).IsError() || s.ReceiveXMLMessage(got, 10, aborted).IsError())
                    return;
                if (got->as<LMTest::SessionEcho>()->seq() != c * 1000 + i) return;
            }
            if (!s.Disconnect(10, aborted).IsError()) ++good;
        });
    }

    CKqNetwork waiting;
    bool aborted = false;
    ASSERT_FALSE(waiting.Attach_RemoteDLL(host, KqRemoteModuleDescriptor::lmciUtil(), nullptr, 10, aborted).IsError());
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        waiting.Abort();
    });
    std::unique_ptr<CNMessageBase> none;
    EXPECT_EQ(CKqNetwork::kAborted, waiting.ReceiveXMLMessage(none, 30, aborted).GetErrorCode());
    stopper.join();
    waiting.Close();

    for (auto& t : clients) t.join();
    acceptor.join();
    EXPECT_EQ(kClients, good.load());
    EXPECT_EQ(kClients, served.load());
}

} // namespace
