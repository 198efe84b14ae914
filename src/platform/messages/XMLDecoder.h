#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/messages/CNMessageBase.h"

// Creates a message from its XML text alone: the root element names the class.
class XMLDecoder {
public:
    // A new message owned by the caller, or null when the text is malformed or names no known
    // class. The context argument is reserved and ignored.
    static CNMessageBase* unSerialize(std::string_view text, void* context);
    static std::unique_ptr<CNMessageBase> decode(std::string_view text);
};
