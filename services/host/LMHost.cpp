#include "LMHost.h"

#include <unistd.h>

#include <chrono>

#include "platform/registry/KQPlatformInfo.h"
#include "platform/threads/KqThread.h"

namespace {
long long numberOr(const KQPlatformInfo& info, const char* section, const char* key, long long fallback) {
    long long v = 0;
    return info.getNumber(section, key, v) && v > 0 ? v : fallback;
}
} // namespace

LMHost::~LMHost() {
    listener_.close();
    for (Session& s : sessions_) {
        s.connection->Abort();
        if (s.thread.joinable()) s.thread.join();
    }
}

int LMHost::open(std::string& why) {
    KQPlatformInfo info;
    int port = 0;
    if (!info.getNumber(KQPlatformInfo::kPlatformSection, "nRemoteModulePort", port) || port <= 0 || port > 65535) {
        why = "no valid nRemoteModulePort in section Platform";
        return 1;
    }
    if (!info.getString(KQPlatformInfo::kPlatformSection, "sSharedSecret", secret_) || secret_.empty()) {
        why = "no sSharedSecret in section Platform; run lmctl init first";
        return 1;
    }
    std::string bind;
    info.getString(KQPlatformInfo::kPlatformSection, "sBindAddress", bind);
    handshakeTimeout_ = static_cast<int>(numberOr(info, kSection, "nHandshakeTimeout", 10));
    shutdownWait_ = static_cast<int>(numberOr(info, kSection, "nShutdownWaitSeconds", 30));
    maxSessions_ = static_cast<size_t>(numberOr(info, kSection, "nMaxSessions", 256));
    modules_.loadFromRegistry();
    CZuError e = listener_.listen(bind.empty() ? "127.0.0.1" : bind, port);
    if (e.IsError()) {
        why = e.AsString();
        return 1;
    }
    return 0;
}

int LMHost::run(const volatile std::atomic<bool>& stop) {
    log_.DebugLvl("LMHost::run", 0, "serving remote modules on %s",
                  CKqNetwork::MangleHostName(address(), port()).c_str());
    while (!stop) {
        CZuError err;
        int fd = listener_.accept(200, err);
        reapFinished();
        if (fd >= 0) {
            startSession(fd);
        } else if (err.IsError()) {
            log_.Error("LMHost::run", "accept failed: %s", err.AsString().c_str());
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    return shutdown();
}

void LMHost::startSession(int fd) {
    std::lock_guard<std::mutex> l(mu_);
    if (sessions_.size() >= maxSessions_) {
        log_.Error("LMHost::startSession", "%zu sessions are open already; connection closed", sessions_.size());
        ::close(fd);
        return;
    }
    Session& s = sessions_.emplace_back();
    s.id = nextId_++;
    s.connection = std::make_shared<CKqNetwork>(fd);
    log_.DebugLvl("LMHost::startSession", 0, "session %llu: connection from %s",
                  static_cast<unsigned long long>(s.id), s.connection->peerName().c_str());
    s.thread = std::thread([this, &s] { serve(s); });
}

std::string LMHost::resolveModule(const KqRemoteModuleDescriptor& module, void* self) {
    std::string why;
    if (!static_cast<LMHost*>(self)->modules_.resolve(module, why)) return why;
    return {};
}

void LMHost::serve(Session& s) {
    kqSetThreadName("lm-session");
    CKqNetwork& c = *s.connection;
    const auto id = static_cast<unsigned long long>(s.id);
    KqRemoteModuleDescriptor module;
    std::string peer, why;
    bool probe = false;
    CZuError e = c.AcceptHandshake(secret_, handshakeTimeout_, module, peer, probe, &LMHost::resolveModule, this);
    if (e.IsError()) {
        log_.Error("LMHost::serve", "session %llu from %s refused: %s", id, c.peerName().c_str(), e.AsString().c_str());
    } else if (probe) {
        // A reachability probe: its only further frame is the disconnect.
        bool aborted = false;
        std::unique_ptr<CNMessageBase> m;
        if (!c.ReceiveXMLMessage(m, handshakeTimeout_, aborted).IsError() &&
            m->getTagID() == CKqNetwork::kDisconnectTag)
            c.ReplyDisconnect(handshakeTimeout_, aborted);
        log_.DebugLvl("LMHost::serve", 1, "session %llu: probe from %s", id, peer.c_str());
    } else {
        KqRemoteModuleEntry entry = modules_.resolve(module, why);
        log_.DebugLvl("LMHost::serve", 0, "session %llu: client %s attached to %s/%s", id, peer.c_str(),
                      module.moduleName, module.entryName);
        entry(&c, nullptr);
        log_.DebugLvl("LMHost::serve", 0, "session %llu: ended", id);
    }
    c.Close();
    s.done = true;
}

void LMHost::reapFinished() {
    std::list<Session> finished;
    {
        std::lock_guard<std::mutex> l(mu_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            auto next = std::next(it);
            if (it->done) finished.splice(finished.end(), sessions_, it);
            it = next;
        }
    }
    for (Session& s : finished) s.thread.join();
}

size_t LMHost::runningCount() {
    std::lock_guard<std::mutex> l(mu_);
    return sessions_.size();
}

int LMHost::shutdown() {
    listener_.close();
    log_.DebugLvl("LMHost::shutdown", 0, "stopping: %zu sessions open, waiting up to %d seconds", runningCount(),
                  shutdownWait_);
    auto waitUntil = [this](std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            reapFinished();
            if (runningCount() == 0 || std::chrono::steady_clock::now() >= deadline) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    };
    waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(shutdownWait_));
    if (runningCount() > 0) {
        std::lock_guard<std::mutex> l(mu_);
        log_.Error("LMHost::shutdown", "aborting %zu sessions still open", sessions_.size());
        for (Session& s : sessions_) s.connection->Abort();
    }
    // An aborted session returns from its next network call; a module stuck elsewhere cannot be
    // waited for without end.
    waitUntil(std::chrono::steady_clock::now() + std::chrono::seconds(5));
    size_t stuck = runningCount();
    if (stuck > 0) log_.Error("LMHost::shutdown", "%zu sessions did not end", stuck);
    return static_cast<int>(stuck);
}
