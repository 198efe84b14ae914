#include "platform/threads/MDLock.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

struct MDLock::Slot {
    std::mutex mu;
    std::condition_variable cv;
    bool taken = false;
};

namespace {
std::shared_ptr<MDLock::Slot> slotFor(const std::string& name) {
    static std::mutex mu;
    static auto* slots = new std::map<std::string, std::shared_ptr<MDLock::Slot>>;
    std::lock_guard<std::mutex> l(mu);
    auto& s = (*slots)[name];
    if (!s) s = std::make_shared<MDLock::Slot>();
    return s;
}
}

MDLock::MDLock(std::string name) : name_(std::move(name)), slot_(slotFor(name_)) {}

MDLock::~MDLock() { unset(); }

int MDLock::set(int timeoutMilliseconds) {
    if (held_) return 0; // not re-entrant
    std::unique_lock<std::mutex> l(slot_->mu);
    auto free = [this] { return !slot_->taken; };
    if (timeoutMilliseconds < 0) slot_->cv.wait(l, free);
    else if (!slot_->cv.wait_for(l, std::chrono::milliseconds(timeoutMilliseconds), free)) return 0;
    slot_->taken = true;
    held_ = true;
    return 1;
}

void MDLock::unset() {
    if (!held_) return;
    {
        std::lock_guard<std::mutex> l(slot_->mu);
        slot_->taken = false;
        held_ = false;
    }
    slot_->cv.notify_one();
}
