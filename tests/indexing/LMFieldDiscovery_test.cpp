// Key/value discovery over record texts: the sanitiser, the pair locator, the signature "hash_if",
// the discovered fields and the pattern-driven keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "documents/LMTemplateMatch.h"
#include "indexing/LMCIHelper.h"
#include "indexing/LMFieldDiscovery.h"
#include "platform/log/EvLMDebug.h"

using namespace LogMonitoring;
namespace fd = LogMonitoring::FieldDiscovery;

namespace {

// Key start, key end and value end of each located pair.
using Triple = std::vector<size_t>;

std::vector<Triple> triplesOf(const std::vector<fd::LocatedPair>& pairs) {
    std::vector<Triple> out;
    for (const auto& p : pairs) out.push_back({p.keyStart, p.keyEnd, p.valueEnd});
    return out;
}

std::vector<fd::LocatedPair> locate(std::string text) {
    std::vector<fd::LocatedPair> pairs;
    fd::sanitizeAndLocatePairs(text, pairs);
    return pairs;
}

uint64_t signatureOf(std::string text) {
    std::vector<fd::LocatedPair> pairs;
    fd::sanitizeAndLocatePairs(text, pairs);
    return fd::computeSignature(text, pairs);
}

// The locator walked the slow way: every value end from the byte-walking getTokenEnd and every
// token moved with adjustToken. The fast locator must agree with it on any text.
std::vector<fd::LocatedPair> referenceLocate(const std::string& s) {
    auto at = [&](size_t i) { return i < s.size() ? s[i] : '\0'; };
    auto quote = [](char c) { return c == '"' || c == '\''; };
    std::vector<fd::LocatedPair> pairs;
    const size_t n = s.size();
    size_t pos = 0, keyEnd = 0;
    while (pos < n) {
        size_t keyStart = pos;
        char q = ' ';
        for (;;) {
            if (pos >= n || isToken(at(pos))) break;
            if (isWordBoundary(at(pos))) {
                while (isWordBoundary(at(pos))) ++pos;
                if (isToken(at(pos))) break;
                keyStart = pos;
            }
            if (quote(at(pos))) {
                q = at(pos);
                keyStart = pos;
                do ++pos;
                while (pos < n && s[pos] != q);
                if (pos >= n) break;
            }
            ++pos;
        }
        if (pos > 0) keyEnd = pos - 1;
        if (pos >= n) break;
        fd::adjustToken(s, pos);
        const long end = fd::getTokenEnd(s, pos);
        if (end != -1) {
            pairs.push_back({keyStart, keyEnd, pos, static_cast<size_t>(end)});
            if (q != ' ') pos = static_cast<size_t>(end);
        }
        ++pos;
    }
    return pairs;
}

}

TEST(FieldDiscoveryHelpers, SanitiserDecodesOnceAndDropsControlAndHighBytes) {
    struct Case {
        std::string in;
        bool strip;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"&quot;a&apos; &lt;b&gt; c&amp;d", true, "\"a' <b> c&d"},
        {"&amp;lt; &amp;amp;", true, "&lt; &amp;"}, // each entity decoded once, in order
        {"&&quot;&lt", true, "&\"&lt"},
        {"&l\tt;", true, "&lt;"},                   // entities are found before controls go
        {"a\tb\rc\nd\x01\x7f" "e\x80\xc3\xa9\xff", true, "abc\nd\x7f" "e"},
        {"a\tb\x80", false, "a\tb\x80"},
        {"", true, ""},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        fd::decodeAndSanatize(text, c.strip);
        EXPECT_EQ(text, c.out) << c.in;
    }
    std::string controls = "x\ty\x1f\n\x90z";
    fd::controlchar(controls);
    EXPECT_EQ(controls, "xy\nz");
}

TEST(FieldDiscoveryHelpers, ReplaceStringInPlace) {
    struct Case {
        std::string text, from, to, out;
    };
    const std::vector<Case> cases = {
        {"aaa", "a", "bb", "bbbbbb"},     // the replacement is not searched again
        {"abab", "ab", "", ""},
        {"xaay", "a", "aa", "xaaaay"},
        {"abc", "", "z", "abc"},
        {"abc", "d", "z", "abc"},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        fd::ReplaceStringInPlace(text, c.from, c.to);
        EXPECT_EQ(text, c.out) << c.text << " " << c.from;
    }
}

TEST(FieldDiscoveryHelpers, TrimKeyValidityAndNumberKinds) {
    struct Trim {
        std::string in;
        bool digits, tokens;
        std::string out;
    };
    const std::vector<Trim> trims = {
        {"\"(=value) ]:.", false, true, "value"},
        {" 'key' ", false, true, "key"},
        {"12ab:", true, false, "ab"},
        {"'(x).'", false, false, "(x)"},
        {"=:[ ", false, true, ""},
    };
    for (const auto& t : trims) {
        std::string text = t.in;
        fd::cleanTrim(text, t.digits, t.tokens);
        EXPECT_EQ(text, t.out) << t.in;
    }

    for (const char* key : {"status", "Re_Ply", "_"}) EXPECT_TRUE(fd::isKeyValidSolrFieldName(key)) << key;
    for (const char* key : {"", "user1", "a-b", "a.b", "a b"}) EXPECT_FALSE(fd::isKeyValidSolrFieldName(key)) << key;

    struct Kind {
        std::string value;
        int kind;
    };
    const std::vector<Kind> kinds = {
        {"12", 1}, {"123456789012345678", 1}, {"1234567890123456789", 0}, {"1.5", 2},
        {"1234567890123456.7", 2}, {".5", 0}, {"5.", 0}, {"1.2.3", 0}, {"-1", 0}, {"OK", 0}, {"", 0},
    };
    for (const auto& k : kinds) {
        std::string value = k.value;
        EXPECT_EQ(fd::isValidNumberF(value), k.kind) << k.value;
        EXPECT_EQ(fd::isValidNumber(value), k.kind == 1) << k.value;
    }
}

TEST(FieldDiscoveryTokens, TokenEndsAndAdjustedTokens) {
    struct Case {
        std::string text;
        size_t token;
        long end;
    };
    const std::vector<Case> cases = {
        {"id(a(b)c) rest", 2, 7},       // nested brackets: ends before the matching bracket
        {"id(abc rest", 2, -1},         // never closed
        {"a[x[y]z] b", 1, 6},
        {"f( \"x)\" )", 1, 6},          // a quote after the bracket closes the value instead
        {"k=\"a b\" c", 1, 6},          // the closing quote itself
        {"k='a b", 1, -1},
        {"k=abc def", 1, 4},
        {"k=abc, def", 1, 4},
        {"k=abc\ndef", 1, 5},           // a line feed ends the value and belongs to it
        {"k=1.5. next", 1, 5},          // a "." before a word boundary ends it, and is kept
        {"k=1.5.x", 1, 6},              // otherwise it does not
        {"k=v.", 1, 3},
        {"k=  ,v x", 1, 5},             // word boundaries before the value are skipped
        {"k=abc", 1, 4},
        {"k=", 1, 1},
        {"f() x)", 1, 4},               // ")" right after "(" is a word boundary, skipped
        {"k=x", 7, -1},                 // outside the text
    };
    for (const auto& c : cases) EXPECT_EQ(fd::getTokenEnd(c.text, c.token), c.end) << c.text;

    struct Adjust {
        std::string text;
        size_t from;
        bool ok;
        size_t to;
    };
    const std::vector<Adjust> adjusts = {
        {"k= =(v", 1, true, 4}, {"k=v", 1, true, 1}, {"k= v", 1, true, 1}, {"k= = ", 1, false, 1}, {"k=", 1, false, 1},
    };
    for (const auto& a : adjusts) {
        size_t pos = a.from;
        EXPECT_EQ(fd::adjustToken(a.text, pos), a.ok) << a.text;
        EXPECT_EQ(pos, a.to) << a.text;
    }
}

TEST(FieldDiscoveryLocator, PairsOfRecords) {
    struct Case {
        std::string text;
        std::vector<Triple> pairs;
    };
    const std::vector<Case> cases = {
        {"user=root action=login", {{0, 3, 8}, {10, 15, 21}}},
        {"id(a(b)c) rest", {{0, 1, 7}, {3, 3, 5}}}, // values are searched for keys too
        {"f(abc", {}},                              // an unclosed "(" records no pair
        {"\"my key\"=\"a b\" next=1", {{0, 7, 13}, {15, 18, 20}}}, // quoted key: on after its value
        {"a=b=c d", {{0, 0, 4}, {2, 2, 4}}},
        {"=abc", {{0, 0, 3}}},
        {"key = value x", {{0, 3, 10}}},
        {"status=ok\nnext=1", {{0, 5, 9}, {10, 13, 15}}},
        {"say \"hello=1", {}},                      // an unclosed quoted key ends the search
        {"v=1.5. ok", {{0, 0, 5}}},
        {"k = = ", {{0, 1, 4}, {3, 3, 5}}},         // blanks and tokens up to the end do not stop it
        {"a&lt;b=c", {{2, 2, 4}}},                  // positions are in the decoded text
    };
    for (const auto& c : cases) {
        std::string s = c.text;
        fd::decodeAndSanatize(s, true);
        EXPECT_EQ(triplesOf(locate(c.text)), c.pairs) << c.text;
        EXPECT_EQ(locate(c.text), referenceLocate(s)) << c.text;
    }
}

TEST(FieldDiscoveryLocator, AgreesWithByteWalkOnRandomTexts) {
    // Texts longer than the locator's walking budget exercise its tables too.
    // The second alphabet opens more than it closes, so that values run long or stay open.
    const std::string alphabets[] = {"ab(()[]]\"'== ,.\n:{", "ab((([[[)]\"'= ,.\n"};
    std::mt19937 rng(12345);
    for (int round = 0; round < 4000; ++round) {
        const std::string& alphabet = alphabets[round % 2];
        const size_t length = rng() % (round % 10 < 2 ? 700 : 60);
        std::string text;
        for (size_t i = 0; i < length; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
        std::vector<fd::LocatedPair> fast;
        fd::locatePairs(text, fast);
        ASSERT_EQ(fast, referenceLocate(text)) << text;
    }
}

TEST(FieldDiscoveryLocator, LongRecordsOfUnclosedBracketsAndQuotes) {
    // Each of these would make a value scan walk to the end for every token.
    struct Case {
        std::string text;
        size_t pairs;
    };
    const size_t n = 100000;
    std::string brackets, closedOnce, equals, quotedBrackets;
    for (size_t i = 0; i < n; ++i) brackets += "a(";
    for (size_t i = 0; i < n; ++i) closedOnce += "a(b";
    closedOnce += ")";
    for (size_t i = 0; i < n; ++i) equals += "a=";
    for (size_t i = 0; i < n; ++i) quotedBrackets += "a(\"";
    const std::vector<Case> cases = {
        {brackets, 0},
        {closedOnce, 1}, // only the innermost "(" is closed
        {equals, n},     // every "=" has a value that runs to the end
        {quotedBrackets, 0}, // every "(" after the quote counts up as the quote counts down
    };
    for (const auto& c : cases) {
        const auto pairs = locate(c.text);
        EXPECT_EQ(pairs.size(), c.pairs);
        if (!pairs.empty()) {
            EXPECT_LT(pairs.back().valueEnd, c.text.size());
        }
    }
    EXPECT_EQ(triplesOf(locate(closedOnce)), (std::vector<Triple>{{3 * n - 4, 3 * n - 3, 3 * n - 1}}));
}

TEST(FieldDiscoverySignature, WeightsAndCutSpans) {
    // Letter weights: a 5, b 73, c 37, s 17, t 3, u 41, e 2; other bytes 1.
    struct Case {
        std::string text;
        uint64_t signature;
    };
    const std::vector<Case> cases = {
        {"abc", 5 * 73 * 37},
        {"ABC", 5 * 73 * 37},
        {"a1b", 5 * 1 * 73},
        {"abcs", 5 * 73 * 37 + 73 * 37 * 17},
        {"user=root", 41 * 17 * 2},             // "use": the key's last byte goes with its value
        {"Status=OK", 17 * 3 * 5 + 3 * 5 * 3 + 5 * 3 * 41},
        {"ab", 0},
        {"a", 0},
        {"", 0},
        {"x=1", 97},                            // a key ending at 0 is not beyond the cursor
    };
    for (const auto& c : cases) EXPECT_EQ(signatureOf(c.text), c.signature) << c.text;

    // The sum is reduced by the modulus as it grows.
    const std::string zs(1000, 'z');
    EXPECT_EQ(signatureOf(zs), 998ULL * 103 * 103 * 103 % fd::kSignatureModulus);

    // A pair whose key ends inside the previous cut is passed over.
    const std::string s = "abcdefghij";
    EXPECT_EQ(fd::computeSignature(s, {{0, 1, 2, 4}, {3, 3, 4, 5}}), fd::computeSignature("afghij", {}));
    EXPECT_EQ(fd::computeSignature(s, {{0, 1, 2, 4}, {6, 6, 7, 7}}), fd::computeSignature("afij", {}));
}

TEST(FieldDiscoverySignature, SameForRecordsThatDifferOnlyInValuesOrDroppedBytes) {
    const std::vector<std::vector<std::string>> groups = {
        {"user=root action=login", "user=admin action=logout", "user=x action=\"a b\"",
         "\tuser=root ac\rtion=login\t", "\xc3\xa9user=root action=login\xff"},
        {"GET /index.html status=200 bytes=512 agent(Firefox)", "GET /index.html status=404 bytes=0 agent(curl)"},
        {"a < b", "a &lt; b", "a <\x01 b\r"},
    };
    std::vector<uint64_t> firsts;
    for (const auto& group : groups) {
        const uint64_t first = signatureOf(group.front());
        EXPECT_NE(first, 0u);
        for (const auto& record : group) EXPECT_EQ(signatureOf(record), first) << record;
        firsts.push_back(first);
    }
    EXPECT_NE(signatureOf("user=root verb=login"), firsts[0]);
    EXPECT_NE(firsts[0], firsts[1]);
}

namespace {

class DiscoveryFields : public ::testing::Test {
protected:
    // The fields the helper appended, one "name=value" per field, sorted: the discovered entries
    // come in no fixed order from one key to the next.
    std::vector<std::string> discover(const std::string& text, bool events = true) {
        helper.discoverEvents = events;
        helper.currentDoc.clear();
        std::string doc;
        helper.discoverAndAddToCIDocNew(text, doc);
        EXPECT_TRUE(doc.empty());
        return fieldsOf(helper.currentDoc);
    }

    static std::vector<std::string> fieldsOf(const std::string& xml) {
        std::vector<std::string> fields;
        std::istringstream lines(xml);
        std::string line;
        const std::string open = "<field name = \"", close = "</field>";
        while (std::getline(lines, line)) {
            EXPECT_EQ(line.compare(0, open.size(), open), 0) << line;
            EXPECT_GE(line.size(), open.size() + close.size()) << line;
            const size_t nameEnd = line.find("\">", open.size());
            EXPECT_NE(nameEnd, std::string::npos) << line;
            if (nameEnd == std::string::npos) continue;
            fields.push_back(line.substr(open.size(), nameEnd - open.size()) + "=" +
                             line.substr(nameEnd + 2, line.size() - close.size() - nameEnd - 2));
        }
        std::sort(fields.begin(), fields.end());
        return fields;
    }

    static std::string hashOf(const std::string& text) { return "hash_if=" + std::to_string(signatureOf(text)); }

    LMCIHelper helper;
};

}

TEST_F(DiscoveryFields, SignatureAloneWithoutDiscoveredEvents) {
    EXPECT_EQ(discover("Status=OK", false), std::vector<std::string>{"hash_if=915"});
    EXPECT_EQ(discover("Status=OK count=12", false), std::vector<std::string>{hashOf("Status=OK count=12")});
    EXPECT_EQ(discover("ab", false), std::vector<std::string>{"hash_if=0"});
    EXPECT_EQ(discover("", false), std::vector<std::string>{"hash_if=0"});
}

TEST_F(DiscoveryFields, DiscoveredFieldsByKindAndOccurrence) {
    struct Case {
        std::string text;
        std::vector<std::string> fields; // without hash_if
    };
    const std::vector<Case> cases = {
        {"Status=OK", {"keys=status_de_lf", "keys=status_de_sf", "status_de_lf=OK", "status_de_sf=OK"}},
        {"Status=OK Status=FAILED",
         {"keyVals=statusKQ_DIS_DELFAILED", "keyVals=statusKQ_DIS_DELOK", "keys=status", "keys=status"}},
        {"ab=1", {}},
        {"count=12", {"count_de_if=12", "keys=count_de_if"}},
        {"ratio=1.5", {"keys=ratio_de_df", "ratio_de_df=1.5"}},
        {"count=12 count=13", {"count_bs=12", "count_bs=13", "keys=count_bs", "keys=count_bs"}},
        {"ratio=1.5 ratio=2.25", {"keys=ratio_ds", "keys=ratio_ds", "ratio_ds=1.5", "ratio_ds=2.25"}},
        {"user1=bob", {}},                                    // a digit in the key
        {"user@host=bob", {}},                                // a byte other than a letter or "_"
        {"user_name=bob", {"keys=user_name_de_lf", "keys=user_name_de_sf", "user_name_de_lf=bob", "user_name_de_sf=bob"}},
        {"name=\"John Smith\"", {"keys=name_de_lf", "keys=name_de_sf", "name_de_lf=John Smith", "name_de_sf=John Smith"}},
        {"(note=ok.)", {"keys=note_de_lf", "keys=note_de_sf", "note_de_lf=ok", "note_de_sf=ok"}},
        {"abcdefghijklmnopqrstuvwxy=1", {"abcdefghijklmnopqrstuvwxy_de_if=1", "keys=abcdefghijklmnopqrstuvwxy_de_if"}},
        {"abcdefghijklmnopqrstuvwxyz=1", {}},                 // key of 26 bytes
        {"text=" + std::string(100, 'v'), {"keys=text_de_lf", "keys=text_de_sf", "text_de_lf=" + std::string(100, 'v'),
                                           "text_de_sf=" + std::string(100, 'v')}},
        {"text=" + std::string(101, 'v'), {}},
        {"note=\"\"", {}},                                    // nothing left of the value
        // Values are escaped before the field escapes them again.
        {"title=a&amp;b", {"keys=title_de_lf", "keys=title_de_sf", "title_de_lf=a&amp;amp;b", "title_de_sf=a&amp;amp;b"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> expected = c.fields;
        expected.push_back(hashOf(c.text));
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(discover(c.text), expected) << c.text;
    }
}

TEST_F(DiscoveryFields, FieldsOfOneKeyStayTogetherInRecordOrder) {
    discover("Status=OK user=root Status=FAILED");
    const std::string& doc = helper.currentDoc;
    const size_t ok = doc.find("statusKQ_DIS_DELOK"), failed = doc.find("statusKQ_DIS_DELFAILED");
    ASSERT_NE(ok, std::string::npos);
    ASSERT_NE(failed, std::string::npos);
    EXPECT_LT(ok, failed);
    EXPECT_EQ(doc.find("<field name = \"hash_if\">"), 0u); // the signature comes first
}

TEST_F(DiscoveryFields, PatternDrivenKeys) {
    struct Case {
        std::string text, pattern;
        std::vector<std::string> fields;
    };
    const std::vector<Case> cases = {
        {"a=1; bb=22; c", "(\\w+)(=)(\\w+)(;)", {"keyVals=aKQ_DIS_DEL1", "keyVals=bbKQ_DIS_DEL22", "keys=a", "keys=bb"}},
        {"A=1;", "(a)(=)(1)(;)", {"keyVals=AKQ_DIS_DEL1", "keys=A"}}, // case-insensitive
        {"a=1; b=2;", "(\\w+)(=)(\\w+)", {}},                          // too few groups
        // The search goes on after the last group, here one byte past the match: "w" is lost.
        {"k=v;w=x;", "(\\w)(=)(\\w)(;)(?=(\\w)?)", {"keyVals=kKQ_DIS_DELv", "keys=k"}},
        {"k=v;w=x;", "(\\w)(=)(\\w)(;)(x)?", {"keyVals=kKQ_DIS_DELv", "keyVals=wKQ_DIS_DELx", "keys=k", "keys=w"}},
        // Empty matches move on instead of finding themselves again.
        {"ab=1", "(x*)(y*)(z*)(w*)", {"keyVals=KQ_DIS_DEL", "keyVals=KQ_DIS_DEL", "keyVals=KQ_DIS_DEL",
                                       "keyVals=KQ_DIS_DEL", "keyVals=KQ_DIS_DEL"}},
    };
    for (const auto& c : cases) {
        helper.currentDoc.clear();
        std::string doc;
        helper.discoverAndAddToCIDoc(c.text, c.pattern, doc);
        EXPECT_EQ(fieldsOf(helper.currentDoc), c.fields) << c.pattern;
    }

    EvLogCapture capture;
    helper.currentDoc.clear();
    std::string doc;
    helper.discoverAndAddToCIDoc("a=1;", "((\\w+)", doc);
    EXPECT_TRUE(helper.currentDoc.empty());
    EXPECT_TRUE(capture.contains("LMCIHelper::discoverAndAddToCIDoc", EvLMDebug::kErrorLevel, "Error in regex creation "));
}
