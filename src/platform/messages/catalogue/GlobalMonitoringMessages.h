#pragma once
// Requests to a global monitoring web service: the list of global policies and the login.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/CommonMessages.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"
#include "platform/messages/catalogue/PolicyMessages.h"

// Asks for the global policies a user of a web service (base URL ending with "/") may use.
#define LM_FIELDS_GetGlobalMonitoringPolicyListReq(X)                   \
    X(1, 1, Text, webServiceUrl, void)                                  \
    X(5, 2, Message, credentials, KqEntities::UserCredentials)
LM_MESSAGE(LogMonitoring, GetGlobalMonitoringPolicyListReq, 35, 918, 0x23A216E3,
           LM_FIELDS_GetGlobalMonitoringPolicyListReq)

// A list of policies, or the error that kept it from being fetched, and the user it was fetched
// for.
#define LM_FIELDS_GetMonitoringPolicyResponse(X)                        \
    X(1, 1, MessageList, policies, LogMonitoring::MonitoringPolicy)     \
    X(2, 2, Message, error, LogMonitoring::GenericEntityResponse)       \
    X(3, 3, Int64, userId, void)
LM_MESSAGE(LogMonitoring, GetMonitoringPolicyResponse, 35, 64, 0, LM_FIELDS_GetMonitoringPolicyResponse)
