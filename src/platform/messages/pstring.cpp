#include "platform/messages/pstring.h"

#include <cstdint>

#include "platform/util/Base64.h"

namespace {
constexpr std::string_view kPrefix = "{KQP1}";

// xorshift keystream seeded by a fixed constant and the text's length.
void mask(std::string& bytes) {
    uint64_t s = 0x9E3779B97F4A7C15ull ^ (bytes.size() * 0xBF58476D1CE4E5B9ull);
    for (auto& c : bytes) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        c = static_cast<char>(static_cast<unsigned char>(c) ^ static_cast<unsigned char>(s >> 24));
    }
}
}

namespace KQPassword {

std::string encrypt(std::string_view plain) {
    std::string b(plain);
    mask(b);
    return std::string(kPrefix) + Base64::encode(b);
}

bool decrypt(std::string_view prot, std::string& plain) {
    if (prot.substr(0, kPrefix.size()) != kPrefix) {
        plain.assign(prot);
        return true;
    }
    std::string b;
    if (!Base64::decode(prot.substr(kPrefix.size()), b)) return false;
    mask(b);
    plain = std::move(b);
    return true;
}

}

pstring pstring::fromProtected(std::string protectedForm) {
    pstring p;
    p.protected_ = std::move(protectedForm);
    return p;
}

pstring pstring::fromPlain(std::string_view plain) {
    return fromProtected(plain.empty() ? std::string() : KQPassword::encrypt(plain));
}

std::string pstring::getPlainPassword() const {
    std::string plain;
    if (!KQPassword::decrypt(protected_, plain)) return {};
    return plain;
}
