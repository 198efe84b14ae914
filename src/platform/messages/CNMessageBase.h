#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/messages/MessageClass.h"
#include "platform/messages/pstring.h"

class CNMessageBase;

// A nested message held by value: copying the holder copies the message.
class MessageHolder {
public:
    MessageHolder() = default;
    explicit MessageHolder(std::unique_ptr<CNMessageBase> m);
    MessageHolder(const MessageHolder& o);
    MessageHolder& operator=(const MessageHolder& o);
    MessageHolder(MessageHolder&&) noexcept;
    MessageHolder& operator=(MessageHolder&&) noexcept;
    ~MessageHolder();

    CNMessageBase* get() const { return msg_.get(); }
    CNMessageBase* operator->() const { return msg_.get(); }
    CNMessageBase& operator*() const { return *msg_; }
    explicit operator bool() const { return static_cast<bool>(msg_); }

private:
    std::unique_ptr<CNMessageBase> msg_;
};

// A typed record of the message layer. Fields are addressed by storage slot; isSet takes the
// presence index. Values copy with the message. Not thread-safe: one thread uses a message at a
// time, or each thread its own copy.
class CNMessageBase {
public:
    using FieldValue = std::variant<std::monostate, int64_t, std::string, std::vector<int32_t>,
                                    std::vector<uint32_t>, std::vector<uint64_t>,
                                    std::vector<MessageHolder>, MessageHolder>;

    explicit CNMessageBase(const MessageClass& cls);
    CNMessageBase(const CNMessageBase&) = default;
    CNMessageBase(CNMessageBase&&) noexcept = default;
    virtual ~CNMessageBase();

    const MessageClass& messageClass() const { return *cls_; }
    uint64_t getTagID() const { return cls_->tag(); }
    uint32_t getModule() const { return cls_->module(); }
    uint32_t getType() const { return cls_->type(); }

    // Whether the field with this presence index holds a value.
    bool isSet(int presence) const;
    // Whether the field at this storage slot holds a value.
    bool isSetSlot(int slot) const;
    void clearSlot(int slot);
    void clear();

    // Scalars. A getter of an unset field answers the kind's empty value.
    int64_t getInt(int slot) const;
    void setInt(int slot, int64_t v);
    const std::string& getText(int slot) const;
    void setText(int slot, std::string v);
    const std::string& getBytes(int slot) const;
    void setBytes(int slot, std::string v);
    // A password field keeps the protected form; setPassword protects a plain text.
    pstring getPassword(int slot) const;
    void setPassword(int slot, const pstring& v);
    void setPlainPassword(int slot, std::string_view plain);
    std::string getPlainPassword(int slot) const;

    // Lists of numbers.
    const std::vector<int32_t>& getIntList(int slot) const;
    void setIntList(int slot, std::vector<int32_t> v);
    void addToIntList(int slot, int32_t v);
    const std::vector<uint32_t>& getUIntList(int slot) const;
    void setUIntList(int slot, std::vector<uint32_t> v);
    void addToUIntList(int slot, uint32_t v);
    const std::vector<uint64_t>& getUInt64List(int slot) const;
    void setUInt64List(int slot, std::vector<uint64_t> v);
    void addToUInt64List(int slot, uint64_t v);

    // Lists of messages. Setting a list field to empty still marks it set.
    const std::vector<MessageHolder>& getMessageList(int slot) const;
    std::vector<MessageHolder>& mutableMessageList(int slot);
    CNMessageBase& addMessage(int slot, const CNMessageBase& m);
    CNMessageBase& addNewMessage(int slot); // of the field's declared class

    // One nested message: null when unset.
    const CNMessageBase* getMessage(int slot) const;
    CNMessageBase& mutableMessage(int slot); // created empty (declared class) when unset
    void setMessage(int slot, const CNMessageBase& m);

    // XML form of the message; 0 on success. `flag` is reserved and ignored.
    int serialize(std::string& out, int flag = 0) const;
    // The same into a buffer the caller keeps: written at the capacity it has (a session sends
    // many large messages), left empty on failure.
    int serializeInto(std::string& buffer) const;
    // Fills the message from XML text of this same class; 0 on success. On failure the message
    // keeps the content it had before the call.
    int unserialize(const std::string& text);
    int unserialize(std::string_view text);
    int unserialize(const char* text) { return unserialize(std::string_view(text ? text : "")); }

    std::unique_ptr<CNMessageBase> clone() const;

    // Typed views of a nested message; null when absent or of another class.
    template <class T> const T* as() const {
        return &messageClass() == &T::messageClass() ? static_cast<const T*>(this) : nullptr;
    }
    template <class T> T* as() {
        return &messageClass() == &T::messageClass() ? static_cast<T*>(this) : nullptr;
    }

protected:
    CNMessageBase& operator=(const CNMessageBase& o);
    CNMessageBase& operator=(CNMessageBase&& o) noexcept;

private:
    friend class MessageXml;
    int indexFor(int slot, FieldKind expected) const;
    FieldValue& slotValue(int slot, FieldKind expected);
    const FieldValue* valueIfSet(int slot, FieldKind expected) const;

    const MessageClass* cls_;
    std::vector<FieldValue> values_; // parallel to cls_->fields(); monostate when unset
};
