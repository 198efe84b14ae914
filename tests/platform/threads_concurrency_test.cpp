#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include "platform/threads/KqCriticalSection.h"
#include "platform/threads/KqEvent.h"
#include "platform/threads/KqThread.h"
#include "platform/threads/KqThreadPool.h"
#include "platform/threads/MDLock.h"

using namespace std::chrono_literals;

namespace {
std::atomic<int> gCalls{0};
void* countCall(void*) {
    gCalls++;
    return nullptr;
}
}

TEST(ThreadPool, RunsQueuedWorkOnItsOwnThreads) {
    KqThreadPool pool;
    EXPECT_EQ(pool.doWork([] {}), -1) << "not started";
    ASSERT_TRUE(pool.initThreadPool("TestPool", 300, 2, 4, 1));
    EXPECT_FALSE(pool.initThreadPool("TestPool", 300, 2, 4, 1)) << "started once";
    EXPECT_EQ(pool.threadCount(), 2u);

    std::mutex mu;
    std::set<std::thread::id> ids;
    std::atomic<int> done{0};
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(pool.doWork([&] {
            {
                std::lock_guard<std::mutex> l(mu);
                ids.insert(std::this_thread::get_id());
            }
            std::this_thread::sleep_for(100us);
            done++;
        }),
                  0);
    }
    gCalls = 0;
    ASSERT_EQ(pool.doWork(&countCall, nullptr), 0);
    pool.shutdown();
    EXPECT_EQ(done.load(), 200);
    EXPECT_EQ(gCalls.load(), 1);
    EXPECT_EQ(ids.count(std::this_thread::get_id()), 0u);
    EXPECT_LE(ids.size(), 4u);
    EXPECT_GE(ids.size(), 1u);
    EXPECT_EQ(pool.threadCount(), 0u);
    EXPECT_EQ(pool.doWork([] {}), -1) << "stopped";
}

TEST(ThreadPool, RefusesWorkWhenFull) {
    KqEvent release(true), started(true); // outlive the pool, whose work waits on them
    KqThreadPool pool;
    ASSERT_TRUE(pool.initThreadPool("FullPool", 300, 1, 1, 1, 2));
    ASSERT_EQ(pool.doWork([&] {
        started.set();
        release.wait(-1);
    }),
              0);
    ASSERT_TRUE(started.wait(5000));
    EXPECT_EQ(pool.doWork([] {}), 0);
    EXPECT_EQ(pool.doWork([] {}), 0);
    EXPECT_EQ(pool.doWork([] {}), -1) << "queue holds two";
    EXPECT_EQ(pool.doWork(std::function<void()>()), -1);
    EXPECT_EQ(pool.doWork(static_cast<KqThreadFunction>(nullptr), nullptr), -1);
    release.set();
}

TEST(ThreadPool, IdleThreadsAboveTheMinimumEnd) {
    KqThreadPool pool;
    ASSERT_TRUE(pool.initThreadPool("IdlePool", 1, 3, 3, 1));
    EXPECT_EQ(pool.threadCount(), 3u);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (pool.threadCount() > 1 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(50ms);
    EXPECT_EQ(pool.threadCount(), 1u);
    std::atomic<bool> ran{false};
    ASSERT_EQ(pool.doWork([&] { ran = true; }), 0);
    pool.shutdown();
    EXPECT_TRUE(ran);
}

TEST(ThreadPool, WorkThatThrowsDoesNotKillThePool) {
    KqThreadPool pool;
    ASSERT_TRUE(pool.initThreadPool("ThrowPool", 300, 1, 1, 1));
    ASSERT_EQ(pool.doWork([] { throw std::runtime_error("boom"); }), 0);
    std::atomic<bool> ran{false};
    ASSERT_EQ(pool.doWork([&] { ran = true; }), 0);
    pool.shutdown();
    EXPECT_TRUE(ran);
}

TEST(ThreadPool, RejectsBadSizes) {
    KqThreadPool pool;
    EXPECT_FALSE(pool.initThreadPool("Bad", 300, 1, 0, 0));
    EXPECT_TRUE(pool.initThreadPool("Clamped", 300, 4, 2, 5)); // initial and minimum clamp to 2
    EXPECT_EQ(pool.threadCount(), 2u);
}

TEST(Threads, DetachedThreadsRun) {
    gCalls = 0;
    ASSERT_NE(KqThread::createThread(&countCall, nullptr), 0);
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (gCalls.load() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(gCalls.load(), 1);
    EXPECT_EQ(KqThread::createThread(static_cast<KqThreadFunction>(nullptr), nullptr), 0);

    KqThread t;
    std::atomic<int> n{0};
    ASSERT_NE(t.start([&] { n = 5; }), 0);
    EXPECT_EQ(t.start([] {}), 0) << "one thread at a time";
    t.join();
    EXPECT_EQ(n.load(), 5);
}

TEST(Events, TimedWaitAndResetModes) {
    KqEvent autoReset;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(autoReset.wait(50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 45ms);
    autoReset.set();
    EXPECT_TRUE(autoReset.wait(0));
    EXPECT_FALSE(autoReset.wait(0)) << "auto-reset lets one wait through";

    KqEvent manual(true);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        manual.set();
    });
    EXPECT_TRUE(manual.wait(5000));
    EXPECT_TRUE(manual.wait(0));
    manual.reset();
    EXPECT_FALSE(manual.wait(0));
    setter.join();
}

TEST(Locks, NamedLocksExcludeAcrossObjectsAndTimeOut) {
    MDLock a("LockMonitoringPolicyId_7");
    MDLock b("LockMonitoringPolicyId_7");
    MDLock other("LockMonitoringPolicyId_8");
    ASSERT_EQ(a.set(1000), 1);
    EXPECT_EQ(a.set(10), 0) << "not re-entrant";
    EXPECT_EQ(other.set(10), 1);
    std::atomic<int> got{-1};
    std::thread t([&] { got = b.set(30); });
    t.join();
    EXPECT_EQ(got.load(), 0);
    std::thread waiter([&] { got = b.set(5000); });
    std::this_thread::sleep_for(20ms);
    a.unset();
    waiter.join();
    EXPECT_EQ(got.load(), 1);
    b.unset();
}

TEST(Locks, CriticalSectionIsReentrantAndExclusive) {
    KqCriticalSectionH cs;
    int counter = 0;
    auto work = [&] {
        for (int i = 0; i < 10000; ++i) {
            KqCSLock outer(cs);
            KqCSLock inner(cs);
            ++counter;
        }
    };
    std::thread t1(work), t2(work);
    t1.join();
    t2.join();
    EXPECT_EQ(counter, 20000);
}
