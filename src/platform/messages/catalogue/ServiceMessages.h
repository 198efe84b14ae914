#pragma once
// Lines pushed for a named policy, compliance policy details, and the management-server lookups
// behind them.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"
#include "platform/messages/catalogue/PolicyMessages.h"

// Lines to index for a named policy, as text or as bytes.
#define LM_FIELDS_LMUploadLinesForPolicyRequest(X)  \
    X(1, 1, Text, policyName, void)                 \
    X(5, 2, Text, lines, void)                      \
    X(9, 3, Text, clientName, void)                 \
    X(13, 4, Text, fileName, void)                  \
    X(17, 5, Int64, firstLineNumber, void)          \
    X(18, 6, Text, instanceName, void)              \
    X(22, 7, Int64, fileUniqueId, void)             \
    X(23, 8, Bytes, lineBytes, void)
LM_MESSAGE(LogMonitoring, LMUploadLinesForPolicyRequest, 35, 79, 0, LM_FIELDS_LMUploadLinesForPolicyRequest)

// The outcome of pushed lines: error code (0 success), message and the number of lines read.
#define LM_FIELDS_LMUploadLinesForPolicyResponse(X) \
    X(1, 1, Int64, errorCode, void)                 \
    X(2, 2, Text, errorMessage, void)               \
    X(6, 6, Text, responseText, void)               \
    X(10, 10, Int64, linesRead, void)
LM_MESSAGE(LogMonitoring, LMUploadLinesForPolicyResponse, 35, 45, 0, LM_FIELDS_LMUploadLinesForPolicyResponse)

// Looks up a policy id by the policy's name.
#define LM_FIELDS_getPolicyIdFromName(X)        \
    X(1, 1, Int64, monitoringPolicyId, void)    \
    X(2, 2, Text, policyName, void)
LM_MESSAGE(LogMonitoring, getPolicyIdFromName, 35, 5, 0, LM_FIELDS_getPolicyIdFromName)

// Asks for the templates of a policy.
#define LM_FIELDS_GetListOfTemplatesReq(X) X(1, 1, Int64, monitoringPolicyId, void)
LM_MESSAGE(LogMonitoring, GetListOfTemplatesReq, 35, 97, 0, LM_FIELDS_GetListOfTemplatesReq)

// The templates of a policy; the first is the primary one.
#define LM_FIELDS_GetListOfTemplatesResp(X) X(1, 1, MessageList, templates, LogMonitoring::LMTemplate)
LM_MESSAGE(LogMonitoring, GetListOfTemplatesResp, 35, 43, 0, LM_FIELDS_GetListOfTemplatesResp)

// Asks for the compliance policy of an application.
#define LM_FIELDS_GetMIFIDPolicyProp(X) X(1, 1, Int64, applicationId, void)
LM_MESSAGE(LogMonitoring, GetMIFIDPolicyProp, 35, 214, 0x23D76464, LM_FIELDS_GetMIFIDPolicyProp)

// The compliance policy of an application, the client that serves it and its index engine group.
#define LM_FIELDS_MIFIDPolicyPropResp(X)                                    \
    X(1, 1, Message, monitoringPolicy, LogMonitoring::MonitoringPolicy)     \
    X(2, 2, Message, client, KqEntities::ClientEntity)                      \
    X(3, 3, Int64, cloudId, void)
LM_MESSAGE(LogMonitoring, MIFIDPolicyPropResp, 35, 213, 0, LM_FIELDS_MIFIDPolicyPropResp)
