#pragma once
// The platform's HTTP gateway: posts to an HTTP server through one libcurl easy handle that the
// object keeps, so that the connection to the server is reused from one post to the next.
//
// Use: initialize(3, 0), setSecured(), setURL(base), DisableProxy(), connect(), then any number of
// doPostOperation() calls with paths relative to the base URL (or whole URLs).
//
// What counts as an error in doPostOperation: a transport failure (no connection, time-out, a
// reply above the size limit) and an HTTP status of 500 or above. Any other status, 4xx
// included, is the server's answer about the request and gives 0 with the reply body, because
// callers judge the body themselves (a refused index update names its fault in the body). The
// status of the last post is available through lastHttpStatus(); for a 5xx the body is still
// handed back in `response`.
//
// Redirects are not followed and no authentication scheme is offered. Header values with a line
// break are refused, so a caller's text can never start header lines of its own.
//
// Not thread-safe: an object belongs to one thread at a time. Different objects may be used on
// different threads at once.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

typedef void CURL;

namespace LIBCURL {

class KqInternetGateway {
public:
    // The only protocol offered: HTTP through libcurl, job type 0.
    static constexpr int kProtocolHttpLibcurl = 3;
    static constexpr int kJobTypeDefault = 0;

    static constexpr long kDefaultConnectTimeoutSeconds = 30;
    static constexpr long kDefaultTransferTimeoutSeconds = 300;
    static constexpr size_t kDefaultMaxReplyBytes = 16 * 1048576;
    static constexpr size_t kMaxBodyBytes = 64 * 1048576;

    enum Result : int {
        kOk = 0,
        kNotInitialized = 1, // initialize() has not succeeded
        kUnsupported,        // a protocol or job type this gateway does not offer
        kBadArgument,        // an empty or malformed URL, a header with a line break, a body too large
        kCurlFailed,         // libcurl could not be set up
        kConnectFailed,      // the server does not accept a connection
        kTransferFailed,     // the exchange broke off or timed out
        kReplyTooLarge,      // the reply passed the size limit
        kServerError,        // HTTP status 500 or above
    };

    KqInternetGateway() = default;
    ~KqInternetGateway();
    KqInternetGateway(const KqInternetGateway&) = delete;
    KqInternetGateway& operator=(const KqInternetGateway&) = delete;

    int initialize(int protocolType, int jobType);
    // Secured: https only, with the peer's certificate and host name verified. Not secured: http
    // (https too when a URL names it). 0 on success.
    int setSecured(bool secured);
    // The base URL that relative paths are appended to. A URL without a scheme gets "http://"
    // (or "https://" when secured). 0 on success.
    int setURL(const std::string& url);
    // No proxy, whatever the environment says. 0 on success.
    int DisableProxy();
    // Whether the base URL's server accepts a TCP connection within the connect time-out. 0 when
    // it does.
    int connect();
    // Adds a header line sent with every later post; a second header of the same name replaces
    // the first. 0 on success.
    int addHeader(const std::string& name, const std::string& value);
    void clearHeaders();
    // Posts `body` to the base URL + pathOrUrl (or to pathOrUrl when it starts with "http://" or
    // "https://") and fills `response` with the reply body. 0 on success (see above).
    int doPostOperation(const std::string& pathOrUrl, const std::string& body, std::string& response);

    void setTimeouts(long connectSeconds, long transferSeconds);
    void setMaxReplyBytes(size_t limit) { maxReplyBytes_ = limit; }
    long lastHttpStatus() const { return lastStatus_; }
    // Why the last failing operation failed; empty after a success.
    const std::string& getLastError() const { return lastError_; }
    const std::string& baseUrl() const { return baseUrl_; }

private:
    struct Sink;
    int fail(int code, std::string why);
    int ok();
    std::string resolve(const std::string& pathOrUrl) const;
    static size_t collect(char* data, size_t size, size_t count, void* sink);

    CURL* handle_ = nullptr;
    bool secured_ = false;
    bool noProxy_ = false;
    std::string baseUrl_;
    std::vector<std::pair<std::string, std::string>> headers_;
    long connectTimeout_ = kDefaultConnectTimeoutSeconds;
    long transferTimeout_ = kDefaultTransferTimeoutSeconds;
    size_t maxReplyBytes_ = kDefaultMaxReplyBytes;
    long lastStatus_ = 0;
    std::string lastError_;
};

} // namespace LIBCURL
