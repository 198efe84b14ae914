// Key/value discovery of the index helper: the record signature "hash_if", the discovered fields
// and the pattern-driven keys.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/regex.hpp>

#include "indexing/LMCIHelper.h"
#include "indexing/LMFieldDiscovery.h"
#include "values/LMRegexCache.h"

namespace LogMonitoring {

namespace {

// Limits of a discovered field, in bytes after trimming (the value before escaping).
constexpr size_t kMinKeyLength = 4;
constexpr size_t kMaxKeyLength = 25;
constexpr size_t kMaxValueLength = 100;

const std::string kSignatureField = "hash_if";
const std::string kKeysField = "keys";
const std::string kKeyValsField = "keyVals";
const std::string kKeyValueSeparator = "KQ_DIS_DEL";

struct DiscoveredEntry {
    std::string key;   // lower-cased
    std::string value; // escaped once
    int kind = 0;      // 0 text, 1 integer, 2 decimal
};

// Discovery runs on every record; its buffers live per thread and keep their capacity from one
// record to the next, so that a record allocates nothing once the buffers have grown. Entries are
// reused in place (only `used` of them are live) for the same reason.
struct DiscoveryBuffers {
    std::vector<FieldDiscovery::LocatedPair> pairs;
    std::vector<DiscoveredEntry> entries;
    size_t used = 0;
    std::vector<uint32_t> order;
    std::string name;
    std::string keyVal;

    DiscoveredEntry& next() {
        if (used == entries.size()) entries.emplace_back();
        return entries[used++];
    }
};

DiscoveryBuffers& discoveryBuffers() {
    thread_local DiscoveryBuffers buffers;
    return buffers;
}

void lowerAscii(std::string& text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
}

}

void LMCIHelper::discoverAndAddToCIDocNew(std::string text, std::string& doc) {
    (void)doc; // fields go to currentDoc through addField, which is what the builder passes here
    DiscoveryBuffers& b = discoveryBuffers();
    // The parameter is our own copy of the record, so it is sanitised in place.
    FieldDiscovery::sanitizeAndLocatePairs(text, b.pairs);

    b.used = 0;
    if (discoverEvents) {
        for (const FieldDiscovery::LocatedPair& pair : b.pairs) {
            DiscoveredEntry& entry = b.next();
            if (pair.keyStart <= pair.keyEnd) {
                entry.key.assign(text, pair.keyStart, pair.keyEnd - pair.keyStart + 1);
            } else {
                entry.key.clear();
            }
            FieldDiscovery::cleanTrim(entry.key, false, true);
            if (entry.key.size() < kMinKeyLength || entry.key.size() > kMaxKeyLength ||
                !FieldDiscovery::isKeyValidSolrFieldName(entry.key)) {
                --b.used;
                continue;
            }
            entry.value.assign(text, pair.token + 1, pair.valueEnd - pair.token);
            FieldDiscovery::cleanTrim(entry.value, false, true);
            if (entry.value.empty() || entry.value.size() > kMaxValueLength) {
                --b.used;
                continue;
            }
            encode(entry.value);
            lowerAscii(entry.key);
            entry.kind = FieldDiscovery::isValidNumberF(entry.value);
        }
    }

    addField(kSignatureField, static_cast<int64_t>(FieldDiscovery::computeSignature(text, b.pairs)));
    if (b.used == 0) return;

    // Entries of one key are written together, in the order they were found.
    b.order.resize(b.used);
    for (size_t i = 0; i < b.used; ++i) b.order[i] = static_cast<uint32_t>(i);
    std::stable_sort(b.order.begin(), b.order.end(),
                     [&](uint32_t l, uint32_t r) { return b.entries[l].key < b.entries[r].key; });

    for (size_t first = 0; first < b.order.size();) {
        const std::string& key = b.entries[b.order[first]].key;
        size_t last = first + 1;
        while (last < b.order.size() && b.entries[b.order[last]].key == key) ++last;
        const bool once = last - first == 1;
        for (size_t i = first; i < last; ++i) {
            const DiscoveredEntry& entry = b.entries[b.order[i]];
            if (entry.kind == 0 && !once) {
                addField(kKeysField, key);
                b.keyVal.assign(key).append(kKeyValueSeparator).append(entry.value);
                addField(kKeyValsField, b.keyVal);
                continue;
            }
            if (entry.kind == 0) {
                b.name.assign(key).append("_de_sf");
                addField(b.name, entry.value);
                addField(kKeysField, b.name);
                b.name.assign(key).append("_de_lf");
            } else if (entry.kind == 1) {
                b.name.assign(key).append(once ? "_de_if" : "_bs");
            } else {
                b.name.assign(key).append(once ? "_de_df" : "_ds");
            }
            addField(b.name, entry.value);
            addField(kKeysField, b.name);
        }
        first = last;
    }
}

void LMCIHelper::discoverAndAddToCIDoc(std::string text, std::string pattern, std::string& doc) {
    (void)doc; // fields go to currentDoc through addField
    static const char* const kOperation = "LMCIHelper::discoverAndAddToCIDoc";
    std::string error;
    const auto re = LMRegexCache::get(pattern, boost::regex::perl | boost::regex::icase, error);
    if (!re) {
        Error(kOperation, "Error in regex creation %s", error.c_str());
        return;
    }
    std::string keyVal;
    auto start = text.cbegin();
    const auto end = text.cend();
    boost::smatch m;
    try {
        // Each search sees the rest of the text as a text of its own, as if it had been cut off.
        while (boost::regex_search(start, end, m, *re)) {
            if (m.size() > 4) {
                addField(kKeysField, m.str(1));
                keyVal.assign(m[1].first, m[1].second).append(kKeyValueSeparator).append(m[3].first, m[3].second);
                addField(kKeyValsField, keyVal);
            }
            // On after the last group. A group that took part in no match has no place, and an
            // empty match would find itself again forever: then the search moves on after the
            // match, or one byte when the match is empty.
            const auto& lastGroup = m[m.size() - 1];
            auto next = lastGroup.matched ? lastGroup.second : m[0].second;
            if (next <= start) {
                if (m[0].second > start) next = m[0].second;
                else if (start == end) break;
                else next = start + 1;
            }
            start = next;
        }
    } catch (const std::runtime_error& e) {
        // Boost gives up on expressions whose matching grows too complex; what was found stays.
        Error(kOperation, "Error in regex search %s", e.what());
    }
}

}
