// lm-host --registry FILE
// The agent process of one instance: serves remote-module sessions until SIGTERM or SIGINT.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "LMHost.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {

volatile std::atomic<bool> gStop{false};

void onStopSignal(int) { gStop = true; }

int usage() {
    std::fprintf(stderr, "usage: lm-host --registry FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string registry;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--registry" && i + 1 < argc) registry = argv[++i];
        else return usage();
    }
    if (registry.empty()) return usage();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(registry, ec)) {
        std::fprintf(stderr, "lm-host: registry file %s not found\n", registry.c_str());
        return 1;
    }
    KQPlatformInfo::useRegistryFile(registry);

    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    auto* host = new LMHost();
    std::string why;
    if (host->open(why) != 0) {
        std::fprintf(stderr, "lm-host: %s\n", why.c_str());
        delete host;
        return 1;
    }
    std::printf("listening on %s\n", CKqNetwork::MangleHostName(host->address(), host->port()).c_str());
    std::fflush(stdout);
    int stuck = host->run(gStop);
    std::fflush(nullptr);
    if (stuck > 0) _exit(0); // threads of modules that would not end still use the host
    delete host;
    return 0;
}
