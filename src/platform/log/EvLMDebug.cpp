#include "platform/log/EvLMDebug.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>

struct EvLogSink {
    std::mutex mu;
    FILE* file = nullptr; // null: standard error
    std::atomic<int> threshold{EvLMDebug::kDefaultThreshold};
    std::atomic<int> captures{0};
    std::vector<EvLogCapture*> active;

    EvLogSink() {
        if (const char* lvl = std::getenv("LM_LOG_LEVEL")) threshold = std::atoi(lvl);
        if (const char* path = std::getenv("LM_LOG_FILE")) file = std::fopen(path, "ae");
    }

    static EvLogSink& get() {
        // Never destroyed: threads may still log while the process exits.
        static EvLogSink* sink = new EvLogSink;
        return *sink;
    }

    void write(const char* op, int level, const std::string& text) {
        char stamp[40];
        auto now = std::chrono::system_clock::now();
        std::time_t t = std::chrono::system_clock::to_time_t(now);
        int ms = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
        std::tm tm{};
        localtime_r(&t, &tm);
        size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
        std::snprintf(stamp + n, sizeof stamp - n, ".%03d", ms);
        long tid = syscall(SYS_gettid);
        std::lock_guard<std::mutex> l(mu);
        FILE* out = file ? file : stderr;
        std::fprintf(out, "%s %d:%ld L%d %s: %s\n", stamp, static_cast<int>(getpid()), tid, level,
                     op ? op : "", text.c_str());
        std::fflush(out);
    }
};

namespace {
std::string format(const char* fmt, va_list args) {
    char buf[1024];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(buf, sizeof buf, fmt, copy);
    va_end(copy);
    if (n < 0) return "(bad log format)";
    if (static_cast<size_t>(n) < sizeof buf) return std::string(buf, n);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), fmt, args);
    s.resize(n);
    return s;
}
}

bool EvLMDebug::enabled(int level) {
    auto& s = EvLogSink::get();
    return level <= s.threshold.load(std::memory_order_relaxed) || level == kErrorLevel ||
           s.captures.load(std::memory_order_relaxed) > 0;
}

void EvLMDebug::vlog(const char* op, int level, const char* fmt, va_list args) const {
    auto& s = EvLogSink::get();
    bool toFile = level == kErrorLevel || level <= s.threshold.load(std::memory_order_relaxed);
    bool toCapture = s.captures.load(std::memory_order_relaxed) > 0;
    if (!toFile && !toCapture) return;
    std::string text = format(fmt, args);
    if (toFile) s.write(op, level, text);
    if (toCapture) {
        std::lock_guard<std::mutex> l(s.mu);
        EvLogLine line{op ? op : "", level, text};
        for (auto* c : s.active) c->add(line);
    }
}

void EvLMDebug::DebugLvl(const char* op, int level, const char* fmt, ...) const {
    va_list a;
    va_start(a, fmt);
    vlog(op, level, fmt, a);
    va_end(a);
}

void EvLMDebug::Error(const char* op, const char* fmt, ...) const {
    va_list a;
    va_start(a, fmt);
    vlog(op, kErrorLevel, fmt, a);
    va_end(a);
}

void EvLMDebug::Debug(const char* op, const char* fmt, ...) const {
    va_list a;
    va_start(a, fmt);
    vlog(op, kDebugLevel, fmt, a);
    va_end(a);
}

bool EvLMDebug::setLogFile(const std::string& path) {
    auto& s = EvLogSink::get();
    FILE* f = nullptr;
    if (!path.empty()) {
        f = std::fopen(path.c_str(), "ae");
        if (!f) return false;
    }
    std::lock_guard<std::mutex> l(s.mu);
    if (s.file) std::fclose(s.file);
    s.file = f;
    return true;
}

void EvLMDebug::setThreshold(int level) { EvLogSink::get().threshold = level; }
int EvLMDebug::threshold() { return EvLogSink::get().threshold; }

EvLogCapture::EvLogCapture() {
    auto& s = EvLogSink::get();
    std::lock_guard<std::mutex> l(s.mu);
    s.active.push_back(this);
    s.captures++;
}

EvLogCapture::~EvLogCapture() {
    auto& s = EvLogSink::get();
    {
        std::lock_guard<std::mutex> l(s.mu);
        s.active.erase(std::remove(s.active.begin(), s.active.end(), this), s.active.end());
        s.captures--;
    }
}

void EvLogCapture::add(const EvLogLine& line) {
    std::lock_guard<std::mutex> l(mu_);
    lines_.push_back(line);
}

std::vector<EvLogLine> EvLogCapture::lines() const {
    std::lock_guard<std::mutex> l(mu_);
    return lines_;
}

void EvLogCapture::clear() {
    std::lock_guard<std::mutex> l(mu_);
    lines_.clear();
}

bool EvLogCapture::contains(std::string_view op, std::string_view text) const {
    std::lock_guard<std::mutex> l(mu_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const EvLogLine& x) {
        return (op.empty() || x.operation == op) && x.text.find(text) != std::string::npos;
    });
}

bool EvLogCapture::contains(std::string_view op, int level, std::string_view text) const {
    std::lock_guard<std::mutex> l(mu_);
    return std::any_of(lines_.begin(), lines_.end(), [&](const EvLogLine& x) {
        return (op.empty() || x.operation == op) && x.level == level &&
               x.text.find(text) != std::string::npos;
    });
}
