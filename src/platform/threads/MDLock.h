#pragma once
#include <memory>
#include <string>

// A lock known by name within the process: every MDLock of the same name guards the same thing.
// Not re-entrant. An MDLock that holds its lock releases it when destroyed.
class MDLock {
public:
    explicit MDLock(std::string name);
    ~MDLock();
    MDLock(const MDLock&) = delete;
    MDLock& operator=(const MDLock&) = delete;

    // 1 when obtained within the time (a negative time waits without limit), else 0.
    int set(int timeoutMilliseconds);
    void unset();
    bool isHeld() const { return held_; }

    struct Slot;

private:
    std::string name_;
    std::shared_ptr<Slot> slot_;
    bool held_ = false;
};
