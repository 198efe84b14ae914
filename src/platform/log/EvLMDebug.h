#pragma once
#include <cstdarg>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The debug log. Every line carries the time, process and thread ids, the level, the name of the
// operation that wrote it and its text. Level -1 marks failures and is always written; other
// lines are written when their level is at most the process's threshold (larger is more verbose).
// Lines go to the configured log file, or to standard error when there is none.
// Thread-safe; the object itself holds no state, so classes may derive from it or hold one.
class EvLMDebug {
public:
    static constexpr int kErrorLevel = -1;
    static constexpr int kDebugLevel = 1; // level of Debug()
    static constexpr int kDefaultThreshold = 1;

    void DebugLvl(const char* operation, int level, const char* format, ...) const
        __attribute__((format(printf, 4, 5)));
    void Error(const char* operation, const char* format, ...) const
        __attribute__((format(printf, 3, 4)));
    void Debug(const char* operation, const char* format, ...) const
        __attribute__((format(printf, 3, 4)));
    void vlog(const char* operation, int level, const char* format, va_list args) const;

    // Whether a line of this level would be written or captured; lets callers skip building
    // expensive arguments.
    static bool enabled(int level);

    // Process-wide settings. An empty path writes to standard error. Returns false when the file
    // cannot be opened (the previous destination stays).
    static bool setLogFile(const std::string& path);
    static void setThreshold(int level);
    static int threshold();
};

using EvDebug = EvLMDebug;

struct EvLogLine {
    std::string operation;
    int level;
    std::string text;
};

// Records every line written while it lives, whatever its level, for tests to check messages.
class EvLogCapture {
public:
    EvLogCapture();
    ~EvLogCapture();
    EvLogCapture(const EvLogCapture&) = delete;
    EvLogCapture& operator=(const EvLogCapture&) = delete;

    std::vector<EvLogLine> lines() const;
    // Whether a line of `operation` (any, when empty) contains `text`.
    bool contains(std::string_view operation, std::string_view text) const;
    // Same, with the level given too.
    bool contains(std::string_view operation, int level, std::string_view text) const;
    void clear();

private:
    friend class EvLMDebug;
    void add(const EvLogLine& line);
    mutable std::mutex mu_;
    std::vector<EvLogLine> lines_;
};
