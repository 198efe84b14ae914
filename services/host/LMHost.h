#pragma once
#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "LMHostModuleTable.h"
#include "platform/log/EvLMDebug.h"
#include "platform/network/CKqNetwork.h"
#include "platform/network/CKqNetworkListener.h"

// The host process of one instance: accepts remote-module sessions on the instance's port, checks
// each peer's handshake and runs the named module's entry on a thread per connection.
//
// Settings, section "Platform": nRemoteModulePort (required), sBindAddress, sSharedSecret
// (required). Section "Host": nHandshakeTimeout (seconds a peer has to send its hello, 10),
// nShutdownWaitSeconds (how long running calls may go on after a stop request, 30), nMaxSessions
// (sessions served at once; more are closed at once, 256).
class LMHost {
public:
    static constexpr const char* kSection = "Host";

    LMHost() = default;
    ~LMHost();
    LMHost(const LMHost&) = delete;
    LMHost& operator=(const LMHost&) = delete;

    // Reads the settings and starts listening. 0 on success, else a message in `why`.
    int open(std::string& why);
    const std::string& address() const { return listener_.address(); }
    int port() const { return listener_.port(); }

    // Serves until stop flag becomes true, then shuts down: no new sessions, running calls get
    // the shutdown wait to finish, the rest are aborted. Returns the number of session threads
    // that could not be made to end; with any left, the object must not be destroyed (their
    // threads still use it) and the process should end without running destructors.
    int run(const volatile std::atomic<bool>& stop);

private:
    struct Session {
        uint64_t id = 0;
        std::shared_ptr<CKqNetwork> connection;
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void startSession(int fd);
    void serve(Session& s);
    void reapFinished();
    size_t runningCount();
    int shutdown();
    static std::string resolveModule(const KqRemoteModuleDescriptor& module, void* self);

    EvLMDebug log_;
    LMHostModuleTable modules_;
    CKqNetworkListener listener_;
    std::string secret_;
    int handshakeTimeout_ = 10;
    int shutdownWait_ = 30;
    size_t maxSessions_ = 256;
    uint64_t nextId_ = 1;
    std::mutex mu_;
    std::list<Session> sessions_;
};
