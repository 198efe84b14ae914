#pragma once
// The state of one dispatcher call and the request handlers that share it (internal to the
// dispatcher's sources).
#include <memory>
#include <string>

#include "indexing/LMCIHelper.h"
#include "platform/gateway/KqInternetGateway.h"
#include "platform/log/EvLMDebug.h"
#include "platform/network/CKqNetwork.h"

namespace LogMonitoring::Dispatch {

struct Call {
    explicit Call(CKqNetwork* c) : connection(c) {}

    CKqNetwork* connection;
    EvLMDebug log;
    // Posts through the engine's HTTP client where no gateway serves; holds no token here.
    LMCIHelper poster;
    // The gateway of the call's document posts, and the engine URL it was prepared for.
    std::unique_ptr<LIBCURL::KqInternetGateway> gateway;
    std::string gatewayUrl;
    long long softCommitSetting = 0;
    int sessionTimeout = 300;
    bool stop = false;
};

// Replies with an LMAddDocumentsToCIResp of `result` and `text`.
void reply(Call& call, int result, const std::string& text, int timeoutSeconds);
// The "Invalid input" answer to a request without its policy id.
void replyInvalidInput(Call& call);
// The call's gateway for `url`, prepared on first use (or when a request names another engine);
// null when it cannot be prepared, and the post then goes through the HTTP client.
LIBCURL::KqInternetGateway* gatewayFor(Call& call, const std::string& url, const char* reuseMessage);
// Base64-decodes and inflates a compressed document text; false (logged) when it cannot be.
bool uncompressDocuments(Call& call, const std::string& encoded, std::string& docs);

void handleBuckets(Call& call, const CNMessageBase& msg);

} // namespace LogMonitoring::Dispatch
