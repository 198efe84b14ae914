// The dispatcher's bucket request: documents of one day, week or month per bucket, posted to the
// policy's time-partitioned cores.
#include <cstdint>

#include "indexing/LMCoreNames.h"
#include "indexing/LMUtilEntry.h"
#include "indexing/LMUtilEntryCall.h"
#include "platform/messages/catalogue/Catalogue.h"
#include "platform/registry/KQPlatformInfo.h"

namespace LogMonitoring::Dispatch {

namespace {

constexpr uint64_t kDefaultDumpFileMb = 15;
constexpr uint64_t kMaxDumpFileMb = 4090;

// Size at which a dump file rolls over, in bytes.
uint64_t dumpFileSizeLimit() {
    uint64_t mb = 0;
    if (!KQPlatformInfo().getNumber("Kqd", "LMMaxFileSizeToSplitInMb", mb) || mb == 0 || mb > kMaxDumpFileMb)
        mb = kDefaultDumpFileMb;
    return mb * 1048576;
}

} // namespace

void handleBuckets(Call& call, const CNMessageBase& msg) {
    const char* op = "LMUtilEntry";
    const auto& req = *msg.as<LMAddDocumentBucketsToCIReq>();
    if (!req.has_monitoringPolicyId()) {
        replyInvalidInput(call);
        return;
    }
    const uint64_t policyId = static_cast<uint64_t>(req.monitoringPolicyId());
    const int factor = static_cast<int>(req.timeFactor());
    const bool softCommit = call.softCommitSetting == 1 || (req.has_commitFlag() && req.commitFlag() != 0);
    int result = 1;
    std::string replyText;

    LIBCURL::KqInternetGateway* gateway =
        gatewayFor(call, req.engineUrl(), "DataIndexer is connected; indexToCI using same http object");
    if (gateway == nullptr) replyText = "initKqCurlIndexer failed. Indexing using lmCurl";

    if (req.buckets_size() == 0) {
        result = indexToCI(policyId, req.engineUrl(), std::string(kLMPlainCorePrefix) + "0", softCommit, "", replyText,
                           factor, gateway);
        reply(call, result, replyText, -1);
        return;
    }

    const uint64_t dumpLimit = dumpFileSizeLimit();
    (void)dumpLimit; // the dump store's file size; the dump store is not part of this host yet
    // A bucket that cannot be decoded is lost for the index; a later bucket that posts fine must
    // not turn the request's answer into a success, or the sender would move past that bucket.
    bool decodeFailed = false;
    for (size_t i = 0; i < req.buckets_size(); ++i) {
        const LMDataBucket& bucket = req.buckets(i);
        if (!bucket.has_indexFlag()) continue;
        const int64_t time = bucket.bucketTime();
        if (bucket.indexFlag() == 1 || isDataRequested(time, req.reIndexIntervals_list())) {
            std::string core;
            getCoreName(static_cast<time_t>(time), core, factor, policyId);
            std::string decoded;
            const std::string* data = &bucket.documents();
            bool haveData = true;
            if (bucket.has_compressed() && bucket.compressed() != 0) {
                if (EvLMDebug::enabled(500))
                    call.log.DebugLvl(op, 500, "Encoded Data received length [%zu]    %s", bucket.documents().size(),
                                      bucket.documents().c_str());
                haveData = uncompressDocuments(call, bucket.documents(), decoded);
                if (haveData && EvLMDebug::enabled(500))
                    call.log.DebugLvl(op, 500, "Data to be indexed %s", decoded.c_str());
                data = &decoded;
            }
            if (!haveData) {
                result = 0;
                decodeFailed = true;
            } else {
                replyText.clear();
                result = indexToCI(policyId, req.engineUrl(), core, softCommit, *data, replyText, factor, gateway);
                if (result == -1) {
                    call.log.Error(op, "Failed to index data, error=%s", replyText.c_str());
                    break;
                }
            }
        }
        if (req.dumpLocation().empty()) {
            call.log.DebugLvl(op, 1, "Empty subclient location; So Only indexing");
        } else {
            call.log.Error(op, "the dump store is not available on this host; bucket %lld of monitoring policy %llu "
                               "was indexed only",
                           static_cast<long long>(time), static_cast<unsigned long long>(policyId));
        }
    }
    if (decodeFailed && result == 1) result = 0;
    reply(call, result, replyText, -1);
}

} // namespace LogMonitoring::Dispatch
