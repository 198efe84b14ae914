#pragma once
// The engine's HTTP client: a thin layer over one libcurl easy handle. Every exchange with the
// index engine and with the geolocation service goes through it.
//
// An object serves one request: construct, initialize(), createForm(), postSimple() (or the
// setWriteFunction()/setWriteData() pair for a plain get), submitForm(), readHttpResponse(),
// destroy. Objects are never shared between threads; different objects may be used on different
// threads at once. The process-wide libcurl initialisation is done exactly once, whichever thread
// gets there first; libcurl's global clean-up is never called.
//
// Ownership: the object owns its easy handle and its header list and frees both when destroyed.
// A body given to postSimple() is not copied and must stay alive and unchanged until
// submitForm() returns.
#include <cstddef>
#include <cstdint>
#include <string>

#include <curl/curl.h>

#include "LMExport.h"
#include "platform/log/EvLMDebug.h"

namespace LogMonitoring {

// libcurl's write callback: appends the chunk, up to its first zero byte, to the response of the
// LMCurl given as `client`. Returns the chunk length, or 0 (which ends the transfer) for an empty
// chunk, a missing client or data, or when memory runs out.
LM_EXPORT size_t LMWriteCallback(char* data, size_t size, size_t count, void* client);

class LM_EXPORT LMCurl {
public:
    // A request body must hold at least one and at most this many bytes (21 MiB).
    static constexpr size_t kMaxBodyLength = 21 * 1048576;
    // The content-type line must fit this buffer, terminating zero included.
    static constexpr size_t kContentTypeBufferSize = 255;
    // Request and connect timeouts, in seconds.
    static constexpr long kTimeoutSeconds = 300;

    LMCurl();
    ~LMCurl();
    LMCurl(const LMCurl&) = delete;
    LMCurl& operator=(const LMCurl&) = delete;

    // Each returns true on success; every failure is logged.
    bool initialize();
    // Sets the header list (the possibly empty content-type line first, then "Cookie2: " + cookie
    // when a cookie is given) and the URL.
    bool createForm(const char* url, std::string contentTypeLine, std::string cookie);
    bool initHttpHeaders(const char* line);
    bool setWebSeverUrl(const char* url);
    // Post (or, with useGet, get) with the 300-second timeouts; collectResponse routes the reply
    // body into this object.
    bool postSimple(std::string& body, bool collectResponse, bool useGet);
    bool submitForm();
    // The reply body collected so far and its length.
    const std::string& readHttpResponse(uint64_t& length);
    // The geolocation calls do not verify the peer's certificate.
    bool setSSLVerifyPeer();
    bool setWriteFunction();
    bool setWriteData();
    void setUseContentType(bool value) { useContentType = value; }
    void freeHttpHeaders();
    // Whether a plain request to the URL completes, on a handle of its own.
    bool isServerUp(std::string url);

private:
    // Process-wide: libcurl's global initialisation has been done. Only read and written under
    // the initialisation mutex, so concurrent first requests cannot both initialise.
    static bool m_gbInit;

    friend size_t LMWriteCallback(char* data, size_t size, size_t count, void* client);
    // The process-wide initialisation, race-free; false (and logged) when libcurl refuses.
    bool globalInit();

    curl_slist* headers = nullptr;
    CURL* handle = nullptr;
    uint32_t postedLength = 0;
    bool initialised = false;
    bool useContentType = false;
    EvLMDebug debugLog;
    std::string response;
};

}
