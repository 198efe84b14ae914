#pragma once
// Messages that many requests and replies share.
#include "platform/messages/MessageMacros.h"

// The outcome of a request: an error code (0 for success unless the request says otherwise) and
// the message that explains a failure.
#define LM_FIELDS_GenericEntityResponse(X)   \
    X(2, 2, Text, errorMessage, void)        \
    X(6, 3, Int64, errorCode, void)
LM_MESSAGE(LogMonitoring, GenericEntityResponse, 35, 150, 0, LM_FIELDS_GenericEntityResponse)
