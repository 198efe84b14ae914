#include "AccessLogGenerator.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>

namespace lmgenlog {

const char* const kGenLogUsage =
    "usage: lm-genlog --lines N [--seed S] OUT\n"
    "  writes a deterministic access log of exactly N lines (1..50000000) to OUT\n";

namespace {

constexpr uint64_t kSpanSeconds = 7 * 86400; // 1 to 7 December 2026

const char* const kAgents[] = {
    "Mozilla/5.0 (X11; Linux x86_64; rv:120.0) Gecko/20100101 Firefox/120.0",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 Mobile/15E148",
    "curl/8.4.0",
    "python-requests/2.31.0",
};

const char* const kTraceFrames[] = {
    "    at com.example.shop.OrderService.place(OrderService.java:%u)",
    "    at com.example.shop.CartController.checkout(CartController.java:%u)",
    "    at com.example.http.Handler.run(Handler.java:%u)",
    "Caused by: java.net.SocketTimeoutException: Read timed out after %u ms",
};

// Status per mille of records: 84% 200/201, 5.5% 3xx, 6.7% 4xx, 3.4% 5xx (the rest of the 4xx
// and 5xx share go to the common codes).
int pickStatus(uint64_t r, bool post) {
    if (r < 840) return post && r % 4 == 0 ? 201 : 200;
    if (r < 870) return 304;
    if (r < 885) return 301;
    if (r < 895) return 302;
    if (r < 925) return 404;
    if (r < 940) return 400;
    if (r < 952) return 401;
    if (r < 966) return 403;
    if (r < 976) return 500;
    if (r < 984) return 502;
    if (r < 992) return 503;
    return 504;
}

bool parseCount(const std::string& text, uint64_t& value) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

} // namespace

AccessLogGenerator::AccessLogGenerator(uint64_t lines, uint64_t seed)
    : total_(lines), state_(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}

// splitmix64: fast, and the same sequence on every platform, which std::mt19937's distributions
// do not promise.
uint64_t AccessLogGenerator::random() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool AccessLogGenerator::next(std::string& out) {
    if (stats_.lines >= total_) return false;
    const size_t before = out.size();
    // The first line is always a record: a continuation line needs one to belong to.
    if (traceLeft_ > 0) {
        appendTraceLine(out);
        --traceLeft_;
        ++stats_.continuationLines;
    } else {
        appendRecord(out);
        ++stats_.records;
    }
    ++stats_.lines;
    stats_.bytes += out.size() - before;
    return true;
}

void AccessLogGenerator::appendRecord(std::string& out) {
    // Time runs forward with the line number across the whole span, whatever the line count.
    const uint64_t at = stats_.lines * kSpanSeconds / total_;
    const unsigned day = static_cast<unsigned>(1 + at / 86400);
    const unsigned hour = static_cast<unsigned>(at / 3600 % 24);
    const unsigned minute = static_cast<unsigned>(at / 60 % 60);
    const unsigned second = static_cast<unsigned>(at % 60);

    const uint64_t m = below(100);
    const char* method = m < 70 ? "GET" : m < 90 ? "POST" : m < 97 ? "PUT" : "DELETE";
    const int status = pickStatus(below(1000), m >= 70 && m < 90);

    char path[96];
    const unsigned id = static_cast<unsigned>(below(10000));
    switch (below(7)) {
    case 0: std::snprintf(path, sizeof path, "/app/v1/items/%u", id); break;
    case 1: std::snprintf(path, sizeof path, "/app/v1/items/%u?page=%u", id, id % 17); break;
    case 2: std::snprintf(path, sizeof path, "/app/v1/orders/%u", id); break;
    case 3: std::snprintf(path, sizeof path, "/app/v1/cart"); break;
    case 4: std::snprintf(path, sizeof path, "/login"); break;
    case 5: std::snprintf(path, sizeof path, "/static/app.%u.js", id % 8); break;
    default: std::snprintf(path, sizeof path, "/api/search?q=item%u", id); break;
    }

    uint64_t duration;
    if (status == 504) duration = 30000 + below(500);
    else if (status >= 500) duration = 50 + below(2000);
    else if (below(100) < 2) duration = 1000 + below(9000);
    else duration = 2 + below(180);
    const uint64_t bytes = status == 304 ? 0 : status < 300 ? 200 + below(60000) : 100 + below(900);

    char line[512];
    const int n = std::snprintf(
        line, sizeof line, "%02u-12-2026 %02u:%02u:%02u 10.%u.%u.%u %s %s %d %llu %llu %s user=u%u session=s%05x\n",
        day, hour, minute, second, static_cast<unsigned>(below(4)), static_cast<unsigned>(below(32)),
        static_cast<unsigned>(1 + below(250)), method, path, status, static_cast<unsigned long long>(bytes),
        static_cast<unsigned long long>(duration), kAgents[below(std::size(kAgents))],
        static_cast<unsigned>(below(5000)), static_cast<unsigned>(below(0x100000)));
    out.append(line, static_cast<size_t>(n));

    if (status >= 500) {
        ++stats_.serverErrors;
        traceLeft_ = std::min<uint64_t>(1 + below(2), total_ - stats_.lines - 1);
        traceLine_ = status == 504 ? 3 : below(3);
    }
}

void AccessLogGenerator::appendTraceLine(std::string& out) {
    char line[160];
    const unsigned number = static_cast<unsigned>(20 + below(400));
    int n = std::snprintf(line, sizeof line - 1, kTraceFrames[traceLine_], number);
    n = std::clamp(n, 0, static_cast<int>(sizeof line) - 2);
    line[n++] = '\n';
    out.append(line, static_cast<size_t>(n));
    traceLine_ = (traceLine_ + 1) % 3;
}

int writeAccessLog(const std::string& path, uint64_t lines, uint64_t seed, AccessLogStats& stats,
                   std::string& error) {
    if (lines < 1 || lines > kMaxLines) {
        error = "the line count must be between 1 and " + std::to_string(kMaxLines);
        return 1;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = path + " exists and is not a regular file";
        return 1;
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return 1;
    }
    AccessLogGenerator gen(lines, seed);
    std::string buffer;
    buffer.reserve((1u << 20) + 1024);
    bool ok = true;
    for (bool more = true; more && ok;) {
        while (buffer.size() < (1u << 20) && (more = gen.next(buffer))) {
        }
        ok = buffer.empty() || std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
        buffer.clear();
    }
    const int savedErrno = errno;
    if (std::fclose(f) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + path + ": " + std::strerror(savedErrno ? savedErrno : errno);
        ::unlink(path.c_str()); // ours: created or truncated just now
        return 1;
    }
    stats = gen.stats();
    return 0;
}

int parseGenLogArgs(const std::vector<std::string>& args, GenLogOptions& options, std::string& error) {
    options = GenLogOptions();
    bool haveLines = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            options.help = true;
            return 0;
        }
        if (a == "--lines" || a == "--seed") {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return 2;
            }
            const std::string& v = args[++i];
            uint64_t n = 0;
            if (!parseCount(v, n)) {
                error = "bad " + a + " value [" + v + "]: a decimal number is needed";
                return 2;
            }
            if (a == "--seed") {
                options.seed = n;
                continue;
            }
            if (n < 1 || n > kMaxLines) {
                error = "--lines must be between 1 and " + std::to_string(kMaxLines) + ", got " + v;
                return 2;
            }
            options.lines = n;
            haveLines = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return 2;
        } else if (options.out.empty()) {
            options.out = a;
        } else {
            error = "one output file only, got [" + options.out + "] and [" + a + "]";
            return 2;
        }
    }
    if (!haveLines) {
        error = "--lines is needed";
        return 2;
    }
    if (options.out.empty()) {
        error = "the output file is needed";
        return 2;
    }
    return 0;
}

}
