#pragma once
// Retention, core status, policy data removal and re-indexing.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"
#include "platform/messages/catalogue/NodeMessages.h"
#include "platform/messages/catalogue/TMMsgMessages.h"

// Asks for the policies whose data an index engine client holds.
#define LM_FIELDS_LMGetListOfPolicyAssociatedToCloudClientReq(X) X(1, 1, Int64, clientId, void)
LM_MESSAGE(LogMonitoring, LMGetListOfPolicyAssociatedToCloudClientReq, 35, 58, 0,
           LM_FIELDS_LMGetListOfPolicyAssociatedToCloudClientReq)

// A policy's retention (days, 0 keeps everything; mode 3 removes all its data), its partitioned
// cores and the intervals users asked to keep searchable.
#define LM_FIELDS_LMPolicyAndRetention(X)                                           \
    X(1, 1, Int64, monitoringPolicyId, void)                                        \
    X(2, 2, Int64, retentionDays, void)                                             \
    X(3, 3, Int64, retentionMode, void)                                             \
    X(5, 5, MessageList, cores, LogMonitoring::CoreInfo)                            \
    X(6, 6, MessageList, reIndexIntervals, TMMsg::LMRequestedReIndexTimeInterval)
LM_MESSAGE(LogMonitoring, LMPolicyAndRetention, 35, 921, 0, LM_FIELDS_LMPolicyAndRetention)

// The policies of an index engine client with their retention, and the engine itself.
#define LM_FIELDS_LMGetListOfPolicyAssociatedToCloudClientResp(X)                   \
    X(1, 1, MessageList, policies, LogMonitoring::LMPolicyAndRetention)             \
    X(7, 4, Message, indexEngine, LogMonitoring::cloudClientInfo)
LM_MESSAGE(LogMonitoring, LMGetListOfPolicyAssociatedToCloudClientResp, 35, 25, 0,
           LM_FIELDS_LMGetListOfPolicyAssociatedToCloudClientResp)

// Reports cores to the management server: operation 1 the engine's core status, 2 cores unloaded.
#define LM_FIELDS_LMupdateCoreInfo(X)                               \
    X(1, 1, Int64, operation, void)                                 \
    X(2, 2, MessageList, cores, LogMonitoring::CoreInfo)            \
    X(3, 3, Message, client, KqEntities::ClientEntity)              \
    X(4, 4, Text, coreStatusXml, void)
LM_MESSAGE(LogMonitoring, LMupdateCoreInfo, 35, 107, 0x234D3897, LM_FIELDS_LMupdateCoreInfo)

// The policies a core lookup is about.
#define LM_FIELDS_CloudAndMonitoringPolicyInfo(X) X(2, 2, UInt64List, monitoringPolicyIds, void)
LM_MESSAGE(LogMonitoring, CloudAndMonitoringPolicyInfo, 35, 38, 0, LM_FIELDS_CloudAndMonitoringPolicyInfo)

// Asks which index engines hold which cores of the given policies.
#define LM_FIELDS_GetCloudAndMonitoringPolicyListReq(X) \
    X(1, 1, Message, policyInfo, LogMonitoring::CloudAndMonitoringPolicyInfo)
LM_MESSAGE(LogMonitoring, GetCloudAndMonitoringPolicyListReq, 35, 162, 0,
           LM_FIELDS_GetCloudAndMonitoringPolicyListReq)

// Asks for the requested re-index intervals of policies.
#define LM_FIELDS_GetReIndexTimeRangeReq(X) X(1, 1, IntList, monitoringPolicyIds, void)
LM_MESSAGE(LogMonitoring, GetReIndexTimeRangeReq, 35, 106, 0, LM_FIELDS_GetReIndexTimeRangeReq)

// The re-index intervals of one policy: requested ones in an answer, a re-indexed one when the
// engine records what it has done.
#define LM_FIELDS_reIndexTimeRangeInfo(X)                                           \
    X(1, 1, Int64, monitoringPolicyId, void)                                        \
    X(2, 2, Int64, userId, void)                                                    \
    X(7, 4, MessageList, intervals, TMMsg::LMRequestedReIndexTimeInterval)          \
    X(8, 8, Int64, callerValue, void)
LM_MESSAGE(LogMonitoring, reIndexTimeRangeInfo, 35, 16, 0x2337FF1F, LM_FIELDS_reIndexTimeRangeInfo)

// The re-index intervals of the policies asked for.
#define LM_FIELDS_reIndexTimeRangeResp(X) X(8, 5, MessageList, ranges, LogMonitoring::reIndexTimeRangeInfo)
LM_MESSAGE(LogMonitoring, reIndexTimeRangeResp, 35, 139, 0, LM_FIELDS_reIndexTimeRangeResp)
