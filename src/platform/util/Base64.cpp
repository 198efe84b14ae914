#include "platform/util/Base64.h"

#include <array>
#include <cstdint>

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> makeReverse() {
    std::array<int8_t, 256> r{};
    for (auto& v : r) v = -1;
    for (int i = 0; i < 64; ++i) r[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return r;
}
constexpr auto kReverse = makeReverse();

bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
}

namespace Base64 {

std::string encode(std::string_view in) {
    std::string out;
    out.resize((in.size() + 2) / 3 * 4);
    size_t o = 0, i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(in.data());
    for (; i + 3 <= in.size(); i += 3) {
        uint32_t v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out[o++] = kAlphabet[v >> 18];
        out[o++] = kAlphabet[(v >> 12) & 63];
        out[o++] = kAlphabet[(v >> 6) & 63];
        out[o++] = kAlphabet[v & 63];
    }
    size_t rest = in.size() - i;
    if (rest) {
        uint32_t v = p[i] << 16;
        if (rest == 2) v |= p[i + 1] << 8;
        out[o++] = kAlphabet[v >> 18];
        out[o++] = kAlphabet[(v >> 12) & 63];
        out[o++] = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        out[o++] = '=';
    }
    return out;
}

bool decode(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size() / 4 * 3);
    uint32_t acc = 0;
    int bits = 0, pad = 0;
    size_t symbols = 0;
    for (char c : text) {
        if (isSpace(c)) continue;
        if (c == '=') {
            ++pad;
            ++symbols;
            continue;
        }
        if (pad) return false; // data after padding
        int8_t v = kReverse[static_cast<unsigned char>(c)];
        if (v < 0) return false;
        ++symbols;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((acc >> bits) & 0xFF));
        }
    }
    if (symbols % 4 != 0 || pad > 2) return false;
    return true;
}

}
