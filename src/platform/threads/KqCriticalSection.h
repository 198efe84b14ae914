#pragma once
#include <mutex>

// A mutual-exclusion lock that the owning thread may enter again (each Enter needs its Leave).
// Usable with std::lock_guard and std::unique_lock.
class KqCriticalSection {
public:
    void Enter() { mu_.lock(); }
    bool TryEnter() { return mu_.try_lock(); }
    void Leave() { mu_.unlock(); }
    void lock() { Enter(); }
    bool try_lock() { return TryEnter(); }
    void unlock() { Leave(); }

private:
    std::recursive_mutex mu_;
};

// The same lock, for the places that hold it by handle across objects (process-wide locks).
class KqCriticalSectionH : public KqCriticalSection {};

// Holds a critical section for a scope.
class KqCSLock {
public:
    explicit KqCSLock(KqCriticalSection& cs) : cs_(cs) { cs_.Enter(); }
    ~KqCSLock() { cs_.Leave(); }
    KqCSLock(const KqCSLock&) = delete;
    KqCSLock& operator=(const KqCSLock&) = delete;

private:
    KqCriticalSection& cs_;
};
