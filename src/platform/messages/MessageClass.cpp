#include "platform/messages/MessageClass.h"

#include "platform/messages/CNMessageBase.h"

#include <map>
#include <mutex>
#include <unordered_map>

const char* fieldKindName(FieldKind kind) {
    switch (kind) {
    case FieldKind::Int64: return "integer";
    case FieldKind::Text: return "text";
    case FieldKind::Password: return "password";
    case FieldKind::Bytes: return "bytes";
    case FieldKind::IntList: return "integer list";
    case FieldKind::UIntList: return "unsigned list";
    case FieldKind::UInt64List: return "unsigned 64-bit list";
    case FieldKind::MessageList: return "message list";
    case FieldKind::Message: return "message";
    }
    return "?";
}

namespace {
void indexBy(std::vector<int>& table, int key, int index) {
    if (key < 0) return;
    if (static_cast<size_t>(key) >= table.size()) table.resize(key + 1, -1);
    table[key] = index;
}
int lookup(const std::vector<int>& table, int key) {
    return key >= 0 && static_cast<size_t>(key) < table.size() ? table[key] : -1;
}
}

MessageClass::MessageClass(const char* ns, const char* name, uint32_t module, uint32_t type,
                           uint64_t tag, std::initializer_list<FieldSpec> fields, Factory factory)
    : ns_(ns), name_(name), rootName_(std::string(ns) + "_" + name), module_(module), type_(type),
      tag_(tag ? tag : defaultTag(module, type)), fields_(fields), factory_(factory) {
    for (size_t i = 0; i < fields_.size(); ++i) {
        indexBy(bySlot_, fields_[i].slot, static_cast<int>(i));
        indexBy(byPresence_, fields_[i].presence, static_cast<int>(i));
    }
}

std::unique_ptr<CNMessageBase> MessageClass::create() const { return factory_(); }

int MessageClass::indexOfSlot(int slot) const { return lookup(bySlot_, slot); }
int MessageClass::indexOfPresence(int presence) const { return lookup(byPresence_, presence); }

int MessageClass::indexOfName(std::string_view name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (name == fields_[i].name) return static_cast<int>(i);
    return -1;
}

namespace {
struct Catalogue {
    std::mutex mu;
    std::map<std::string, const MessageClass*, std::less<>> byRoot;
    std::unordered_map<uint64_t, const MessageClass*> byTag;
};
Catalogue& catalogue() {
    static Catalogue c;
    return c;
}
}

namespace MessageCatalogue {

void add(const MessageClass& cls) {
    auto& c = catalogue();
    std::lock_guard<std::mutex> l(c.mu);
    c.byRoot[cls.rootName()] = &cls;
    c.byTag[cls.tag()] = &cls;
}

const MessageClass* findByRootName(std::string_view rootName) {
    auto& c = catalogue();
    std::lock_guard<std::mutex> l(c.mu);
    auto it = c.byRoot.find(rootName);
    return it == c.byRoot.end() ? nullptr : it->second;
}

const MessageClass* findByTag(uint64_t tag) {
    auto& c = catalogue();
    std::lock_guard<std::mutex> l(c.mu);
    auto it = c.byTag.find(tag);
    return it == c.byTag.end() ? nullptr : it->second;
}

std::vector<const MessageClass*> all() {
    auto& c = catalogue();
    std::lock_guard<std::mutex> l(c.mu);
    std::vector<const MessageClass*> v;
    for (auto& [k, cls] : c.byRoot) v.push_back(cls);
    return v;
}

}
