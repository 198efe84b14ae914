#pragma once
// Monitoring policies and the messages of one indexing run: the policy message a run works from,
// its uploaded files, the progress reports and the processing request that starts a run.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"
#include "platform/messages/catalogue/NodeMessages.h"
#include "platform/messages/catalogue/TMMsgMessages.h"

// How long a policy's indexed data lives before it ages.
#define LM_FIELDS_LMDataAgeingInfo(X) X(21, 18, Int64, ageDataAfterDays, void)
LM_MESSAGE(LogMonitoring, LMDataAgeingInfo, 35, 46, 0, LM_FIELDS_LMDataAgeingInfo)

// A template of a policy: its entity, its definition (the XML text of a TemplateXML) and its
// type, which chooses the document class that reads it.
#define LM_FIELDS_LMTemplate(X)                                     \
    X(1, 1, Message, templateEntity, KqEntities::TemplateEntity)    \
    X(2, 2, Text, templateXml, void)                                \
    X(10, 10, Int64, templateType, void)
LM_MESSAGE(LogMonitoring, LMTemplate, 35, 902, 0, LM_FIELDS_LMTemplate)

// A monitoring policy: id, name, monitoring types, templates and the settings of its index
// partitions, dump store and re-indexing.
#define LM_FIELDS_MonitoringPolicy(X)                                                   \
    X(1, 1, Int64, monitoringPolicyId, void)                                            \
    X(2, 2, Text, policyName, void)                                                     \
    X(6, 3, IntList, monitoringTypes, void)                                             \
    X(29, 14, Message, dataAgeing, LogMonitoring::LMDataAgeingInfo)                     \
    X(33, 18, MessageList, templates, LogMonitoring::LMTemplate)                        \
    X(53, 32, Int64, subClientId, void)                                                 \
    X(54, 33, Text, dumpLocation, void)                                                 \
    X(59, 35, Int64, factor, void)                                                      \
    X(60, 36, MessageList, reIndexIntervals, TMMsg::LMRequestedReIndexTimeInterval)
LM_MESSAGE(LogMonitoring, MonitoringPolicy, 35, 23, 0, LM_FIELDS_MonitoringPolicy)

// Where a policy's documents go: the index engine group and its nodes, or a syslog receiver
// ("host:port" or "host:port:protocol").
#define LM_FIELDS_LMIndexDestination(X)                                 \
    X(1, 1, Int64, cloudId, void)                                       \
    X(7, 4, MessageList, nodes, LogMonitoring::cloudClientInfoV2)       \
    X(8, 5, Int64, sendToSyslog, void)                                  \
    X(9, 6, Text, syslogDestination, void)
LM_MESSAGE(LogMonitoring, LMIndexDestination, 35, 905, 0, LM_FIELDS_LMIndexDestination)

// How far indexing of a policy has come: its state, the last row id indexed (where the next chunk
// starts) and the bytes indexed.
#define LM_FIELDS_LMIndexingProgress(X)     \
    X(1, 1, Int64, state, void)             \
    X(2, 2, Int64, lastIndexedId, void)     \
    X(3, 3, Int64, indexedSize, void)
LM_MESSAGE(LogMonitoring, LMIndexingProgress, 35, 51, 0, LM_FIELDS_LMIndexingProgress)

// One uploaded file to index and its outcome (state 2 in progress, 3 indexed, 4 failed).
#define LM_FIELDS_LogMonitoringODPFileUploadInfo(X)             \
    X(4, 4, Message, uploadUser, KqEntities::UserEntity)        \
    X(5, 5, Text, uploadRequestId, void)                        \
    X(9, 6, Text, localPath, void)                              \
    X(13, 7, Int64, bytesIndexed, void)                         \
    X(14, 8, Int64, state, void)                                \
    X(17, 11, Text, uploadTags, void)                           \
    X(22, 13, Int64, resultCode, void)
LM_MESSAGE(LogMonitoring, LogMonitoringODPFileUploadInfo, 35, 903, 0,
           LM_FIELDS_LogMonitoringODPFileUploadInfo)

// The policy message of one indexing run.
#define LM_FIELDS_MonitoringPolicyProps(X)                                              \
    X(1, 1, Message, monitoringPolicy, LogMonitoring::MonitoringPolicy)                 \
    X(2, 2, Message, indexDestination, LogMonitoring::LMIndexDestination)               \
    X(3, 3, Message, progress, LogMonitoring::LMIndexingProgress)                       \
    X(4, 4, MessageList, uploadedFiles, LogMonitoring::LogMonitoringODPFileUploadInfo)
LM_MESSAGE(LogMonitoring, MonitoringPolicyProps, 35, 108, 0, LM_FIELDS_MonitoringPolicyProps)

// The progress report of a run to the management server; its answer carries the policy's index
// engine nodes.
#define LM_FIELDS_UpdateMonitoringPolicyProps(X)                                        \
    X(1, 1, Message, monitoringPolicy, LogMonitoring::MonitoringPolicy)                 \
    X(2, 2, Message, progress, LogMonitoring::LMIndexingProgress)                       \
    X(3, 3, MessageList, uploadedFiles, LogMonitoring::LogMonitoringODPFileUploadInfo)
LM_MESSAGE(LogMonitoring, UpdateMonitoringPolicyProps, 35, 134, 0, LM_FIELDS_UpdateMonitoringPolicyProps)

// Asks a client to index the first policy of the list.
#define LM_FIELDS_MonitoringPolicyProcessingRequest(X)                          \
    X(1, 1, Message, client, KqEntities::GenericEntity)                         \
    X(2, 2, MessageList, policies, LogMonitoring::MonitoringPolicyProps)
LM_MESSAGE(LogMonitoring, MonitoringPolicyProcessingRequest, 35, 908, 0x232C9762,
           LM_FIELDS_MonitoringPolicyProcessingRequest)

// The immediate answer to a processing request: 0 accepted, 1 refused.
#define LM_FIELDS_MonitoringPolicyProcessingResponse(X) X(1, 1, Int64, errorCode, void)
LM_MESSAGE(LogMonitoring, MonitoringPolicyProcessingResponse, 35, 112, 0,
           LM_FIELDS_MonitoringPolicyProcessingResponse)

// Reports the bytes indexed for a policy on a client.
#define LM_FIELDS_LMSetIterationSize(X)                     \
    X(1, 1, Int64, bytesIndexed, void)                      \
    X(2, 2, Int64, monitoringPolicyId, void)                \
    X(3, 3, Message, client, KqEntities::ClientEntity)
LM_MESSAGE(LogMonitoring, LMSetIterationSize, 35, 3, 0, LM_FIELDS_LMSetIterationSize)
