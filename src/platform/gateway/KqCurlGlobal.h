#pragma once
// libcurl's global initialisation, done exactly once per process.
//
// curl_global_init is not thread-safe and must run before any easy handle is made, yet the first
// HTTP requests of a process may start on several threads at once and from different layers (the
// engine's HTTP client, the internet gateway). Every user of libcurl in the process calls this
// first; libcurl's global clean-up is never called.
namespace LIBCURL {

// 0 once the initialisation has succeeded (now or earlier), else libcurl's error code. A failed
// attempt is retried by the next call.
int ensureCurlGlobalInit();

} // namespace LIBCURL
