#include <gtest/gtest.h>

#include <string>

#include "values/LMRegexCache.h"

using namespace LogMonitoring;

TEST(LMRegexCache, SharesOneCompiledExpressionPerTextAndFlags) {
    std::string error;
    auto a = LMRegexCache::get("ab+c", boost::regex::perl, error);
    auto b = LMRegexCache::get("ab+c", boost::regex::perl, error);
    auto icase = LMRegexCache::get("ab+c", boost::regex::perl | boost::regex::icase, error);
    auto literal = LMRegexCache::get("ab+c", boost::regex::literal, error);
    ASSERT_TRUE(a && b && icase && literal);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, icase);
    EXPECT_NE(a, literal);
    EXPECT_TRUE(error.empty());
    EXPECT_TRUE(boost::regex_match(std::string("ABBC"), *icase));
    EXPECT_FALSE(boost::regex_match(std::string("ABBC"), *a));
    EXPECT_TRUE(boost::regex_match(std::string("ab+c"), *literal));
    EXPECT_FALSE(boost::regex_match(std::string("abbc"), *literal));
}

TEST(LMRegexCache, FailuresAreReportedEveryTimeAndNotKept) {
    LMRegexCache::clear();
    std::string error;
    EXPECT_EQ(LMRegexCache::get("a(b", boost::regex::perl, error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(LMRegexCache::size(), 0u);
    testing::internal::CaptureStdout();
    EXPECT_EQ(compileRegex("a(b", boost::regex::perl), nullptr);
    EXPECT_EQ(compileRegex("a(b", boost::regex::perl), nullptr);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Error in regex creation " + error + "\nError in regex creation " + error + "\n");
}

TEST(LMRegexCache, DisabledCacheCompilesAnewAndStaysBounded) {
    LMRegexCache::setEnabled(false);
    std::string error;
    auto a = LMRegexCache::get("x+", boost::regex::perl, error);
    auto b = LMRegexCache::get("x+", boost::regex::perl, error);
    LMRegexCache::setEnabled(true);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);

    for (size_t i = 0; i < 2 * LMRegexCache::kCapacity; ++i)
        ASSERT_NE(LMRegexCache::get("n" + std::to_string(i), boost::regex::literal, error), nullptr);
    EXPECT_LE(LMRegexCache::size(), LMRegexCache::kCapacity);
    EXPECT_GT(LMRegexCache::size(), 0u);
}
