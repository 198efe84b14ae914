#include "messages/CatalogueCheck.h"

#include <cstdint>
#include <memory>
#include <sstream>

#include "platform/messages/XMLDecoder.h"
#include "platform/messages/catalogue/Catalogue.h"

namespace catalogue_check {
namespace {

const MessageClass& nestedClassOf(const FieldSpec& f) {
    // A field that accepts any class gets a class of another namespace, so that the decoder must
    // find the element's class from the element itself.
    return f.nested ? f.nested() : KqEntities::ColumnEntity::messageClass();
}

std::unique_ptr<CNMessageBase> filledNested(const FieldSpec& f, int depth, int seed) {
    auto m = nestedClassOf(f).create();
    if (depth > 0) fillEveryField(*m, depth - 1, seed);
    return m;
}

std::string where(const CNMessageBase& m, const FieldSpec& f) {
    return m.messageClass().rootName() + "." + f.name;
}

template <class T> std::string show(const std::vector<T>& v) {
    std::ostringstream o;
    for (auto& x : v) o << x << ",";
    return o.str();
}

}

void fillEveryField(CNMessageBase& m, int depth, int seed) {
    for (const FieldSpec& f : m.messageClass().fields()) {
        const int s = f.slot;
        const std::string tag = std::to_string(seed) + "/" + std::to_string(s);
        switch (f.kind) {
        case FieldKind::Int64: m.setInt(s, -1000 * seed - s); break;
        case FieldKind::Text: m.setText(s, "text <&> " + tag); break;
        case FieldKind::Password: m.setPlainPassword(s, "secret " + tag); break;
        case FieldKind::Bytes: m.setBytes(s, std::string("\0\xff", 2) + tag); break;
        case FieldKind::IntList: m.setIntList(s, {-seed, s, INT32_MIN}); break;
        case FieldKind::UIntList: m.setUIntList(s, {static_cast<uint32_t>(seed), UINT32_MAX}); break;
        case FieldKind::UInt64List: m.setUInt64List(s, {static_cast<uint64_t>(s), UINT64_MAX}); break;
        case FieldKind::Message: m.setMessage(s, *filledNested(f, depth, seed + 1)); break;
        case FieldKind::MessageList:
            m.mutableMessageList(s).clear();
            m.addMessage(s, *filledNested(f, depth, seed + 1));
            m.addMessage(s, *filledNested(f, depth, seed + 2));
            break;
        }
    }
}

std::vector<std::string> differences(const CNMessageBase& a, const CNMessageBase& b) {
    std::vector<std::string> out;
    if (&a.messageClass() != &b.messageClass()) {
        out.push_back(a.messageClass().rootName() + " vs " + b.messageClass().rootName());
        return out;
    }
    auto nestedDiffs = [&](const std::string& at, const CNMessageBase& x, const CNMessageBase& y) {
        for (auto& d : differences(x, y)) out.push_back(at + " > " + d);
    };
    for (const FieldSpec& f : a.messageClass().fields()) {
        const int s = f.slot;
        const std::string at = where(a, f);
        if (a.isSetSlot(s) != b.isSetSlot(s)) {
            out.push_back(at + ": set " + std::to_string(a.isSetSlot(s)) + " vs " +
                          std::to_string(b.isSetSlot(s)));
            continue;
        }
        if (a.isSet(f.presence) != b.isSet(f.presence)) {
            out.push_back(at + ": presence " + std::to_string(f.presence) + " differs");
            continue;
        }
        if (!a.isSetSlot(s)) continue;
        switch (f.kind) {
        case FieldKind::Int64:
            if (a.getInt(s) != b.getInt(s))
                out.push_back(at + ": " + std::to_string(a.getInt(s)) + " vs " + std::to_string(b.getInt(s)));
            break;
        case FieldKind::Text:
            if (a.getText(s) != b.getText(s)) out.push_back(at + ": '" + a.getText(s) + "' vs '" + b.getText(s) + "'");
            break;
        case FieldKind::Password:
            if (a.getPlainPassword(s) != b.getPlainPassword(s)) out.push_back(at + ": passwords differ");
            break;
        case FieldKind::Bytes:
            if (a.getBytes(s) != b.getBytes(s)) out.push_back(at + ": bytes differ");
            break;
        case FieldKind::IntList:
            if (a.getIntList(s) != b.getIntList(s))
                out.push_back(at + ": " + show(a.getIntList(s)) + " vs " + show(b.getIntList(s)));
            break;
        case FieldKind::UIntList:
            if (a.getUIntList(s) != b.getUIntList(s))
                out.push_back(at + ": " + show(a.getUIntList(s)) + " vs " + show(b.getUIntList(s)));
            break;
        case FieldKind::UInt64List:
            if (a.getUInt64List(s) != b.getUInt64List(s))
                out.push_back(at + ": " + show(a.getUInt64List(s)) + " vs " + show(b.getUInt64List(s)));
            break;
        case FieldKind::Message: {
            const CNMessageBase* x = a.getMessage(s);
            const CNMessageBase* y = b.getMessage(s);
            if (!x || !y) out.push_back(at + ": nested message missing");
            else nestedDiffs(at, *x, *y);
            break;
        }
        case FieldKind::MessageList: {
            auto& x = a.getMessageList(s);
            auto& y = b.getMessageList(s);
            if (x.size() != y.size()) {
                out.push_back(at + ": " + std::to_string(x.size()) + " vs " + std::to_string(y.size()) + " elements");
                break;
            }
            for (size_t i = 0; i < x.size(); ++i) nestedDiffs(at + "[" + std::to_string(i) + "]", *x[i], *y[i]);
            break;
        }
        }
    }
    return out;
}

std::vector<std::string> roundTripProblems(const MessageClass& cls) {
    std::vector<std::string> out;
    auto m = cls.create();
    fillEveryField(*m);
    for (const FieldSpec& f : cls.fields())
        if (!m->isSet(f.presence)) out.push_back(where(*m, f) + ": not set after filling");
    std::string xml;
    if (m->serialize(xml, 0) != 0) {
        out.push_back(cls.rootName() + ": serialize failed");
        return out;
    }
    std::unique_ptr<CNMessageBase> back(XMLDecoder::unSerialize(xml, nullptr));
    if (!back) {
        out.push_back(cls.rootName() + ": decoder refused " + xml.substr(0, 300));
        return out;
    }
    if (back->getTagID() != cls.tag()) out.push_back(cls.rootName() + ": decoded tag differs");
    for (auto& d : differences(*m, *back)) out.push_back(d);
    return out;
}

std::vector<const MessageClass*> classesOf(const std::string& nameSpace) {
    std::vector<const MessageClass*> out;
    for (const MessageClass* c : MessageCatalogue::all())
        if (c->nameSpace() == nameSpace) out.push_back(c);
    return out;
}

}
