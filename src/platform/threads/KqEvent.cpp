#include "platform/threads/KqEvent.h"

#include <chrono>

// Notifying under the lock: a waiter that sees the signal may destroy the event as soon as it can
// take the lock, so the set must be done with the condition variable before releasing it.
void KqEvent::set() {
    std::lock_guard<std::mutex> l(mu_);
    signalled_ = true;
    if (manual_) cv_.notify_all();
    else cv_.notify_one();
}

void KqEvent::reset() {
    std::lock_guard<std::mutex> l(mu_);
    signalled_ = false;
}

bool KqEvent::isSet() const {
    std::lock_guard<std::mutex> l(mu_);
    return signalled_;
}

bool KqEvent::wait(int milliseconds) {
    std::unique_lock<std::mutex> l(mu_);
    auto ready = [this] { return signalled_; };
    if (milliseconds < 0) cv_.wait(l, ready);
    else if (!cv_.wait_for(l, std::chrono::milliseconds(milliseconds), ready)) return false;
    if (!manual_) signalled_ = false;
    return true;
}
