#include "UpdateRequest.h"

#include <cstring>
#include <pugixml.hpp>

namespace lmindexd {
namespace {

bool isBlank(const char* s) {
    for (; *s; ++s) {
        if (!std::strchr(" \t\r\n", *s)) return false;
    }
    return true;
}

bool parseDoc(const pugi::xml_node& docNode, IndexDocument& doc, std::string& error) {
    for (pugi::xml_node f = docNode.first_child(); f; f = f.next_sibling()) {
        if (f.type() == pugi::node_pcdata || f.type() == pugi::node_cdata) {
            if (!isBlank(f.value())) {
                error = "unexpected text inside <doc>";
                return false;
            }
            continue;
        }
        if (f.type() != pugi::node_element) continue;
        if (std::strcmp(f.name(), "field") != 0) {
            error = std::string("unexpected <") + f.name() + "> inside <doc>";
            return false;
        }
        const pugi::xml_attribute name = f.attribute("name");
        if (!name || !*name.value()) {
            error = "<field> without a name";
            return false;
        }
        // Concatenate text and CDATA children; a field written as <field ...></field> is empty
        // and carries nothing, as the builder never writes empty fields.
        std::string value;
        for (pugi::xml_node c = f.first_child(); c; c = c.next_sibling()) {
            if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) value += c.value();
        }
        doc.fields.emplace_back(name.value(), std::move(value));
    }
    return true;
}

bool parseAdd(const pugi::xml_node& add, std::vector<UpdateCommand>& out, std::string& error) {
    for (pugi::xml_node d = add.first_child(); d; d = d.next_sibling()) {
        if (d.type() == pugi::node_pcdata || d.type() == pugi::node_cdata) {
            if (!isBlank(d.value())) {
                error = "unexpected text inside <add>";
                return false;
            }
            continue;
        }
        if (d.type() != pugi::node_element) continue;
        if (std::strcmp(d.name(), "doc") != 0) {
            error = std::string("unexpected <") + d.name() + "> inside <add>";
            return false;
        }
        UpdateCommand cmd;
        cmd.type = UpdateCommand::Type::Add;
        if (!parseDoc(d, cmd.doc, error)) return false;
        out.push_back(std::move(cmd));
    }
    return true;
}

bool parseDelete(const pugi::xml_node& del, std::vector<UpdateCommand>& out, std::string& error) {
    bool any = false;
    for (pugi::xml_node c = del.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        UpdateCommand cmd;
        if (std::strcmp(c.name(), "id") == 0) {
            cmd.type = UpdateCommand::Type::DeleteById;
        } else if (std::strcmp(c.name(), "query") == 0) {
            cmd.type = UpdateCommand::Type::DeleteByQuery;
        } else {
            error = std::string("unexpected <") + c.name() + "> inside <delete>";
            return false;
        }
        cmd.text = c.text().get();
        out.push_back(std::move(cmd));
        any = true;
    }
    if (!any) {
        error = "<delete> without <id> or <query>";
        return false;
    }
    return true;
}

bool parseCommand(const pugi::xml_node& n, std::vector<UpdateCommand>& out, std::string& error,
                  bool allowWrapper) {
    const char* name = n.name();
    if (std::strcmp(name, "add") == 0) return parseAdd(n, out, error);
    if (std::strcmp(name, "delete") == 0) return parseDelete(n, out, error);
    if (std::strcmp(name, "commit") == 0 || std::strcmp(name, "optimize") == 0) {
        UpdateCommand cmd;
        cmd.type = name[0] == 'c' ? UpdateCommand::Type::Commit : UpdateCommand::Type::Optimize;
        out.push_back(std::move(cmd));
        return true;
    }
    if (allowWrapper && std::strcmp(name, "update") == 0) {
        for (pugi::xml_node c = n.first_child(); c; c = c.next_sibling()) {
            if (c.type() == pugi::node_element && !parseCommand(c, out, error, false)) return false;
        }
        return true;
    }
    error = std::string("unknown update command <") + name + ">";
    return false;
}

}  // namespace

const std::string* IndexDocument::value(const std::string& name) const {
    for (const auto& f : fields) {
        if (f.first == name) return &f.second;
    }
    return nullptr;
}

bool UpdateRequestParser::parse(const std::string& body, std::vector<UpdateCommand>& out,
                                std::string& error) const {
    if (isBlank(body.c_str())) return true;
    pugi::xml_document xml;
    // Several top-level commands are allowed ("<delete>..</delete><commit/>").
    const pugi::xml_parse_result r =
        xml.load_buffer(body.data(), body.size(), pugi::parse_default | pugi::parse_fragment,
                        pugi::encoding_utf8);
    if (!r) {
        error = std::string("malformed XML at offset ") + std::to_string(r.offset) + ": " + r.description();
        return false;
    }
    std::vector<UpdateCommand> cmds;
    bool anyElement = false;
    for (pugi::xml_node n = xml.first_child(); n; n = n.next_sibling()) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
            if (!isBlank(n.value())) {
                error = "malformed XML: text outside any element";
                return false;
            }
            continue;
        }
        if (n.type() != pugi::node_element) continue;
        anyElement = true;
        if (!parseCommand(n, cmds, error, true)) return false;
    }
    if (!anyElement) {
        error = "malformed XML: no element";
        return false;
    }
    for (auto& c : cmds) out.push_back(std::move(c));
    return true;
}

}
