#include "platform/gateway/KqCurlGlobal.h"

#include <mutex>

#include <curl/curl.h>

namespace LIBCURL {

namespace {
std::mutex gInitMutex;
bool gInitDone = false; // only touched under gInitMutex
}

int ensureCurlGlobalInit() {
    std::lock_guard<std::mutex> lock(gInitMutex);
    if (gInitDone) return 0;
    const CURLcode rc = curl_global_init(CURL_GLOBAL_ALL);
    if (rc != CURLE_OK) return static_cast<int>(rc);
    gInitDone = true;
    return 0;
}

} // namespace LIBCURL
