#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "platform/messages/CNMessageBase.h"

// The XML form of messages: the root element is "<namespace>_<class>", each set field a child
// named after the field, list items as repeated children (an empty list as one child with n="0"),
// nested messages inside their field's element. Integers are decimal, byte fields Base64, texts
// escaped so that every byte but NUL survives the round trip. Unknown child elements are skipped,
// so that a peer with a newer catalogue can still talk to an older one.
class MessageXml {
public:
    // `out` is replaced on success and unchanged on failure.
    static int write(const CNMessageBase& m, std::string& out);
    // Writes into `buffer` at the capacity it already has; on failure `buffer` is left empty.
    static int writeInto(const CNMessageBase& m, std::string& buffer);
    // Parses `text` and fills `into` when it names the same class; `into` is unchanged on failure.
    static int read(std::string_view text, CNMessageBase& into, std::string& error);
    // Parses `text` into a new message of the class its root element names; null on failure.
    static std::unique_ptr<CNMessageBase> decode(std::string_view text, std::string& error);

private:
    friend struct MessageXmlDetail;
    static std::vector<CNMessageBase::FieldValue>& values(CNMessageBase& m) { return m.values_; }
    static const std::vector<CNMessageBase::FieldValue>& values(const CNMessageBase& m) {
        return m.values_;
    }
};
