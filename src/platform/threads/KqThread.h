#pragma once
#include <functional>
#include <thread>

using KqThreadFunction = void* (*)(void*);
using KqThreadIntFunction = int (*)(void*);

// Threads of the platform. createThread starts a detached thread: the caller learns of its end
// through state of its own. A KqThread object runs one joinable thread and joins it when destroyed.
class KqThread {
public:
    // Non-zero when the thread started.
    static int createThread(KqThreadFunction fn, void* arg);
    static int createThread(KqThreadIntFunction fn, void* arg);

    KqThread() = default;
    ~KqThread();
    KqThread(const KqThread&) = delete;
    KqThread& operator=(const KqThread&) = delete;

    // Non-zero when started; refused while an earlier thread of this object has not been joined.
    int start(std::function<void()> body);
    void join();
    bool joinable() const { return thread_.joinable(); }

private:
    std::thread thread_;
};

// Names the calling thread (up to 15 characters show) for debuggers and ps.
void kqSetThreadName(const char* name);
