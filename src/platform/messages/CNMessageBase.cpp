#include "platform/messages/CNMessageBase.h"

#include <cstdio>

MessageHolder::MessageHolder(const MessageHolder& o) : msg_(o.msg_ ? o.msg_->clone() : nullptr) {}

MessageHolder& MessageHolder::operator=(const MessageHolder& o) {
    if (this != &o) msg_ = o.msg_ ? o.msg_->clone() : nullptr;
    return *this;
}

MessageHolder::MessageHolder(std::unique_ptr<CNMessageBase> m) : msg_(std::move(m)) {}
MessageHolder::MessageHolder(MessageHolder&&) noexcept = default;
MessageHolder& MessageHolder::operator=(MessageHolder&&) noexcept = default;
MessageHolder::~MessageHolder() = default;

CNMessageBase::CNMessageBase(const MessageClass& cls) : cls_(&cls), values_(cls.fields().size()) {}

CNMessageBase::~CNMessageBase() = default;

CNMessageBase& CNMessageBase::operator=(const CNMessageBase& o) {
    if (this != &o) {
        cls_ = o.cls_;
        values_ = o.values_;
    }
    return *this;
}

CNMessageBase& CNMessageBase::operator=(CNMessageBase&& o) noexcept {
    cls_ = o.cls_;
    values_ = std::move(o.values_);
    return *this;
}

std::unique_ptr<CNMessageBase> CNMessageBase::clone() const {
    auto m = cls_->create();
    m->values_ = values_;
    return m;
}

bool CNMessageBase::isSet(int presence) const {
    int i = cls_->indexOfPresence(presence);
    return i >= 0 && !std::holds_alternative<std::monostate>(values_[i]);
}

bool CNMessageBase::isSetSlot(int slot) const {
    int i = cls_->indexOfSlot(slot);
    return i >= 0 && !std::holds_alternative<std::monostate>(values_[i]);
}

void CNMessageBase::clearSlot(int slot) {
    int i = cls_->indexOfSlot(slot);
    if (i >= 0) values_[i] = std::monostate{};
}

void CNMessageBase::clear() {
    for (auto& v : values_) v = std::monostate{};
}

// A slot that does not exist or holds another kind is a programming error of the caller; it is
// reported on standard error and the access works on nothing, so no caller crashes on it.
int CNMessageBase::indexFor(int slot, FieldKind expected) const {
    int i = cls_->indexOfSlot(slot);
    if (i < 0) {
        std::fprintf(stderr, "message %s has no field at slot %d\n", cls_->rootName().c_str(), slot);
        return -1;
    }
    FieldKind k = cls_->fields()[i].kind;
    bool compatible = k == expected || (expected == FieldKind::Text && k == FieldKind::Password);
    if (!compatible) {
        std::fprintf(stderr, "message %s field %s is a %s, not a %s\n", cls_->rootName().c_str(),
                     cls_->fields()[i].name, fieldKindName(k), fieldKindName(expected));
        return -1;
    }
    return i;
}

const CNMessageBase::FieldValue* CNMessageBase::valueIfSet(int slot, FieldKind expected) const {
    int i = indexFor(slot, expected);
    if (i < 0 || std::holds_alternative<std::monostate>(values_[i])) return nullptr;
    return &values_[i];
}

CNMessageBase::FieldValue& CNMessageBase::slotValue(int slot, FieldKind expected) {
    static thread_local FieldValue sink;
    int i = indexFor(slot, expected);
    if (i < 0) {
        sink = std::monostate{};
        return sink;
    }
    return values_[i];
}

namespace {
template <class T> T& ensure(CNMessageBase::FieldValue& v) {
    if (!std::holds_alternative<T>(v)) v = T{};
    return std::get<T>(v);
}
const std::string kEmptyText;
const std::vector<int32_t> kEmptyInts;
const std::vector<uint32_t> kEmptyUInts;
const std::vector<uint64_t> kEmptyU64s;
const std::vector<MessageHolder> kEmptyMessages;
}

int64_t CNMessageBase::getInt(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::Int64);
    return v ? std::get<int64_t>(*v) : 0;
}
void CNMessageBase::setInt(int slot, int64_t v) { slotValue(slot, FieldKind::Int64) = v; }

const std::string& CNMessageBase::getText(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::Text);
    return v ? std::get<std::string>(*v) : kEmptyText;
}
void CNMessageBase::setText(int slot, std::string v) { slotValue(slot, FieldKind::Text) = std::move(v); }

const std::string& CNMessageBase::getBytes(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::Bytes);
    return v ? std::get<std::string>(*v) : kEmptyText;
}
void CNMessageBase::setBytes(int slot, std::string v) {
    slotValue(slot, FieldKind::Bytes) = std::move(v);
}

pstring CNMessageBase::getPassword(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::Password);
    return v ? pstring::fromProtected(std::get<std::string>(*v)) : pstring();
}
void CNMessageBase::setPassword(int slot, const pstring& v) {
    slotValue(slot, FieldKind::Password) = v.protectedForm();
}
void CNMessageBase::setPlainPassword(int slot, std::string_view plain) {
    setPassword(slot, pstring::fromPlain(plain));
}
std::string CNMessageBase::getPlainPassword(int slot) const { return getPassword(slot).getPlainPassword(); }

const std::vector<int32_t>& CNMessageBase::getIntList(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::IntList);
    return v ? std::get<std::vector<int32_t>>(*v) : kEmptyInts;
}
void CNMessageBase::setIntList(int slot, std::vector<int32_t> v) {
    slotValue(slot, FieldKind::IntList) = std::move(v);
}
void CNMessageBase::addToIntList(int slot, int32_t v) {
    ensure<std::vector<int32_t>>(slotValue(slot, FieldKind::IntList)).push_back(v);
}

const std::vector<uint32_t>& CNMessageBase::getUIntList(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::UIntList);
    return v ? std::get<std::vector<uint32_t>>(*v) : kEmptyUInts;
}
void CNMessageBase::setUIntList(int slot, std::vector<uint32_t> v) {
    slotValue(slot, FieldKind::UIntList) = std::move(v);
}
void CNMessageBase::addToUIntList(int slot, uint32_t v) {
    ensure<std::vector<uint32_t>>(slotValue(slot, FieldKind::UIntList)).push_back(v);
}

const std::vector<uint64_t>& CNMessageBase::getUInt64List(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::UInt64List);
    return v ? std::get<std::vector<uint64_t>>(*v) : kEmptyU64s;
}
void CNMessageBase::setUInt64List(int slot, std::vector<uint64_t> v) {
    slotValue(slot, FieldKind::UInt64List) = std::move(v);
}
void CNMessageBase::addToUInt64List(int slot, uint64_t v) {
    ensure<std::vector<uint64_t>>(slotValue(slot, FieldKind::UInt64List)).push_back(v);
}

const std::vector<MessageHolder>& CNMessageBase::getMessageList(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::MessageList);
    return v ? std::get<std::vector<MessageHolder>>(*v) : kEmptyMessages;
}
std::vector<MessageHolder>& CNMessageBase::mutableMessageList(int slot) {
    return ensure<std::vector<MessageHolder>>(slotValue(slot, FieldKind::MessageList));
}
CNMessageBase& CNMessageBase::addMessage(int slot, const CNMessageBase& m) {
    auto& list = mutableMessageList(slot);
    list.emplace_back(m.clone());
    return *list.back();
}
CNMessageBase& CNMessageBase::addNewMessage(int slot) {
    auto& list = mutableMessageList(slot);
    int i = cls_->indexOfSlot(slot);
    auto nested = i >= 0 ? cls_->fields()[i].nested : nullptr;
    // A list of any class gets an empty message of its own class as a neutral element.
    list.emplace_back(nested ? nested().create() : cls_->create());
    return *list.back();
}

const CNMessageBase* CNMessageBase::getMessage(int slot) const {
    auto* v = valueIfSet(slot, FieldKind::Message);
    return v ? std::get<MessageHolder>(*v).get() : nullptr;
}
CNMessageBase& CNMessageBase::mutableMessage(int slot) {
    auto& v = slotValue(slot, FieldKind::Message);
    auto& h = ensure<MessageHolder>(v);
    if (!h) {
        int i = cls_->indexOfSlot(slot);
        auto nested = i >= 0 ? cls_->fields()[i].nested : nullptr;
        h = MessageHolder(nested ? nested().create() : cls_->create());
    }
    return *h;
}
void CNMessageBase::setMessage(int slot, const CNMessageBase& m) {
    slotValue(slot, FieldKind::Message) = MessageHolder(m.clone());
}

#include "platform/log/EvLMDebug.h"
#include "platform/messages/MessageXml.h"

int CNMessageBase::serialize(std::string& out, int /*flag*/) const {
    if (MessageXml::write(*this, out) == 0) return 0;
    EvLMDebug().Error("CNMessageBase::serialize", "message %s holds a text with a NUL character",
                      cls_->rootName().c_str());
    return 1;
}

int CNMessageBase::serializeInto(std::string& buffer) const {
    if (MessageXml::writeInto(*this, buffer) == 0) return 0;
    EvLMDebug().Error("CNMessageBase::serialize", "message %s holds a text with a NUL character",
                      cls_->rootName().c_str());
    return 1;
}

int CNMessageBase::unserialize(std::string_view text) {
    std::string error;
    if (MessageXml::read(text, *this, error) == 0) return 0;
    EvLMDebug().DebugLvl("CNMessageBase::unserialize", 3, "cannot read %s: %s",
                         cls_->rootName().c_str(), error.c_str());
    return 1;
}

int CNMessageBase::unserialize(const std::string& text) { return unserialize(std::string_view(text)); }
