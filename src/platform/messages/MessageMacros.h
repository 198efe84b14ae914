#pragma once
// Declares a message class in one place.
//
//   #define LM_FIELDS_LMSearchAlertResp(X) [backslash-newline]
//       X(1, 1, Text, searchListRespString, void) [backslash-newline]
//       X(2, 2, MessageList, rules, LogMonitoring::LMAlertRule)
//   LM_MESSAGE(LogMonitoring, LMSearchAlertResp, 35, 0x90, 0, LM_FIELDS_LMSearchAlertResp)
//
// Each X entry is (storage slot, presence index, kind, field name, nested class). The nested class
// is `void` for the scalar kinds and `CNMessageBase` for message fields of any class. The tag 0
// gives module << 24 | type. The class gets, per field `f`:
//   scalars    f(), set_f(v), has_f()          (Password also f_plain(), set_f_plain(text))
//   lists      f(), set_f(vector), add_f(v), has_f()
//   messages   f() (null when unset), mutable_f(), set_f(msg), has_f()
//   msg lists  f_size(), f(i), mutable_f(i), add_f(), add_f(msg), f_list(), set_f_empty(), has_f()
// Headers with LM_MESSAGE must be included by one source file of the platform library, so that
// the class is known to the decoder from the moment the library is loaded.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/messages/CNMessageBase.h"

namespace lm_msg_detail {
template <class T> constexpr const MessageClass& (*nestedOf())() {
    if constexpr (std::is_void_v<T> || std::is_same_v<T, CNMessageBase>) return nullptr;
    else return &T::messageClass;
}
}

#define LM_MSG_SPEC(slot, presence, kind, name, Nested) \
    ::FieldSpec{slot, presence, #name, ::FieldKind::kind, ::lm_msg_detail::nestedOf<Nested>()},

#define LM_MSG_ACC(slot, presence, kind, name, Nested) LM_MSG_ACC_##kind(slot, name, Nested)

#define LM_MSG_ACC_HAS(slot, name) \
    bool has_##name() const { return isSetSlot(slot); }

#define LM_MSG_ACC_Int64(slot, name, Nested)                     \
    int64_t name() const { return getInt(slot); }                \
    void set_##name(int64_t v) { setInt(slot, v); }              \
    LM_MSG_ACC_HAS(slot, name)

#define LM_MSG_ACC_Text(slot, name, Nested)                              \
    const std::string& name() const { return getText(slot); }            \
    void set_##name(std::string v) { setText(slot, std::move(v)); }      \
    LM_MSG_ACC_HAS(slot, name)

#define LM_MSG_ACC_Bytes(slot, name, Nested)                             \
    const std::string& name() const { return getBytes(slot); }           \
    void set_##name(std::string v) { setBytes(slot, std::move(v)); }     \
    LM_MSG_ACC_HAS(slot, name)

#define LM_MSG_ACC_Password(slot, name, Nested)                                          \
    ::pstring name() const { return getPassword(slot); }                                 \
    void set_##name(const ::pstring& v) { setPassword(slot, v); }                        \
    std::string name##_plain() const { return getPlainPassword(slot); }                  \
    void set_##name##_plain(std::string_view plain) { setPlainPassword(slot, plain); }   \
    LM_MSG_ACC_HAS(slot, name)

#define LM_MSG_ACC_NUMLIST(slot, name, T, Get, Set, Add)                     \
    const std::vector<T>& name() const { return Get(slot); }                 \
    void set_##name(std::vector<T> v) { Set(slot, std::move(v)); }           \
    void add_##name(T v) { Add(slot, v); }                                   \
    LM_MSG_ACC_HAS(slot, name)

#define LM_MSG_ACC_IntList(slot, name, Nested) \
    LM_MSG_ACC_NUMLIST(slot, name, int32_t, getIntList, setIntList, addToIntList)
#define LM_MSG_ACC_UIntList(slot, name, Nested) \
    LM_MSG_ACC_NUMLIST(slot, name, uint32_t, getUIntList, setUIntList, addToUIntList)
#define LM_MSG_ACC_UInt64List(slot, name, Nested) \
    LM_MSG_ACC_NUMLIST(slot, name, uint64_t, getUInt64List, setUInt64List, addToUInt64List)

#define LM_MSG_ACC_Message(slot, name, Nested)                                                \
    const Nested* name() const { return static_cast<const Nested*>(getMessage(slot)); }       \
    Nested& mutable_##name() { return static_cast<Nested&>(mutableMessage(slot)); }           \
    void set_##name(const Nested& m) { setMessage(slot, m); }                                 \
    LM_MSG_ACC_HAS(slot, name)

#define LM_MSG_ACC_MessageList(slot, name, Nested)                                            \
    size_t name##_size() const { return getMessageList(slot).size(); }                        \
    const Nested& name(size_t i) const {                                                      \
        return static_cast<const Nested&>(*getMessageList(slot)[i]);                          \
    }                                                                                         \
    Nested& mutable_##name(size_t i) { return static_cast<Nested&>(*mutableMessageList(slot)[i]); } \
    Nested& add_##name() { return static_cast<Nested&>(addNewMessage(slot)); }                \
    Nested& add_##name(const Nested& m) { return static_cast<Nested&>(addMessage(slot, m)); } \
    const std::vector<::MessageHolder>& name##_list() const { return getMessageList(slot); }  \
    void set_##name##_empty() { mutableMessageList(slot).clear(); }                           \
    LM_MSG_ACC_HAS(slot, name)

// The class and its descriptor have default visibility so that the engine, built with hidden
// visibility, shares one descriptor per class with the platform library.
#define LM_MESSAGE(NS, Name, Module, Type, Tag, FIELDS)                                          \
    namespace NS {                                                                               \
    class __attribute__((visibility("default"))) Name : public ::CNMessageBase {                 \
    public:                                                                                      \
        static constexpr uint32_t kModule = Module;                                              \
        static constexpr uint32_t kType = Type;                                                  \
        __attribute__((visibility("default"))) static const ::MessageClass& messageClass() {     \
            static const ::MessageClass cls(                                                     \
                #NS, #Name, Module, Type, Tag, {FIELDS(LM_MSG_SPEC)},                            \
                []() -> std::unique_ptr<::CNMessageBase> { return std::make_unique<Name>(); });  \
            return cls;                                                                          \
        }                                                                                        \
        static uint64_t tagID() { return messageClass().tag(); }                                 \
        Name() : ::CNMessageBase(messageClass()) {}                                              \
        Name(const Name&) = default;                                                             \
        Name(Name&&) noexcept = default;                                                         \
        Name& operator=(const Name&) = default;                                                  \
        Name& operator=(Name&&) noexcept = default;                                              \
        FIELDS(LM_MSG_ACC)                                                                       \
                                                                                                 \
    private:                                                                                     \
        static inline const ::MessageRegistrar registrar_{&Name::messageClass};                  \
    };                                                                                           \
    }
