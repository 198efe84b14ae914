#pragma once
#include "platform/messages/MessageMacros.h"

#define LM_FIELDS_SessionEcho(X)        \
    X(1, 1, Int64, seq, void)           \
    X(2, 2, Text, body, void)
LM_MESSAGE(LMTest, SessionEcho, 99, 40, 0, LM_FIELDS_SessionEcho)
