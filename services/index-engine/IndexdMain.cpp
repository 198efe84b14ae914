// lm-indexd --data DIR [--port N] [--bind ADDR]
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "CoreRegistry.h"
#include "IndexServer.h"
#include "platform/log/EvLMDebug.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: lm-indexd --data DIR [--port N] [--bind ADDR]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string data, bind = "127.0.0.1";
    long port = 8983;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        if (a == "--data") data = argv[++i];
        else if (a == "--bind") bind = argv[++i];
        else if (a == "--port") {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end || port < 0 || port > 65535) return usage();
        } else {
            return usage();
        }
    }
    if (data.empty()) return usage();

    // Termination signals are taken by one thread only; every thread started later inherits the
    // blocked mask. A peer closing its socket must not kill the server.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    static const char* kOp = "lm-indexd::main";
    EvLMDebug log;
    lmindexd::CoreRegistry cores(data);
    std::string error;
    if (!cores.loadExisting(error)) {
        log.Error(kOp, "%s", error.c_str());
        std::fprintf(stderr, "lm-indexd: %s\n", error.c_str());
        return 1;
    }
    lmindexd::IndexServer server(cores, bind);
    if (!server.bind(static_cast<int>(port), error)) {
        log.Error(kOp, "%s", error.c_str());
        std::fprintf(stderr, "lm-indexd: %s\n", error.c_str());
        return 1;
    }

    std::atomic<bool> done{false};
    std::thread signals([&] {
        const timespec tick{0, 200 * 1000 * 1000};
        while (!done.load()) {
            if (sigtimedwait(&stopSignals, nullptr, &tick) > 0) {
                log.DebugLvl(kOp, 0, "stop signal received, finishing requests in flight");
                server.stop();
                return;
            }
        }
    });

    std::printf("listening on http://%s:%d/solr\n", server.bindAddress().c_str(), server.port());
    std::fflush(stdout);
    const bool ok = server.run();
    done = true;
    signals.join();
    cores.closeAll();
    log.DebugLvl(kOp, 0, "stopped");
    return ok ? 0 : 1;
}
