#pragma once
#include <cstdint>

class MessageClass;

// The kinds of value a message field can hold.
enum class FieldKind : uint8_t {
    Int64,       // one signed 64-bit integer
    Text,        // a text (bytes of the local code page, usually UTF-8)
    Password,    // a text held in protected form; read through getPlainPassword
    Bytes,       // any bytes with a length
    IntList,     // list of signed 32-bit integers
    UIntList,    // list of unsigned 32-bit integers
    UInt64List,  // list of unsigned 64-bit integers
    MessageList, // list of messages
    Message      // one nested message
};

const char* fieldKindName(FieldKind kind);

// One field of a message class. The slot addresses the value, the presence index answers isSet.
// For the two message kinds `nested` names the class the field holds; null accepts any class.
struct FieldSpec {
    int slot;
    int presence;
    const char* name;
    FieldKind kind;
    const MessageClass& (*nested)();
};
