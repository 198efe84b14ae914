#include "platform/gateway/KqInternetGateway.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include <curl/curl.h>

#include "platform/gateway/KqCurlGlobal.h"

namespace LIBCURL {

namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool hasScheme(const std::string& url) { return startsWith(url, "http://") || startsWith(url, "https://"); }

bool holdsLineBreak(const std::string& s) { return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos; }

bool validHeaderName(const std::string& name) {
    if (name.empty()) return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '-' || c == '_' || c == '.';
    });
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

struct SlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

} // namespace

// Where a reply body goes while a post runs; refuses to grow past the limit.
struct KqInternetGateway::Sink {
    std::string* out;
    size_t limit;
    bool overflow = false;
};

size_t KqInternetGateway::collect(char* data, size_t size, size_t count, void* sinkPtr) {
    auto* sink = static_cast<Sink*>(sinkPtr);
    const size_t n = size * count;
    if (sink->out->size() + n > sink->limit) {
        sink->overflow = true;
        return 0; // ends the transfer with a write error
    }
    sink->out->append(data, n);
    return n;
}

KqInternetGateway::~KqInternetGateway() {
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
}

int KqInternetGateway::fail(int code, std::string why) {
    lastError_ = std::move(why);
    return code;
}

int KqInternetGateway::ok() {
    lastError_.clear();
    return kOk;
}

int KqInternetGateway::initialize(int protocolType, int jobType) {
    if (protocolType != kProtocolHttpLibcurl)
        return fail(kUnsupported, "protocol type " + std::to_string(protocolType) + " is not offered");
    if (jobType != kJobTypeDefault) return fail(kUnsupported, "job type " + std::to_string(jobType) + " is not offered");
    if (handle_ != nullptr) return ok();
    if (int rc = ensureCurlGlobalInit(); rc != 0)
        return fail(kCurlFailed, std::string("libcurl global initialisation failed: ") +
                                     curl_easy_strerror(static_cast<CURLcode>(rc)));
    handle_ = curl_easy_init();
    if (handle_ == nullptr) return fail(kCurlFailed, "libcurl could not create a handle");
    return ok();
}

int KqInternetGateway::setSecured(bool secured) {
    if (handle_ == nullptr) return fail(kNotInitialized, "the gateway is not initialised");
    secured_ = secured;
    return ok();
}

int KqInternetGateway::setURL(const std::string& url) {
    if (url.empty() || holdsLineBreak(url)) return fail(kBadArgument, "the base URL is empty or malformed");
    std::string u = hasScheme(url) ? url : (secured_ ? "https://" : "http://") + url;
    while (u.size() > 1 && u.back() == '/' && !u.ends_with("://")) u.pop_back();
    baseUrl_ = std::move(u);
    return ok();
}

int KqInternetGateway::DisableProxy() {
    noProxy_ = true;
    return ok();
}

void KqInternetGateway::setTimeouts(long connectSeconds, long transferSeconds) {
    connectTimeout_ = std::max(1L, connectSeconds);
    transferTimeout_ = std::max(1L, transferSeconds);
}

int KqInternetGateway::addHeader(const std::string& name, const std::string& value) {
    if (!validHeaderName(name)) return fail(kBadArgument, "invalid header name [" + name + "]");
    if (holdsLineBreak(value)) return fail(kBadArgument, "the value of header " + name + " holds a line break");
    for (auto& h : headers_) {
        if (equalsIgnoreCase(h.first, name)) {
            h.second = value;
            return ok();
        }
    }
    headers_.emplace_back(name, value);
    return ok();
}

void KqInternetGateway::clearHeaders() { headers_.clear(); }

std::string KqInternetGateway::resolve(const std::string& pathOrUrl) const {
    if (hasScheme(pathOrUrl)) return pathOrUrl;
    if (pathOrUrl.empty()) return baseUrl_;
    return pathOrUrl.front() == '/' ? baseUrl_ + pathOrUrl : baseUrl_ + "/" + pathOrUrl;
}

int KqInternetGateway::connect() {
    if (handle_ == nullptr) return fail(kNotInitialized, "the gateway is not initialised");
    if (baseUrl_.empty()) return fail(kBadArgument, "no base URL is set");
    // A handle of its own: a connect-only transfer leaves its connection unusable for posts, and
    // the posting handle should keep the connection of its own first post.
    std::unique_ptr<CURL, void (*)(CURL*)> probe(curl_easy_init(), curl_easy_cleanup);
    if (!probe) return fail(kCurlFailed, "libcurl could not create a handle");
    curl_easy_setopt(probe.get(), CURLOPT_URL, baseUrl_.c_str());
    curl_easy_setopt(probe.get(), CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(probe.get(), CURLOPT_CONNECTTIMEOUT, connectTimeout_);
    curl_easy_setopt(probe.get(), CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(probe.get(), CURLOPT_PROTOCOLS_STR, secured_ ? "https" : "http,https");
    if (noProxy_) curl_easy_setopt(probe.get(), CURLOPT_PROXY, "");
    const CURLcode rc = curl_easy_perform(probe.get());
    if (rc != CURLE_OK)
        return fail(kConnectFailed, "cannot connect to " + baseUrl_ + ": " + curl_easy_strerror(rc));
    return ok();
}

int KqInternetGateway::doPostOperation(const std::string& pathOrUrl, const std::string& body, std::string& response) {
    response.clear();
    lastStatus_ = 0;
    if (handle_ == nullptr) return fail(kNotInitialized, "the gateway is not initialised");
    if (!hasScheme(pathOrUrl) && baseUrl_.empty()) return fail(kBadArgument, "no base URL is set");
    if (holdsLineBreak(pathOrUrl)) return fail(kBadArgument, "the URL holds a line break");
    if (body.size() > kMaxBodyBytes) return fail(kBadArgument, "the body is above the size limit");
    const std::string url = resolve(pathOrUrl);

    std::unique_ptr<curl_slist, SlistDeleter> list;
    for (const auto& [name, value] : headers_) {
        // "Name;" is libcurl's way of sending a header with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) return fail(kCurlFailed, "cannot build the header list");
        (void)list.release();
        list.reset(grown);
    }
    // Without this libcurl would wait for a "100 Continue" before sending a large body.
    curl_slist* grown = curl_slist_append(list.get(), "Expect:");
    if (grown == nullptr) return fail(kCurlFailed, "cannot build the header list");
    (void)list.release();
    list.reset(grown);

    Sink sink{&response, maxReplyBytes_};
    CURL* h = handle_;
    // The handle keeps its connection cache between posts; the options are set afresh each time
    // so that nothing of a previous post leaks into this one.
    curl_easy_reset(h);
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &KqInternetGateway::collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, connectTimeout_);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, transferTimeout_);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, secured_ ? "https" : "http,https");
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (noProxy_) curl_easy_setopt(h, CURLOPT_PROXY, "");
    const CURLcode rc = curl_easy_perform(h);
    // The header list dies with this call; the handle must not point at it afterwards.
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, nullptr);
    if (sink.overflow) {
        response.clear();
        return fail(kReplyTooLarge, "the reply of " + url + " is above " + std::to_string(maxReplyBytes_) + " bytes");
    }
    if (rc != CURLE_OK) {
        response.clear();
        const int code = (rc == CURLE_COULDNT_CONNECT || rc == CURLE_COULDNT_RESOLVE_HOST) ? kConnectFailed
                                                                                            : kTransferFailed;
        return fail(code, "post to " + url + " failed: " + curl_easy_strerror(rc));
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &lastStatus_);
    if (lastStatus_ >= 500)
        return fail(kServerError, "post to " + url + " answered HTTP status " + std::to_string(lastStatus_));
    return ok();
}

} // namespace LIBCURL
