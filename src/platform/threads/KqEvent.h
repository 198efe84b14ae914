#pragma once
#include <condition_variable>
#include <mutex>

// An event that threads wait on. Created unsignalled. An auto-reset event lets one waiter through
// per set and returns to unsignalled; a manual-reset event stays signalled until reset.
class KqEvent {
public:
    explicit KqEvent(bool manualReset = false) : manual_(manualReset) {}

    void set();
    void reset();
    // True when the event was signalled within the time; a negative time waits without limit.
    bool wait(int milliseconds);
    bool isSet() const;

private:
    mutable std::mutex mu_;
    std::condition_variable cv_;
    bool manual_;
    bool signalled_ = false;
};
