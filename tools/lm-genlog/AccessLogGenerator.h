#pragma once
// The sample access log of the demo and of the upload benchmark: a deterministic web-server log
// spread over the first seven days of December 2026 (UTC), in the shape the access-log template of
// examples/ reads:
//
//   DD-MM-YYYY HH:MM:SS CLIENT METHOD PATH STATUS BYTES DURATION_MS USER-AGENT user=U session=S
//
// Statuses are mostly 200 with some 3xx, 4xx and 5xx; server errors carry a stack trace of one to
// three continuation lines (lines that do not start with a date), which makes about 5% of all
// lines. A few requests are slow (seconds instead of milliseconds), gateway timeouts slowest of all,
// so searches by status and by duration have something to find.
//
// The same line count and seed always give the same bytes. Used by one thread at a time.
#include <cstdint>
#include <string>
#include <vector>

namespace lmgenlog {

// Largest line count accepted: about 7.5 GB of log, enough for any benchmark on one machine.
constexpr uint64_t kMaxLines = 50'000'000;

struct AccessLogStats {
    uint64_t lines = 0;
    uint64_t records = 0;
    uint64_t continuationLines = 0;
    uint64_t bytes = 0;
    uint64_t serverErrors = 0; // records with a 5xx status
};

class AccessLogGenerator {
public:
    // `lines` is the exact number of lines produced (1..kMaxLines); a trace that would run past
    // it is cut short.
    AccessLogGenerator(uint64_t lines, uint64_t seed);

    // Appends the next line, line feed included, to `out`. False once every line has been given.
    bool next(std::string& out);

    const AccessLogStats& stats() const { return stats_; }

private:
    uint64_t random();
    uint64_t below(uint64_t n) { return random() % n; }
    void appendRecord(std::string& out);
    void appendTraceLine(std::string& out);

    uint64_t total_;
    uint64_t state_;
    uint64_t traceLeft_ = 0; // continuation lines still owed to the last record
    uint64_t traceLine_ = 0;
    AccessLogStats stats_;
};

// Writes the whole log to `path` (created or replaced; anything but a regular file is refused).
// 0 on success; otherwise 1 with `error` set, and a partly written file is removed.
int writeAccessLog(const std::string& path, uint64_t lines, uint64_t seed, AccessLogStats& stats,
                   std::string& error);

// The command line of lm-genlog: --lines N [--seed S] OUT, or --help.
struct GenLogOptions {
    uint64_t lines = 0;
    uint64_t seed = 1;
    std::string out;
    bool help = false;
};

// 0 when the arguments (without the program name) are sound; otherwise 2 and `error` says why.
int parseGenLogArgs(const std::vector<std::string>& args, GenLogOptions& options, std::string& error);

extern const char* const kGenLogUsage;

}
