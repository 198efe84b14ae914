// The tokenizer helpers shared by key/value extraction and field discovery, and the key/value
// scanners built on them.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "documents/LMTemplateMatch.h"

using namespace LogMonitoring;

namespace {
using Pairs = std::vector<std::pair<std::string, std::string>>;
}

TEST(Tokenizer, GetTokenEndFindsTheValuesLastCharacter) {
    struct Case {
        std::string text;
        size_t start;
        long end;
    };
    const std::vector<Case> cases = {
        {"user=bob host", 4, 7},        // a blank ends the value
        {"k=a,b", 1, 2},                // so does a comma
        {"k=a\nb", 1, 2},               // and a line feed
        {"k=v. next", 1, 3},            // a "." before a boundary ends it and is kept
        {"k=v.w x", 1, 4},              // a "." inside a word does not
        {"k=done.", 1, 6},              // nothing ends it: up to the end of the text
        {"k=(a b) x", 2, 5},            // a bracket closes at its partner
        {"k=(a (b) c) d", 2, 9},        // nested brackets
        {"k=[x] y", 2, 3},
        {"k=(a,)", 2, 3},               // a comma right before the closer is not part of it
        {"k=\"a b c\" x", 1, 7},        // a quote becomes the closer
        {"k= 'it is' x", 1, 8},         // after skipped boundaries too
        {"list=(a b", 5, -1},           // an unclosed bracket
        {"k=\"open", 1, -1},            // an unclosed quote
        {"k=(\"x)", 2, -1},             // the quote, not the bracket, must close
        {"k", 5, -1},                   // a start beyond the text
    };
    for (const auto& c : cases) {
        EXPECT_EQ(getTokenEnd(c.text, c.start), c.end) << c.text;
    }
}

TEST(Tokenizer, AdjustTokenMovesToTheLastTokenOfARun) {
    struct Case {
        std::string text;
        size_t start;
        bool result;
        size_t position;
    };
    const std::vector<Case> cases = {
        {"k=v", 1, true, 1},      // no run
        {"k= (v", 1, true, 3},    // blank, then a token
        {"k= = [v", 1, true, 5},  // the last of several tokens
        {"k:  v", 1, true, 1},    // blanks only: unchanged
        {"k=  ", 1, false, 1},    // the run reaches the end: unchanged
        {"k=(", 1, false, 1},
    };
    for (const auto& c : cases) {
        size_t position = c.start;
        EXPECT_EQ(adjustToken(c.text, position), c.result) << c.text;
        EXPECT_EQ(position, c.position) << c.text;
    }
}

TEST(Tokenizer, CleanTrimDropsQuotesAndOptionalClasses) {
    struct Case {
        std::string text;
        bool digits;
        bool boundaries;
        std::string result;
    };
    const std::vector<Case> cases = {
        {"\"hello\"", false, false, "hello"},
        {"'x'.", false, false, "x"},
        {"done.", false, false, "done"},
        {"time:", false, false, "time"},
        {"a b ", false, false, "a b "},      // blanks only go with the boundaries
        {" a b", false, false, " a b"},
        {"123abc", true, false, "abc"},
        {"123abc", false, false, "123abc"},
        {"abc123", true, false, "abc123"},   // digits go from the front only
        {"  key) ", false, true, "key"},
        {"(key:", false, true, "key"},
        {"[-x-]", false, true, "x"},
        {"key>", false, true, "key"},        // a close token at the back
        {">key", false, true, "key"},        // ">" is also a word boundary
        {"\"\"", false, false, ""},
        {"...", false, true, ""},
        {"", true, true, ""},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        cleanTrim(text, c.digits, c.boundaries);
        EXPECT_EQ(text, c.result) << c.text;
    }
}

TEST(Tokenizer, DecodeAndSanatizeDecodesEntitiesInOrder) {
    struct Case {
        std::string text;
        bool removeControl;
        std::string result;
    };
    const std::vector<Case> cases = {
        {"&quot;a&quot; &lt;b&gt; &apos;c&apos; &amp;d", false, "\"a\" <b> 'c' &d"},
        {"&amp;quot;", false, "&quot;"},      // "&amp;" is decoded last, once
        {"&amp;amp;", false, "&amp;"},
        {"&quo", false, "&quo"},
        {"a\tb\r\nc\x01", false, "a\tb\r\nc\x01"},
        {"a\tb\r\nc\x01", true, "ab\nc"},
        {"caf\xC3\xA9 &lt;x&gt;\x1F", true, "caf\xC3\xA9 <x>"},  // UTF-8 bytes stay
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        decodeAndSanatize(text, c.removeControl);
        EXPECT_EQ(text, c.result) << c.text;
    }
}

TEST(Tokenizer, KeysApostrophesAndDecimalDigits) {
    EXPECT_TRUE(isDiscoveredKeyValid("user_name.x-1"));
    EXPECT_TRUE(isDiscoveredKeyValid("A9"));
    for (const char* key : {"", "a b", "a=b", "\"a\"", "caf\xC3\xA9", "a:b"}) {
        EXPECT_FALSE(isDiscoveredKeyValid(key)) << key;
    }

    EXPECT_TRUE(isApostrophe("don't", 3));
    EXPECT_TRUE(isApostrophe("x9'", 2));
    EXPECT_FALSE(isApostrophe("'x", 0));
    EXPECT_FALSE(isApostrophe("a 'x", 2));
    EXPECT_FALSE(isApostrophe("a.'x", 2));

    EXPECT_EQ(getNumberOfDecimalDigitsForFloatType("3.14"), 2);
    EXPECT_EQ(getNumberOfDecimalDigitsForFloatType("42"), 0);
    EXPECT_EQ(getNumberOfDecimalDigitsForFloatType("1.2.3"), 3);
    EXPECT_EQ(getNumberOfDecimalDigitsForFloatType("5."), 0);
    EXPECT_EQ(getNumberOfDecimalDigitsForFloatType(""), 0);
}

TEST(KeyValuePairs, FindKeyValuePairsOverLines) {
    struct Case {
        std::string line;
        Pairs pairs;
    };
    const std::vector<Case> cases = {
        {"user=bob host=srv1", {{"user", "bob"}, {"host", "srv1"}}},
        {"msg=\"disk is full\" code=7", {{"msg", "disk is full"}, {"code", "7"}}},
        {"\"my key\"=value", {}},                     // a quoted key with a blank
        {"\"user\"=bob rest", {{"user", "bob"}}},     // a quoted key without one
        {"&quot;user&quot;=bob", {{"user", "bob"}}},  // entities are decoded first
        {"list=(a b", {}},                            // an unclosed bracket
        {"status=done.", {{"status", "done"}}},
        {"status: \"ok\"", {{"status", "ok"}}},
        {"a=1, b=2", {{"a", "1"}, {"b", "2"}}},
        {"x=1 x=2", {{"x", "1"}, {"x", "2"}}},         // repeated keys stay
        {"don't stop=now", {{"stop", "now"}}},        // an apostrophe opens no quoted key
        {"args=(a b) next=1", {{"args", "a b"}, {"next", "1"}}},
        {"[level=warn]", {{"level", "warn]"}}},       // values keep brackets and blanks
        {"a b c", {}},
        {"key=", {}},
        {"\"unclosed=1", {}},                          // no closing quote ends the scan
        {"", {}},
    };
    for (const auto& c : cases) {
        Pairs pairs;
        findKeyValuePairs(c.line, pairs);
        EXPECT_EQ(pairs, c.pairs) << c.line;
    }
}

TEST(KeyValuePairs, PairsAreAppendedToWhatTheListHolds) {
    Pairs pairs = {{"old", "1"}};
    findKeyValuePairs("new=2", pairs);
    EXPECT_EQ(pairs, (Pairs{{"old", "1"}, {"new", "2"}}));
}

TEST(KeyValuePairs, FindValueFromKeyWithBlanksInTheKey) {
    struct Case {
        std::string key;
        std::string line;
        bool found;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"User Name", "User Name = bob smith", true, " bob"},  // callers trim the blank
        {"User Name", "at User Name: \"bob smith\" x", true, "bob smith"},
        {"Process Id", "Process Id=42, state=ok", true, "42"},
        {"Missing", "User Name = bob", false, ""},
        {"User Name", "User Name", false, ""},
        {"Path", "Path=(unclosed", false, ""},
        {"", "x=1", false, ""},
    };
    for (const auto& c : cases) {
        std::string value = "stale";
        EXPECT_EQ(findValueFromKeyInLine(c.key, c.line, value), c.found) << c.line;
        EXPECT_EQ(value, c.value) << c.line;
    }
}

// Hostile lines: a token at every other position, with keys that are not valid, or with
// brackets or quotes that never close. A scan that walks each value to the end of the line
// takes minutes on these.
TEST(KeyValuePairs, LongHostileLinesStayFast) {
    const size_t n = 1u << 20;
    auto repeat = [n](const std::string& piece) {
        std::string line;
        line.reserve(n);
        while (line.size() + piece.size() <= n) line += piece;
        return line;
    };
    for (const char* piece : {"?=", "a(", "a[", "a=\"", "a='", "((", "= ", "a=(b"}) {
        Pairs pairs;
        findKeyValuePairs(repeat(piece), pairs);
        EXPECT_LE(pairs.size(), n / 2) << piece;
    }
}
