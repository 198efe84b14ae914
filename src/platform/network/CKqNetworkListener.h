#pragma once
#include <string>

#include "platform/error/CZuError.h"

// A listening TCP socket for sessions. Binds 127.0.0.1 unless told otherwise. Not thread-safe:
// one thread accepts; close() may be called from that thread only.
class CKqNetworkListener {
public:
    CKqNetworkListener() = default;
    ~CKqNetworkListener();
    CKqNetworkListener(const CKqNetworkListener&) = delete;
    CKqNetworkListener& operator=(const CKqNetworkListener&) = delete;

    // Port 0 picks a free port; port() tells which.
    CZuError listen(const std::string& bindAddress, int port, int backlog = 64);
    // A connected socket (close-on-exec), or -1 when none arrived within the time (err stays
    // clear) or accepting failed (err tells why).
    int accept(int timeoutMilliseconds, CZuError& err);
    void close();

    bool isListening() const { return fd_ >= 0; }
    int port() const { return port_; }
    const std::string& address() const { return address_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::string address_;
};
