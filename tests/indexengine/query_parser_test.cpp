#include <gtest/gtest.h>

#include "SolrQuery.h"

using namespace lmindexd;

namespace {

// A compact rendering of a parsed query: occurrences as + - or nothing, leaves as field:form.
std::string describe(const QueryNode& n) {
    using T = QueryNode::Type;
    switch (n.type) {
    case T::MatchAll: return "*:*";
    case T::Term: return n.field + ":" + n.text;
    case T::Phrase: return n.field + ":\"" + n.text + "\"";
    case T::Prefix: return n.field + ":" + n.text + "*";
    case T::Wildcard: return n.field + ":~" + n.text;
    case T::Exists: return n.field + ":*";
    case T::Range:
        return n.field + ":" + (n.lowerInclusive ? "[" : "{") + (n.lowerOpen ? "*" : n.lower) + " TO " +
               (n.upperOpen ? "*" : n.upper) + (n.upperInclusive ? "]" : "}");
    case T::Bool: {
        std::string out = "(";
        for (size_t i = 0; i < n.clauses.size(); ++i) {
            if (i) out += " ";
            const auto& c = n.clauses[i];
            out += c.occur == Occur::Must ? "+" : c.occur == Occur::MustNot ? "-" : "";
            out += describe(*c.node);
        }
        return out + ")";
    }
    }
    return "?";
}

}  // namespace

TEST(QueryParser, ParsesEachFormAndCombinesClauses) {
    const std::pair<const char*, const char*> cases[] = {
        {"*:*", "*:*"},
        {"error", "LogLine:error"},
        {"MonitoringPolicyId:5 AND status_if:500", "(+MonitoringPolicyId:5 +status_if:500)"},
        {"MonitoringPolicyId:5 AND timestamp:[* TO NOW-7DAY]", "(+MonitoringPolicyId:5 +timestamp:[* TO NOW-7DAY])"},
        {"a OR b", "(LogLine:a LogLine:b)"},
        {"a b", "(LogLine:a LogLine:b)"},
        {"+a -b c", "(+LogLine:a -LogLine:b LogLine:c)"},
        {"NOT x:1", "(-x:1)"},
        {"!x:1 && y:2", "(-x:1 +y:2)"},
        {"x:1 || y:2", "(x:1 y:2)"},
        {"a AND NOT b", "(+LogLine:a -LogLine:b)"},
        {"f:(a OR b) AND g:c", "(+(f:a f:b) +g:c)"},
        {"FilePath:\"/var/log/a b.log\"", "FilePath:\"/var/log/a b.log\""},
        {"FileName:app*", "FileName:app*"},
        {"FileName:a?p*.log", "FileName:~a?p*.log"},
        {"FileName:*", "FileName:*"},
        {"x:\\*lit\\:eral", "x:*lit:eral"},
        {"status_if:{100 TO 500]", "status_if:{100 TO 500]"},
        {"eventTime:[2024-03-05T00:00:00Z TO *}", "eventTime:[2024-03-05T00:00:00Z TO *}"},
        {"name_sf:[\"a b\" TO c]", "name_sf:[a b TO c]"},
        {"x:1^2 y:abc~1", "(x:1 y:abc)"},
        {"timestamp:NOW/DAY", "timestamp:NOW/DAY"},
        {"  ( x:1 )  ", "x:1"},
    };
    QueryParser parser;
    for (const auto& [query, expected] : cases) {
        std::string error;
        auto q = parser.parse(query, error);
        ASSERT_TRUE(q) << query << ": " << error;
        EXPECT_EQ(describe(*q), expected) << query;
    }
}

TEST(QueryParser, RefusesMalformedQueries) {
    const char* cases[] = {"x:(a", "x:\"open", "x:[1 TO 5", "x:[1 5]", "AND x:1", "x:1 AND", "x:", "()",
                           "x:1)", "a:b:c", "*:x", "x:1 ]"};
    QueryParser parser;
    for (const char* query : cases) {
        std::string error;
        EXPECT_FALSE(parser.parse(query, error)) << query;
        EXPECT_NE(error.find("Cannot parse"), std::string::npos) << query;
    }
}

TEST(QueryParser, GlobMatchingFollowsTheBracketedLiterals) {
    EXPECT_TRUE(globMatch("a?p*.log", "app-1.log"));
    EXPECT_FALSE(globMatch("a?p*.log", "ap.log"));
    EXPECT_TRUE(globMatch("[*]x*", "*xyz"));
    EXPECT_FALSE(globMatch("[*]x*", "axyz"));
    EXPECT_EQ(globLiteralPrefix("ab[?]c*d"), "ab?c");
}
