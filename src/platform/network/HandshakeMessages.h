#pragma once
// The handshake of a session: the hello and its answer travel in frames like any other message,
// but only while a session is being attached. The disconnect message is in the catalogue.
#include "platform/messages/MessageMacros.h"

// The first frame of a session: what the peer wants to reach and the installation's secret. An
// empty module name asks for a probe session that only checks reachability.
#define LM_FIELDS_SessionHello(X)          \
    X(1, 1, Text, moduleName, void)        \
    X(2, 2, Text, entryName, void)         \
    X(3, 3, Int64, number, void)           \
    X(4, 4, Text, clientName, void)        \
    X(5, 5, Text, secret, void)            \
    X(6, 6, Int64, protocolVersion, void)
LM_MESSAGE(KqSession, Hello, 9, 0x101, 0, LM_FIELDS_SessionHello)

// The host's answer to a hello: result 0 accepts the session, anything else refuses it.
#define LM_FIELDS_SessionAccept(X)         \
    X(1, 1, Int64, result, void)           \
    X(2, 2, Text, text, void)
LM_MESSAGE(KqSession, Accept, 9, 0x103, 0, LM_FIELDS_SessionAccept)

