#include "documents/LMTemplateMatch.h"

#include <cstring>
#include <memory>

#include <boost/regex.hpp>

#include "platform/log/EvLMDebug.h"
#include "values/LMRegexCache.h"
#include "values/RegExGenerator.h"

namespace LogMonitoring {

namespace {

constexpr long kNoEnd = -1;

bool isQuote(char c) { return c == '"' || c == '\''; }

bool isBlankOnly(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

// Drops every character below 0x20 except the line feed. Bytes of 0x80 and above are parts of
// UTF-8 characters and stay.
void removeControlCharacters(std::string& text) {
    size_t kept = 0;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 || c == '\n') text[kept++] = c;
    }
    text.resize(kept);
}

bool endsBlankClosedValue(const std::string& text, size_t at) {
    const char c = text[at];
    if (c == ' ' || c == ',' || c == '\n') return true;
    return c == '.' && at + 1 < text.size() && isWordBoundary(text[at + 1]);
}

// The end of a value, given its terminator (or the end of the text when `at` is the size).
long lastValueCharacter(const std::string& text, size_t at, char closer, size_t start) {
    if (at >= text.size()) return closer == ' ' ? static_cast<long>(text.size()) - 1 : kNoEnd;
    if (closer == ' ' && text[at] == '.') return static_cast<long>(at); // cleanTrim drops it later
    size_t last = at - 1;
    if (last > start && text[last] == ',') --last;
    return static_cast<long>(last);
}

// getTokenEnd over one text. A line scanned for key/value pairs asks for the end of every token
// in it; with `knowClosers` the finder remembers where each closing character last occurs, so a
// long line of unclosed brackets or quotes (a(a(a(...) answers each token at once instead of
// walking to the end of the line every time.
class TokenEndFinder {
public:
    TokenEndFinder(const std::string& text, bool knowClosers)
        : text_(text), knowClosers_(knowClosers) {}

    long find(size_t start) {
        const size_t n = text_.size();
        if (start >= n) return kNoEnd;
        const char token = text_[start];
        char closer = token == '(' ? ')' : token == '[' ? ']' : ' ';
        size_t at = start + 1;
        while (at < n && isWordBoundary(text_[at])) ++at;
        if (at < n && isQuote(text_[at])) closer = text_[at++];
        if (knowClosers_ && closer != ' ' && !occursFrom(closer, at)) return kNoEnd;
        return lastValueCharacter(text_, walk(token, closer, at), closer, start);
    }

private:
    static constexpr size_t kUnknown = std::string::npos - 1;

    bool occursFrom(char closer, size_t at) {
        size_t& last = lastOf(closer);
        if (last == kUnknown) last = text_.rfind(closer);
        return last != std::string::npos && last >= at;
    }

    size_t& lastOf(char closer) {
        switch (closer) {
        case ')': return lastParenthesis_;
        case ']': return lastBracket_;
        case '"': return lastDoubleQuote_;
        default: return lastApostrophe_;
        }
    }

    // The terminator of the value, or the size of the text when nothing ends it.
    size_t walk(char token, char closer, size_t at) const {
        const bool nests = isOpenCloseToken(token);
        int depth = 1;
        for (; at < text_.size(); ++at) {
            const char c = text_[at];
            if (nests && c == token) ++depth;
            const bool ends = closer == ' ' ? endsBlankClosedValue(text_, at) : c == closer;
            if (ends && --depth == 0) return at;
        }
        return text_.size();
    }

    const std::string& text_;
    const bool knowClosers_;
    size_t lastParenthesis_ = kUnknown;
    size_t lastBracket_ = kUnknown;
    size_t lastDoubleQuote_ = kUnknown;
    size_t lastApostrophe_ = kUnknown;
};

// Moves over a run of word boundaries to the next character; a quoted key jumps past its closing
// quote. Returns the position of the eligible token that ends the key, or npos at the end of the
// scan; keyStart and quoted describe the key.
size_t scanKey(const std::string& text, size_t pos, size_t& keyStart, bool& quoted) {
    const size_t n = text.size();
    keyStart = pos;
    quoted = false;
    size_t i = pos;
    while (i < n) {
        const char c = text[i];
        if (isEligibleToken(c)) return i;
        if (isWordBoundary(c)) {
            size_t next = i;
            while (next < n && isWordBoundary(text[next])) ++next;
            if (next < n && isEligibleToken(text[next])) return next;
            keyStart = next;
            i = next;
            continue;
        }
        if (c == '"' || (c == '\'' && !isApostrophe(text, i))) {
            const size_t close = text.find(c, i + 1);
            if (close == std::string::npos) return std::string::npos;
            keyStart = i;
            quoted = true;
            i = close + 1;
            continue;
        }
        ++i;
    }
    return std::string::npos;
}

// A value that opens with a quote after blanks (status: "ok") would keep the quote behind the
// blanks, which trimming of quotes cannot reach; the blanks go first so that the quotes are
// cleaned off as they are for status="ok".
void dropBlanksBeforeQuote(std::string& value) {
    const size_t first = value.find_first_not_of(' ');
    if (first != 0 && first != std::string::npos && isQuote(value[first])) value.erase(0, first);
}

std::string extractValue(const std::string& text, size_t token, long end) {
    std::string value = text.substr(token + 1, static_cast<size_t>(end) - token);
    dropBlanksBeforeQuote(value);
    cleanTrim(value, false, false);
    return value;
}

}

void replaceAllInPlace(std::string& text, std::string_view from, std::string_view to) {
    if (from.empty()) return;
    size_t hit = text.find(from);
    if (hit == std::string::npos) return;
    std::string out;
    out.reserve(text.size());
    size_t done = 0;
    while (hit != std::string::npos) {
        out.append(text, done, hit - done);
        out.append(to);
        done = hit + from.size();
        hit = text.find(from, done);
    }
    out.append(text, done, std::string::npos);
    text.swap(out);
}

bool isWordBoundary(char c) {
    switch (c) {
    case '\t': case '\n': case ' ': case '!': case '#': case '&': case ')': case ',': case '-':
    case '.': case '/': case ';': case '<': case '>': case '?': case '\\': case ']': case '^':
    case '|': case '}':
        return true;
    default:
        return false;
    }
}

bool isToken(char c) { return c == '(' || c == '=' || c == '['; }

bool isEligibleToken(char c) { return c == '(' || c == ':' || c == '=' || c == '['; }

bool isOpenCloseToken(char c) {
    return c == '"' || c == '\'' || c == '(' || c == '[' || c == '{';
}

bool isCloseToken(char c) { return c == ' ' || c == ')' || c == '>' || c == ']'; }

bool checkForTemplateMatch(Column& column, const std::string& value) {
    if (isBlankOnly(value)) return true;
    const auto dataType = static_cast<DataType>(column.dataType());
    if (dataType == String) return true;
    std::string text = value;
    if (text.front() == '"') text = text.size() >= 2 ? text.substr(1, text.size() - 2) : "";
    const auto format = static_cast<TypeFormat>(column.typeFormat());
    RegExGenerator generator(dataType, format);
    if (format == FloatingPoint) {
        generator.setNumberDecimalPlaces(getNumberOfDecimalDigitsForFloatType(text));
    }
    const std::string& custom = column.customFormat();
    const std::string expression =
        generator.getRegularExpression(custom.empty() ? nullptr : custom.c_str());
    auto re = compileRegex(expression, boost::regex::perl);
    if (!re) return false;
    boost::smatch m;
    return matchRegex(text, *re, m);
}

int getNumberOfDecimalDigitsForFloatType(const std::string& text) {
    const size_t dot = text.find('.');
    return dot == std::string::npos ? 0 : static_cast<int>(text.size() - dot - 1);
}

bool isDiscoveredKeyValid(const std::string& key) {
    if (key.empty()) return false;
    for (char c : key) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '_' || c == '.' || c == '-';
        if (!ok) return false;
    }
    return true;
}

bool isApostrophe(const std::string& text, size_t position) {
    if (position == 0 || position > text.size()) return false;
    const char before = text[position - 1];
    return (before >= 'a' && before <= 'z') || (before >= 'A' && before <= 'Z') ||
           (before >= '0' && before <= '9');
}

long getTokenEnd(const std::string& text, size_t start) {
    return TokenEndFinder(text, false).find(start);
}

bool adjustToken(const std::string& text, size_t& position) {
    size_t lastToken = position;
    size_t i = position + 1;
    while (i < text.size() && (text[i] == ' ' || isToken(text[i]))) {
        if (text[i] != ' ') lastToken = i;
        ++i;
    }
    if (i >= text.size()) return false;
    position = lastToken;
    return true;
}

void cleanTrim(std::string& text, bool digits, bool boundaries) {
    size_t first = 0;
    while (first < text.size()) {
        const char c = text[first];
        const bool drop = isQuote(c) || (digits && c >= '0' && c <= '9') ||
                          (boundaries && (isWordBoundary(c) || isEligibleToken(c)));
        if (!drop) break;
        ++first;
    }
    size_t end = text.size();
    while (end > first) {
        const char c = text[end - 1];
        const bool drop = isQuote(c) || c == '.' || c == ':' ||
                          (boundaries && (isWordBoundary(c) || isEligibleToken(c) || isCloseToken(c)));
        if (!drop) break;
        --end;
    }
    // In place: discovery trims every key and value of every record with this.
    if (first == 0 && end == text.size()) return;
    text.erase(end);
    text.erase(0, first);
}

void decodeAndSanatize(std::string& text, bool removeControl) {
    replaceAllInPlace(text, "&quot;", "\"");
    replaceAllInPlace(text, "&lt;", "<");
    replaceAllInPlace(text, "&gt;", ">");
    replaceAllInPlace(text, "&apos;", "'");
    replaceAllInPlace(text, "&amp;", "&");
    if (removeControl) removeControlCharacters(text);
}

void findKeyValuePairs(std::string line, std::vector<std::pair<std::string, std::string>>& pairs) {
    decodeAndSanatize(line, false);
    TokenEndFinder ends(line, true);
    size_t pos = 0;
    while (pos < line.size()) {
        size_t keyStart = 0;
        bool quoted = false;
        const size_t token = scanKey(line, pos, keyStart, quoted);
        if (token == std::string::npos) return;
        size_t valueToken = token;
        if (!adjustToken(line, valueToken)) return;
        pos = valueToken + 1;
        // An invalid key adds nothing and the scan goes on after the token, whatever the value:
        // the key is checked first so that its value is never walked for nothing.
        std::string key = line.substr(keyStart, token - keyStart);
        cleanTrim(key, false, true);
        if (!isDiscoveredKeyValid(key)) continue;
        const long end = ends.find(valueToken);
        if (end == kNoEnd) continue;
        pairs.emplace_back(std::move(key), extractValue(line, valueToken, end));
        if (quoted) pos = static_cast<size_t>(end) + 1;
    }
}

bool findValueFromKeyInLine(const std::string& key, const std::string& line, std::string& value) {
    value.clear();
    if (key.empty()) return false;
    const size_t hit = line.find(key);
    if (hit == std::string::npos) return false;
    size_t token = hit + key.size();
    if (token >= line.size()) return false;
    adjustToken(line, token);
    const long end = getTokenEnd(line, token);
    if (end == kNoEnd || static_cast<size_t>(end) >= line.size() || static_cast<size_t>(end) < token) {
        return false;
    }
    value = extractValue(line, token, end);
    return !value.empty();
}

bool matchTemplateVariableFormat(DataType dataType, const std::string& value,
                                 const std::string& customFormat, TypeFormat format) {
    RegExGenerator generator(dataType, format);
    const std::string expression =
        "^" + generator.getRegularExpression(customFormat.empty() ? nullptr : customFormat.c_str()) +
        "$";
    std::string error;
    auto re = LMRegexCache::get(expression, boost::regex::perl | boost::regex::icase, error);
    if (!re) {
        EvLMDebug().DebugLvl("LMTextFileDocument::MatchTemplateVariableFormat", EvLMDebug::kErrorLevel,
                             "Error in regex creation %s", error.c_str());
        return false;
    }
    boost::smatch m;
    return searchRegex(value, *re, m);
}

}
