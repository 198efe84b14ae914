#pragma once
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/messages/MessageField.h"

class CNMessageBase;

// The description of one message class: its names, module, type, tag and fields. One static
// instance per class; the catalogue below finds classes by their XML root name and by tag.
class MessageClass {
public:
    using Factory = std::unique_ptr<CNMessageBase> (*)();

    MessageClass(const char* ns, const char* name, uint32_t module, uint32_t type, uint64_t tag,
                 std::initializer_list<FieldSpec> fields, Factory factory);

    const std::string& nameSpace() const { return ns_; }
    const std::string& name() const { return name_; }
    // "<namespace>_<name>": the root element of the class's XML form.
    const std::string& rootName() const { return rootName_; }
    uint32_t module() const { return module_; }
    uint32_t type() const { return type_; }
    uint64_t tag() const { return tag_; }
    const std::vector<FieldSpec>& fields() const { return fields_; }

    // Index into fields() of the field at a slot / with a presence index / of a name; -1 if none.
    int indexOfSlot(int slot) const;
    int indexOfPresence(int presence) const;
    int indexOfName(std::string_view name) const;

    std::unique_ptr<CNMessageBase> create() const;

    static uint64_t defaultTag(uint32_t module, uint32_t type) {
        return (static_cast<uint64_t>(module) << 24) | type;
    }

private:
    std::string ns_, name_, rootName_;
    uint32_t module_, type_;
    uint64_t tag_;
    std::vector<FieldSpec> fields_;
    std::vector<int> bySlot_, byPresence_;
    Factory factory_;
};

// Process-wide catalogue of message classes, filled when the libraries that declare them load.
namespace MessageCatalogue {
void add(const MessageClass& cls);
const MessageClass* findByRootName(std::string_view rootName);
const MessageClass* findByTag(uint64_t tag);
std::vector<const MessageClass*> all();
}

// Registers a class with the catalogue at load time.
struct MessageRegistrar {
    explicit MessageRegistrar(const MessageClass& (*cls)()) { MessageCatalogue::add(cls()); }
};
