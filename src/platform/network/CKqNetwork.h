#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/error/CZuError.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/CNMessageBase.h"
#include "platform/network/KqRemoteModuleDescriptor.h"

// A session between two clients over TCP. Every frame is a 4-byte big-endian length followed by
// the XML text of one message. Attaching sends a hello with the remote-module descriptor, the
// local client's name and the installation's shared secret ("sSharedSecret"); the host answers
// with acceptance or refusal before any other frame. Frames above the limit ("nMaxFrameBytes",
// 64 MiB by default) are refused in both directions and break the session.
//
// Timeouts are in seconds; a negative timeout waits without limit. Every operation sets its
// aborted flag when it ended because the time ran out, the peer went away or Abort() was called,
// and clears it otherwise.
//
// A mangled host name carries the host and the port of a client ("host:port", "[v6]:port"), so
// that several clients can run on one machine.
//
// One thread uses a session at a time; Abort() alone may be called from any other thread.
class CKqNetwork {
public:
    static constexpr uint64_t kDisconnectTag = 0x09000102;
    static constexpr int kProtocolVersion = 1;
    // A hello is small; the host reads it with this limit so that a peer cannot make it hold a
    // large buffer before it has proved it knows the secret.
    static constexpr size_t kHelloFrameLimit = 64 * 1024;

    // Error codes of the CZuError results.
    enum Error : int {
        kNotConnected = 0x9001,
        kConnectFailed,
        kTimedOut,
        kPeerClosed,
        kFrameTooLarge,
        kBadMessage,
        kRefused,
        kIoError,
        kBadHostName,
        kSerializeFailed,
        kAborted,
        kAlreadyConnected,
    };

    CKqNetwork();
    // Takes over a connected socket (the accepting side); AcceptHandshake comes next.
    explicit CKqNetwork(int connectedFd);
    ~CKqNetwork();
    CKqNetwork(const CKqNetwork&) = delete;
    CKqNetwork& operator=(const CKqNetwork&) = delete;

    // Connects to the module a remote client serves. remoteHost is a mangled host name; without a
    // port, this instance's "nRemoteModulePort" is used.
    CZuError Attach_RemoteDLL(const std::string& remoteHost, const KqRemoteModuleDescriptor& module,
                              const char* localClientName, int timeoutSeconds, bool& aborted);
    // A probe session to a client's port: success means the client is reachable and accepts us.
    CZuError Attach_RemotePort(const std::string& host, int port, const std::string& shortName,
                               int timeoutSeconds, bool& aborted);

    CZuError SendXMLMessage(const CNMessageBase& msg, int flags, int timeoutSeconds, bool& aborted);
    // The next message of the peer, created with the class its XML names and owned by the caller.
    // msg is null on every error.
    CZuError ReceiveXMLMessage(void* reserved, CNMessageBase*& msg, void* reserved2, int flags,
                               int timeoutSeconds, bool& aborted);
    CZuError ReceiveXMLMessage(std::unique_ptr<CNMessageBase>& msg, int timeoutSeconds, bool& aborted);

    // Answers the peer's disconnect message; the connection stays open for its owner to close.
    CZuError ReplyDisconnect(int timeoutSeconds, bool& aborted);
    // Sends a disconnect message, waits for the peer's answer and closes the connection. The
    // connection is closed whatever the outcome.
    CZuError Disconnect(int timeoutSeconds, bool& aborted);
    // Closes the connection without telling the peer.
    void Close();

    bool IsConnected() const;
    // Open and no error has broken the framing.
    bool IsConnectionGood() const;

    // Splits a mangled host name. A name without a port gives sessionPort (when above 0). On
    // failure lastMessage tells why.
    static CZuError DemangleHostNameToComps(const std::string& mangled, std::string& host, int& port,
                                            int sessionPort, std::string& lastMessage);
    static std::string MangleHostName(const std::string& host, int port);

    // The accepting side: reads the hello, checks the secret and answers it. A probe is answered
    // like any accepted session and reported through `probe`. A wrong secret is refused.
    // `resolve` (may be null) is asked whether the named module can be served; a non-empty
    // answer refuses the session with that text.
    using ModuleResolver = std::string (*)(const KqRemoteModuleDescriptor& module, void* context);
    CZuError AcceptHandshake(const std::string& secret, int timeoutSeconds, KqRemoteModuleDescriptor& module,
                             std::string& peerName, bool& probe, ModuleResolver resolve = nullptr,
                             void* context = nullptr);

    // Breaks the session from another thread: blocked and later calls return kAborted.
    void Abort();

    size_t maxFrameBytes() const { return maxFrameBytes_; }
    void setMaxFrameBytes(size_t limit) { maxFrameBytes_ = limit; }
    const std::string& peerName() const { return peerName_; }

    // Raw frames, for the layers above that carry text they built themselves.
    CZuError sendFrame(std::string_view payload, int timeoutSeconds, bool& aborted);
    CZuError receiveFrame(std::string& payload, size_t limit, int timeoutSeconds, bool& aborted);

private:
    CZuError connectTo(const std::string& host, int port, int timeoutSeconds, bool& aborted);
    CZuError hello(const KqRemoteModuleDescriptor& module, const std::string& clientName,
                   int timeoutSeconds, bool& aborted);
    CZuError writeAll(const char* data, size_t size, int64_t deadlineMs, bool& aborted);
    CZuError readAll(char* data, size_t size, int64_t deadlineMs, bool& aborted, bool firstByteMayEnd);
    CZuError waitFor(short events, int64_t deadlineMs, bool& aborted);
    CZuError fail(CZuError e); // marks the framing broken
    static int64_t deadlineFor(int timeoutSeconds);

    EvLMDebug log_;
    std::mutex fdMu_; // guards closing against Abort()
    std::atomic<int> fd_{-1};
    std::atomic<bool> aborted_{false};
    bool good_ = false;
    size_t maxFrameBytes_;
    std::string peerName_;
    // The texts of the last message sent and received. Batches of many megabytes go back and forth
    // on one session; keeping the buffers spares the allocation and the first touch of every page
    // of a fresh one per message, which costs more than the copy itself.
    std::string sendText_;
    std::string receiveText_;
};

// What the host calls for each accepted connection; exported under a plain name by a module.
using KqRemoteModuleEntry = void (*)(CKqNetwork* connection, void* reserved);
