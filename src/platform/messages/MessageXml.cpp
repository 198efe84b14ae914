#include "platform/messages/MessageXml.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include <pugixml.hpp>

#include "platform/util/Base64.h"

using FieldValue = CNMessageBase::FieldValue;

namespace {

constexpr int kMaxDepth = 64;
constexpr unsigned kParseFlags =
    pugi::parse_cdata | pugi::parse_escapes | pugi::parse_ws_pcdata_single;

// 0: copied as is, 1: escaped, 2: refused (XML text cannot carry NUL).
constexpr std::array<uint8_t, 256> makeEscapeTable() {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 0x20; ++c) t[c] = 1;
    t['\t'] = 0;
    t['\n'] = 0;
    t['&'] = t['<'] = t['>'] = 1;
    t[0] = 2;
    return t;
}
constexpr auto kEscape = makeEscapeTable();

bool appendEscaped(std::string& out, std::string_view s) {
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        const char* run = p;
        while (p < end && kEscape[static_cast<unsigned char>(*p)] == 0) ++p;
        out.append(run, p - run);
        if (p == end) break;
        unsigned char c = static_cast<unsigned char>(*p++);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case 0: return false;
        default: {
            char buf[8];
            int n = std::snprintf(buf, sizeof buf, "&#%u;", c);
            out.append(buf, n);
        }
        }
    }
    return true;
}

template <class T> void appendNumber(std::string& out, T v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr - buf);
}

void open(std::string& out, const char* name) {
    out += '<';
    out += name;
    out += '>';
}

void close(std::string& out, const char* name) {
    out += "</";
    out += name;
    out += '>';
}

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isXmlSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isXmlSpace(s.back())) s.remove_suffix(1);
    return s;
}

template <class T> bool parseNumber(std::string_view s, T& v) {
    s = trim(s);
    if (s.empty()) return false;
    if constexpr (std::is_unsigned_v<T>) {
        if (s.front() == '-') return false;
    }
    if (s.front() == '+') s.remove_prefix(1);
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

}

struct MessageXmlDetail {
    // ---- writing ----

    static size_t estimate(const CNMessageBase& m) {
        size_t n = 2 * m.messageClass().rootName().size() + 8;
        const auto& fields = m.messageClass().fields();
        const auto& values = MessageXml::values(m);
        for (size_t i = 0; i < fields.size(); ++i) {
            const auto& v = values[i];
            if (std::holds_alternative<std::monostate>(v)) continue;
            size_t overhead = 2 * std::strlen(fields[i].name) + 8;
            if (auto* s = std::get_if<std::string>(&v)) n += overhead + s->size() + s->size() / 8;
            else if (auto* l = std::get_if<std::vector<MessageHolder>>(&v))
                for (auto& h : *l) n += overhead + (h ? estimate(*h) : 0);
            else if (auto* h = std::get_if<MessageHolder>(&v)) n += overhead + (*h ? estimate(**h) : 0);
            else n += overhead * 4 + 24;
        }
        return n;
    }

    template <class T>
    static void writeNumbers(std::string& out, const char* name, const std::vector<T>& l) {
        if (l.empty()) {
            out += '<';
            out += name;
            out += " n=\"0\"/>";
            return;
        }
        for (T v : l) {
            open(out, name);
            appendNumber(out, v);
            close(out, name);
        }
    }

    static bool writeMessage(std::string& out, const CNMessageBase& m) {
        const auto& cls = m.messageClass();
        const auto& fields = cls.fields();
        const auto& values = MessageXml::values(m);
        open(out, cls.rootName().c_str());
        for (size_t i = 0; i < fields.size(); ++i) {
            if (std::holds_alternative<std::monostate>(values[i])) continue;
            if (!writeField(out, fields[i], values[i])) return false;
        }
        close(out, cls.rootName().c_str());
        return true;
    }

    static bool writeField(std::string& out, const FieldSpec& f, const FieldValue& v) {
        switch (f.kind) {
        case FieldKind::Int64:
            open(out, f.name);
            appendNumber(out, std::get<int64_t>(v));
            close(out, f.name);
            return true;
        case FieldKind::Text:
        case FieldKind::Password: {
            open(out, f.name);
            bool ok = appendEscaped(out, std::get<std::string>(v));
            close(out, f.name);
            return ok;
        }
        case FieldKind::Bytes:
            open(out, f.name);
            out += Base64::encode(std::get<std::string>(v));
            close(out, f.name);
            return true;
        case FieldKind::IntList: writeNumbers(out, f.name, std::get<std::vector<int32_t>>(v)); return true;
        case FieldKind::UIntList: writeNumbers(out, f.name, std::get<std::vector<uint32_t>>(v)); return true;
        case FieldKind::UInt64List: writeNumbers(out, f.name, std::get<std::vector<uint64_t>>(v)); return true;
        case FieldKind::MessageList: {
            const auto& l = std::get<std::vector<MessageHolder>>(v);
            if (l.empty()) {
                out += '<';
                out += f.name;
                out += " n=\"0\"/>";
            }
            for (const auto& h : l) {
                if (!h) continue;
                open(out, f.name);
                if (!writeMessage(out, *h)) return false;
                close(out, f.name);
            }
            return true;
        }
        case FieldKind::Message: {
            const auto& h = std::get<MessageHolder>(v);
            if (!h) return true;
            open(out, f.name);
            if (!writeMessage(out, *h)) return false;
            close(out, f.name);
            return true;
        }
        }
        return false;
    }

    // ---- reading ----

    struct Reader {
        std::string& error;

        bool fail(const std::string& why) {
            if (error.empty()) error = why;
            return false;
        }

        // The text of a field element: its character data, refused when it holds elements.
        bool text(const pugi::xml_node& node, std::string& out) {
            out.clear();
            for (auto c = node.first_child(); c; c = c.next_sibling()) {
                auto t = c.type();
                if (t == pugi::node_pcdata || t == pugi::node_cdata) out.append(c.value());
                else if (t == pugi::node_element)
                    return fail(std::string("field ") + node.name() + " holds elements, not text");
            }
            return true;
        }

        template <class T>
        bool numberItem(const pugi::xml_node& node, FieldValue& v) {
            if (!std::holds_alternative<std::vector<T>>(v)) v = std::vector<T>{};
            auto& list = std::get<std::vector<T>>(v);
            if (node.attribute("n") && !node.first_child()) return true; // empty list marker
            std::string s;
            if (!text(node, s)) return false;
            T n{};
            if (!parseNumber(s, n)) return fail(std::string("field ") + node.name() + ": bad number '" + s + "'");
            list.push_back(n);
            return true;
        }

        std::unique_ptr<CNMessageBase> nested(const pugi::xml_node& node, const FieldSpec& f, int depth) {
            pugi::xml_node inner;
            for (auto c = node.first_child(); c; c = c.next_sibling()) {
                if (c.type() == pugi::node_element) {
                    if (inner) {
                        fail(std::string("field ") + f.name + " holds more than one message");
                        return nullptr;
                    }
                    inner = c;
                } else if (c.type() == pugi::node_pcdata && !trim(c.value()).empty()) {
                    fail(std::string("field ") + f.name + " holds text, not a message");
                    return nullptr;
                }
            }
            if (!inner) {
                fail(std::string("field ") + f.name + " holds no message");
                return nullptr;
            }
            const MessageClass* cls = MessageCatalogue::findByRootName(inner.name());
            if (!cls) {
                fail(std::string("unknown message class ") + inner.name());
                return nullptr;
            }
            if (f.nested && cls != &f.nested()) {
                fail(std::string("field ") + f.name + " holds " + inner.name() + ", expected " +
                     f.nested().rootName());
                return nullptr;
            }
            auto m = cls->create();
            if (!message(inner, *m, depth + 1)) return nullptr;
            return m;
        }

        bool field(const pugi::xml_node& node, const FieldSpec& f, FieldValue& v, int depth) {
            bool already = !std::holds_alternative<std::monostate>(v);
            auto single = [&]() {
                return already ? fail(std::string("field ") + f.name + " appears twice") : true;
            };
            switch (f.kind) {
            case FieldKind::Int64: {
                if (!single()) return false;
                std::string s;
                int64_t n = 0;
                if (!text(node, s)) return false;
                if (!parseNumber(s, n)) return fail(std::string("field ") + f.name + ": bad integer '" + s + "'");
                v = n;
                return true;
            }
            case FieldKind::Text:
            case FieldKind::Password: {
                if (!single()) return false;
                std::string s;
                if (!text(node, s)) return false;
                v = std::move(s);
                return true;
            }
            case FieldKind::Bytes: {
                if (!single()) return false;
                std::string s, bytes;
                if (!text(node, s)) return false;
                if (!Base64::decode(s, bytes)) return fail(std::string("field ") + f.name + ": bad Base64");
                v = std::move(bytes);
                return true;
            }
            case FieldKind::IntList: return numberItem<int32_t>(node, v);
            case FieldKind::UIntList: return numberItem<uint32_t>(node, v);
            case FieldKind::UInt64List: return numberItem<uint64_t>(node, v);
            case FieldKind::MessageList: {
                if (!std::holds_alternative<std::vector<MessageHolder>>(v)) v = std::vector<MessageHolder>{};
                if (node.attribute("n") && !node.first_child()) return true;
                auto m = nested(node, f, depth);
                if (!m) return false;
                std::get<std::vector<MessageHolder>>(v).emplace_back(std::move(m));
                return true;
            }
            case FieldKind::Message: {
                if (!single()) return false;
                auto m = nested(node, f, depth);
                if (!m) return false;
                v = MessageHolder(std::move(m));
                return true;
            }
            }
            return false;
        }

        bool message(const pugi::xml_node& node, CNMessageBase& m, int depth) {
            if (depth > kMaxDepth) return fail("messages nested too deeply");
            const auto& cls = m.messageClass();
            auto& values = MessageXml::values(m);
            for (auto c = node.first_child(); c; c = c.next_sibling()) {
                if (c.type() == pugi::node_pcdata && !trim(c.value()).empty())
                    return fail(std::string("text inside message ") + cls.rootName());
                if (c.type() != pugi::node_element) continue;
                int i = cls.indexOfName(c.name());
                if (i < 0) continue; // a field this side does not know
                if (!field(c, cls.fields()[i], values[i], depth)) return false;
            }
            return true;
        }
    };

    static bool parse(std::string_view text, pugi::xml_document& doc, std::string& buffer,
                      pugi::xml_node& root, std::string& error) {
        // Parsing in place keeps large texts to one copy; pugixml needs the buffer to stay alive.
        buffer.assign(text);
        auto r = doc.load_buffer_inplace(buffer.data(), buffer.size(), kParseFlags, pugi::encoding_utf8);
        if (!r) {
            error = std::string("not well-formed XML: ") + r.description() + " at offset " +
                    std::to_string(r.offset);
            return false;
        }
        for (auto c = doc.first_child(); c; c = c.next_sibling()) {
            if (c.type() != pugi::node_element) continue;
            if (root) {
                error = "more than one root element";
                return false;
            }
            root = c;
        }
        if (!root) {
            error = "no root element";
            return false;
        }
        return true;
    }
};

int MessageXml::write(const CNMessageBase& m, std::string& out) {
    std::string s;
    if (writeInto(m, s) != 0) return 1;
    out = std::move(s);
    return 0;
}

int MessageXml::writeInto(const CNMessageBase& m, std::string& buffer) {
    buffer.clear();
    buffer.reserve(MessageXmlDetail::estimate(m));
    if (MessageXmlDetail::writeMessage(buffer, m)) return 0;
    buffer.clear();
    return 1;
}

int MessageXml::read(std::string_view text, CNMessageBase& into, std::string& error) {
    pugi::xml_document doc;
    std::string buffer;
    pugi::xml_node root;
    if (!MessageXmlDetail::parse(text, doc, buffer, root, error)) return 1;
    if (into.messageClass().rootName() != root.name()) {
        error = std::string("text holds ") + root.name() + ", not " + into.messageClass().rootName();
        return 1;
    }
    auto fresh = into.messageClass().create();
    MessageXmlDetail::Reader reader{error};
    if (!reader.message(root, *fresh, 0)) return 1;
    values(into) = std::move(values(*fresh));
    return 0;
}

std::unique_ptr<CNMessageBase> MessageXml::decode(std::string_view text, std::string& error) {
    pugi::xml_document doc;
    std::string buffer;
    pugi::xml_node root;
    if (!MessageXmlDetail::parse(text, doc, buffer, root, error)) return nullptr;
    const MessageClass* cls = MessageCatalogue::findByRootName(root.name());
    if (!cls) {
        error = std::string("unknown message class ") + root.name();
        return nullptr;
    }
    auto m = cls->create();
    MessageXmlDetail::Reader reader{error};
    if (!reader.message(root, *m, 0)) return nullptr;
    return m;
}
