#pragma once
// Messages of the suite's task manager that the engine carries.
#include "platform/messages/MessageMacros.h"

// A time range (seconds since 1970, both ends included) that a user asked to have indexed again.
#define LM_FIELDS_LMRequestedReIndexTimeInterval(X) \
    X(1, 1, Int64, startTime, void)                 \
    X(2, 2, Int64, endTime, void)
LM_MESSAGE(TMMsg, LMRequestedReIndexTimeInterval, 12, 293, 0, LM_FIELDS_LMRequestedReIndexTimeInterval)
