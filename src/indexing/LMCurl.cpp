#include "indexing/LMCurl.h"

#include "platform/gateway/KqCurlGlobal.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <mutex>

namespace LogMonitoring {

namespace {

// Guards LMCurl::m_gbInit, which mirrors the platform's once-per-process initialisation.
std::mutex gGlobalInitMutex;

// The probe only asks whether the peer answers; its reply body is dropped rather than written to
// the process's standard output, which is libcurl's default.
size_t discardBody(char*, size_t size, size_t count, void*) { return size * count; }

// A header text with a line break would let a caller's value start header lines of its own.
bool holdsLineBreak(const char* text) { return std::strpbrk(text, "\r\n") != nullptr; }

}

bool LMCurl::m_gbInit = false;

size_t LMWriteCallback(char* data, size_t size, size_t count, void* client) {
    const char* op = "LMWriteCallback";
    size_t length = 0;
    if (__builtin_mul_overflow(size, count, &length)) length = 0;
    if (length == 0 || client == nullptr || data == nullptr) {
        EvLMDebug().Error(op, "http resp is null ");
        return 0;
    }
    LMCurl* curl = static_cast<LMCurl*>(client);
    try {
        // The chunk is taken as zero-terminated text: what follows a zero byte within it is
        // dropped.
        curl->response.append(data, strnlen(data, length));
    } catch (const std::exception&) {
        curl->debugLog.Error(op, "out of memory");
        return 0;
    }
    return length;
}

LMCurl::LMCurl() = default;

LMCurl::~LMCurl() {
    freeHttpHeaders();
    if (handle != nullptr) curl_easy_cleanup(handle);
}

bool LMCurl::globalInit() {
    std::lock_guard<std::mutex> lock(gGlobalInitMutex);
    if (m_gbInit) return true;
    // The platform does the initialisation once for the whole process: the internet gateway
    // uses libcurl too, and curl_global_init must not run twice at the same time.
    const int rc = LIBCURL::ensureCurlGlobalInit();
    if (rc != 0) {
        debugLog.Error("LMCurl::initialize", "global init failed %d", rc);
        return false;
    }
    m_gbInit = true;
    return true;
}

bool LMCurl::initialize() {
    const char* op = "LMCurl::initialize";
    if (initialised) return true;
    debugLog.DebugLvl(op, 10, "Initializing Curl");
    if (!globalInit()) return false;
    handle = curl_easy_init();
    if (handle == nullptr) {
        debugLog.Error(op, "curl init failed");
        return false;
    }
    postedLength = 0;
    initialised = true;
    return true;
}

bool LMCurl::createForm(const char* url, std::string contentTypeLine, std::string cookie) {
    const char* op = "LMCurl::createForm";
    if (url == nullptr) {
        debugLog.Error(op, "error, url or ContentType is null. returning");
        return false;
    }
    char line[kContentTypeBufferSize] = {};
    if (!useContentType) {
        const size_t length = std::strlen(contentTypeLine.c_str());
        if (length >= sizeof line) {
            debugLog.Error(op, "content type line of %zu bytes does not fit. returning", length);
            return false;
        }
        std::memcpy(line, contentTypeLine.c_str(), length);
    }
    if (holdsLineBreak(line) || holdsLineBreak(cookie.c_str())) {
        debugLog.Error(op, "header text holds a line break. returning");
        return false;
    }
    if (cookie.empty()) {
        if (!initHttpHeaders(line)) return false;
        return setWebSeverUrl(url);
    }
    curl_slist* grown = curl_slist_append(headers, line);
    if (grown == nullptr) {
        debugLog.Error(op, "curl_slist_append failed");
        return false;
    }
    headers = grown;
    const std::string cookieLine = "Cookie2: " + cookie;
    if (!initHttpHeaders(cookieLine.c_str())) return false;
    return setWebSeverUrl(url);
}

bool LMCurl::initHttpHeaders(const char* line) {
    const char* op = "LMCurl::initHttpHeaders";
    curl_slist* grown = line == nullptr ? nullptr : curl_slist_append(headers, line);
    if (grown == nullptr) {
        debugLog.Error(op, "curl_slist_append failed");
        return false;
    }
    headers = grown;
    const CURLcode rc = curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    if (rc != CURLE_OK) {
        debugLog.Error(op, "curl_easy_setopt failed, error %d", static_cast<int>(rc));
        return false;
    }
    return true;
}

bool LMCurl::setWebSeverUrl(const char* url) {
    const CURLcode rc = curl_easy_setopt(handle, CURLOPT_URL, url);
    if (rc != CURLE_OK) {
        debugLog.Error("LMCurl::setWebSeverUrl", "curl_easy_setopt failed %d", static_cast<int>(rc));
        return false;
    }
    return true;
}

bool LMCurl::postSimple(std::string& body, bool collectResponse, bool useGet) {
    const char* op = "LMCurl::postSimple";
    const size_t length = body.size();
    // The limits are checked on the full length: the narrower count could wrap a huge body back
    // into the valid range.
    postedLength = static_cast<uint32_t>(std::min<size_t>(length, UINT32_MAX));
    if (length == 0 || length > kMaxBodyLength) {
        debugLog.Error(op, "invalid off set [%zu]", length);
        return false;
    }
    CURLcode rc;
    if (useGet) {
        (void)curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else {
        rc = curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(length));
        if (rc != CURLE_OK) {
            debugLog.Error(op, "curl_easy_setopt CURLOPT_POSTFIELDSIZE failed with error[%d]", static_cast<int>(rc));
            return false;
        }
        rc = curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
        if (rc != CURLE_OK) {
            debugLog.Error(op, "curl_easy_setopt CURLOPT_POSTFIELDS failed  error[%d]", static_cast<int>(rc));
            return false;
        }
        rc = curl_easy_setopt(handle, CURLOPT_POST, 1L);
        if (rc != CURLE_OK) {
            debugLog.Error(op, "curl_easy_setopt CURLOPT_POST failed error[%d]", static_cast<int>(rc));
            return false;
        }
    }
    rc = curl_easy_setopt(handle, CURLOPT_TIMEOUT, kTimeoutSeconds);
    if (rc != CURLE_OK) {
        debugLog.Error(op, "curl_easy_setopt CURLOPT_TIMEOUT failed error[%d]", static_cast<int>(rc));
        return false;
    }
    rc = curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kTimeoutSeconds);
    if (rc != CURLE_OK) {
        debugLog.Error(op, "curl_easy_setopt CURLOPT_CONNECTTIMEOUT failed error[%d]", static_cast<int>(rc));
        return false;
    }
    if (collectResponse) {
        rc = curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &LMWriteCallback);
        if (rc != CURLE_OK) {
            debugLog.Error(op, "curl_easy_setopt CURLOPT_WRITEFUNCTION failed error[%d]", static_cast<int>(rc));
            return false;
        }
        rc = curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(this));
        if (rc != CURLE_OK) {
            debugLog.Error(op, "curl_easy_setopt CURLOPT_WRITEDATA failed error[%d]", static_cast<int>(rc));
            return false;
        }
    }
    return true;
}

bool LMCurl::submitForm() {
    const CURLcode rc = curl_easy_perform(handle);
    if (rc != CURLE_OK) {
        debugLog.Error("LMCurl::submitForm", "curl_easy_perform failed %d", static_cast<int>(rc));
        return false;
    }
    return true;
}

const std::string& LMCurl::readHttpResponse(uint64_t& length) {
    length = response.size();
    return response;
}

bool LMCurl::setSSLVerifyPeer() {
    const CURLcode rc = curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    if (rc != CURLE_OK) {
        debugLog.Error("LMCurl::setSSLVerifyPeer", "curl_easy_setopt CURLOPT_SSL_VERIFYPEER failed with error[%d]",
                       static_cast<int>(rc));
        return false;
    }
    return true;
}

bool LMCurl::setWriteFunction() {
    const char* op = "LMCurl::setWriteFunction";
    CURLcode rc = curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &LMWriteCallback);
    if (rc != CURLE_OK) {
        debugLog.Error(op, "curl_easy_setopt CURLOPT_WRITEFUNCTION failed error[%d]", static_cast<int>(rc));
        return false;
    }
    rc = curl_easy_setopt(handle, CURLOPT_TIMEOUT, kTimeoutSeconds);
    if (rc != CURLE_OK) {
        debugLog.Error(op, "curl_easy_setopt CURLOPT_TIMEOUT failed with error[%d]", static_cast<int>(rc));
        return false;
    }
    return true;
}

bool LMCurl::setWriteData() {
    const CURLcode rc = curl_easy_setopt(handle, CURLOPT_WRITEDATA, static_cast<void*>(this));
    if (rc != CURLE_OK) {
        debugLog.Error("LMCurl::setWriteData", "curl_easy_setopt CURLOPT_WRITEDATA failed error[%d]",
                       static_cast<int>(rc));
        return false;
    }
    return true;
}

void LMCurl::freeHttpHeaders() {
    if (headers == nullptr) return;
    // The handle must not keep pointing at the freed list.
    if (handle != nullptr) (void)curl_easy_setopt(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl_slist_free_all(headers);
    headers = nullptr;
}

bool LMCurl::isServerUp(std::string url) {
    const char* op = "LMCurl::isServerUp";
    if (!globalInit()) return false;
    CURL* probe = curl_easy_init();
    if (probe == nullptr) {
        debugLog.Error(op, "curl init failed");
        return false;
    }
    (void)curl_easy_setopt(probe, CURLOPT_URL, url.c_str());
    (void)curl_easy_setopt(probe, CURLOPT_WRITEFUNCTION, &discardBody);
    const CURLcode rc = curl_easy_perform(probe);
    curl_easy_cleanup(probe);
    if (rc != CURLE_OK) {
        debugLog.Error(op, "Failed to ping %s for %s", url.c_str(), curl_easy_strerror(rc));
        return false;
    }
    return true;
}

}
