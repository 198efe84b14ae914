#pragma once
// Index engine nodes and the requests by which the engine learns about them and about the cores
// and properties of the policies they serve.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"

// One index core by name.
#define LM_FIELDS_CoreInfo(X) X(1, 1, Text, coreName, void)
LM_MESSAGE(LogMonitoring, CoreInfo, 35, 146, 0, LM_FIELDS_CoreInfo)

// A policy as an index engine serves it: its partitioned cores and its dump location.
#define LM_FIELDS_MonitoringPolicyResp(X)                       \
    X(1, 1, Int64, monitoringPolicyId, void)                    \
    X(9, 6, MessageList, cores, LogMonitoring::CoreInfo)        \
    X(13, 10, Text, dumpLocation, void)
LM_MESSAGE(LogMonitoring, MonitoringPolicyResp, 35, 922, 0, LM_FIELDS_MonitoringPolicyResp)

// The policies an index engine serves.
#define LM_FIELDS_MonitoringPolicyRespList(X) \
    X(2, 2, MessageList, policies, LogMonitoring::MonitoringPolicyResp)
LM_MESSAGE(LogMonitoring, MonitoringPolicyRespList, 35, 923, 0, LM_FIELDS_MonitoringPolicyRespList)

// An index engine node as the management server describes it. Fields 2, 4 and 5 have no meaning
// for the engine but are carried along when a node is copied.
#define LM_FIELDS_cloudClientInfo(X)                                        \
    X(1, 1, Int64, clientId, void)                                          \
    X(2, 2, Int64, attribute2, void)                                        \
    X(3, 3, Int64, freeSpace, void)                                         \
    X(4, 4, Int64, attribute4, void)                                        \
    X(5, 5, Int64, attribute5, void)                                        \
    X(6, 6, Text, hostName, void)                                           \
    X(10, 7, Text, basePort, void)                                          \
    X(14, 14, Int64, availability, void)                                    \
    X(15, 9, Message, policyList, LogMonitoring::MonitoringPolicyRespList)
LM_MESSAGE(LogMonitoring, cloudClientInfo, 35, 906, 0, LM_FIELDS_cloudClientInfo)

// An index engine node as the index helper keeps it: the node's fields and the network host name
// under which the node is reached.
#define LM_FIELDS_cloudClientInfoV2(X)          \
    X(1, 1, Int64, clientId, void)              \
    X(2, 2, Int64, attribute2, void)            \
    X(3, 3, Int64, freeSpace, void)             \
    X(4, 4, Int64, attribute4, void)            \
    X(5, 5, Int64, attribute5, void)            \
    X(6, 6, Text, hostName, void)               \
    X(10, 10, Text, basePort, void)             \
    X(14, 14, Int64, availability, void)        \
    X(15, 15, Text, networkHostName, void)
LM_MESSAGE(LogMonitoring, cloudClientInfoV2, 35, 907, 0, LM_FIELDS_cloudClientInfoV2)

// Asks for the index engine nodes of a cloud.
#define LM_FIELDS_GetCloudClientInfoListReq(X) X(1, 1, Int64, cloudId, void)
LM_MESSAGE(LogMonitoring, GetCloudClientInfoListReq, 35, 92, 0, LM_FIELDS_GetCloudClientInfoListReq)

// The index engine nodes of a cloud, or an error code.
#define LM_FIELDS_GetCloudClientInfoListResp(X)                             \
    X(1, 1, MessageList, cloudClients, LogMonitoring::cloudClientInfo)      \
    X(2, 2, Int64, errorCode, void)
LM_MESSAGE(LogMonitoring, GetCloudClientInfoListResp, 35, 161, 0, LM_FIELDS_GetCloudClientInfoListResp)

// One policy property to write: name, value and the property's data type.
#define LM_FIELDS_MonitoringPolicyPropertyProperty(X)   \
    X(1, 1, Text, propertyName, void)                   \
    X(5, 5, Text, propertyValue, void)                  \
    X(9, 9, Int64, dataType, void)
LM_MESSAGE(LogMonitoring, MonitoringPolicyPropertyProperty, 35, 910, 0,
           LM_FIELDS_MonitoringPolicyPropertyProperty)

// Writes properties of one monitoring policy on the management server.
#define LM_FIELDS_UpdateMonitoringPolicyPropertyRequest(X)                              \
    X(1, 1, Message, monitoringPolicy, KqEntities::MonitoringPolicyEntity)              \
    X(2, 2, MessageList, properties, LogMonitoring::MonitoringPolicyPropertyProperty)
LM_MESSAGE(LogMonitoring, UpdateMonitoringPolicyPropertyRequest, 35, 909, 0,
           LM_FIELDS_UpdateMonitoringPolicyPropertyRequest)

// A remotely monitored host and the bookmark of the last event read from it.
#define LM_FIELDS_RemoteHostEventBookmarkPair(X)    \
    X(1, 1, Text, hostName, void)                   \
    X(5, 5, Text, eventBookmark, void)
LM_MESSAGE(LogMonitoring, RemoteHostEventBookmarkPair, 35, 912, 0, LM_FIELDS_RemoteHostEventBookmarkPair)

// The hosts a policy monitors remotely, with their event bookmarks.
#define LM_FIELDS_RemoteHosts(X) \
    X(1, 1, MessageList, hostBookmarks, LogMonitoring::RemoteHostEventBookmarkPair)
LM_MESSAGE(LogMonitoring, RemoteHosts, 35, 911, 0, LM_FIELDS_RemoteHosts)
