#include "platform/util/XmlInvalidCharHandler.h"

#include <cstdint>
#include <cstring>

namespace {

enum class Verdict { Keep, Drop, Replace, Latin1, Truncated };

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Whether the eight bytes at p are all printable ASCII (0x20 to 0x7F): none has its high bit set,
// and adding 0x60 to each (which cannot carry, each being below 0x80) sets every high bit.
bool eightPlainBytes(const unsigned char* p) {
    constexpr uint64_t kHigh = 0x8080808080808080ULL;
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return (w & kHigh) == 0 && ((w + 0x6060606060606060ULL) & kHigh) == kHigh;
}

// Judges the character starting at text[i]; `length` is how many bytes it spans (1 for a byte
// that is taken on its own).
Verdict judge(const unsigned char* p, size_t n, size_t& length) {
    const unsigned char c = p[0];
    length = 1;
    if (c < 0x80) {
        if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') return Verdict::Keep;
        return Verdict::Drop;
    }
    size_t need;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 4;
        cp = c & 0x07;
    } else {
        return Verdict::Latin1;
    }
    size_t have = 1;
    while (have < need && have < n && isContinuation(p[have])) {
        cp = (cp << 6) | (p[have] & 0x3F);
        ++have;
    }
    if (have < need) return have == n ? Verdict::Truncated : Verdict::Latin1;
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if ((need == 3 && cp < 0x800) || (need == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
        return Verdict::Latin1;
    }
    length = need;
    return cp == 0xFFFE || cp == 0xFFFF ? Verdict::Replace : Verdict::Keep;
}

}

bool XmlInvalidCharHandler::encodeInvalidChars(std::string& text, size_t from) {
    const auto* data = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = from;
    size_t length = 1;
    // Fast path: most text is plain ASCII or valid UTF-8 and stays as it is.
    while (i < size) {
        if (i + 8 <= size && eightPlainBytes(data + i)) {
            i += 8;
            continue;
        }
        if (data[i] >= 0x20 && data[i] < 0x80) {
            ++i;
            continue;
        }
        if (judge(data + i, size - i, length) != Verdict::Keep) break;
        i += length;
    }
    if (i >= size) return false;

    std::string out;
    out.reserve(size + (size - i) / 2 + 4);
    out.append(text, 0, i);
    while (i < size) {
        switch (judge(data + i, size - i, length)) {
        case Verdict::Keep: out.append(text, i, length); break;
        case Verdict::Drop: break;
        case Verdict::Replace: out.append("\xEF\xBF\xBD"); break;
        case Verdict::Latin1:
            out.push_back(static_cast<char>(0xC0 | (data[i] >> 6)));
            out.push_back(static_cast<char>(0x80 | (data[i] & 0x3F)));
            break;
        case Verdict::Truncated: length = size - i; break;
        }
        i += length;
    }
    text.swap(out);
    return true;
}
