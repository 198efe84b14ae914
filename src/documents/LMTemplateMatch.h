#pragma once
// Checks and scanners that decide whether a piece of text fits a template column, and that pull
// key/value pairs (user=bob, status: "ok") out of free log text.
//
// The text readers run these on every line, and field discovery shares the tokenizer helpers, so
// they are free functions without state. All are thread-safe: compiled expressions come from the
// process-wide regex cache and nothing here keeps anything between calls.
//
// Byte classes used by the tokenizer:
//   word boundary   tab, line feed, blank, ! # & ) , - . / ; < > ? \ ] ^ | }
//   token           ( = [
//   eligible token  ( : = [
//   open/close      " ' ( [ {
//   close token     blank ) > ]
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/messages/catalogue/TemplateMessages.h"
#include "values/LMColumnTypes.h"

namespace LogMonitoring {

bool isWordBoundary(char c);
bool isToken(char c);
bool isEligibleToken(char c);
bool isOpenCloseToken(char c);
bool isCloseToken(char c);

// True when the value fits the column: an empty or all-blank value always fits, a String column
// accepts anything, any other column needs the whole text (without enclosing double quotes) to
// match its type's expression. An expression the library rejects means no fit.
bool checkForTemplateMatch(Column& column, const std::string& value);

// The number of characters after the first "."; 0 without one.
int getNumberOfDecimalDigitsForFloatType(const std::string& text);

// True when the key is not empty and holds only a-z, A-Z, 0-9, "_", "." and "-".
bool isDiscoveredKeyValid(const std::string& key);

// True when the quote at the position is an apostrophe inside a word (don't): the character
// before it is an ASCII letter or digit. A quote at position 0 is never one.
bool isApostrophe(const std::string& text, size_t position);

// The position of the last character of the value introduced by the token at `start`, or -1 when
// a bracket or quote that opens the value is never closed. A value closed by a blank ends at the
// next blank, comma, line feed or "." followed by a word boundary (the "." is kept), or at the
// end of the text.
long getTokenEnd(const std::string& text, size_t start);

// Moves the position over a following run of blanks and tokens to the last token of the run
// (unchanged when the run holds none). False, with the position left alone, when the run reaches
// the end of the text.
bool adjustToken(const std::string& text, size_t& position);

// Strips quotes (and digits, and word boundaries and eligible tokens, as asked) from the front,
// and quotes, ".", ":" (and word boundaries, eligible and close tokens, as asked) from the back.
void cleanTrim(std::string& text, bool digits, bool boundaries);

// Replaces every occurrence of `from` (not empty) by `to`, in one pass, so a text full of
// entities costs linear time.
void replaceAllInPlace(std::string& text, std::string_view from, std::string_view to);

// Decodes &quot; &lt; &gt; &apos; &amp; (in this order, each through the whole text); with
// removeControl also deletes every character below 0x20 except the line feed. Linear time.
void decodeAndSanatize(std::string& text, bool removeControl);

// Appends the key/value pairs of the line, in the order of their keys. A key may occur more than
// once. The line is taken by value because its entities are decoded in place.
void findKeyValuePairs(std::string line, std::vector<std::pair<std::string, std::string>>& pairs);

// The value that follows the first occurrence of the key (which may hold blanks) in the line.
// True when a non-empty value was found. The value keeps a blank that follows the "=" sign;
// callers trim it.
bool findValueFromKeyInLine(const std::string& key, const std::string& line, std::string& value);

// Template validation for a host that lets a user try a template out. `text` holds a serialised
// ValidateTemplateRequest (its template and, through it, the record pattern) and is replaced by
// the serialised ValidateTemplateResponse: error code 0 and the value of each column taken from
// the sample, or error code 1 with the localised message "the sample does not match the
// template" (message 0x23000864 in the given locale) and no pairs. Always returns 0.
int validateTemplateText(const std::string& sample, std::string& text, unsigned long localeId);

// True when the whole value has the form of the data type and format (case-insensitive).
bool matchTemplateVariableFormat(DataType dataType, const std::string& value,
                                 const std::string& customFormat, TypeFormat format);

}
