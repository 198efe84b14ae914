#include "platform/threads/KqThreadPool.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>

#include "platform/log/EvLMDebug.h"

KqThreadPool::~KqThreadPool() { shutdown(); }

bool KqThreadPool::initThreadPool(const std::string& name, int idleTimeoutSeconds, int initialThreads,
                                  int maxThreads, int minThreads, size_t maxQueued) {
    std::lock_guard<std::mutex> l(mu_);
    if (started_ || stopping_ || maxThreads < 1 || maxQueued == 0) return false;
    name_ = name;
    idleTimeoutSeconds_ = std::max(idleTimeoutSeconds, 0);
    maxThreads_ = static_cast<size_t>(maxThreads);
    minThreads_ = std::clamp<size_t>(static_cast<size_t>(std::max(minThreads, 0)), 0, maxThreads_);
    size_t initial = std::clamp<size_t>(static_cast<size_t>(std::max(initialThreads, 0)), minThreads_, maxThreads_);
    maxQueued_ = maxQueued;
    started_ = true;
    for (size_t i = 0; i < initial; ++i) spawnLocked();
    if (threads_.empty() && initial > 0) {
        started_ = false;
        return false;
    }
    return true;
}

void KqThreadPool::spawnLocked() {
    try {
        std::thread t([this] { worker(); });
        auto id = t.get_id();
        threads_.emplace(id, std::move(t));
    } catch (const std::system_error& e) {
        EvLMDebug().Error("KqThreadPool::spawn", "pool %s cannot start a thread: %s", name_.c_str(), e.what());
    }
}

void KqThreadPool::reapLocked() {
    for (auto& t : finished_) t.join();
    finished_.clear();
}

int KqThreadPool::doWork(KqThreadFunction fn, void* arg) {
    if (!fn) return -1;
    return doWork([fn, arg] { fn(arg); });
}

int KqThreadPool::doWork(KqThreadIntFunction fn, void* arg) {
    if (!fn) return -1;
    return doWork([fn, arg] { fn(arg); });
}

int KqThreadPool::doWork(std::function<void()> job) {
    if (!job) return -1;
    std::lock_guard<std::mutex> l(mu_);
    reapLocked();
    if (!started_ || stopping_ || queue_.size() >= maxQueued_) return -1;
    queue_.push_back(std::move(job));
    if (idle_ < queue_.size() && threads_.size() < maxThreads_) spawnLocked();
    if (threads_.empty()) {
        queue_.pop_back();
        return -1;
    }
    workCv_.notify_one();
    return 0;
}

void KqThreadPool::worker() {
    kqSetThreadName(name_.c_str());
    std::unique_lock<std::mutex> l(mu_);
    for (;;) {
        ++idle_;
        bool timedOut = false;
        auto ready = [this] { return !queue_.empty() || stopping_; };
        if (idleTimeoutSeconds_ > 0)
            timedOut = !workCv_.wait_for(l, std::chrono::seconds(idleTimeoutSeconds_), ready);
        else
            workCv_.wait(l, ready);
        --idle_;
        if (queue_.empty()) {
            if (stopping_ || (timedOut && threads_.size() > minThreads_)) break;
            continue;
        }
        auto job = std::move(queue_.front());
        queue_.pop_front();
        l.unlock();
        try {
            job();
        } catch (const std::exception& e) {
            EvLMDebug().Error("KqThreadPool::worker", "work of pool %s failed: %s", name_.c_str(), e.what());
        } catch (...) {
            EvLMDebug().Error("KqThreadPool::worker", "work of pool %s failed", name_.c_str());
        }
        l.lock();
    }
    // Hand this thread's handle to whoever joins next; shutdown waits for the map to empty.
    auto it = threads_.find(std::this_thread::get_id());
    if (it != threads_.end()) {
        finished_.push_back(std::move(it->second));
        threads_.erase(it);
    }
    doneCv_.notify_all();
}

void KqThreadPool::shutdown() {
    std::unique_lock<std::mutex> l(mu_);
    if (!started_) {
        reapLocked();
        return;
    }
    stopping_ = true;
    workCv_.notify_all();
    doneCv_.wait(l, [this] { return threads_.empty(); });
    reapLocked();
    started_ = false;
    stopping_ = false;
}

bool KqThreadPool::isStarted() const {
    std::lock_guard<std::mutex> l(mu_);
    return started_ && !stopping_;
}

size_t KqThreadPool::threadCount() const {
    std::lock_guard<std::mutex> l(mu_);
    return threads_.size();
}

size_t KqThreadPool::pendingCount() const {
    std::lock_guard<std::mutex> l(mu_);
    return queue_.size();
}
