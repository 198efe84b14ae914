#pragma once
// Sends records to a syslog receiver as RFC 5424 messages, over UDP (protocol 1) or TCP
// (protocol 2, octet-counted framing of RFC 6587).
//
// One sender belongs to one index helper and is used by one thread at a time.
//
// Every message carries a fixed priority (facility user-level, severity notice), the machine's
// client name as HOSTNAME, "logmonitoring" as APP-NAME, the process id as PROCID and no MSGID or
// structured data; the record text is the MSG.
//
// UDP: one message per datagram. A message longer than the largest UDP payload is cut to that
// size (receivers may truncate anyway) rather than refused, so that one long record does not
// stop forwarding for good. A receiver that refuses (ICMP port unreachable) is only noticed on
// the datagram after the refused one; that send then fails.
// TCP: a broken connection (the receiver closed it, reset it, or a send timed out) is
// re-established once per send before the send reports failure; the whole frame is then sent
// again on the new connection, so a receiver may see a record twice but never a record cut short
// and counted as sent.
// Connecting and sending are bounded by time-outs, so a receiver that stops answering costs at
// most those time-outs per record, never a hung session.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/log/EvLMDebug.h"

namespace LogMonitoring {

class LMSyslogSender : public EvLMDebug {
public:
    static constexpr int kUdp = 1;
    static constexpr int kTcp = 2;

    // <PRI> = facility 1 (user-level) * 8 + severity 5 (notice).
    static constexpr int kPriority = 13;
    static constexpr const char* kAppName = "logmonitoring";
    // The largest payload of one UDP datagram over IPv4.
    static constexpr size_t kMaxDatagram = 65507;

    LMSyslogSender();
    ~LMSyslogSender();
    LMSyslogSender(const LMSyslogSender&) = delete;
    LMSyslogSender& operator=(const LMSyslogSender&) = delete;

    // Resolves the receiver and, for TCP, connects. 0 on success, -1 on failure (bad protocol or
    // port, unknown host, no connection). A sender already open is closed first.
    int open(const std::string& host, int port, int protocol);
    // Sends one message whose text is `message`. 0 only when the transport took all of it; -1
    // when the sender is not open or the receiver could not be reached.
    int send(const std::string& message);
    void close();
    bool isOpen() const;

    // Time-outs of one connect and of one blocked send (defaults 10 s each).
    void setTimeouts(std::chrono::milliseconds connectTimeout, std::chrono::milliseconds sendTimeout);
    // The HOSTNAME written into messages; by default the machine's client name.
    void setHostName(const std::string& name);

    // The RFC 5424 message "<PRI>1 TIMESTAMP HOSTNAME APP-NAME PROCID - - MSG" for `text`.
    // HOSTNAME is reduced to printable US-ASCII without blanks, at most 255 bytes ("-" when
    // nothing is left); TIMESTAMP is UTC with microseconds.
    static std::string formatMessage(std::string_view hostName, long procId,
                                     std::chrono::system_clock::time_point when, std::string_view text);
    // RFC 6587 octet counting: the length in decimal, a blank, the message.
    static std::string octetCounted(std::string_view message);
    // Cuts `message` to at most `limit` bytes without splitting a UTF-8 sequence at the end.
    static void truncateTo(std::string& message, size_t limit);

private:
    // Resolves host_ and connects a socket of protocol_ to the first address that answers.
    int connectSocket();
    // 0 when the socket took all of `data`, else the errno of the failure.
    int sendAll(std::string_view data);
    int sendTcp(const std::string& frame);
    // False when the receiver has closed or reset the connection since the last send.
    bool tcpConnectionLooksAlive();
    void closeSocket();

    int fd_ = -1;
    int protocol_ = 0;
    bool open_ = false;
    std::string host_;
    int port_ = 0;
    std::string hostName_;
    std::chrono::milliseconds connectTimeout_{10000};
    std::chrono::milliseconds sendTimeout_{10000};
};

}
