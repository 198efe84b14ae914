#pragma once
// Small helpers shared by the request handlers.
#include <httplib.h>

#include <chrono>
#include <string>

#include "ResponseWriter.h"

namespace lmindexd {

// Bodies above this size are refused before they are read whole.
constexpr size_t kMaxBodyBytes = 64u * 1024u * 1024u;

std::string param(const httplib::Request& req, const std::string& name, const std::string& fallback = "");
std::vector<std::string> params(const httplib::Request& req, const std::string& name);
// "true" in any letter case, blanks around it ignored ("true " arrives from some callers).
bool paramIsTrue(const httplib::Request& req, const std::string& name);
WireFormat requestFormat(const httplib::Request& req);

void sendReply(httplib::Response& res, const RNode& reply, WireFormat f, int httpStatus = 200);
void sendError(httplib::Response& res, WireFormat f, int status, const std::string& message);

// Milliseconds since a start, for QTime.
inline int64_t elapsedMs(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}
