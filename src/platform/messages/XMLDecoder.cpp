#include "platform/messages/XMLDecoder.h"

#include "platform/log/EvLMDebug.h"
#include "platform/messages/MessageXml.h"

std::unique_ptr<CNMessageBase> XMLDecoder::decode(std::string_view text) {
    std::string error;
    auto m = MessageXml::decode(text, error);
    if (!m) EvLMDebug().DebugLvl("XMLDecoder::unSerialize", 3, "cannot decode message: %s", error.c_str());
    return m;
}

CNMessageBase* XMLDecoder::unSerialize(std::string_view text, void* /*context*/) {
    return decode(text).release();
}
