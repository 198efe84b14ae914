#pragma once
// The engine's remote request dispatcher and the index-engine posting it does.
//
// The host calls LMUtilEntry once per session a peer opens to the remote module
// "sLMCIUTIL"/"sLMCIUTILENTRY", on a thread of its own; several calls may run at once, each with
// its own connection. A call receives messages one after another, answers each on the same
// connection and returns on the peer's disconnect message or when a receive fails or times out.
// The connection stays the host's; every message received is owned and destroyed by the call.
//
// Registry (read at the start of every call): EventManager/nEnableSoftCommit,
// EventManager/nEnableUTCFormatConversion, EventManager/nLmSessionTimeout (receive time-out in
// seconds, 300), and Kqd/LMMaxFileSizeToSplitInMb for bucket requests.
#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "LMExport.h"
#include "platform/messages/CNMessageBase.h"
#include "platform/network/CKqNetwork.h"

namespace LIBCURL {
class KqInternetGateway;
}

extern "C" LM_EXPORT void LMUtilEntry(CKqNetwork* connection, void* reserved);

namespace LogMonitoring {

// Process-wide: rewrite ":0Z</field>" as ".0Z</field>" in plain-core documents. Each call writes
// it from the registry when it starts.
LM_EXPORT extern std::atomic<bool> enableSOLRUTCFormatConversion;

LM_EXPORT void FixDateTimeFormat(std::string& docs);

// Prepares a gateway for posts to the index engine at `url`: 0 when it is ready, 1 when not.
LM_EXPORT int initKqCurlIndexer(const std::string& url, LIBCURL::KqInternetGateway* gateway);

// Posts `body` through the gateway (a path relative to its base URL, or a whole URL): 1 on
// success, -1 on failure. The Content-Type header is sent unless noContentType is set.
LM_EXPORT int indexCollectedDataUsingKQInternet(const std::string& url, const std::string& body,
                                                std::string& response, LIBCURL::KqInternetGateway* gateway,
                                                bool noContentType);

// Wraps the documents in "<add> ... </add>" and posts them to `core` of the index engine at `url`,
// through the gateway when one is given (its base URL must be `url`), else through the engine's
// HTTP client. 1 on success, -1 on failure. The policy id and the factor do not change the post.
LM_EXPORT int indexToCI(uint64_t policyId, const std::string& url, const std::string& core, bool softCommit,
                        const std::string& docs, std::string& response, int factor,
                        LIBCURL::KqInternetGateway* gateway);

// Whether `time` lies in one of the requested re-index intervals (TMMsg::LMRequestedReIndexTimeInterval
// messages; both ends included). An empty list gives false.
LM_EXPORT bool isDataRequested(int64_t time, const std::vector<MessageHolder>& intervals);

} // namespace LogMonitoring
