#pragma once
// Sends records to a syslog receiver as RFC 5424 messages, over UDP (protocol 1) or TCP
// (protocol 2, octet-counted framing of RFC 6587).
//
// One sender belongs to one index helper and is used by one thread at a time.
#include <cstdint>
#include <string>

#include "platform/log/EvLMDebug.h"

namespace LogMonitoring {

class LMSyslogSender : public EvLMDebug {
public:
    static constexpr int kUdp = 1;
    static constexpr int kTcp = 2;

    LMSyslogSender();
    ~LMSyslogSender();
    LMSyslogSender(const LMSyslogSender&) = delete;
    LMSyslogSender& operator=(const LMSyslogSender&) = delete;

    // Resolves the receiver and, for TCP, connects. 0 on success.
    int open(const std::string& host, int port, int protocol);
    // Sends one message whose text is `message`. 0 only when the transport took all of it.
    int send(const std::string& message);
    void close();
    bool isOpen() const;
};

}
