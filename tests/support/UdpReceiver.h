#pragma once
// A UDP receiver on a free loopback port, for tests of syslog forwarding.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

namespace lmtest {

class UdpReceiver {
public:
    UdpReceiver() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
    }
    ~UdpReceiver() { close(); }
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int port() const { return port_; }
    // One datagram, or nothing within the time.
    std::optional<std::string> receive(std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1) return std::nullopt;
        std::string buffer(70000, '\0');
        ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (n < 0) return std::nullopt;
        buffer.resize(static_cast<size_t>(n));
        return buffer;
    }

private:
    int fd_ = -1;
    int port_ = -1;
};

} // namespace lmtest
