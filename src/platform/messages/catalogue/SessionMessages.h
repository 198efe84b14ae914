#pragma once
// Messages of the session layer itself.
#include "platform/messages/MessageMacros.h"

// Ends a session: the peer that receives it answers with a disconnect reply and closes.
#define LM_FIELDS_DisconnectMessage(X)
LM_MESSAGE(KqNetwork, DisconnectMessage, 9, 0x102, 0, LM_FIELDS_DisconnectMessage)
