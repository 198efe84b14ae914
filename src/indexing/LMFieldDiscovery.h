#pragma once
// Key/value discovery over the raw text of a record and the record signature "hash_if".
//
// Every record's text is sanitised, scanned once for pairs of the form key=value, key(value) and
// key[value], and the text with the pairs cut out is reduced to a number, so that records that
// differ only in their values share one signature. The index helper writes the signature and,
// when asked, the pairs as fields of their own; the helpers here need no helper instance, so
// tests and benchmarks call them directly.
//
// These tokenizer helpers look like the template key/value extraction's (documents/
// LMTemplateMatch.h) and share its byte classes, but they differ in details on purpose: the
// sanitiser here drops every byte from 0x80 up, a value closed by a line feed keeps the line feed,
// and a comma before the terminator is not treated specially. Every "hash_if" ever written
// depends on these rules byte for byte, so the two sets must not be merged.
//
// All functions are thread-safe; the locator keeps per-thread scratch buffers that it reuses
// from record to record.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "LMExport.h"

namespace LogMonitoring::FieldDiscovery {

// The signature sums products of three consecutive byte weights, reduced by this prime.
constexpr uint64_t kSignatureModulus = 982451653;

// One prime per letter, the same for upper and lower case; every other byte weighs 1.
LM_EXPORT const std::array<uint32_t, 256>& letterWeights();

// One located pair, as byte positions in the sanitised text: the key runs from keyStart to keyEnd
// (both included, before trimming), `token` is the "=", "(" or "[" that introduces the value, and
// the value runs from token + 1 to valueEnd (included).
struct LocatedPair {
    size_t keyStart = 0;
    size_t keyEnd = 0;
    size_t token = 0;
    size_t valueEnd = 0;
    bool operator==(const LocatedPair&) const = default;
};

// Decodes &quot; &lt; &gt; &apos; &amp; (in this order, each once through the whole text, so
// "&amp;lt;" becomes "&lt;"); with stripControls then applies controlchar. Linear, in place.
LM_EXPORT void decodeAndSanatize(std::string& text, bool stripControls);

// Removes every byte that is below 0x20 when read as a signed char, except the line feed: the
// control bytes (tab and carriage return too) and every byte from 0x80 to 0xFF.
LM_EXPORT void controlchar(std::string& text);

// Replaces every occurrence of `from`, left to right, going on after each replacement (the
// replacement itself is not searched again). An empty `from` changes nothing. Linear time.
LM_EXPORT void ReplaceStringInPlace(std::string& text, const std::string& from, const std::string& to);

// The position of the last byte of the value that the token at `position` introduces, or -1 when
// the value is opened by a bracket or quote that is never closed (and for a position outside the
// text). A value without a bracket or quote ends before the next blank or comma, at a line feed
// (included), at a "." followed by a word boundary (included), or at the end of the text.
// Walks the text; the locator below answers the same question in amortised constant time.
LM_EXPORT long getTokenEnd(const std::string& text, size_t position);

// Moves `position` to the last token byte of the run of blanks and token bytes that follows it.
// When that run reaches the end of the text the position stays and the result is false.
LM_EXPORT bool adjustToken(const std::string& text, size_t& position);

// Drops from the front quotes (and digits when `digits`; word boundaries and eligible tokens when
// `tokens`), and from the back quotes, "." and ":" (and word boundaries, eligible and close tokens
// when `tokens`).
LM_EXPORT void cleanTrim(std::string& text, bool digits, bool tokens);

// True when the key is not empty and consists of ASCII letters and "_" only.
LM_EXPORT bool isKeyValidSolrFieldName(const std::string& key);

// True for 1 to 18 ASCII digits.
LM_EXPORT bool isValidNumber(std::string& text);

// The number kind of a value: 1 for 1 to 18 digits, 2 for up to 18 bytes of digits with one "."
// that is neither first nor last, 0 (text) otherwise.
LM_EXPORT int isValidNumberF(std::string& text);

// Replaces `pairs` with the pairs located in an already sanitised text, in the order found.
// Linear in the length of the text, whatever its brackets and quotes.
LM_EXPORT void locatePairs(const std::string& sanitized, std::vector<LocatedPair>& pairs);

// Sanitises the text in place (decodeAndSanatize with control removal) and locates its pairs.
LM_EXPORT void sanitizeAndLocatePairs(std::string& text, std::vector<LocatedPair>& pairs);

// The signature of a sanitised text whose pairs were located: the text without each pair's span
// (from its key's last byte to its value's last byte; a pair that starts inside the previous cut
// is passed over), reduced by the letter weights. Texts shorter than three bytes give 0.
LM_EXPORT uint64_t computeSignature(const std::string& sanitized, const std::vector<LocatedPair>& pairs);

}
