#include "FieldType.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace lmindexd {
namespace {

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string lowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The dates are strict: a time the index cannot read (say "10:20:30:0Z") refuses the request,
// so a sender learns of it at once. The numeric ids are not: compliance records carry text in
// "FileUniqueId", which is kept as an exact string.
struct Fixed {
    std::string_view name;
    FieldKind kind;
    bool strict = false;
};

constexpr std::array<Fixed, 12> kFixed{{
    {"LogLine", FieldKind::Text},
    {"eventTime", FieldKind::Date, true},
    {"timestamp", FieldKind::Date, true},
    {"TemplateId", FieldKind::Long},
    {"MonitoringPolicyId", FieldKind::Long},
    {"isLMDoc", FieldKind::Long},
    {"ClientId", FieldKind::Long},
    {"cistate", FieldKind::Long},
    {"LineNumber", FieldKind::Long},
    {"FileUniqueId", FieldKind::Long},
    {"hash_if", FieldKind::Long},
    {"contentid", FieldKind::String},
}};

}  // namespace

FieldType fieldTypeFor(std::string_view name) {
    for (const Fixed& f : kFixed) {
        if (f.name == name) return {f.kind, f.strict};
    }
    const std::string n = lowerCopy(name);
    // Longer suffixes first: "_t_if" is a time of day in milliseconds, "_tf" a date.
    for (std::string_view s : {"_t_if", "_t_in"}) {
        if (endsWith(n, s)) return {FieldKind::Long, true};
    }
    for (std::string_view s : {"_tf", "_tn"}) {
        if (endsWith(n, s)) return {FieldKind::Date, true};
    }
    for (std::string_view s : {"_lt", "_tp"}) {
        if (endsWith(n, s)) return {FieldKind::Text, false};
    }
    for (std::string_view s : {"_if", "_in"}) {
        if (endsWith(n, s)) return {FieldKind::Long, true};
    }
    for (std::string_view s : {"_df", "_dn"}) {
        if (endsWith(n, s)) return {FieldKind::Double, true};
    }
    return {FieldKind::String, false};
}

bool parseLong(std::string_view text, int64_t& out) {
    if (text.empty()) return false;
    const char* b = text.data();
    const char* e = b + text.size();
    if (*b == '+') ++b;
    auto [p, ec] = std::from_chars(b, e, out);
    return ec == std::errc() && p == e && b != e;
}

bool parseDouble(std::string_view text, double& out) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text.front()))) return false;
    std::string copy(text);
    char* end = nullptr;
    errno = 0;
    out = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || errno == ERANGE) return false;
    return std::isfinite(out);
}

std::vector<std::string> tokenize(std::string_view text) {
    std::vector<std::string> tokens;
    std::string cur;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c >= 0x80) {
            cur.push_back(static_cast<char>(std::tolower(c)));
        } else if (!cur.empty()) {
            tokens.push_back(std::move(cur));
            cur.clear();
        }
    }
    if (!cur.empty()) tokens.push_back(std::move(cur));
    return tokens;
}

}
