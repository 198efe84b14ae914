#pragma once
// Names of the index cores: the four plain cores shared by every policy and the time-partitioned
// cores of one policy and one day, week or month; the time filters over lists of such cores; and
// where this machine's analytics engine listens.
//
// Every calendar part is taken in UTC, so the local time zone never changes a core name.
#include <cstdint>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "LMExport.h"

namespace LogMonitoring {

// The partition factor of a policy's cores.
enum LMIndexAndRestoreFactor : int {
    kLMFactorDay = 1,
    kLMFactorWeek = 2,
    kLMFactorMonth = 3,
};

constexpr int kLMPlainCoreCount = 4;
constexpr const char* kLMPlainCorePrefix = "kqcorelm";
constexpr const char* kLMPartitionedCorePrefix = "kqcorelm_";

// Policy id to the shard URLs ("host:port/solr/core") of its partitioned cores.
using LMShardsMap = std::map<int, std::vector<std::string>>;

// "kqcorelm_<policy>_<slot>" for the day, week or month that holds `time`.
LM_EXPORT void getCoreName(time_t time, std::string& coreName, int factor, uint64_t policyId);
// Day of month, week of the year ("%W"), month 1..12 and year of `time`.
LM_EXPORT void getFactorsForGivenTime(time_t time, int& day, int& week, int& month, int& year);
// The year and the slot part (week for factor 2, month for factor 3; untouched for factor 1).
LM_EXPORT void getFactorParts(time_t time, int factor, int& year, int& part);
// 2 for a week core, 3 for a month core, else 1.
LM_EXPORT int getFactorForCoreName(const std::string& coreNameOrUrl);
LM_EXPORT bool checkWhetherUrlIsValidForGivenTime(const std::string& url, int startPart, int startYear,
                                                  int endPart, int endYear, int factor);
LM_EXPORT bool checkWhetherDayCoreUrlIsValidForGivenTime(const std::string& url, int startDay, int startMonth,
                                                         int startYear, int endDay, int endMonth, int endYear);
// Appends to `out` ("," between entries) every shard that covers [start, end].
LM_EXPORT void filterTimeOnCompleteShardsList(const LMShardsMap& shards, std::string& out, time_t start,
                                              time_t end);
LM_EXPORT void filterTimeOnAssociatedShardsList(const LMShardsMap& shards, const std::vector<int>& policyIds,
                                                std::string& out, time_t start, time_t end);
// Fills the map from the core list of the engine at host:port.
LM_EXPORT void populateLMScalePolicyToShardsMap(const std::string& host, const std::string& port,
                                                LMShardsMap& shards);
// This machine's analytics engine host and port, and this machine's client id. 0 on success.
LM_EXPORT int getHostAndPortInfo(std::string& hostName, int& port, uint64_t& clientId);
// The analytics port of a client from the management server. 0 on success.
LM_EXPORT int getAnalyticsPortNumber(uint64_t clientId, int& port);

} // namespace LogMonitoring
