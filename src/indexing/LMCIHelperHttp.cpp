// The index helper's HTTP exchanges: one request to the index engine, and one call of the
// geolocation service. Each uses a fresh LMCurl, so no connection state survives a request.
#include <exception>

#include "indexing/LMCIHelper.h"
#include "indexing/LMCurl.h"

namespace LogMonitoring {

namespace {

const EvLMDebug kLog;

// Frees the header lines and hands over the reply: 1 with a non-empty body, -1 without one.
int takeReply(LMCurl& curl, std::string& response, const char* op) {
    curl.freeHttpHeaders();
    uint64_t length = 0;
    const std::string& reply = curl.readHttpResponse(length);
    if (length == 0) {
        kLog.Error(op, "received http response is null");
        return -1;
    }
    kLog.DebugLvl(op, 6, "resp size %llu", static_cast<unsigned long long>(length));
    response = reply;
    return 1;
}

// Only memory exhaustion gets here; the caller sees a failed request.
int failedRequest(std::string& response, const char* op, const std::exception& e) {
    response.clear();
    kLog.Error(op, "request failed: %s", e.what());
    return -1;
}

}

int LMCIHelper::indexCollectedData(std::string& url, std::string& body, std::string& response, bool useContentType,
                                   bool useGet) {
    const char* op = "LMCIHelper::indexCollectedData";
    response.clear();
    // A get does not send the body, but every caller gives one; an empty one means a caller that
    // built nothing.
    if (url.empty() || body.empty()) {
        Error(op, "WebServer or query string is empty");
        return -1;
    }
    try {
        LMCurl curl;
        if (!curl.initialize()) {
            Error(op, "Initialization of curl failed..");
            return -1;
        }
        curl.setUseContentType(useContentType);
        if (!curl.createForm(url.c_str(), "Content-Type: application/xml; charset=utf-8 ", authToken)) {
            Error(op, "create form failed");
            curl.freeHttpHeaders();
            return -1;
        }
        if (!curl.postSimple(body, true, useGet)) {
            Error(op, "post failed");
            curl.freeHttpHeaders();
            return -1;
        }
        DebugLvl(op, 10, "indexing contents");
        if (!curl.submitForm()) {
            Error(op, "Error: http post request failed while terminating the session");
            curl.freeHttpHeaders();
            return -1;
        }
        DebugLvl(op, 10, "reading response");
        return takeReply(curl, response, op);
    } catch (const std::exception& e) {
        return failedRequest(response, op, e);
    }
}

int LMCIHelper::getLocationResponse(const std::string& url, std::string& response, std::string body) {
    const char* op = "LMCIHelper::getLocationResponse";
    response.clear();
    try {
        LMCurl curl;
        if (!curl.initialize()) {
            Error(op, "Initialization of curl failed..");
            return -1;
        }
        if (body.empty()) {
            // The location request carries everything in its URL: a plain get, no header lines.
            curl.setUseContentType(true);
            if (!curl.createForm(url.c_str(), "", "")) {
                Error(op, "create form failed");
                curl.freeHttpHeaders();
                return -1;
            }
            if (!curl.setWriteFunction() || !curl.setWriteData()) {
                Error(op, "post failed");
                curl.freeHttpHeaders();
                return -1;
            }
        } else {
            if (!curl.createForm(url.c_str(), "Content-Type: text/xml", "")) {
                Error(op, "create form failed");
                curl.freeHttpHeaders();
                return -1;
            }
            if (!curl.postSimple(body, true, false)) {
                Error(op, "post failed");
                curl.freeHttpHeaders();
                return -1;
            }
        }
        if (!curl.setSSLVerifyPeer() || !curl.submitForm()) {
            Error(op, "Error: http post request failed while terminating the session");
            curl.freeHttpHeaders();
            return -1;
        }
        return takeReply(curl, response, op);
    } catch (const std::exception& e) {
        return failedRequest(response, op, e);
    }
}

}
