#include "ResponseWriter.h"

#include <map>
#include <nlohmann/json.hpp>

#include "FieldType.h"

namespace lmindexd {
namespace {

void xmlEscape(std::string& out, const std::string& s) {
    for (unsigned char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Control bytes are not allowed in XML 1.0; they never reach the reply.
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') break;
            out += static_cast<char>(c);
        }
    }
}

const char* xmlTag(RNode::T t) {
    switch (t) {
    case RNode::T::Str: return "str";
    case RNode::T::Int: return "int";
    case RNode::T::Long: return "long";
    case RNode::T::Double: return "double";
    case RNode::T::Bool: return "bool";
    case RNode::T::Date: return "date";
    case RNode::T::Lst: return "lst";
    case RNode::T::Arr: return "arr";
    case RNode::T::Result: return "result";
    case RNode::T::Doc: return "doc";
    }
    return "str";
}

void writeXml(std::string& out, const RNode& n) {
    out += '<';
    out += xmlTag(n.type);
    if (!n.name.empty()) {
        out += " name=\"";
        xmlEscape(out, n.name);
        out += '"';
    }
    if (n.type == RNode::T::Result) {
        out += " numFound=\"" + std::to_string(n.numFound) + "\" start=\"" + std::to_string(n.start) + "\"";
    }
    const bool container = n.type == RNode::T::Lst || n.type == RNode::T::Arr || n.type == RNode::T::Result ||
                           n.type == RNode::T::Doc;
    if (container && n.kids.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    if (container) {
        for (const RNode& k : n.kids) writeXml(out, k);
    } else {
        xmlEscape(out, n.value);
    }
    out += "</";
    out += xmlTag(n.type);
    out += '>';
}

nlohmann::ordered_json toJson(const RNode& n) {
    using J = nlohmann::ordered_json;
    switch (n.type) {
    case RNode::T::Str:
    case RNode::T::Date: return J(n.value);
    case RNode::T::Int:
    case RNode::T::Long: {
        int64_t v;
        return parseLong(n.value, v) ? J(v) : J(n.value);
    }
    case RNode::T::Double: {
        double v;
        return parseDouble(n.value, v) ? J(v) : J(n.value);
    }
    case RNode::T::Bool: return J(n.value == "true");
    case RNode::T::Arr: {
        J a = J::array();
        for (const RNode& k : n.kids) a.push_back(toJson(k));
        return a;
    }
    case RNode::T::Result: {
        J r = J::object();
        r["numFound"] = n.numFound;
        r["start"] = n.start;
        J docs = J::array();
        for (const RNode& k : n.kids) docs.push_back(toJson(k));
        r["docs"] = std::move(docs);
        return r;
    }
    case RNode::T::Lst:
    case RNode::T::Doc: {
        J o = J::object();
        for (const RNode& k : n.kids) o[k.name] = toJson(k);
        return o;
    }
    }
    return J();
}

RNode::T scalarTypeFor(const std::string& field, const std::string& value) {
    int64_t l;
    double d;
    switch (fieldTypeFor(field).kind) {
    case FieldKind::Long: return parseLong(value, l) ? RNode::T::Long : RNode::T::Str;
    case FieldKind::Double: return parseDouble(value, d) ? RNode::T::Double : RNode::T::Str;
    case FieldKind::Date: return RNode::T::Date;
    default: return RNode::T::Str;
    }
}

}  // namespace

WireFormat wireFormatFrom(const std::string& wt) { return wt == "json" ? WireFormat::Json : WireFormat::Xml; }

std::string contentTypeOf(WireFormat f) {
    return f == WireFormat::Json ? "application/json; charset=UTF-8" : "application/xml; charset=UTF-8";
}

std::string render(const RNode& response, WireFormat f) {
    if (f == WireFormat::Json) {
        // Bytes that are not UTF-8 are replaced rather than failing the whole reply.
        return toJson(response).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
    }
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response>\n";
    for (const RNode& k : response.kids) {
        writeXml(out, k);
        out += '\n';
    }
    out += "</response>\n";
    return out;
}

RNode responseHeader(int status, int64_t qtimeMs) {
    RNode h = RNode::list("responseHeader");
    h.add(RNode::integer("status", status));
    h.add(RNode::integer("QTime", qtimeMs));
    return h;
}

RNode errorResponse(int status, const std::string& message) {
    RNode r = RNode::list("");
    r.add(responseHeader(status, 0));
    RNode& e = r.add(RNode::list("error"));
    e.add(RNode::str("msg", message));
    e.add(RNode::integer("code", status));
    return r;
}

RNode documentNode(const IndexDocument& doc, const std::vector<std::string>& fl) {
    RNode d;
    d.type = RNode::T::Doc;
    auto wanted = [&](const std::string& name) {
        if (fl.empty()) return true;
        for (const std::string& f : fl) {
            if (f == "*" || f == name) return true;
        }
        return false;
    };
    std::map<std::string, size_t> count;
    for (const auto& [name, value] : doc.fields) ++count[name];
    std::map<std::string, size_t> arrays;  // name -> index of its array node
    for (const auto& [name, value] : doc.fields) {
        if (!wanted(name)) continue;
        RNode v = RNode::scalar(scalarTypeFor(name, value), "", value);
        if (count[name] == 1) {
            v.name = name;
            d.kids.push_back(std::move(v));
            continue;
        }
        auto it = arrays.find(name);
        if (it == arrays.end()) {
            RNode a;
            a.type = RNode::T::Arr;
            a.name = name;
            arrays[name] = d.kids.size();
            d.kids.push_back(std::move(a));
            it = arrays.find(name);
        }
        d.kids[it->second].kids.push_back(std::move(v));
    }
    return d;
}

}
