#include "platform/threads/KqThread.h"

#include <pthread.h>

#include <cstring>
#include <string>
#include <system_error>

namespace {
int startDetached(std::function<void()> body) {
    try {
        std::thread(std::move(body)).detach();
        return 1;
    } catch (const std::system_error&) {
        return 0;
    }
}
}

int KqThread::createThread(KqThreadFunction fn, void* arg) {
    if (!fn) return 0;
    return startDetached([fn, arg] { fn(arg); });
}

int KqThread::createThread(KqThreadIntFunction fn, void* arg) {
    if (!fn) return 0;
    return startDetached([fn, arg] { fn(arg); });
}

KqThread::~KqThread() { join(); }

int KqThread::start(std::function<void()> body) {
    if (thread_.joinable() || !body) return 0;
    try {
        thread_ = std::thread(std::move(body));
        return 1;
    } catch (const std::system_error&) {
        return 0;
    }
}

void KqThread::join() {
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void kqSetThreadName(const char* name) {
    char buf[16] = {};
    std::strncpy(buf, name ? name : "", sizeof buf - 1);
    pthread_setname_np(pthread_self(), buf);
}
