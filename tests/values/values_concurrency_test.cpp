#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "values/LMColumnData.h"
#include "values/LMDateTimeHelper.h"
#include "values/LMRegexCache.h"

using namespace LogMonitoring;

namespace {

// What one cell gives: the parsed value as text, and the outcome of a containment test.
std::string describe(int kind, const std::string& text) {
    switch (kind % 5) {
    case 0: return std::to_string(IntColumnData(Decimal, text, true).getValue());
    case 1: return std::to_string(FloatColumnData(FloatingPoint, text, 2, true).getValue());
    case 2: {
        const LMDate d = DateColumnData(CustomPattern, text, "DD-MMM-YYYY HH:MM:SS").getValue();
        return std::to_string(d.getDay()) + "/" + std::to_string(d.getMonth()) + "/" + std::to_string(d.getYear()) +
               " " + std::to_string(d.getHour()) + ":" + std::to_string(d.getMinute()) + ":" +
               std::to_string(d.getSecond());
    }
    case 3: {
        const LMTime t = TimeColumnData(HoursMinutesSecondsAmPm, text, nullptr).getValue();
        return std::to_string(t.getHour()) + ":" + std::to_string(t.getMinute());
    }
    default: {
        StringColumnData s(FreeText, text), op(FreeText, "disk|full");
        op.setRegEx(true);
        op.setCaseSensitive(false);
        bool c = s.contains(op);
        return std::to_string(c) + "@" + std::to_string(s.positionMatchedFrom());
    }
    }
}

std::vector<std::pair<int, std::string>> cells() {
    std::vector<std::pair<int, std::string>> out;
    for (int i = 0; i < 40; ++i) {
        std::string n = std::to_string(i);
        std::string nn = (i < 10 ? "0" : "") + n;
        out.push_back({0, "count " + n + ",00" + n});
        out.push_back({1, n + "," + n + "00.5" + n});
        out.push_back({2, "0" + std::to_string(1 + i % 9) + "-Mar-20" + nn + " 1" + std::to_string(i % 10) + ":2" + n.substr(0, 1) + ":00"});
        out.push_back({3, "0" + std::to_string(i % 10) + ":1" + std::to_string(i % 10) + ":00 " + (i % 2 ? "PM" : "am")});
        out.push_back({4, "line " + n + (i % 3 ? " disk full" : " all well")});
    }
    return out;
}

}

TEST(ValuesConcurrency, CachedExpressionsAndAnalysesGiveTheResultsOfFreshOnesOnManyThreads) {
    const auto input = cells();
    std::vector<std::string> expected;
    LMRegexCache::setEnabled(false);
    LMDateTimeHelper::setSharedCacheEnabled(false);
    for (const auto& [kind, text] : input) expected.push_back(describe(kind, text));
    LMRegexCache::setEnabled(true);
    LMDateTimeHelper::setSharedCacheEnabled(true);
    LMRegexCache::clear();
    LMDateTimeHelper::clearSharedCache();
    EXPECT_EQ(expected[2], "1/3/2000 10:20:0");
    EXPECT_EQ(expected[3], "0:10");
    EXPECT_EQ(expected[4], "0@0");
    EXPECT_EQ(expected[9], "1@7");
    EXPECT_EQ(expected[5], "1001");

    std::atomic<bool> stop{false};
    std::atomic<int> mismatches{0};
    // Emptying the cache while others read it only costs recompilations.
    std::thread clearer([&] {
        while (!stop.load()) {
            LMRegexCache::clear();
            LMDateTimeHelper::clearSharedCache();
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < 6; ++t) {
        workers.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                for (size_t i = 0; i < input.size(); ++i) {
                    size_t k = (i + static_cast<size_t>(t) * 7) % input.size();
                    if (describe(input[k].first, input[k].second) != expected[k]) ++mismatches;
                }
            }
        });
    }
    for (auto& w : workers) w.join();
    stop = true;
    clearer.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(ValuesConcurrency, ManyDistinctExpressionsFromManyThreads) {
    std::atomic<int> failures{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&, t] {
            std::string error;
            for (int i = 0; i < 3000; ++i) {
                // Shared texts and texts of this thread alone, enough to make shards overflow.
                std::string text = (i % 2 ? "shared" : "t" + std::to_string(t)) + std::to_string(i % 1500);
                auto re = LMRegexCache::get(text, boost::regex::literal | boost::regex::icase, error);
                if (!re || !boost::regex_match(text, *re)) ++failures;
            }
        });
    }
    for (auto& w : workers) w.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_LE(LMRegexCache::size(), LMRegexCache::kCapacity);
}
