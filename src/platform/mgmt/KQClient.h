#pragma once
#include <cstdint>
#include <string>

// One client of the suite, read from the clients table of the management database (id, name,
// short name, host name and remote-module port, and the mangled network host name "host:port"
// under which sessions reach it). The record is read once, when the object is constructed.
// Every getter returns 0 when the client exists and non-zero otherwise.
class KQClient {
public:
    explicit KQClient(uint64_t clientId);
    // The two numbers are reserved and ignored.
    KQClient(const std::string& clientName, int reserved1, int reserved2);

    bool exists() const { return found_; }
    // The id, 0 when there is no such client.
    int getClientId(uint64_t& id) const;
    int getClientName(std::string& name) const;
    int getNetworkHostnameMangled(std::string& name) const;
    int getKQDPort(int& port) const;
    int getShortName(std::string& name) const;
    // The plain host name the client's machine is reached at (without port).
    int getHostName(std::string& name) const;

private:
    void load(const char* where, uint64_t id, const std::string* name);

    bool found_ = false;
    uint64_t id_ = 0;
    std::string name_, shortName_, hostName_, networkHostName_;
    int kqdPort_ = 0;
};
