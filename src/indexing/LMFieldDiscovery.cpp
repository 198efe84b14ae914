#include "indexing/LMFieldDiscovery.h"

#include <cstring>
#include <limits>
#include <utility>

#include "documents/LMTemplateMatch.h"

namespace LogMonitoring::FieldDiscovery {

namespace {

bool isQuote(char c) { return c == '"' || c == '\''; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Bytes that the sanitiser keeps: everything from 0x20 to 0x7F, and the line feed.
bool keptBySanitizer(char c) { return static_cast<signed char>(c) >= 0x20 || c == '\n'; }

// The entity that starts at text[at] (which is "&"): its length and the byte it stands for, or 0.
size_t entityAt(const char* text, size_t at, size_t n, char& replacement) {
    struct Entity {
        const char* name;
        size_t length;
        char byte;
    };
    static constexpr Entity kEntities[] = {
        {"&quot;", 6, '"'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&apos;", 6, '\''}, {"&amp;", 5, '&'},
    };
    for (const Entity& e : kEntities) {
        if (at + e.length <= n && std::memcmp(text + at, e.name, e.length) == 0) {
            replacement = e.byte;
            return e.length;
        }
    }
    return 0;
}

// A blank, a comma, a line feed, or a "." followed by a word boundary closes a value that has
// neither a bracket nor a quote around it.
bool endsPlainValue(const std::string& text, size_t at) {
    const char c = text[at];
    if (c == ' ' || c == ',' || c == '\n') return true;
    return c == '.' && at + 1 < text.size() && isWordBoundary(text[at + 1]);
}

// Where a plain value ends, given the position of what ended it (the size when nothing did).
long plainValueEnd(const std::string& text, size_t terminator) {
    if (terminator >= text.size()) return static_cast<long>(text.size()) - 1;
    const char c = text[terminator];
    return static_cast<long>(c == ' ' || c == ',' ? terminator - 1 : terminator);
}

char closerOf(char token) { return token == '(' ? ')' : token == '[' ? ']' : ' '; }

// Bracketed and quoted values walked byte by byte for at most this many bytes; longer ones are
// answered from a table built once per record (see TokenEnds).
constexpr size_t kWalkBudget = 96;

// Texts up to this size get tables; beyond it positions would not fit the 32-bit entries.
constexpr size_t kMaxTableText = static_cast<size_t>(std::numeric_limits<int32_t>::max()) - 2;

constexpr uint32_t kNoPosition = std::numeric_limits<uint32_t>::max();

// Buffers of the locator, kept per thread from one record to the next. A record of many
// megabytes leaves them large, so they are given back once they pass kKeepEntries.
struct Scratch {
    // One table per (opening token, closer) pair: "(" or "[" against its bracket or a quote.
    std::array<std::vector<uint32_t>, 6> firstAbove;
    std::vector<std::pair<int32_t, uint32_t>> stack;

    static constexpr size_t kKeepEntries = 1 << 18;

    void trim() {
        for (auto& table : firstAbove) {
            if (table.capacity() > kKeepEntries) std::vector<uint32_t>().swap(table);
        }
        if (stack.capacity() > kKeepEntries) std::vector<std::pair<int32_t, uint32_t>>().swap(stack);
    }
};

Scratch& scratch() {
    thread_local Scratch buffers;
    return buffers;
}

// getTokenEnd and adjustToken over one sanitised text, giving exactly their results without
// walking the same bytes again for every token. The locator asks for positions in increasing
// order, but every cache below is correct for any order.
//
// - A plain value ends at the first terminator at or after its start: the last search (its
//   start and where it stopped) answers every later start inside that range.
// - A quoted value after "=" ends at the next occurrence of its quote: remembered per quote.
// - A value with nesting ("(" or "[" counts up, its closer counts down) ends where the running
//   count first rises above its value at the start. With P[i] = closers - openers in text[0, i),
//   that is the first j > start with P[j] > P[start], a "next greater element" that one pass
//   from the right computes for all positions. Short values are walked instead, and a closer
//   that never occurs after the start answers -1 at once.
// - adjustToken fails exactly when the text from the byte after the position to the end is all
//   blanks and tokens: the start of that tail is found once.
class TokenEnds {
public:
    TokenEnds(const std::string& text, Scratch& buffers) : text_(text), n_(text.size()), buffers_(buffers) {
        tailStart_ = n_;
        while (tailStart_ > 0 && (text_[tailStart_ - 1] == ' ' || isToken(text_[tailStart_ - 1]))) --tailStart_;
    }

    bool adjust(size_t& position) const {
        if (position + 1 >= tailStart_) return false;
        size_t lastToken = position;
        for (size_t i = position + 1; text_[i] == ' ' || isToken(text_[i]); ++i) {
            if (text_[i] != ' ') lastToken = i; // never runs past tailStart_ - 1, which stops it
        }
        position = lastToken;
        return true;
    }

    long find(size_t start) {
        if (start >= n_) return -1;
        const char token = text_[start];
        char closer = closerOf(token);
        size_t at = start + 1;
        while (at < n_ && isWordBoundary(text_[at])) ++at;
        if (at < n_ && isQuote(text_[at])) closer = text_[at++];
        if (closer == ' ') return plainValueEnd(text_, nextTerminator(at));
        const bool bracket = closer == ')' || closer == ']';
        size_t end;
        if (!isOpenCloseToken(token)) {
            end = nextQuote(closer, at);
        } else {
            end = nestedEnd(token, closer, at);
        }
        if (end == std::string::npos) return -1;
        return static_cast<long>(bracket ? end - 1 : end);
    }

private:
    size_t nextTerminator(size_t at) {
        if (plainValid_ && at >= plainFrom_ && at <= plainAt_) return plainAt_;
        size_t x = at;
        while (x < n_ && !endsPlainValue(text_, x)) ++x;
        plainValid_ = true;
        plainFrom_ = at;
        plainAt_ = x;
        return x;
    }

    struct Occurrence {
        bool valid = false;
        size_t from = 0;
        size_t at = 0; // npos: none from `from` on
    };

    size_t nextQuote(char quote, size_t at) {
        Occurrence& o = quote == '"' ? doubleQuote_ : apostrophe_;
        if (o.valid && at >= o.from && (o.at == std::string::npos || at <= o.at)) return o.at;
        o.valid = true;
        o.from = at;
        o.at = at < n_ ? text_.find(quote, at) : std::string::npos;
        return o.at;
    }

    size_t lastOf(char closer) {
        int index = closer == ')' ? 0 : closer == ']' ? 1 : closer == '"' ? 2 : 3;
        if (!lastKnown_[index]) {
            last_[index] = text_.rfind(closer);
            lastKnown_[index] = true;
        }
        return last_[index];
    }

    // The position of the closer that brings the count to zero, or npos.
    size_t nestedEnd(char token, char closer, size_t at) {
        const size_t last = lastOf(closer);
        if (last == std::string::npos || last < at) return std::string::npos;
        const int index = tableIndex(token, closer);
        if (built_[index]) return fromTable(index, at); // paid for once, cheaper than any walk
        int depth = 1;
        size_t x = at;
        for (; x < n_ && x - at < kWalkBudget; ++x) {
            const char c = text_[x];
            if (c == token) ++depth;
            else if (c == closer && --depth == 0) return x;
        }
        if (x >= n_) return std::string::npos;
        if (n_ > kMaxTableText) { // not reached by real records; keeps the answer exact anyway
            for (; x < n_; ++x) {
                const char c = text_[x];
                if (c == token) ++depth;
                else if (c == closer && --depth == 0) return x;
            }
            return std::string::npos;
        }
        build(index, token, closer);
        return fromTable(index, at);
    }

    static int tableIndex(char token, char closer) {
        return (token == '[' ? 3 : 0) + (closer == '"' ? 1 : closer == '\'' ? 2 : 0);
    }

    size_t fromTable(int index, size_t at) const {
        const uint32_t j = buffers_.firstAbove[index][at];
        return j == kNoPosition ? std::string::npos : static_cast<size_t>(j) - 1;
    }

    void build(int index, char token, char closer) {
        std::vector<uint32_t>& above = buffers_.firstAbove[index];
        built_[index] = true;
        auto delta = [&](char c) { return c == closer ? 1 : c == token ? -1 : 0; };
        int32_t p = 0;
        for (size_t i = 0; i < n_; ++i) p += delta(text_[i]);
        above.resize(n_ + 1);
        auto& stack = buffers_.stack;
        stack.clear();
        for (size_t i = n_ + 1; i-- > 0;) {
            if (i < n_) p -= delta(text_[i]); // p is now P[i]
            while (!stack.empty() && stack.back().first <= p) stack.pop_back();
            above[i] = stack.empty() ? kNoPosition : stack.back().second;
            stack.emplace_back(p, static_cast<uint32_t>(i));
        }
    }

    const std::string& text_;
    const size_t n_;
    Scratch& buffers_;
    size_t tailStart_ = 0;
    bool plainValid_ = false;
    size_t plainFrom_ = 0;
    size_t plainAt_ = 0;
    Occurrence doubleQuote_;
    Occurrence apostrophe_;
    std::array<size_t, 4> last_{};
    std::array<bool, 4> lastKnown_{};
    std::array<bool, 6> built_{};
};

constexpr std::array<uint32_t, 256> makeWeights() {
    constexpr uint32_t kLetters[26] = {5,  73, 37, 29, 2,  59, 61, 19, 11, 89, 83, 31, 43,
                                       13, 7,  71, 101, 23, 17, 3, 41, 79, 53, 97, 67, 103};
    std::array<uint32_t, 256> weights{};
    for (auto& w : weights) w = 1;
    for (int i = 0; i < 26; ++i) {
        weights['a' + i] = kLetters[i];
        weights['A' + i] = kLetters[i];
    }
    return weights;
}

constexpr std::array<uint32_t, 256> kWeights = makeWeights();

}

const std::array<uint32_t, 256>& letterWeights() { return kWeights; }

void decodeAndSanatize(std::string& text, bool stripControls) {
    // One pass does what five successive replacements and the control removal would: the
    // entities all begin with "&" and contain none of the bytes they stand for, so no
    // replacement can form or break another, and entities are recognised in the bytes as they
    // were before any control byte was taken out. Writing never overtakes reading.
    const size_t n = text.size();
    char* bytes = text.data();
    size_t kept = 0;
    for (size_t at = 0; at < n;) {
        const char c = bytes[at];
        if (c == '&') {
            char replacement = 0;
            if (const size_t length = entityAt(bytes, at, n, replacement)) {
                bytes[kept++] = replacement;
                at += length;
                continue;
            }
        }
        if (!stripControls || keptBySanitizer(c)) bytes[kept++] = c;
        ++at;
    }
    text.resize(kept);
}

void controlchar(std::string& text) {
    size_t kept = 0;
    for (char c : text) {
        if (keptBySanitizer(c)) text[kept++] = c;
    }
    text.resize(kept);
}

void ReplaceStringInPlace(std::string& text, const std::string& from, const std::string& to) {
    replaceAllInPlace(text, from, to);
}

long getTokenEnd(const std::string& text, size_t position) {
    const size_t n = text.size();
    if (position >= n) return -1;
    const char token = text[position];
    char closer = closerOf(token);
    size_t at = position + 1;
    while (at < n && isWordBoundary(text[at])) ++at;
    if (at < n && isQuote(text[at])) closer = text[at++];
    const bool nests = isOpenCloseToken(token);
    int depth = 1;
    for (; at < n && depth > 0; ++at) {
        const char c = text[at];
        if (nests && c == token) ++depth;
        const bool ends = closer == ' ' ? endsPlainValue(text, at) : c == closer;
        if (ends) --depth;
    }
    if (depth > 0) return closer == ' ' ? static_cast<long>(n) - 1 : -1;
    const size_t terminator = at - 1;
    if (closer == ' ') return plainValueEnd(text, terminator);
    if (closer == ')' || closer == ']') return static_cast<long>(terminator) - 1;
    return static_cast<long>(terminator);
}

// The template reader's run over blanks and tokens is the same walk.
bool adjustToken(const std::string& text, size_t& position) { return LogMonitoring::adjustToken(text, position); }

// The template reader trims keys and values by the same classes.
void cleanTrim(std::string& text, bool digits, bool tokens) { LogMonitoring::cleanTrim(text, digits, tokens); }

bool isKeyValidSolrFieldName(const std::string& key) {
    if (key.empty()) return false;
    for (char c : key) {
        if (!isLetter(c) && c != '_') return false;
    }
    return true;
}

bool isValidNumber(std::string& text) { return isValidNumberF(text) == 1; }

int isValidNumberF(std::string& text) {
    const size_t n = text.size();
    if (n == 0 || n > 18) return 0;
    bool dot = false;
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (isDigit(c)) continue;
        if (c == '.' && !dot && i != 0 && i != n - 1) {
            dot = true;
            continue;
        }
        return 0;
    }
    return dot ? 2 : 1;
}

void locatePairs(const std::string& s, std::vector<LocatedPair>& pairs) {
    pairs.clear();
    const size_t n = s.size();
    Scratch& buffers = scratch();
    TokenEnds ends(s, buffers);
    size_t pos = 0;
    size_t keyEnd = 0;
    while (pos < n) {
        size_t keyStart = pos;
        char quote = ' ';
        // The key runs up to the next token. A run of word boundaries starts it again after the
        // run, unless a token follows the run; a quoted key is jumped over to its closing quote
        // (an unclosed one ends the search).
        while (pos < n && !isToken(s[pos])) {
            if (isWordBoundary(s[pos])) {
                while (pos < n && isWordBoundary(s[pos])) ++pos;
                if (pos < n && isToken(s[pos])) break;
                keyStart = pos;
            }
            if (pos < n && isQuote(s[pos])) {
                quote = s[pos];
                keyStart = pos;
                const size_t close = s.find(quote, pos + 1);
                if (close == std::string::npos) {
                    pos = n;
                    break;
                }
                pos = close;
            }
            ++pos;
        }
        if (pos > 0) keyEnd = pos - 1;
        if (pos >= n) break;
        ends.adjust(pos);
        const long valueEnd = ends.find(pos);
        if (valueEnd != -1) {
            pairs.push_back({keyStart, keyEnd, pos, static_cast<size_t>(valueEnd)});
            // A quoted key's value is not searched for further keys; any other value is.
            if (quote != ' ') pos = static_cast<size_t>(valueEnd);
        }
        ++pos;
    }
    buffers.trim();
}

void sanitizeAndLocatePairs(std::string& text, std::vector<LocatedPair>& pairs) {
    decodeAndSanatize(text, true);
    locatePairs(text, pairs);
}

uint64_t computeSignature(const std::string& s, const std::vector<LocatedPair>& pairs) {
    // The text without the pairs' spans is never built: its bytes are fed through a window of
    // the last two weights straight from the pieces that remain.
    const size_t n = s.size();
    uint64_t sum = 0;
    uint64_t w1 = 0;
    uint64_t w2 = 0;
    size_t seen = 0;
    auto feed = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            const uint64_t w3 = kWeights[static_cast<unsigned char>(s[i])];
            if (seen >= 2) {
                sum += w1 * w2 * w3; // both terms stay below the modulus, so one subtraction does
                if (sum >= kSignatureModulus) sum -= kSignatureModulus;
            }
            w1 = w2;
            w2 = w3;
            ++seen;
        }
    };
    size_t cursor = 0;
    for (const LocatedPair& pair : pairs) {
        if (pair.keyEnd <= cursor) continue;
        feed(cursor, pair.keyEnd < n ? pair.keyEnd : n);
        cursor = pair.valueEnd + 1;
    }
    if (cursor < n) feed(cursor, n);
    return sum;
}

}
