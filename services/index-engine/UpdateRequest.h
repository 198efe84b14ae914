#pragma once
// The XML body of an update request: any sequence of <add> (with <doc> of <field name="...">),
// <delete> (with <id> and <query>), <commit/> and <optimize/>, at the top level or inside one
// <update> element. Parsing is complete before anything is applied, so a body with a fault
// changes nothing.
#include <string>
#include <utility>
#include <vector>

namespace lmindexd {

struct IndexDocument {
    // Fields in the order they were sent; a name may repeat.
    std::vector<std::pair<std::string, std::string>> fields;
    const std::string* value(const std::string& name) const;
};

struct UpdateCommand {
    enum class Type { Add, DeleteById, DeleteByQuery, Commit, Optimize };
    Type type = Type::Commit;
    IndexDocument doc;  // Add
    std::string text;   // DeleteById: the id; DeleteByQuery: the query
};

class UpdateRequestParser {
public:
    // Appends the commands of `body` to `out`. False with a reason on malformed XML or an
    // element that is not an update command.
    bool parse(const std::string& body, std::vector<UpdateCommand>& out, std::string& error) const;
};

}
