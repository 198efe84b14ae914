#include "platform/network/CKqNetworkListener.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

CKqNetworkListener::~CKqNetworkListener() { close(); }

void CKqNetworkListener::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

CZuError CKqNetworkListener::listen(const std::string& bindAddress, int port, int backlog) {
    close();
    std::string addr = bindAddress.empty() ? "127.0.0.1" : bindAddress;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* res = nullptr;
    std::string serv = std::to_string(port);
    if (int gai = ::getaddrinfo(addr.c_str(), serv.c_str(), &hints, &res); gai != 0)
        return {EINVAL, "bad bind address [" + addr + "]: " + ::gai_strerror(gai)};
    CZuError last{EINVAL, "no address to bind"};
    for (addrinfo* a = res; a && fd_ < 0; a = a->ai_next) {
        int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            last = CZuError::fromErrno(errno, "socket");
            continue;
        }
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, backlog) != 0) {
            last = CZuError::fromErrno(errno, "cannot listen on " + addr + ":" + serv);
            ::close(fd);
            continue;
        }
        fd_ = fd;
    }
    ::freeaddrinfo(res);
    if (fd_ < 0) return last;
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    char host[NI_MAXHOST] = "", sv[NI_MAXSERV] = "";
    if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len) == 0 &&
        ::getnameinfo(reinterpret_cast<sockaddr*>(&ss), len, host, sizeof host, sv, sizeof sv,
                      NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
        address_ = host;
        port_ = std::atoi(sv);
    }
    return {};
}

int CKqNetworkListener::accept(int timeoutMilliseconds, CZuError& err) {
    err = {};
    if (fd_ < 0) {
        err = {EBADF, "not listening"};
        return -1;
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, timeoutMilliseconds);
    if (r == 0 || (r < 0 && errno == EINTR)) return -1;
    if (r < 0) {
        err = CZuError::fromErrno(errno, "poll");
        return -1;
    }
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0 && errno != EAGAIN && errno != EINTR && errno != ECONNABORTED)
        err = CZuError::fromErrno(errno, "accept");
    return fd;
}
