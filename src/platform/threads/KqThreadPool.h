#pragma once
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/threads/KqThread.h"

// A named pool of worker threads running queued work. It starts with the initial number of
// threads, adds threads up to the maximum while work waits and every thread is busy, and lets
// threads above the minimum end after the idle time-out. Work that finds the queue full, or the
// pool not started or stopping, is refused. Destroying the pool finishes the queued work first.
// All operations are thread-safe.
class KqThreadPool {
public:
    static constexpr size_t kDefaultMaxQueued = 4096;

    KqThreadPool() = default;
    ~KqThreadPool();
    KqThreadPool(const KqThreadPool&) = delete;
    KqThreadPool& operator=(const KqThreadPool&) = delete;

    // True when the pool runs. maxThreads must be at least 1; the minimum is clamped to
    // [0, maxThreads] and the initial count to [minimum, maxThreads].
    bool initThreadPool(const std::string& name, int idleTimeoutSeconds, int initialThreads,
                        int maxThreads, int minThreads, size_t maxQueued = kDefaultMaxQueued);

    // 0 when queued, -1 when the work cannot be queued.
    int doWork(KqThreadFunction fn, void* arg);
    int doWork(KqThreadIntFunction fn, void* arg);
    int doWork(std::function<void()> job);

    // Stops taking work, runs what is queued, and joins every thread.
    void shutdown();

    bool isStarted() const;
    size_t threadCount() const;
    size_t pendingCount() const;

private:
    void worker();
    void spawnLocked();
    void reapLocked();

    mutable std::mutex mu_;
    std::condition_variable workCv_, doneCv_;
    std::deque<std::function<void()>> queue_;
    std::map<std::thread::id, std::thread> threads_;
    std::vector<std::thread> finished_; // ended idle threads, joined on the next call
    std::string name_;
    int idleTimeoutSeconds_ = 0;
    size_t maxThreads_ = 0, minThreads_ = 0, maxQueued_ = 0;
    size_t idle_ = 0;
    bool started_ = false, stopping_ = false;
};
