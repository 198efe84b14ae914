// Batching of index documents: the list batch for the plain cores, the day buckets for the
// partitioned cores, the size rules that trigger a send, the send itself with its failover along
// the engine nodes, and the judgement of the index engine's reply.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "indexing/CNZLib.h"
#include "indexing/LMCIHelper.h"
#include "platform/localdb/LMDBInterface.h"
#include "platform/mgmt/KQClient.h"

namespace LogMonitoring {

namespace {

constexpr double kSecondsPerDay = 86400.0;

bool containsAccessDenied(const std::string& response) {
    return response.find("Access denied") != std::string::npos ||
           response.find("Access Denied") != std::string::npos ||
           response.find("Access is denied") != std::string::npos;
}

template <class It> It nodeAt(It first, It last, int32_t index) {
    for (int32_t i = 0; first != last; ++first, ++i)
        if (i == index) return first;
    return last;
}

} // namespace

// ---------------------------------------------------------------- batch contents

bool LMCIHelper::batchIsFull(uint64_t batchBytes, uint64_t docBytes) const {
    if (cloudPolicyId != 0) return batchBytes + docBytes > kLMMaxGlobalBatchBytes;
    return batchBytes + docBytes > kLMMaxBatchBytes || batchFileIds.size() > kLMMaxBatchFiles;
}

// The batch is full: send it and keep it for a retry unless the send worked or too many
// documents are waiting already.
int LMCIHelper::flushFullBatch() {
    int sent = sendDatatoCI(false, false);
    if (sent == 0 || docCount > kLMMaxDocsKeptAfterFailure) clearDocList();
    return sent;
}

int LMCIHelper::addToDocList() { return addDocument(currentDoc, true); }

int LMCIHelper::addToDocList(const std::string& doc) { return addDocument(doc, false); }

// `everyRule`: the file-count and global-monitoring limits apply too, not only the plain size.
int LMCIHelper::addDocument(const std::string& doc, bool everyRule) {
    if (doc.size() > kLMMaxBatchBytes) {
        DebugLvl("LMCIHelper::addToDocList", 0, "doc length %llu is larger than expected size, skipping",
                 static_cast<unsigned long long>(doc.size()));
        return 0;
    }
    int result = 0;
    if (dayBucketMode && !forceListMode) {
        populateDocMap(doc);
    } else {
        bool full = everyRule ? batchIsFull(docList.size(), doc.size()) : docList.size() + doc.size() > kLMMaxBatchBytes;
        if (flushEnabled && full) result = flushFullBatch();
        docList.append(doc);
    }
    ++docCount;
    return result;
}

int LMCIHelper::populateDocMap(const std::string& doc) {
    if (!dayBucketMode) return 0;
    if (currentDayKey == 0) {
        time_t now = time(nullptr);
        struct tm utc {};
        gmtime_r(&now, &utc);
        currentDayKey = createKeyFordocMap(utc);
    }
    if (docMap.find(currentDayKey) == docMap.end()) docMap[currentDayKey].docs = patternHeaderDocs;
    int result = 0;
    if (flushEnabled && batchIsFull(static_cast<uint64_t>(docMapBytes), doc.size())) result = flushFullBatch();
    docListInfo& day = docMap[currentDayKey]; // created empty when the send cleared the map
    day.docs.append(doc);
    ++day.count;
    docMapBytes += static_cast<int64_t>(doc.size());
    return result;
}

void LMCIHelper::clearDocList() {
    docList.clear();
    docMap.clear();
    docCount = 0;
    docMapBytes = 0;
}

// ---------------------------------------------------------------- sending

void LMCIHelper::markCurrentNodeUnavailable() {
    auto it = nodeAt(nodeList.begin(), nodeList.end(), currentNodeIndex);
    if (it != nodeList.end()) it->set_availability(0);
}

void LMCIHelper::switchToNode(int32_t index) {
    auto& node = *nodeAt(nodeList.begin(), nodeList.end(), index);
    engineUrl = "http://" + node.hostName() + ":" + node.basePort() + "/solr/";
    currentNodeIndex = index;
    DebugLvl("LMCIHelper::sendDatatoCI", 0, "switching to %s", engineUrl.c_str());
    std::string host;
    if (node.has_networkHostName()) host = node.networkHostName();
    if (host.empty()) KQClient(static_cast<uint64_t>(node.clientId())).getNetworkHostnameMangled(host);
    // A session still attached to the previous node would carry the retry back to it.
    if (host != engineHostName && network.IsConnected()) {
        bool aborted = false;
        network.Disconnect(120, aborted);
    }
    engineHostName = host;
}

int LMCIHelper::exchange(std::string& data, std::string& response, bool commit) {
    response.clear();
    if (useThreadPool) return indexCollectedDataUsingThreadPool(engineUrl, data, response, false, commit);
    return indexCollectedDataKQS(engineUrl, data, response, false, commit);
}

// One further attempt per node, in list order; an available node is switched to first, so an
// unavailable one sends the attempt to the current node again.
int LMCIHelper::failOver(std::string& data, std::string& response, bool commit) {
    int result = 0;
    int32_t count = static_cast<int32_t>(nodeList.size());
    for (int32_t i = 0; i < count; ++i) {
        auto it = nodeAt(nodeList.begin(), nodeList.end(), i);
        bool addressable = !it->hostName().empty() && !it->basePort().empty();
        if (!addressable) it->set_availability(0); // no URL can be made for it
        else if (!it->has_availability() || it->availability() != 0) switchToNode(i);
        result = exchange(data, response, commit);
        if (result == 1) break;
        markCurrentNodeUnavailable();
    }
    return result;
}

void LMCIHelper::advanceOffsets() {
    if (dbInterface) dbInterface->updateLastKnownGoodOffsets(std::vector<int>(batchFileIds.begin(), batchFileIds.end()));
}

void LMCIHelper::rollBackOffsets() {
    if (dbInterface) dbInterface->resetToLastKnownGoodOffsets(std::vector<int>(batchFileIds.begin(), batchFileIds.end()));
}

int LMCIHelper::sendThroughProxy(std::string& data, std::string& response, bool commit) {
    int result = indexCollectedDataKQS(engineUrl, data, response, false, commit);
    if (result != 1) return result;
    result = isResponseSuccess(response) && !containsAccessDenied(response) ? 1 : 0;
    if (result == 1) {
        advanceOffsets();
    } else {
        Error("LMCIHelper::sendDatatoCI", "proxy client handler responded with error response %s", response.c_str());
        lastErrorText = "proxy handler responded with error response" + response;
        rollBackOffsets();
    }
    return result;
}

int LMCIHelper::sendDirect(std::string& data, std::string& response, bool commit) {
    static const char* kOp = "LMCIHelper::sendDatatoCI";
    int result = exchange(data, response, commit);
    if (result < 1) {
        if (engineUrl.empty() || data.empty()) {
            DebugLvl(kOp, -1, "webserver url is empty (length %llu) or data is empty (length %llu)",
                     static_cast<unsigned long long>(engineUrl.size()), static_cast<unsigned long long>(data.size()));
            lastErrorCode = kLMEmptyUrlOrData;
            lastErrorText = "webserverUrl is empty or data is empty, please check LogMonitoring log for more details";
            return kEmptyUrlOrDataResult;
        }
        DebugLvl(kOp, 0, "Failed to index data. Reason[%s]", response.c_str());
        markCurrentNodeUnavailable();
        result = failOver(data, response, commit);
        if (result < 1) {
            rollBackOffsets();
            DebugLvl(kOp, -1, "response for webUrl=%s is %s", engineUrl.c_str(), response.c_str());
            if (lastErrorCode != 0) lastErrorCode = kLMAllNodesFailed;
            lastErrorText = "Failed to index data, webUrl:" + engineUrl + " ,Error: " + response;
        }
    }
    DebugLvl(kOp, 100, "response %s:%s", engineUrl.c_str(), response.c_str());
    DebugLvl(kOp, 1000, "dataToSend %s", data.c_str());
    if (result == 1) {
        if (isResponseSuccess(response)) {
            advanceOffsets();
        } else {
            result = 0;
            Error(kOp, "solr handler responded with error response %s", response.c_str());
            lastErrorCode = 0;
            lastErrorText = "solr handler responded with error response" + response;
            // The engine refused the batch: its records must be read and sent again.
            rollBackOffsets();
        }
    }
    return result;
}

int LMCIHelper::sendDatatoCI(bool commit, bool force) {
    lastErrorCode = 0;
    lastErrorText.clear();
    std::string data;
    data.reserve(patternHeaderDocs.size() + docList.size() + 12);
    data.append("<add> ").append(patternHeaderDocs).append(docList).append("</add>");
    DebugLvl("LMCIHelper::sendDatatoCI", 5, "Event count %d , length of pattern [%llu] , length of doclist [%llu]",
             docCount, static_cast<unsigned long long>(patternHeaderDocs.size()),
             static_cast<unsigned long long>(docList.size()));
    if (docCount == 0 && !commit && !force) {
        DebugLvl("LMCIHelper::sendDatatoCI", 3, "Doc list is empty.");
        return 0;
    }
    std::string response;
    int result = proxyClientId != 0 ? sendThroughProxy(data, response, commit) : sendDirect(data, response, commit);
    if (result == kEmptyUrlOrDataResult) return -1; // the batch and its file ids stay for a later send
    batchFileIds.clear();
    lastBatchFileId = 0;
    if (lastErrorCode != 0) processOutputResponse(response);
    return result == 1 ? 0 : -1;
}

// ---------------------------------------------------------------- bucket request

void LMCIHelper::addDocsToDataBucketList(LMAddDocumentBucketsToCIReq& req) {
    static const char* kOp = "LMCIHelper::addDocsToDataBucketList";
    const bool proxy = proxyClientId != 0;
    const double now = static_cast<double>(time(nullptr));
    for (auto& [key, day] : docMap) {
        LMDataBucket& bucket = req.add_buckets();
        bucket.set_bucketTime(static_cast<int64_t>(key));
        bucket.set_documentCount(day.count);
        bool aged = (now - static_cast<double>(key)) / kSecondsPerDay > dataAgeingDays + 1;
        bucket.set_indexFlag(aged ? 0 : 1);
        if (!proxy) {
            // A request built to be sent borrows the day's text; restoreDayTexts gives it back
            // when the batch has to stay.
            if (lendDayTexts_) bucket.set_documents(std::move(day.docs));
            else bucket.set_documents(day.docs);
            continue;
        }
        DebugLvl(kOp, 500, "Data to be send length [%llu] %s", static_cast<unsigned long long>(day.docs.size()),
                 day.docs.c_str());
        std::string compressed, encoded;
        if (CNZLib::compress(day.docs, compressed) == 0) encoded = BucketBase64::encode(compressed);
        if (encoded.empty()) {
            Debug(kOp, "Not able to compress data, sending the xml as it is");
            bucket.set_documents(day.docs);
        } else {
            DebugLvl(kOp, 500, "Encoded Data to be send length [%llu] %s",
                     static_cast<unsigned long long>(encoded.size()), encoded.c_str());
            bucket.set_documents(encoded);
            bucket.set_compressed(1);
        }
        bucket.set_indexFlag(1);
    }
}

void LMCIHelper::restoreDayTexts(const CNMessageBase& request) {
    const auto* req = request.as<LMAddDocumentBucketsToCIReq>();
    if (!req) return;
    for (size_t i = 0; i < req->buckets_size(); ++i) {
        const LMDataBucket& bucket = req->buckets(i);
        auto it = docMap.find(static_cast<uint64_t>(bucket.bucketTime()));
        if (it != docMap.end() && it->second.docs.empty() && !bucket.has_compressed()) it->second.docs = bucket.documents();
    }
}

void LMCIHelper::populateDocumentBucketReq(LMAddDocumentBucketsToCIReq& req, bool& commit, std::string& url) {
    req.set_clientId(clientId);
    req.set_monitoringPolicyId(static_cast<int64_t>(monitoringPolicyId));
    req.set_commitFlag(commit ? 1 : 0);
    req.set_buckets_empty();
    addDocsToDataBucketList(req);
    req.set_engineUrl(url);
    req.set_subClientId(static_cast<int64_t>(subClientId));
    req.set_dumpLocation(dumpLocation);
    req.set_timeFactor(timeFactor == 2 || timeFactor == 3 ? timeFactor : 1);
    req.set_reIndexIntervals_empty();
    for (const auto& interval : reIndexIntervals) req.add_reIndexIntervals(interval);
}

// ---------------------------------------------------------------- reply judgement

void LMCIHelper::processOutputResponse(const std::string& response) {
    static const std::string kStatus = "<int name=\"status\">";
    size_t at = response.find(kStatus);
    if (at == std::string::npos) {
        lastErrorCode = 0;
        return;
    }
    size_t from = at + kStatus.size();
    size_t to = response.find("</int>", from);
    lastErrorCode = std::atoi(response.substr(from, to == std::string::npos ? std::string::npos : to - from).c_str());
}

bool isResponseSuccess(std::string response) {
    for (char& c : response) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return response.find("error") == std::string::npos && response.find("exception") == std::string::npos;
}

int decodeBase64(const char* text, char* out) {
    static const auto kValues = [] {
        std::array<int8_t, 256> v{};
        v.fill(-1);
        const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i) v[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
        return v;
    }();
    if (!text || !out) return 0;
    size_t length = std::strlen(text);
    int written = 0;
    for (size_t i = 0; i + 4 <= length; i += 4) {
        int values[4];
        int have = 0;
        for (; have < 4 && text[i + have] != '='; ++have) {
            values[have] = kValues[static_cast<unsigned char>(text[i + have])];
            if (values[have] < 0) return written; // not of the alphabet: the text ends here
        }
        if (have >= 2) out[written++] = static_cast<char>((values[0] << 2) | (values[1] >> 4));
        if (have >= 3) out[written++] = static_cast<char>(((values[1] & 0xF) << 4) | (values[2] >> 2));
        if (have == 4) out[written++] = static_cast<char>(((values[2] & 0x3) << 6) | values[3]);
        if (have < 4) break; // "=" ends the text
    }
    return written;
}

} // namespace LogMonitoring
