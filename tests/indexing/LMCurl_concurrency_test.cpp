// Many clients starting at the same moment on different threads: the process-wide libcurl
// initialisation happens once and every request gets its own reply.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "indexing/LMCurl.h"
#include "indexing/LMHttpPeer.h"

namespace {

using LogMonitoring::LMCurl;

TEST(LMCurlConcurrency, ThreadsInitialiseAndRequestAtOnce) {
    lmtest::HttpPeer peer([](const httplib::Request& req, httplib::Response& res) {
        res.set_content("echo:" + req.body, "text/plain");
    }, 1);
    ASSERT_TRUE(peer.running());

    constexpr int kThreads = 8;
    constexpr int kRequests = 6;
    std::latch start(kThreads);
    std::atomic<int> good{0};
    std::atomic<int> probes{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < kRequests; ++i) {
                LMCurl curl;
                if (!curl.initialize()) continue;
                std::string body = "thread " + std::to_string(t) + " request " + std::to_string(i);
                if (!curl.createForm(peer.url("/update").c_str(), "Content-Type: text/plain", "")) continue;
                if (!curl.postSimple(body, true, false) || !curl.submitForm()) continue;
                curl.freeHttpHeaders();
                uint64_t length = 0;
                if (curl.readHttpResponse(length) == "echo:" + body) ++good;
            }
            LMCurl probe;
            if (probe.isServerUp(peer.url("/"))) ++probes;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(good.load(), kThreads * kRequests);
    EXPECT_EQ(probes.load(), kThreads);
    EXPECT_EQ(peer.requestCount(), static_cast<size_t>(kThreads * (kRequests + 1)));
}

}
