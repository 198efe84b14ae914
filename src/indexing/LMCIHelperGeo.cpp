// Geolocation of the IPv4 addresses in a record: each public address is resolved to coordinates
// by the location service, the coordinates to a country and state by the reverse-geocoding
// service, and the result written as fields of the record's document. Resolved addresses are
// kept in geoCache for the life of the helper and in the local database, where an address used
// within the last week is not sent to the service again.
#include <cctype>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "indexing/LMCIHelper.h"
#include "platform/localdb/LMDBInterface.h"
#include "values/LMRegexCache.h"

namespace LogMonitoring {

namespace {

// A dotted quad between delimiters, not preceded by "$Revision:" (version stamps of source
// control keywords look like addresses). Group 2 is the address.
const char* const kIpExpression =
    R"RE((?<!\$Revision:)( |"|'|\[|:|\()(([0-9]{1,3})[.]([0-9]{1,3})[.]([0-9]{1,3})[.]([0-9]{1,3}))( |"|'|\]|:|\)))RE";

// "lat"/"latitude" and "lng"/"long"/"longitude" with their numbers, as the location service
// writes them. The separator class between the two holds a line feed and a tab byte.
const std::string kLatLngExpression =
    std::string(R"RE(((l|L)at(itude)?)(=|:| |"|'|\\)*([-]?)([0-9]+)[.]([0-9]+)( |,|:|"|'|\\|)RE") + "\n|\t" +
    R"RE()+((l|L)(o)?ng(itude)?)(=|:| |"|'|\\)*([-]?)([0-9]+)[.]([0-9]+))RE";

// The namespace of our reverse-geocoding request documents.
const char* const kReverseGeocodingNamespace = "urn:logmonitoring:geolocation:reverse";

constexpr int kLocalTableDays = 7;

struct CompiledExpression {
    std::shared_ptr<const boost::regex> regex;
    std::string error;
};

CompiledExpression compile(const std::string& expression) {
    CompiledExpression c;
    c.regex = LMRegexCache::get(expression, boost::regex::perl | boost::regex::icase, c.error);
    return c;
}

// Both expressions are fixed; they are compiled once per process.
const CompiledExpression& ipExpression() {
    static const CompiledExpression c = compile(kIpExpression);
    return c;
}

const CompiledExpression& latLngExpression() {
    static const CompiledExpression c = compile(kLatLngExpression);
    return c;
}

// Searches [from, end) of `text`; what lies before `from` is still seen by look-behind.
bool searchFrom(const std::string& text, std::string::const_iterator from, const boost::regex& re,
                boost::smatch& m) {
    try {
        boost::match_flag_type flags = boost::match_default;
        if (from != text.begin()) flags |= boost::match_prev_avail;
        return boost::regex_search(from, text.end(), m, re, flags);
    } catch (const std::exception&) {
        // The library gave up on this text (too complex): no match.
        return false;
    }
}

std::string lowerCopy(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}

void LMCIHelper::setGeolocationService(const std::string& locationUrl, const std::string& reverseGeocodingUrl,
                                       const std::string& key, const std::string& user) {
    geoLocationUrl = locationUrl;
    geoReverseGeocodingUrl = reverseGeocodingUrl;
    geoServiceKey = key;
    geoServiceUser = user;
}

int LMCIHelper::discoverIPAndAddToCIDoc(std::string text, std::string& doc) {
    const char* op = "LMCIHelper::discoverIPAndAddToCIDoc";
    const CompiledExpression& expression = ipExpression();
    if (!expression.regex) {
        Error(op, "Error in regex creation %s", expression.error.c_str());
        return 0;
    }
    boost::smatch m;
    auto from = text.cbegin();
    while (from != text.cend() && searchFrom(text, from, *expression.regex, m)) {
        const std::string address = m[2].str();
        from = m[0].second;

        auto cached = geoCache.find(address);
        if (cached != geoCache.end()) {
            const GeolocationAttributes& a = cached->second;
            addGeoDiscoverFields(address, a.countryCode, a.state, a.latitude, a.longitude);
            return 1;
        }
        if (dbInterface == nullptr) {
            Error(op, "lmDbInterface is NULL");
            continue;
        }
        if (dbInterface->wasIPCachedRecently(address, kLocalTableDays)) {
            GeolocationAttributes a;
            if (dbInterface->selectGeoIPLocation(address, a.latitude, a.longitude, a.countryCode, a.state) == 0) {
                addGeoDiscoverFields(address, a.countryCode, a.state, a.latitude, a.longitude);
                geoCache[address] = a;
            }
        } else {
            discoverAndAddLatLng(ipToLocation(address), doc, address);
        }
    }
    return 1;
}

int LMCIHelper::discoverAndAddLatLng(std::string text, std::string& doc, const std::string& ip) {
    (void)doc; // the fields go to currentDoc, which is what every caller passes
    const char* op = "LMCIHelper::discoverAndAddLatLng";
    const CompiledExpression& expression = latLngExpression();
    if (!expression.regex) {
        Error(op, "Error in regex creation %s", expression.error.c_str());
        return 0;
    }
    boost::smatch m;
    if (text.empty() || !searchFrom(text, text.cbegin(), *expression.regex, m) || m.size() < 17) return 0;

    GeolocationAttributes a;
    a.latitude = m[5].str() + m[6].str() + "." + m[7].str();
    a.longitude = m[14].str() + m[15].str() + "." + m[16].str();
    latLngToCountryState(a.latitude, a.longitude, a.countryCode, a.state);
    addGeoDiscoverFields(ip, a.countryCode, a.state, a.latitude, a.longitude);
    // Only a complete answer is remembered: a reverse-geocoding call that failed would otherwise
    // keep the address unresolved in this helper for good and in the local table for a week.
    if (!ip.empty() && !a.countryCode.empty() && !a.state.empty()) {
        if (dbInterface != nullptr) dbInterface->insertIPGeoLocation(ip, a.countryCode, a.state, a.latitude, a.longitude);
        geoCache[ip] = a;
    }
    return 1;
}

std::string LMCIHelper::ipToLocation(const std::string& ip) {
    const char* op = "LMCIHelper::ipToLocation";
    if (isPrivateIPAddress(ip)) return "";
    const std::string url = geoLocationUrl + "&ip=" + ip + "&key=" + geoServiceKey + "&user=" + geoServiceUser +
                            "&timestamp=" + std::to_string(static_cast<long long>(std::time(nullptr)));
    DebugLvl(op, 100, "Skyhook request URL: %s ", url.c_str());
    std::string reply;
    if (geoServiceKey.empty()) return reply;
    if (getLocationResponse(url, reply, "") != 1) {
        Error(op, "ERROR calling SkyhookURL: %s", url.c_str());
        reply.clear();
    }
    return reply;
}

void LMCIHelper::latLngToCountryState(const std::string& latitude, const std::string& longitude,
                                      std::string& country, std::string& state) {
    const char* op = "LMCIHelper::latLngToCountryState";
    std::string reply;
    if (!geoServiceKey.empty()) {
        std::string body;
        body.reserve(512);
        body += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
        body += "<ReverseGeoRQ xmlns=\"";
        body += kReverseGeocodingNamespace;
        body += "\" version=\"2.24\"";
        body += " street-address-lookup=\"full\">";
        body += " <authentication version=\"2.2\">";
        body += " <key key=\"" + geoServiceKey + "\" username=\"" + geoServiceUser + "\" />";
        body += " </authentication>";
        body += " <point>";
        body += " <latitude>" + latitude + "</latitude>";
        body += " <longitude>" + longitude + "</longitude>";
        body += " </point>";
        body += " </ReverseGeoRQ>";
        if (getLocationResponse(geoReverseGeocodingUrl, reply, body) == 1) {
            country = regularExpressionEvaluator(reply, R"RE((country code=")(.+)(">)(.+)(</country>))RE", 2);
            state = regularExpressionEvaluator(reply, R"RE((state code=".*">)(.+)(</state>))RE", 2);
            DebugLvl(op, 10, "CountryCode: %s, State: %s", country.c_str(), state.c_str());
            return;
        }
    }
    Error(op, "ERROR calling SkyhookURL: %s", geoReverseGeocodingUrl.c_str());
}

void LMCIHelper::addGeoDiscoverFields(std::string ip, std::string country, std::string state, std::string latitude,
                                      std::string longitude) {
    if (country.empty() || state.empty() || latitude.empty() || longitude.empty()) return;
    country = lowerCopy(std::move(country));
    state = lowerCopy(std::move(state));
    addField("countrycode_ss", country);
    addField("state_ss", state);
    addField("countrystate_tp", country + "\\" + state + "\\" + latitude + "," + longitude);
    addField("keys", "State");
    addField("keyVals", "State" "KQ_DIS_DEL" + state);
    addField("keys", "Country");
    addField("keyVals", "Country" "KQ_DIS_DEL" + country);
    if (!ip.empty()) {
        addField("ipAddress_ss", ip);
        addField("keys", "IpAddress");
        addField("keyVals", "IpAddress" "KQ_DIS_DEL" + ip);
    }
}

bool LMCIHelper::isPrivateIPAddress(const std::string& ip) {
    const char* op = "LMCIHelper::isPrivateIPAddress";
    // Anything that is not plainly a dotted quad is treated as private: it is never sent out.
    if (ip.size() > 19) return true;
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t dot = ip.find('.', start);
        parts.push_back(ip.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 4) return true;
    for (const std::string& p : parts) {
        if (p.empty()) return true;
    }
    const int a = std::atoi(parts[0].c_str());
    const int b = std::atoi(parts[1].c_str());
    const bool isPrivate = a == 10 || (a == 172 && b >= 16 && b <= 31) || (a == 192 && b == 168);
    DebugLvl(op, 10, isPrivate ? "Private IP: %s" : "Public IP: %s", ip.c_str());
    return isPrivate;
}

}
