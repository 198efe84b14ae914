#include "indexing/LMSyslogSender.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "platform/registry/KQPlatformInfo.h"

namespace LogMonitoring {

namespace {

// RFC 5424 HOSTNAME: 1 to 255 printable US-ASCII characters, no blanks.
constexpr size_t kMaxHostName = 255;

std::string machineName() {
    std::string name = KQPlatformInfo().getPhysicalMachine();
    if (name.empty()) {
        char buffer[256] = {};
        if (::gethostname(buffer, sizeof buffer - 1) == 0) name = buffer;
    }
    return name;
}

std::string safeHostName(std::string_view name) {
    std::string out;
    out.reserve(name.size() < kMaxHostName ? name.size() : kMaxHostName);
    for (char c : name) {
        if (out.size() == kMaxHostName) break;
        unsigned char u = static_cast<unsigned char>(c);
        out.push_back(u >= 33 && u <= 126 ? c : '_');
    }
    // RFC 5424's nil value; returned as a new string (GCC 12 warns falsely on assigning it).
    return out.empty() ? std::string(1, '-') : out;
}

timeval toTimeval(std::chrono::milliseconds ms) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
    return tv;
}

// Connects a non-blocking socket and waits at most `timeout` for the handshake. 0 or an errno.
int connectWithin(int fd, const sockaddr* address, socklen_t length, std::chrono::milliseconds timeout) {
    if (::connect(fd, address, length) == 0) return 0;
    if (errno != EINPROGRESS && errno != EINTR) return errno;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return ETIMEDOUT;
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, static_cast<int>(left.count()));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return errno;
        if (r == 0) return ETIMEDOUT;
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
        return error;
    }
}

} // namespace

LMSyslogSender::LMSyslogSender() : hostName_(safeHostName(machineName())) {}

LMSyslogSender::~LMSyslogSender() { closeSocket(); }

void LMSyslogSender::setTimeouts(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds sendTimeout) {
    // A zero SO_SNDTIMEO would mean "wait for ever", which is what the time-outs are there to prevent.
    connectTimeout_ = connectTimeout.count() > 0 ? connectTimeout : std::chrono::milliseconds(1);
    sendTimeout_ = sendTimeout.count() > 0 ? sendTimeout : std::chrono::milliseconds(1);
}

void LMSyslogSender::setHostName(const std::string& name) { hostName_ = safeHostName(name); }

bool LMSyslogSender::isOpen() const { return open_; }

int LMSyslogSender::open(const std::string& host, int port, int protocol) {
    close();
    if (protocol != kUdp && protocol != kTcp) {
        Error("LMSyslogSender::open", "unsupported syslog protocol [%d]", protocol);
        return -1;
    }
    if (port <= 0 || port > 65535) {
        Error("LMSyslogSender::open", "invalid syslog port [%d]", port);
        return -1;
    }
    if (host.empty()) {
        Error("LMSyslogSender::open", "no syslog host given");
        return -1;
    }
    host_ = host;
    port_ = port;
    protocol_ = protocol;
    if (connectSocket() != 0) return -1;
    open_ = true;
    DebugLvl("LMSyslogSender::open", 4, "syslog receiver [%s:%d] over %s", host_.c_str(), port_,
             protocol_ == kTcp ? "TCP" : "UDP");
    return 0;
}

void LMSyslogSender::close() {
    closeSocket();
    open_ = false;
}

void LMSyslogSender::closeSocket() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int LMSyslogSender::connectSocket() {
    closeSocket();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = protocol_ == kTcp ? SOCK_STREAM : SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    std::string service = std::to_string(port_);
    int rc = ::getaddrinfo(host_.c_str(), service.c_str(), &hints, &found);
    if (rc != 0) {
        Error("LMSyslogSender::connectSocket", "cannot resolve syslog host [%s]: %s", host_.c_str(),
              ::gai_strerror(rc));
        return -1;
    }
    int lastError = 0;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        lastError = connectWithin(fd, a->ai_addr, a->ai_addrlen, connectTimeout_);
        if (lastError == 0) {
            // Blocking from here on, with SO_SNDTIMEO bounding every send.
            int flags = ::fcntl(fd, F_GETFL);
            timeval tv = toTimeval(sendTimeout_);
            if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
                ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv) != 0) {
                lastError = errno;
                ::close(fd);
                continue;
            }
            fd_ = fd;
            break;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) {
        Error("LMSyslogSender::connectSocket", "cannot connect to syslog receiver [%s:%d]: %s", host_.c_str(),
              port_, std::strerror(lastError));
        return -1;
    }
    return 0;
}

int LMSyslogSender::sendAll(std::string_view data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? ETIMEDOUT : errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

bool LMSyslogSender::tcpConnectionLooksAlive() {
    // A syslog receiver never writes to us: anything readable is either the end of the
    // connection or data we can drop. Without this check, the first record after the receiver
    // went away would land in the kernel's buffer and be counted as sent.
    char sink[512];
    for (int rounds = 0; rounds < 64; ++rounds) {
        ssize_t n = ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n == 0) return false;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true;
}

int LMSyslogSender::sendTcp(const std::string& frame) {
    bool reconnected = false;
    if (fd_ >= 0 && !tcpConnectionLooksAlive()) {
        DebugLvl("LMSyslogSender::send", 2, "syslog receiver [%s:%d] closed the connection, reconnecting",
                 host_.c_str(), port_);
        closeSocket();
    }
    if (fd_ < 0) {
        reconnected = true;
        if (connectSocket() != 0) return -1;
    }
    int error = sendAll(frame);
    if (error == 0) return 0;
    closeSocket();
    if (reconnected) {
        Error("LMSyslogSender::send", "sending to syslog receiver [%s:%d] failed: %s", host_.c_str(), port_,
              std::strerror(error));
        return -1;
    }
    DebugLvl("LMSyslogSender::send", 2, "sending to syslog receiver [%s:%d] failed (%s), reconnecting once",
             host_.c_str(), port_, std::strerror(error));
    if (connectSocket() != 0) return -1;
    error = sendAll(frame);
    if (error == 0) return 0;
    closeSocket();
    Error("LMSyslogSender::send", "sending to syslog receiver [%s:%d] failed: %s", host_.c_str(), port_,
          std::strerror(error));
    return -1;
}

int LMSyslogSender::send(const std::string& message) {
    if (!open_) {
        Error("LMSyslogSender::send", "syslog connection is not initialized");
        return -1;
    }
    std::string formatted =
        formatMessage(hostName_, static_cast<long>(::getpid()), std::chrono::system_clock::now(), message);
    if (protocol_ == kTcp) return sendTcp(octetCounted(formatted));

    if (formatted.size() > kMaxDatagram) {
        DebugLvl("LMSyslogSender::send", 3, "syslog message of %zu bytes cut to %zu bytes for UDP",
                 formatted.size(), kMaxDatagram);
        truncateTo(formatted, kMaxDatagram);
    }
    for (;;) {
        ssize_t n = ::send(fd_, formatted.data(), formatted.size(), MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(formatted.size())) return 0;
        if (n < 0 && errno == EINTR) continue;
        // ECONNREFUSED here is the receiver's answer to an earlier datagram: it is not listening.
        Error("LMSyslogSender::send", "sending to syslog receiver [%s:%d] failed: %s", host_.c_str(), port_,
              n < 0 ? std::strerror(errno) : "datagram cut short");
        return -1;
    }
}

std::string LMSyslogSender::formatMessage(std::string_view hostName, long procId,
                                          std::chrono::system_clock::time_point when, std::string_view text) {
    using namespace std::chrono;
    auto sinceEpoch = duration_cast<microseconds>(when.time_since_epoch());
    auto seconds = duration_cast<std::chrono::seconds>(sinceEpoch);
    auto micros = sinceEpoch - duration_cast<microseconds>(seconds);
    if (micros.count() < 0) { // instants before 1970 round towards the earlier second
        seconds -= std::chrono::seconds(1);
        micros += std::chrono::seconds(1);
    }
    time_t t = static_cast<time_t>(seconds.count());
    tm utc{};
    ::gmtime_r(&t, &utc);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%06ldZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<long>(micros.count()));

    std::string host = safeHostName(hostName);
    std::string out;
    out.reserve(64 + host.size() + text.size());
    out += '<';
    out += std::to_string(kPriority);
    out += ">1 ";
    out += stamp;
    out += ' ';
    out += host;
    out += ' ';
    out += kAppName;
    out += ' ';
    out += std::to_string(procId);
    out += " - - ";
    out += text;
    return out;
}

std::string LMSyslogSender::octetCounted(std::string_view message) {
    std::string out = std::to_string(message.size());
    out.reserve(out.size() + 1 + message.size());
    out += ' ';
    out += message;
    return out;
}

void LMSyslogSender::truncateTo(std::string& message, size_t limit) {
    if (message.size() <= limit) return;
    size_t cut = limit;
    // Step back over continuation bytes so that a multi-byte character is dropped whole; at most
    // three, since no UTF-8 sequence is longer than four bytes.
    size_t back = 0;
    while (cut > 0 && back < 3 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) {
        --cut;
        ++back;
    }
    if ((static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) cut = limit; // not UTF-8 after all
    message.resize(cut);
}

}
