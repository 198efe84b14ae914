#include "indexing/LMCoreNames.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include <nlohmann/json.hpp>

#include "indexing/LMCIHelper.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/catalogue/AppMessages.h"
#include "platform/mgmt/App_ExecuteSP.h"
#include "platform/mgmt/KQClient.h"
#include "platform/registry/KQPlatformInfo.h"

namespace LogMonitoring {

namespace {

// Calendar parts of a time, always in UTC: core names must not depend on the zone of the machine
// that names them, or two hosts would file the same day under different cores.
struct tm utcParts(time_t time) {
    struct tm parts {};
    if (gmtime_r(&time, &parts) == nullptr) parts = {};
    return parts;
}

int weekOfYear(const struct tm& parts) {
    char week[8] = {};
    if (strftime(week, sizeof week, "%W", &parts) == 0) return 0;
    return std::atoi(week);
}

// The core part of a core name or shard URL ("host:port/solr/<core>"). Markers are looked for
// only there, so that a host name holding "_W" or "_M" cannot change how a core is read.
std::string corePart(const std::string& nameOrUrl) {
    const size_t slash = nameOrUrl.rfind('/');
    return slash == std::string::npos ? nameOrUrl : nameOrUrl.substr(slash + 1);
}

bool allDigits(const std::string& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

void getCoreName(time_t time, std::string& coreName, int factor, uint64_t policyId) {
    const struct tm parts = utcParts(time);
    char suffix[64] = {};
    switch (factor) {
    case kLMFactorDay:
        std::snprintf(suffix, sizeof suffix, "%d_%d_%d", parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday);
        break;
    case kLMFactorWeek: {
        char week[8] = {};
        strftime(week, sizeof week, "%W", &parts);
        std::snprintf(suffix, sizeof suffix, "W%s_%d", week, parts.tm_year + 1900);
        break;
    }
    case kLMFactorMonth:
        std::snprintf(suffix, sizeof suffix, "M%d_%d", parts.tm_mon + 1, parts.tm_year + 1900);
        break;
    default:
        break;
    }
    coreName = std::string(kLMPartitionedCorePrefix) + std::to_string(policyId) + "_" + suffix;
}

void getFactorsForGivenTime(time_t time, int& day, int& week, int& month, int& year) {
    const struct tm parts = utcParts(time);
    day = parts.tm_mday;
    week = weekOfYear(parts);
    month = parts.tm_mon + 1;
    year = parts.tm_year + 1900;
}

void getFactorParts(time_t time, int factor, int& year, int& part) {
    const struct tm parts = utcParts(time);
    year = parts.tm_year + 1900;
    if (factor == kLMFactorWeek) part = weekOfYear(parts);
    else if (factor == kLMFactorMonth) part = parts.tm_mon + 1;
}

int getFactorForCoreName(const std::string& coreNameOrUrl) {
    const std::string core = corePart(coreNameOrUrl);
    if (core.find("_W") != std::string::npos) return kLMFactorWeek;
    if (core.find("_M") != std::string::npos) return kLMFactorMonth;
    return kLMFactorDay;
}

bool checkWhetherUrlIsValidForGivenTime(const std::string& url, int startPart, int startYear, int endPart,
                                        int endYear, int factor) {
    const std::string core = corePart(url);
    const size_t marker = core.find(factor == kLMFactorWeek ? "_W" : "_M");
    const size_t last = core.rfind('_');
    if (marker == std::string::npos || last == std::string::npos || last < marker + 2) return false;
    const int part = std::atoi(core.substr(marker + 2, last - marker - 2).c_str());
    const int year = std::atoi(core.substr(last + 1).c_str());
    if (year < startYear || year > endYear) return false;
    if (year == startYear && part < startPart) return false;
    if (year == endYear && part > endPart) return false;
    return true;
}

bool checkWhetherDayCoreUrlIsValidForGivenTime(const std::string& url, int startDay, int startMonth, int startYear,
                                               int endDay, int endMonth, int endYear) {
    const size_t at = url.find(kLMPartitionedCorePrefix);
    if (at == std::string::npos) return false;
    std::vector<std::string> pieces;
    size_t from = at;
    while (from <= url.size()) {
        size_t to = url.find('_', from);
        if (to == std::string::npos) to = url.size();
        if (to > from) pieces.push_back(url.substr(from, to - from));
        from = to + 1;
    }
    if (pieces.size() < 5) return false;
    const auto date = std::make_tuple(std::atoi(pieces[2].c_str()), std::atoi(pieces[3].c_str()),
                                      std::atoi(pieces[4].c_str()));
    return date >= std::make_tuple(startYear, startMonth, startDay) && date <= std::make_tuple(endYear, endMonth, endDay);
}

namespace {

struct RangeParts {
    int day = 0, week = 0, month = 0, year = 0;
};

void filterShards(const std::vector<std::string>& shards, const RangeParts& s, const RangeParts& e, std::string& out,
                  time_t start, time_t end) {
    EvLMDebug log;
    for (const std::string& shard : shards) {
        bool covers = false;
        switch (getFactorForCoreName(shard)) {
        case kLMFactorWeek:
            covers = checkWhetherUrlIsValidForGivenTime(shard, s.week, s.year, e.week, e.year, kLMFactorWeek);
            break;
        case kLMFactorMonth:
            covers = checkWhetherUrlIsValidForGivenTime(shard, s.month, s.year, e.month, e.year, kLMFactorMonth);
            break;
        default:
            covers = checkWhetherDayCoreUrlIsValidForGivenTime(shard, s.day, s.month, s.year, e.day, e.month, e.year);
            break;
        }
        if (covers) {
            if (!out.empty()) out += ",";
            out += shard;
        } else {
            log.DebugLvl("filterTimeOnShardsList", 5, "Core %s is invalid for alertStartTime %ld and alertEndTime %ld",
                         shard.c_str(), static_cast<long>(start), static_cast<long>(end));
        }
    }
}

RangeParts partsOf(time_t t) {
    RangeParts p;
    getFactorsForGivenTime(t, p.day, p.week, p.month, p.year);
    return p;
}

} // namespace

void filterTimeOnCompleteShardsList(const LMShardsMap& shards, std::string& out, time_t start, time_t end) {
    const RangeParts s = partsOf(start), e = partsOf(end);
    for (const auto& [policy, list] : shards) filterShards(list, s, e, out, start, end);
}

void filterTimeOnAssociatedShardsList(const LMShardsMap& shards, const std::vector<int>& policyIds, std::string& out,
                                      time_t start, time_t end) {
    const RangeParts s = partsOf(start), e = partsOf(end);
    for (int id : policyIds) {
        auto it = shards.find(id);
        if (it != shards.end()) filterShards(it->second, s, e, out, start, end);
    }
}

void populateLMScalePolicyToShardsMap(const std::string& host, const std::string& port, LMShardsMap& shards) {
    const char* op = "populateLMScalePolicyToShardsMap";
    EvLMDebug log;
    std::string url = "http://" + host + ":" + port + "/solr/api/admin/cores";
    // The HTTP client refuses an empty body even for a get, which sends none.
    std::string body = " ";
    std::string response;
    int rc = -1;
    {
        LMCIHelper poster;
        rc = poster.indexCollectedData(url, body, response, false, true);
    }
    if (rc < 0) {
        log.Error(op, "failed to get status query for host:[%s] and portNo:[%s]", host.c_str(), port.c_str());
        return;
    }
    const nlohmann::json answer = nlohmann::json::parse(response, nullptr, false);
    if (answer.is_discarded()) {
        log.Error(op, "failed to unserialize json response for host:[%s] and portNo:[%s]", host.c_str(), port.c_str());
        return;
    }
    if (!answer.is_object() || !answer.contains("response") || answer["response"].is_null()) return;
    const nlohmann::json& cores = answer["response"];
    if (!cores.is_array()) {
        log.Error(op, "No cores returned as output");
        return;
    }
    const std::string prefix = kLMPartitionedCorePrefix;
    for (const nlohmann::json& element : cores) {
        if (!element.is_string()) continue;
        const std::string name = element.get<std::string>();
        const size_t at = name.find(prefix);
        if (at == std::string::npos) continue;
        const size_t idStart = at + prefix.size();
        const size_t idEnd = name.find('_', idStart);
        if (idEnd == std::string::npos) continue;
        const std::string idText = name.substr(idStart, idEnd - idStart);
        // Only a decimal id names a policy; anything else would count as policy 0 and is skipped.
        if (!allDigits(idText) || idText.size() > 9) continue;
        const int policyId = std::atoi(idText.c_str());
        if (policyId == 0) continue;
        shards[policyId].push_back(host + ":" + port + "/solr/" + name);
    }
}

int getHostAndPortInfo(std::string& hostName, int& port, uint64_t& clientId) {
    const char* op = "getHostAndPortInfo";
    EvLMDebug log;
    KQPlatformInfo info;
    info.setFocus(KQPI_Focus::getFocus());
    const std::string machine = info.getPhysicalMachine();
    KQClient(machine, 0, 0).getClientId(clientId);

    char host[1024] = {};
    if (!info.getClientHostName(machine, host, sizeof host)) {
        // Without it no shard URL can be built; an invented name would send queries elsewhere.
        log.Error(op, "Not able to find the host name of client [%s]", machine.c_str());
        return 1;
    }
    hostName = host;

    if (!info.getNumber("Analytics", "analyticsPort", port)) {
        log.Error(op, "Not able to find analytics port number from registry. So making API call");
        if (getAnalyticsPortNumber(clientId, port) != 0) return 1;
    }
    log.DebugLvl(op, 1, "hostName = [%s] , PortNumber = [%d]", hostName.c_str(), port);
    return 0;
}

int getAnalyticsPortNumber(uint64_t clientId, int& port) {
    const char* op = "getAnalyticsPortNumber";
    EvLMDebug log;
    App::CloudInfo request;
    request.set_operation(1);
    request.add_nodes().mutable_client().set_clientId(static_cast<int64_t>(clientId));
    std::string input, output;
    if (request.serialize(input) != 0) {
        log.Error(op, "failed to serialize the AppGetNodeMetaProp input");
        return 1;
    }
    App_ExecuteSP sp;
    if (int rc = sp.executeStoredProcedure(App::CloudInfo::tagID(), input, output, nullptr); rc != 0) {
        log.Error(op, "failed to execute SP[AppGetNodeMetaProp] inputXml:[%s] , outputXml:[%s]", input.c_str(),
                  output.c_str());
        return rc;
    }
    App::CloudNodeInfo node;
    if (int rc = node.unserialize(output); rc != 0) {
        log.Error(op, "failed to unserialize xml [%s]. error:[%d]", output.c_str(), rc);
        return rc;
    }
    if (node.properties_size() == 0) {
        log.Error(op, "Analayitcs service is not configured");
        return 1;
    }
    for (size_t i = 0; i < node.properties_size(); ++i) {
        const App::NameValuePair& p = node.properties(i);
        if (p.name() != "analyticsPort") continue;
        const int value = std::atoi(p.value().c_str());
        // A value that is no port would make every later URL of this engine wrong.
        if (value <= 0 || value > 65535) {
            log.Error(op, "Analytics Port number [%s] is not a valid port", p.value().c_str());
            return 1;
        }
        port = value;
        log.DebugLvl(op, 1, "Analytics Port number is %s", p.value().c_str());
        return 0;
    }
    log.Error(op, "There is no analytics port number");
    return 1;
}

} // namespace LogMonitoring
