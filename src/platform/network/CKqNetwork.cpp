#include "platform/network/CKqNetwork.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/messages/XMLDecoder.h"
#include "platform/messages/catalogue/SessionMessages.h"
#include "platform/network/HandshakeMessages.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {

int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Compares without an early exit, so that the time taken tells nothing about the secret.
bool sameSecret(const std::string& a, const std::string& b) {
    size_t n = a.size() > b.size() ? a.size() : b.size();
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (size_t i = 0; i < n; ++i) {
        unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned char>(x ^ y);
    }
    return diff == 0 && !a.empty();
}

size_t configuredFrameLimit() {
    long long v = KQPlatformInfo().getNumberOrDefault(KQPlatformInfo::kPlatformSection, "nMaxFrameBytes");
    return v > 0 ? static_cast<size_t>(v) : (64u << 20);
}

std::string configuredSecret() {
    std::string s;
    KQPlatformInfo().getString(KQPlatformInfo::kPlatformSection, "sSharedSecret", s);
    return s;
}

} // namespace

CKqNetwork::CKqNetwork() : maxFrameBytes_(configuredFrameLimit()) {}

CKqNetwork::CKqNetwork(int connectedFd) : CKqNetwork() {
    fd_ = connectedFd;
    good_ = connectedFd >= 0;
    if (connectedFd >= 0) {
        int one = 1;
        ::setsockopt(connectedFd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_storage ss{};
        socklen_t len = sizeof ss;
        char host[NI_MAXHOST] = "", serv[NI_MAXSERV] = "";
        if (::getpeername(connectedFd, reinterpret_cast<sockaddr*>(&ss), &len) == 0 &&
            ::getnameinfo(reinterpret_cast<sockaddr*>(&ss), len, host, sizeof host, serv, sizeof serv,
                          NI_NUMERICHOST | NI_NUMERICSERV) == 0)
            peerName_ = MangleHostName(host, std::atoi(serv));
    }
}

CKqNetwork::~CKqNetwork() { Close(); }

void CKqNetwork::Close() {
    std::lock_guard<std::mutex> l(fdMu_);
    int fd = fd_.exchange(-1);
    if (fd >= 0) ::close(fd);
    good_ = false;
}

void CKqNetwork::Abort() {
    std::lock_guard<std::mutex> l(fdMu_);
    aborted_ = true;
    int fd = fd_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

bool CKqNetwork::IsConnected() const { return fd_.load() >= 0; }

bool CKqNetwork::IsConnectionGood() const { return fd_.load() >= 0 && good_ && !aborted_; }

int64_t CKqNetwork::deadlineFor(int timeoutSeconds) {
    return timeoutSeconds < 0 ? -1 : nowMs() + static_cast<int64_t>(timeoutSeconds) * 1000;
}

CZuError CKqNetwork::fail(CZuError e) {
    good_ = false;
    return e;
}

CZuError CKqNetwork::waitFor(short events, int64_t deadlineMs, bool& aborted) {
    for (;;) {
        if (aborted_) {
            aborted = true;
            return fail({kAborted, "session aborted"});
        }
        int wait = -1;
        if (deadlineMs >= 0) {
            int64_t left = deadlineMs - nowMs();
            if (left <= 0) {
                aborted = true;
                return {kTimedOut, "session timed out"};
            }
            wait = left > 1000000 ? 1000000 : static_cast<int>(left);
        }
        pollfd p{fd_.load(), events, 0};
        int r = ::poll(&p, 1, wait);
        if (r > 0) return {};
        if (r < 0 && errno != EINTR) return fail(CZuError::fromErrno(errno, "poll"));
    }
}

CZuError CKqNetwork::writeAll(const char* data, size_t size, int64_t deadlineMs, bool& aborted) {
    while (size > 0) {
        CZuError e = waitFor(POLLOUT, deadlineMs, aborted);
        if (e.IsError()) return e.GetErrorCode() == kTimedOut ? fail(e) : e;
        ssize_t n = ::send(fd_.load(), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        aborted = true;
        if (aborted_) return fail({kAborted, "session aborted"});
        return fail({kPeerClosed, std::string("peer closed the session: ") + std::strerror(errno)});
    }
    return {};
}

CZuError CKqNetwork::readAll(char* data, size_t size, int64_t deadlineMs, bool& aborted, bool firstByteMayEnd) {
    size_t got = 0;
    while (got < size) {
        CZuError e = waitFor(POLLIN, deadlineMs, aborted);
        if (e.IsError()) {
            // A time-out in the middle of a frame leaves the stream unusable.
            if (got > 0 || !firstByteMayEnd) return fail(e);
            return e;
        }
        ssize_t n = ::recv(fd_.load(), data + got, size - got, MSG_DONTWAIT);
        if (n > 0) {
            got += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        aborted = true;
        if (aborted_) return fail({kAborted, "session aborted"});
        if (n == 0 && got == 0 && firstByteMayEnd) return fail({kPeerClosed, "peer closed the session"});
        return fail({kPeerClosed, "peer closed the session in the middle of a frame"});
    }
    return {};
}

CZuError CKqNetwork::sendFrame(std::string_view payload, int timeoutSeconds, bool& aborted) {
    aborted = false;
    if (fd_.load() < 0) return {kNotConnected, "not connected"};
    if (!good_) return {kIoError, "session is broken"};
    if (payload.size() > maxFrameBytes_ || payload.size() > 0xFFFFFFFFu)
        return {kFrameTooLarge, "frame of " + std::to_string(payload.size()) + " bytes is above the limit of " +
                                    std::to_string(maxFrameBytes_)};
    int64_t deadline = deadlineFor(timeoutSeconds);
    uint32_t len = htonl(static_cast<uint32_t>(payload.size()));
    char head[4];
    std::memcpy(head, &len, 4);
    CZuError e = writeAll(head, 4, deadline, aborted);
    if (e.IsError()) return fail(e);
    e = writeAll(payload.data(), payload.size(), deadline, aborted);
    return e.IsError() ? fail(e) : e;
}

CZuError CKqNetwork::receiveFrame(std::string& payload, size_t limit, int timeoutSeconds, bool& aborted) {
    aborted = false;
    payload.clear();
    if (fd_.load() < 0) return {kNotConnected, "not connected"};
    if (!good_) return {kIoError, "session is broken"};
    int64_t deadline = deadlineFor(timeoutSeconds);
    char head[4];
    CZuError e = readAll(head, 4, deadline, aborted, true);
    if (e.IsError()) return e;
    uint32_t len;
    std::memcpy(&len, head, 4);
    len = ntohl(len);
    if (len > limit)
        return fail({kFrameTooLarge, "frame of " + std::to_string(len) + " bytes is above the limit of " +
                                         std::to_string(limit)});
    // Grow with what arrives, so that a length alone never makes us hold its size in memory.
    constexpr size_t kStep = 4u << 20;
    size_t got = 0;
    while (got < len) {
        size_t next = len - got < kStep ? len : got + kStep;
        payload.resize(next);
        e = readAll(payload.data() + got, next - got, deadline, aborted, false);
        if (e.IsError()) {
            payload.clear();
            return e;
        }
        got = next;
    }
    return {};
}

CZuError CKqNetwork::SendXMLMessage(const CNMessageBase& msg, int /*flags*/, int timeoutSeconds, bool& aborted) {
    aborted = false;
    if (msg.serializeInto(sendText_) != 0) return {kSerializeFailed, "message could not be serialised"};
    return sendFrame(sendText_, timeoutSeconds, aborted);
}

CZuError CKqNetwork::ReceiveXMLMessage(std::unique_ptr<CNMessageBase>& msg, int timeoutSeconds, bool& aborted) {
    msg.reset();
    CZuError e = receiveFrame(receiveText_, maxFrameBytes_, timeoutSeconds, aborted);
    if (e.IsError()) return e;
    msg = XMLDecoder::decode(receiveText_);
    // The frame was read whole, so the stream stays in step; the caller decides what to do.
    if (!msg) return {kBadMessage, "received a frame that is not a known message"};
    return {};
}

CZuError CKqNetwork::ReceiveXMLMessage(void*, CNMessageBase*& msg, void*, int, int timeoutSeconds, bool& aborted) {
    std::unique_ptr<CNMessageBase> m;
    CZuError e = ReceiveXMLMessage(m, timeoutSeconds, aborted);
    msg = m.release();
    return e;
}

CZuError CKqNetwork::ReplyDisconnect(int timeoutSeconds, bool& aborted) {
    KqNetwork::DisconnectMessage reply;
    return SendXMLMessage(reply, 0, timeoutSeconds, aborted);
}

CZuError CKqNetwork::Disconnect(int timeoutSeconds, bool& aborted) {
    aborted = false;
    if (fd_.load() < 0) return {kNotConnected, "not connected"};
    CZuError result;
    if (good_) {
        KqNetwork::DisconnectMessage bye;
        result = SendXMLMessage(bye, 0, timeoutSeconds, aborted);
        int64_t deadline = deadlineFor(timeoutSeconds);
        // Messages the peer sent before it saw ours are dropped until its answer arrives.
        while (!result.IsError()) {
            int left = deadline < 0 ? -1 : static_cast<int>((deadline - nowMs() + 999) / 1000);
            if (deadline >= 0 && left <= 0) {
                aborted = true;
                result = {kTimedOut, "no answer to the disconnect message"};
                break;
            }
            std::unique_ptr<CNMessageBase> m;
            result = ReceiveXMLMessage(m, left, aborted);
            if (result.GetErrorCode() == kBadMessage) result = {};
            else if (!result.IsError() && m->getTagID() == kDisconnectTag) break;
        }
    }
    Close();
    return result;
}

CZuError CKqNetwork::DemangleHostNameToComps(const std::string& mangled, std::string& host, int& port,
                                             int sessionPort, std::string& lastMessage) {
    host.clear();
    port = 0;
    std::string portText;
    if (!mangled.empty() && mangled.front() == '[') {
        size_t close = mangled.find(']');
        if (close == std::string::npos) {
            lastMessage = "unterminated address in host name [" + mangled + "]";
            return {kBadHostName, lastMessage};
        }
        host = mangled.substr(1, close - 1);
        if (close + 1 < mangled.size()) {
            if (mangled[close + 1] != ':') {
                lastMessage = "unexpected text after the address in host name [" + mangled + "]";
                return {kBadHostName, lastMessage};
            }
            portText = mangled.substr(close + 2);
        }
    } else {
        size_t colon = mangled.rfind(':');
        if (colon != std::string::npos && mangled.find(':') != colon) {
            lastMessage = "an IPv6 address needs brackets in host name [" + mangled + "]";
            return {kBadHostName, lastMessage};
        }
        host = mangled.substr(0, colon);
        if (colon != std::string::npos) portText = mangled.substr(colon + 1);
    }
    if (host.empty()) {
        lastMessage = "no host in host name [" + mangled + "]";
        return {kBadHostName, lastMessage};
    }
    if (portText.empty()) {
        if (sessionPort <= 0 || sessionPort > 65535) {
            lastMessage = "no port in host name [" + mangled + "]";
            return {kBadHostName, lastMessage};
        }
        port = sessionPort;
        lastMessage.clear();
        return {};
    }
    long p = 0;
    for (char c : portText) {
        if (c < '0' || c > '9' || p > 65535) {
            p = -1;
            break;
        }
        p = p * 10 + (c - '0');
    }
    if (p <= 0 || p > 65535) {
        lastMessage = "bad port in host name [" + mangled + "]";
        host.clear();
        return {kBadHostName, lastMessage};
    }
    port = static_cast<int>(p);
    lastMessage.clear();
    return {};
}

std::string CKqNetwork::MangleHostName(const std::string& host, int port) {
    std::string h = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return h + ":" + std::to_string(port);
}

CZuError CKqNetwork::connectTo(const std::string& host, int port, int timeoutSeconds, bool& aborted) {
    aborted = false;
    if (fd_.load() >= 0) return {kAlreadyConnected, "session is already connected"};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* res = nullptr;
    std::string serv = std::to_string(port);
    int gai = ::getaddrinfo(host.c_str(), serv.c_str(), &hints, &res);
    if (gai != 0) return {kConnectFailed, "cannot resolve [" + host + "]: " + ::gai_strerror(gai)};
    int64_t deadline = deadlineFor(timeoutSeconds);
    CZuError last{kConnectFailed, "no address for [" + host + "]"};
    for (addrinfo* a = res; a; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            last = CZuError::fromErrno(errno, "socket");
            continue;
        }
        {
            std::lock_guard<std::mutex> l(fdMu_);
            fd_ = fd;
        }
        good_ = true;
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r != 0 && errno == EINPROGRESS) {
            CZuError w = waitFor(POLLOUT, deadline, aborted);
            int err = 0;
            socklen_t len = sizeof err;
            if (w.IsError()) {
                last = w;
            } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0) {
                r = 0;
            } else {
                last = {kConnectFailed, "cannot connect to " + MangleHostName(host, port) + ": " + std::strerror(err)};
            }
        } else if (r != 0) {
            last = {kConnectFailed, "cannot connect to " + MangleHostName(host, port) + ": " + std::strerror(errno)};
        }
        if (r == 0) {
            int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            peerName_ = MangleHostName(host, port);
            ::freeaddrinfo(res);
            return {};
        }
        Close();
        if (aborted) break;
    }
    ::freeaddrinfo(res);
    return last;
}

CZuError CKqNetwork::hello(const KqRemoteModuleDescriptor& module, const std::string& clientName,
                           int timeoutSeconds, bool& aborted) {
    KqSession::Hello h;
    h.set_moduleName(module.moduleName);
    h.set_entryName(module.entryName);
    h.set_number(module.number);
    h.set_clientName(clientName);
    h.set_secret(configuredSecret());
    h.set_protocolVersion(kProtocolVersion);
    CZuError e = SendXMLMessage(h, 0, timeoutSeconds, aborted);
    if (e.IsError()) return e;
    std::unique_ptr<CNMessageBase> answer;
    e = ReceiveXMLMessage(answer, timeoutSeconds, aborted);
    if (e.IsError()) return e;
    auto* accept = answer->as<KqSession::Accept>();
    if (!accept) return fail({kBadMessage, "the host did not answer the hello"});
    if (accept->result() != 0)
        return fail({kRefused, "the host refused the session: " + accept->text()});
    return {};
}

CZuError CKqNetwork::Attach_RemoteDLL(const std::string& remoteHost, const KqRemoteModuleDescriptor& module,
                                      const char* localClientName, int timeoutSeconds, bool& aborted) {
    aborted = false;
    std::string host, why;
    int port = 0;
    int defaultPort = static_cast<int>(
        KQPlatformInfo().getNumberOrDefault(KQPlatformInfo::kPlatformSection, "nRemoteModulePort"));
    CZuError e = DemangleHostNameToComps(remoteHost, host, port, defaultPort, why);
    if (e.IsError()) return e;
    std::string name = localClientName ? localClientName : KQPlatformInfo().getPhysicalMachine();
    e = connectTo(host, port, timeoutSeconds, aborted);
    if (!e.IsError()) e = hello(module, name, timeoutSeconds, aborted);
    if (e.IsError()) {
        log_.DebugLvl("CKqNetwork::Attach_RemoteDLL", 1, "attach to %s module %s/%s failed: %s",
                      remoteHost.c_str(), module.moduleName, module.entryName, e.AsString().c_str());
        Close();
    }
    return e;
}

CZuError CKqNetwork::Attach_RemotePort(const std::string& host, int port, const std::string& shortName,
                                       int timeoutSeconds, bool& aborted) {
    aborted = false;
    CZuError e = connectTo(host, port, timeoutSeconds, aborted);
    if (!e.IsError()) e = hello(KqRemoteModuleDescriptor("", "", 0), shortName, timeoutSeconds, aborted);
    if (e.IsError()) Close();
    return e;
}

CZuError CKqNetwork::AcceptHandshake(const std::string& secret, int timeoutSeconds, KqRemoteModuleDescriptor& module,
                                     std::string& peerName, bool& probe, ModuleResolver resolve, void* context) {
    bool aborted = false;
    probe = false;
    std::string text;
    CZuError e = receiveFrame(text, kHelloFrameLimit, timeoutSeconds, aborted);
    if (e.IsError()) return e;
    std::unique_ptr<CNMessageBase> m = XMLDecoder::decode(text);
    auto* h = m ? m->as<KqSession::Hello>() : nullptr;
    if (!h) return fail({kBadMessage, "the first frame is not a session hello"});
    peerName = h->clientName();
    auto refuse = [&](const std::string& why) {
        KqSession::Accept no;
        no.set_result(kRefused);
        no.set_text(why);
        bool ab = false;
        SendXMLMessage(no, 0, timeoutSeconds, ab);
        return fail({kRefused, why});
    };
    if (!sameSecret(h->secret(), secret)) return refuse("wrong shared secret");
    module = KqRemoteModuleDescriptor(h->moduleName(), h->entryName(), static_cast<int>(h->number()));
    probe = h->moduleName().empty();
    if (!probe && resolve) {
        std::string why = resolve(module, context);
        if (!why.empty()) return refuse(why);
    }
    KqSession::Accept yes;
    yes.set_result(0);
    yes.set_text("accepted");
    return SendXMLMessage(yes, 0, timeoutSeconds, aborted);
}
