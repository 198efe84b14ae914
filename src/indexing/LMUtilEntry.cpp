#include "indexing/LMUtilEntry.h"

#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>

#include "indexing/CNZLib.h"
#include "indexing/LMCoreNames.h"
#include "indexing/LMUtilEntryCall.h"
#include "pipeline/LMCustomDataIndexer.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "platform/registry/KQPlatformInfo.h"

namespace LogMonitoring {

std::atomic<bool> enableSOLRUTCFormatConversion{false};

namespace {
constexpr const char* kContentTypeValue = "application/xml;charset=utf-8";
constexpr int kDefaultSessionTimeout = 300;
constexpr int kInvalidInputTimeout = 120;
}

void FixDateTimeFormat(std::string& docs) {
    if (!enableSOLRUTCFormatConversion.load()) return;
    // A whole-second UTC time written with its fraction after a colon ("10:20:30:0Z") is not a
    // time the index engine accepts; the decimal form ("10:20:30.0Z") is.
    static const std::string from = ":0Z</field>";
    static const std::string to = ".0Z</field>";
    for (size_t at = docs.find(from); at != std::string::npos; at = docs.find(from, at + to.size()))
        docs.replace(at, from.size(), to);
}

int initKqCurlIndexer(const std::string& url, LIBCURL::KqInternetGateway* gateway) {
    const char* op = "initKqCurlIndexer";
    EvLMDebug log;
    if (gateway == nullptr) return 1;
    if (gateway->initialize(LIBCURL::KqInternetGateway::kProtocolHttpLibcurl, 0) != 0) {
        log.Error(op, "Internet Gateway (Lib curl wrapper) initialization failed with error [%s]",
                  gateway->getLastError().c_str());
        return 1;
    }
    if (gateway->setSecured(false) != 0) {
        log.Error(op, "Internet Gateway (Lib curl wrapper) setSecured failed with error [%s]",
                  gateway->getLastError().c_str());
        return 1;
    }
    gateway->setURL(url);
    gateway->DisableProxy();
    if (gateway->connect() != 0) {
        log.Error(op, "Internet Gateway (Lib curl wrapper) connect failed with error [%s]",
                  gateway->getLastError().c_str());
        return 1;
    }
    return 0;
}

int indexCollectedDataUsingKQInternet(const std::string& url, const std::string& body, std::string& response,
                                      LIBCURL::KqInternetGateway* gateway, bool noContentType) {
    const char* op = "indexCollectedDataUsingKQInternet";
    EvLMDebug log;
    if (gateway == nullptr) return -1;
    if (!noContentType) gateway->addHeader("Content-Type", kContentTypeValue);
    std::string target = url;
    // A relative path stays relative to the gateway's base URL; a bare host gets its scheme.
    if (!target.empty() && target.front() != '/' && target.rfind("http://", 0) != 0 &&
        target.rfind("https://", 0) != 0)
        target = "http://" + target;
    if (gateway->doPostOperation(target, body, response) == 0) {
        log.DebugLvl(op, 10, "doPostOperation response: %s", response.c_str());
        return 1;
    }
    log.Error(op, "KQInternetGateway doPostOperation error with error [%s]", gateway->getLastError().c_str());
    return -1;
}

int indexToCI(uint64_t, const std::string& url, const std::string& core, bool softCommit, const std::string& docs,
              std::string& response, int, LIBCURL::KqInternetGateway* gateway) {
    const char* op = "indexToCI";
    EvLMDebug log;
    log.DebugLvl(op, 1, "Indexing content into core %s", core.c_str());
    std::string path = "/" + core + "/LMUpdateHandler?";
    if (softCommit) path += "softCommit=true";
    std::string body;
    body.reserve(docs.size() + 14);
    body.append("<add> ").append(docs).append(" </add>");
    if (EvLMDebug::enabled(1000)) log.DebugLvl(op, 1000, "%s", body.c_str());
    if (gateway != nullptr) return indexCollectedDataUsingKQInternet(path, body, response, gateway, false);
    std::string target = url + path;
    LMCIHelper poster;
    return poster.indexCollectedData(target, body, response, false, false);
}

bool isDataRequested(int64_t time, const std::vector<MessageHolder>& intervals) {
    for (const MessageHolder& h : intervals) {
        const auto* interval = h ? h->as<TMMsg::LMRequestedReIndexTimeInterval>() : nullptr;
        if (interval != nullptr && interval->startTime() <= time && time <= interval->endTime()) return true;
    }
    return false;
}

namespace Dispatch {

void reply(Call& call, int result, const std::string& text, int timeoutSeconds) {
    LMAddDocumentsToCIResp resp;
    resp.set_errorCode(result);
    resp.set_response(text);
    bool aborted = false;
    CZuError e = call.connection->SendXMLMessage(resp, 0, timeoutSeconds, aborted);
    if (e.IsError()) call.log.Error("LMUtilEntry", "Failed to send XML message, error=%s", e.AsString().c_str());
}

void replyInvalidInput(Call& call) {
    call.log.Error("LMUtilEntry", "invalid input xml");
    reply(call, 0, "Invalid input", kInvalidInputTimeout);
}

LIBCURL::KqInternetGateway* gatewayFor(Call& call, const std::string& url, const char* reuseMessage) {
    // A gateway's relative paths go to the engine it was prepared for; a request that names
    // another engine gets a gateway of its own rather than having its documents posted there.
    if (call.gateway && call.gatewayUrl == url) {
        call.log.DebugLvl("LMUtilEntry", 1, "%s", reuseMessage);
        return call.gateway.get();
    }
    call.gateway.reset();
    auto gateway = std::make_unique<LIBCURL::KqInternetGateway>();
    if (initKqCurlIndexer(url, gateway.get()) != 0) {
        call.log.Error("LMUtilEntry", "initKqCurlIndexer failed. Indexing using lmCurl");
        return nullptr;
    }
    call.gateway = std::move(gateway);
    call.gatewayUrl = url;
    return call.gateway.get();
}

bool uncompressDocuments(Call& call, const std::string& encoded, std::string& docs) {
    try {
        std::string bytes;
        if (BucketBase64::decode(encoded, bytes) && CNZLib::uncompress(bytes, docs) == 0) return true;
    } catch (const std::exception&) {
        // falls through to the failure below
    }
    docs.clear();
    call.log.Error("LMUtilEntry", "Not able to uncompress or decode data");
    return false;
}

namespace {

// LMCommitSolrDataOnSuccessReq: commits the four plain cores in order, stopping at the first
// failure. A request without its URL is dropped unanswered.
void handleCommit(Call& call, const CNMessageBase& msg) {
    const auto& req = *msg.as<LMCommitSolrDataOnSuccessReq>();
    if (!req.has_engineUrl()) return;
    int result = 0;
    std::string response = " ";
    for (int n = 0; n < kLMPlainCoreCount; ++n) {
        std::string url = req.engineUrl() + "/" + kLMPlainCorePrefix + std::to_string(n) +
                          "/LMUpdateHandler?softCommit=true";
        std::string body = "<add> </add>";
        result = call.poster.indexCollectedData(url, body, response, false, false);
        if (result < 0) {
            call.log.Error("LMUtilEntry", "Failed to commit for reason %s", response.c_str());
            break;
        }
    }
    reply(call, result, response, -1);
}

// LMAddDocumentsToCIReq: a complete "<add>" element for one of the plain cores, chosen at random.
void handleDocuments(Call& call, const CNMessageBase& msg) {
    const char* op = "LMUtilEntry";
    const auto& req = *msg.as<LMAddDocumentsToCIReq>();
    if (!req.has_monitoringPolicyId()) {
        replyInvalidInput(call);
        return;
    }
    const int core = std::rand() % kLMPlainCoreCount;
    const std::string coreUrl = req.engineUrl() + "/" + kLMPlainCorePrefix + std::to_string(core);
    std::string updateUrl = coreUrl + (call.softCommitSetting != 0 ? "/LMUpdateHandler?softCommit=true"
                                                                   : "/LMUpdateHandler?");
    if (EvLMDebug::enabled(1000))
        call.log.DebugLvl(op, 1000,
                          "LogMonitoring::Tag_LMAddDocumentsToCIReq source cliendid %lu webserver %s update "
                          "webserver %s data %s",
                          static_cast<unsigned long>(req.clientId()), req.engineUrl().c_str(), updateUrl.c_str(),
                          req.documents().c_str());
    LIBCURL::KqInternetGateway* gateway =
        gatewayFor(call, req.engineUrl(), "DataIndexer is connected. indexToCI using same http object");

    int result = 0;
    std::string response;
    std::string data;
    bool haveData = true;
    if (req.has_compressed() && req.compressed() != 0) {
        if (EvLMDebug::enabled(500))
            call.log.DebugLvl(op, 500, "Encoded Data recieved length [%zu]    %s", req.documents().size(),
                              req.documents().c_str());
        haveData = uncompressDocuments(call, req.documents(), data);
        if (haveData) {
            FixDateTimeFormat(data);
            if (EvLMDebug::enabled(500)) call.log.DebugLvl(op, 500, "Data to be indexed %s", data.c_str());
        }
    } else {
        data = req.documents();
        FixDateTimeFormat(data);
    }
    if (haveData) {
        result = gateway != nullptr ? indexCollectedDataUsingKQInternet(updateUrl, data, response, gateway, false)
                                    : call.poster.indexCollectedData(updateUrl, data, response, false, false);
    }
    reply(call, result, response, -1);
    if (result < 0) call.log.Error(op, "Failed to index");
}

void handleDisconnect(Call& call) {
    call.log.DebugLvl("LMUtilEntry", 1, "disconnecting");
    bool aborted = false;
    CZuError e = call.connection->ReplyDisconnect(120, aborted);
    if (e.IsError()) call.log.Error("LMUtilEntry", "Failed to answer the disconnect, error=%s", e.AsString().c_str());
    call.gateway.reset();
    call.stop = true;
}

void handleUnsupported(Call& call, uint64_t tag) {
    call.log.Error("LMUtilEntry", "unsupported request [%lu]", static_cast<unsigned long>(tag));
}

void dispatch(Call& call, const CNMessageBase& msg) {
    const uint64_t tag = msg.getTagID();
    if (tag == LMCommitSolrDataOnSuccessReq::tagID() && msg.as<LMCommitSolrDataOnSuccessReq>()) {
        handleCommit(call, msg);
    } else if (tag == LMAddDocumentsToCIReq::tagID() && msg.as<LMAddDocumentsToCIReq>()) {
        handleDocuments(call, msg);
    } else if (tag == LMAddDocumentBucketsToCIReq::tagID() && msg.as<LMAddDocumentBucketsToCIReq>()) {
        handleBuckets(call, msg);
    } else if (tag == CKqNetwork::kDisconnectTag) {
        handleDisconnect(call);
    } else if (tag == LMAddDocumentsToGlobalCIReq::tagID() || tag == GetGlobalMonitoringPolicyListReq::tagID()) {
        call.log.Error("LMUtilEntry", "global monitoring requests are not available on this host");
        handleUnsupported(call, tag);
    } else if (tag == MonitoringPolicyProcessingRequest::tagID()) {
        call.log.DebugLvl("LMUtilEntry", 1, "Request of type Tag_MonitoringPolicyProcessingRequest received");
        ProcessMonitoringPolicyData(call.connection, *msg.as<MonitoringPolicyProcessingRequest>());
    } else {
        handleUnsupported(call, tag);
    }
}

void readSettings(Call& call) {
    const char* op = "LMUtilEntry";
    KQPlatformInfo info;
    long long softCommit = 0;
    info.getNumber("EventManager", "nEnableSoftCommit", softCommit);
    call.softCommitSetting = softCommit;
    call.log.DebugLvl(op, 1, "Softcommit is %s", softCommit != 0 ? "Enabled" : "disabled");

    long long utc = 0;
    info.getNumber("EventManager", "nEnableUTCFormatConversion", utc);
    enableSOLRUTCFormatConversion = utc != 0;
    if (utc != 0) call.log.DebugLvl(op, 1, "UTC Format conversion is enabled");

    int timeout = kDefaultSessionTimeout;
    // Zero or a negative value would end every call at once or let a silent peer hold its
    // thread forever; both get the default.
    if (!info.getNumber("EventManager", "nLmSessionTimeout", timeout) || timeout <= 0) timeout = kDefaultSessionTimeout;
    call.sessionTimeout = timeout;
    call.log.DebugLvl(op, 1, "Session timeout interval is %d seconds", timeout);
}

void serve(CKqNetwork* connection) {
    Call call(connection);
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    readSettings(call);
    while (!call.stop) {
        std::unique_ptr<CNMessageBase> msg;
        bool aborted = false;
        CZuError e = connection->ReceiveXMLMessage(msg, call.sessionTimeout, aborted);
        if (e.IsError() || !msg) {
            call.log.Error("LMUtilEntry", "Receive object failed.");
            break;
        }
        dispatch(call, *msg);
    }
}

} // namespace
} // namespace Dispatch
} // namespace LogMonitoring

extern "C" void LMUtilEntry(CKqNetwork* connection, void*) {
    if (connection == nullptr) return;
    try {
        LogMonitoring::Dispatch::serve(connection);
    } catch (const std::exception& e) {
        EvLMDebug().Error("LMUtilEntry", "request handling ended by an exception: %s", e.what());
    } catch (...) {
        EvLMDebug().Error("LMUtilEntry", "request handling ended by an unknown exception");
    }
}
