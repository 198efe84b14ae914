// Syslog forwarding: message framing, the UDP and TCP transports against receivers on loopback
// ports, and the index helper's syslog operations.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "support/UdpReceiver.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMSyslogSender.h"
#include "platform/log/EvLMDebug.h"

using namespace LogMonitoring;
using namespace std::chrono_literals;

namespace {

// ---- receivers ----

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

bool waitReadable(int fd, std::chrono::milliseconds timeout) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) == 1;
}

using lmtest::UdpReceiver;

class TcpReceiver {
public:
    TcpReceiver() : port_(lmtest::freeLoopbackPort()) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in a = loopback(port_);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listener_, 4) != 0)
            port_ = -1;
    }
    ~TcpReceiver() {
        dropConnection();
        stopListening();
    }
    int port() const { return port_; }
    bool accept(std::chrono::milliseconds timeout = 5s) {
        if (!waitReadable(listener_, timeout)) return false;
        dropConnection();
        conn_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        buffered_.clear();
        return conn_ >= 0;
    }
    // Whether another connection is waiting to be accepted.
    bool pendingConnection() { return waitReadable(listener_, 0ms); }
    void dropConnection() {
        if (conn_ >= 0) ::close(conn_);
        conn_ = -1;
    }
    void stopListening() {
        if (listener_ >= 0) ::close(listener_);
        listener_ = -1;
    }
    // One octet-counted frame: "LEN SP MSG"; nullopt on a malformed count, end or time-out.
    std::optional<std::string> frame(std::chrono::milliseconds timeout = 5s) {
        size_t blank;
        while ((blank = buffered_.find(' ')) == std::string::npos) {
            if (buffered_.size() > 10 || !readMore(timeout)) return std::nullopt;
        }
        std::string count = buffered_.substr(0, blank);
        if (count.empty() || count[0] == '0' || count.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        size_t length = std::stoul(count);
        while (buffered_.size() < blank + 1 + length)
            if (!readMore(timeout)) return std::nullopt;
        std::string message = buffered_.substr(blank + 1, length);
        buffered_.erase(0, blank + 1 + length);
        return message;
    }

private:
    bool readMore(std::chrono::milliseconds timeout) {
        if (!waitReadable(conn_, timeout)) return false;
        char chunk[65536];
        ssize_t n = ::recv(conn_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffered_.append(chunk, static_cast<size_t>(n));
        return true;
    }
    int listener_ = -1;
    int conn_ = -1;
    int port_ = -1;
    std::string buffered_;
};

// ---- RFC 5424 ----

struct Rfc5424 {
    int pri = -1;
    std::string timestamp, hostName, appName, procId, msgId, structuredData, msg;
};

bool isDigits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// "YYYY-MM-DDThh:mm:ss.ffffffZ" (1 to 6 fraction digits) as UTC seconds, or -1.
long long parseUtcTimestamp(const std::string& t) {
    if (t.size() < 22 || !isDigits(t, 0, 4) || t[4] != '-' || !isDigits(t, 5, 2) || t[7] != '-' ||
        !isDigits(t, 8, 2) || t[10] != 'T' || !isDigits(t, 11, 2) || t[13] != ':' || !isDigits(t, 14, 2) ||
        t[16] != ':' || !isDigits(t, 17, 2) || t[19] != '.' || t.back() != 'Z')
        return -1;
    size_t fraction = t.size() - 21;
    if (fraction < 1 || fraction > 6 || !isDigits(t, 20, fraction)) return -1;
    tm parts{};
    parts.tm_year = std::stoi(t.substr(0, 4)) - 1900;
    parts.tm_mon = std::stoi(t.substr(5, 2)) - 1;
    parts.tm_mday = std::stoi(t.substr(8, 2));
    parts.tm_hour = std::stoi(t.substr(11, 2));
    parts.tm_min = std::stoi(t.substr(14, 2));
    parts.tm_sec = std::stoi(t.substr(17, 2));
    return static_cast<long long>(::timegm(&parts));
}

// Splits a message into its header fields and MSG; nullopt when it is not RFC 5424 with
// NILVALUE structured data.
std::optional<Rfc5424> parseRfc5424(const std::string& m) {
    Rfc5424 r;
    size_t close = m.find('>');
    if (m.empty() || m[0] != '<' || close == std::string::npos || close < 2 || close > 4 ||
        !isDigits(m, 1, close - 1) || m.compare(close + 1, 2, "1 ") != 0)
        return std::nullopt;
    r.pri = std::stoi(m.substr(1, close - 1));
    size_t at = close + 3;
    std::string* fields[] = {&r.timestamp, &r.hostName, &r.appName, &r.procId, &r.msgId, &r.structuredData};
    for (std::string* f : fields) {
        size_t blank = m.find(' ', at);
        if (blank == std::string::npos || blank == at) return std::nullopt;
        *f = m.substr(at, blank - at);
        at = blank + 1;
    }
    if (r.structuredData != "-" || r.hostName.size() > 255 || r.appName.size() > 48 || r.procId.size() > 128 ||
        r.msgId.size() > 32 || parseUtcTimestamp(r.timestamp) < 0)
        return std::nullopt;
    r.msg = m.substr(at);
    return r;
}

// Checks the header fields this engine fixes and returns MSG.
std::string expectEngineMessage(const std::optional<std::string>& received, const std::string& hostName) {
    EXPECT_TRUE(received.has_value());
    if (!received) return {};
    auto parsed = parseRfc5424(*received);
    EXPECT_TRUE(parsed.has_value()) << *received;
    if (!parsed) return {};
    EXPECT_EQ(parsed->pri, 13);
    EXPECT_EQ(parsed->hostName, hostName);
    EXPECT_EQ(parsed->appName, "logmonitoring");
    EXPECT_EQ(parsed->procId, std::to_string(::getpid()));
    EXPECT_EQ(parsed->msgId, "-");
    long long skew = parseUtcTimestamp(parsed->timestamp) - static_cast<long long>(std::time(nullptr));
    EXPECT_LE(std::llabs(skew), 120) << "timestamp is not UTC now: " << parsed->timestamp;
    return parsed->msg;
}

} // namespace

// ---- framing ----

TEST(LMSyslogFraming, MessageHeaderAndOctetCounting) {
    struct Case {
        std::string hostName;
        std::string expectedHost;
    };
    const std::vector<Case> cases = {
        {"client01", "client01"},
        {"my host\x01\xc3\xa9", "my_host___"}, // blanks, control and non-ASCII bytes are not allowed
        {"", "-"},
        {std::string(300, 'h'), std::string(255, 'h')},
    };
    // 2024-03-05T10:15:00.000042Z
    auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1709633700)) + 42us;
    for (const Case& c : cases) {
        std::string m = LMSyslogSender::formatMessage(c.hostName, 4321, when, "Events: Eventid = {42}  ");
        EXPECT_EQ(m, "<13>1 2024-03-05T10:15:00.000042Z " + c.expectedHost + " logmonitoring 4321 - - Events: Eventid = {42}  ");
    }
    // A record with line breaks and an empty record keep their exact bytes inside the count.
    EXPECT_EQ(LMSyslogSender::octetCounted("a\nb "), "4 a\nb ");
    EXPECT_EQ(LMSyslogSender::octetCounted(""), "0 ");
}

TEST(LMSyslogFraming, TruncationKeepsWholeCharacters) {
    struct Case {
        std::string text;
        size_t limit;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"abcdef", 4, "abcd"},
        {"abc", 10, "abc"},
        {"a\xc3\xa9z", 2, "a"},                 // é would be split
        {"a\xc3\xa9z", 3, "a\xc3\xa9"},
        {"ab\xf0\x9f\x98\x80", 5, "ab"},       // four-byte character
        {"a\x80\x80\x80\x80\x80z", 4, "a\x80\x80\x80"}, // not UTF-8: cut at the limit
    };
    for (const Case& c : cases) {
        std::string s = c.text;
        LMSyslogSender::truncateTo(s, c.limit);
        EXPECT_EQ(s, c.expected) << "limit " << c.limit;
    }
}

// ---- transports ----

TEST(LMSyslogSender, UdpDatagramIsOneRfc5424MessageAndLongRecordsAreCut) {
    UdpReceiver receiver;
    ASSERT_GT(receiver.port(), 0);
    LMSyslogSender sender;
    sender.setHostName("client01");
    ASSERT_EQ(sender.open("127.0.0.1", receiver.port(), LMSyslogSender::kUdp), 0);
    EXPECT_TRUE(sender.isOpen());

    const std::string record = "Events: Eventid = {42}  Description = {Disk full}  ";
    ASSERT_EQ(sender.send(record), 0);
    EXPECT_EQ(expectEngineMessage(receiver.receive(), "client01"), record);

    // Longer than one datagram can carry: the receiver gets the largest datagram, starting with
    // the record.
    std::string longRecord(100000, 'x');
    ASSERT_EQ(sender.send(longRecord), 0);
    auto datagram = receiver.receive();
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->size(), LMSyslogSender::kMaxDatagram);
    std::string msg = expectEngineMessage(datagram, "client01");
    EXPECT_GT(msg.size(), 65000u);
    EXPECT_EQ(longRecord.compare(0, msg.size(), msg), 0);
}

TEST(LMSyslogSender, UdpReceiverThatRefusesMakesTheNextSendFail) {
    UdpReceiver receiver;
    LMSyslogSender sender;
    ASSERT_EQ(sender.open("127.0.0.1", receiver.port(), LMSyslogSender::kUdp), 0);
    receiver.close();
    // The refusal of a datagram comes back as an ICMP answer that a following send reports.
    sender.send("first");
    bool refused = false;
    for (int attempt = 0; attempt < 5 && !refused; ++attempt) {
        refused = sender.send("next") != 0;
        if (!refused) std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(refused);
}

TEST(LMSyslogSender, TcpRecordsArriveAsSeparateOctetCountedFramesOnOneConnection) {
    TcpReceiver receiver;
    ASSERT_GT(receiver.port(), 0);
    LMSyslogSender sender;
    sender.setHostName("client01");
    ASSERT_EQ(sender.open("localhost", receiver.port(), LMSyslogSender::kTcp), 0);
    ASSERT_TRUE(receiver.accept());

    const std::vector<std::string> records = {
        "AuditTrail: Opid = {7}  Details = {line one\nline two}  ",
        "AuditTrail: Opid = {8}  ",
        "AuditTrail: " + std::string(200000, 'y'),
    };
    for (const std::string& r : records) ASSERT_EQ(sender.send(r), 0);
    for (const std::string& r : records) EXPECT_EQ(expectEngineMessage(receiver.frame(), "client01"), r);
    EXPECT_FALSE(receiver.pendingConnection());
}

TEST(LMSyslogSender, TcpFailuresAreReportedNotCountedAsSent) {
    LMSyslogSender sender;
    EXPECT_NE(sender.send("never opened"), 0);

    int closedPort = lmtest::freeLoopbackPort();
    EXPECT_NE(sender.open("127.0.0.1", closedPort, LMSyslogSender::kTcp), 0);
    EXPECT_FALSE(sender.isOpen());
    EXPECT_NE(sender.send("after a failed open"), 0);
    EXPECT_NE(sender.open("no-such-host.invalid", 601, LMSyslogSender::kTcp), 0);
    EXPECT_NE(sender.open("127.0.0.1", 70000, LMSyslogSender::kTcp), 0);
    EXPECT_NE(sender.open("127.0.0.1", 601, 3), 0);

    TcpReceiver receiver;
    ASSERT_EQ(sender.open("127.0.0.1", receiver.port(), LMSyslogSender::kTcp), 0);
    ASSERT_TRUE(receiver.accept());
    ASSERT_EQ(sender.send("one"), 0);
    auto one = parseRfc5424(receiver.frame().value_or(""));
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->msg, "one");

    // The receiver drops the connection but still listens: the sender reconnects once and the
    // record arrives on the new connection.
    receiver.dropConnection();
    EXPECT_EQ(sender.send("two"), 0);
    ASSERT_TRUE(receiver.accept());
    auto two = parseRfc5424(receiver.frame().value_or(""));
    ASSERT_TRUE(two.has_value());
    EXPECT_EQ(two->msg, "two");

    // The receiver is gone altogether: the send fails.
    receiver.dropConnection();
    receiver.stopListening();
    EXPECT_NE(sender.send("three"), 0);
    EXPECT_NE(sender.send("four"), 0);
}

TEST(LMSyslogSender, TcpReceiverThatStopsReadingCannotHangTheSender) {
    TcpReceiver receiver;
    LMSyslogSender sender;
    sender.setTimeouts(1000ms, 200ms);
    ASSERT_EQ(sender.open("127.0.0.1", receiver.port(), LMSyslogSender::kTcp), 0);
    ASSERT_TRUE(receiver.accept());
    // Far more than the socket buffers of both ends hold, and nobody reads.
    EXPECT_NE(sender.send(std::string(64 << 20, 'z')), 0);
}

// ---- the index helper ----

TEST(LMCIHelperSyslog, ForwardedFieldsAreExactlyTheDataSetColumns) {
    const std::vector<std::string> forwarded = {
        "opid",        "auditdate",      "audittime",      "severitylevel", "operation",   "details",
        "username",    "eventid",        "occurrencedate", "occurrencetime", "eventseverity", "description",
        "program",     "computer",       "jobid",          "alertid",       "alertname",   "alertdate",
        "alerttime",   "alertseverity",  "alertdescription",
    };
    for (const std::string& name : forwarded) EXPECT_TRUE(AllowFieldForSyslog(name)) << name;
    for (const char* name : {"EventId", "Eventid", "eventid ", "", "event", "alertdescriptions", "message"})
        EXPECT_FALSE(AllowFieldForSyslog(name)) << name;
}

TEST(LMCIHelperSyslog, PrefixFollowsTheDataSet) {
    struct Case {
        std::string dataSet;
        std::string before;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"LMGetAlertDataSetForCI", "", "Alerts: "},
        {"LMGetGUIAuditDataSetForCI", "", "AuditTrail: "},
        {"LMGetEventViewerDataSetForCI", "Alerts: ", "Events: "},
        {"/var/log/messages", "Events: ", "Events: "}, // other names leave the prefix alone
        {"lmgetalertdatasetforci", "", ""},
    };
    LMCIHelper helper(1, "c");
    for (const Case& c : cases) {
        helper.syslogPrefix = c.before;
        helper.setPropertiesForSysLog(c.dataSet);
        EXPECT_EQ(helper.syslogPrefix, c.expected) << c.dataSet;
    }
}

TEST(LMCIHelperSyslog, SendsPrefixAndRecordOnlyOverAnInitializedConnection) {
    EvLogCapture capture;
    LMCIHelper helper(1, "c");
    helper.setAllowSyslog(true);
    helper.currentDoc = "Eventid = {42}  Occurrencetime = {5 Mar 2024 10:15:00}  Description = {Disk full}  ";
    helper.setPropertiesForSysLog("LMGetEventViewerDataSetForCI");
    const std::string expected = "Events: " + helper.currentDoc;

    EXPECT_NE(helper.sendDataToSysLog(), 0);
    EXPECT_EQ(helper.initialize("127.0.0.1", 6514, 3), kLMNotSupported);
    EXPECT_TRUE(capture.contains("LMCIHelper::initialize", "syslog protocol [3] is not supported"));
    EXPECT_NE(helper.sendDataToSysLog(), 0);
    std::string caPath;
    for (int result : {helper.sendDataToSysLogTLS(), helper.initializeTLS("127.0.0.1", 6514),
                       helper.LoadCACertificatePath(caPath), helper.LoadKqLMSSLHelperDLL(),
                       helper.closeConnectionTLS()})
        EXPECT_EQ(result, kLMNotSupported);
    EXPECT_NE(helper.initialize("127.0.0.1", lmtest::freeLoopbackPort(), LMSyslogSender::kTcp), 0);
    EXPECT_NE(helper.sendDataToSysLog(), 0);

    UdpReceiver udp;
    ASSERT_EQ(helper.initialize("127.0.0.1", udp.port(), LMSyslogSender::kUdp), 0);
    ASSERT_EQ(helper.sendDataToSysLog(), 0);
    auto datagram = parseRfc5424(udp.receive().value_or(""));
    ASSERT_TRUE(datagram.has_value());
    EXPECT_EQ(datagram->msg, expected);

    // Initialising again moves the helper to the new receiver.
    TcpReceiver tcp;
    ASSERT_EQ(helper.initialize("127.0.0.1", tcp.port(), LMSyslogSender::kTcp), 0);
    ASSERT_TRUE(tcp.accept());
    ASSERT_EQ(helper.sendDataToSysLog(), 0);
    auto frame = parseRfc5424(tcp.frame().value_or(""));
    ASSERT_TRUE(frame.has_value());
    EXPECT_EQ(frame->msg, expected);
    EXPECT_FALSE(udp.receive(50ms).has_value());

    EXPECT_EQ(helper.closeConnection(), 0);
    EXPECT_NE(helper.sendDataToSysLog(), 0);
    EXPECT_EQ(helper.closeConnection(), 0);
}
