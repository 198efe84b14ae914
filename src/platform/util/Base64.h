#pragma once
#include <string>
#include <string_view>

// RFC 4648 Base64 with padding. decode ignores ASCII whitespace and fails on anything else that
// is not of the alphabet, or on bad padding.
namespace Base64 {
std::string encode(std::string_view bytes);
bool decode(std::string_view text, std::string& out);
}
