// lm-genlog: writes the sample access log of the demo and of the upload benchmark.
#include <cstdio>
#include <string>
#include <vector>

#include "AccessLogGenerator.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    lmgenlog::GenLogOptions o;
    std::string error;
    if (lmgenlog::parseGenLogArgs(args, o, error) != 0) {
        std::fprintf(stderr, "lm-genlog: %s\n%s", error.c_str(), lmgenlog::kGenLogUsage);
        return 2;
    }
    if (o.help) {
        std::fputs(lmgenlog::kGenLogUsage, stdout);
        return 0;
    }
    lmgenlog::AccessLogStats stats;
    if (lmgenlog::writeAccessLog(o.out, o.lines, o.seed, stats, error) != 0) {
        std::fprintf(stderr, "lm-genlog: %s\n", error.c_str());
        return 1;
    }
    std::printf("wrote %s: %llu lines, %llu records, %llu continuation lines, %llu bytes\n", o.out.c_str(),
                static_cast<unsigned long long>(stats.lines), static_cast<unsigned long long>(stats.records),
                static_cast<unsigned long long>(stats.continuationLines),
                static_cast<unsigned long long>(stats.bytes));
    return 0;
}
