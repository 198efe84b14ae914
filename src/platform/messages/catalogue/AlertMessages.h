#pragma once
// Search alert rules: the rules and index engines fetched from the management server, the alerts
// of a rule and the processed times written back.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"
#include "platform/messages/catalogue/PolicyMessages.h"

// Asks for the alert rules and index engines that concern a client.
#define LM_FIELDS_LMSearchAlertReq(X) X(2, 2, Int64, clientId, void)
LM_MESSAGE(LogMonitoring, LMSearchAlertReq, 35, 156, 0, LM_FIELDS_LMSearchAlertReq)

// The alert rules (an encoded SearchListResp) and index engines (an encoded
// GetCloudClientInfoListResp). The index engine's alert handler answers in the same form.
#define LM_FIELDS_LMSearchAlertResp(X)                      \
    X(1, 1, Text, searchListRespString, void)               \
    X(5, 2, Text, cloudClientInfoListRespString, void)
LM_MESSAGE(LogMonitoring, LMSearchAlertResp, 35, 62, 0, LM_FIELDS_LMSearchAlertResp)

// A rate-of-change condition of an alert.
#define LM_FIELDS_LMRateOfChangeAlert(X)        \
    X(1, 1, Int64, rate, void)                  \
    X(2, 2, Int64, rateCriteria, void)          \
    X(3, 3, Int64, aggregateOperator, void)
LM_MESSAGE(LogMonitoring, LMRateOfChangeAlert, 35, 50, 0, LM_FIELDS_LMRateOfChangeAlert)

// How an alert persists, repeats and notifies.
#define LM_FIELDS_LMAlertConfigInfo(X)          \
    X(1, 1, Int64, persistInterval, void)       \
    X(2, 2, Int64, repeatInterval, void)        \
    X(4, 4, Int64, notifyCondition, void)
LM_MESSAGE(LogMonitoring, LMAlertConfigInfo, 35, 66, 0, LM_FIELDS_LMAlertConfigInfo)

// One alert of a rule: its conditions, the window it was last processed to and how its
// notification looks.
#define LM_FIELDS_LMAlertInfo(X)                                            \
    X(4, 4, Int64, thisManyTimes, void)                                     \
    X(5, 5, Int64, withinTheseManyMinutes, void)                            \
    X(6, 6, Message, alertEntity, KqEntities::AlertEntity)                  \
    X(7, 7, Int64, linesAboveMatchedLine, void)                             \
    X(8, 8, Int64, linesBelowMatchedLine, void)                             \
    X(9, 9, Int64, lastProcessedTime, void)                                 \
    X(10, 10, Int64, alertType, void)                                       \
    X(11, 11, Message, rateOfChange, LogMonitoring::LMRateOfChangeAlert)    \
    X(21, 15, Text, additionalInfo, void)                                   \
    X(25, 16, Message, alertConfig, LogMonitoring::LMAlertConfigInfo)       \
    X(26, 17, IntList, associatedPolicyIds, void)                           \
    X(37, 22, Text, timeZoneInfo, void)                                     \
    X(42, 24, Int64, addColumnsInEmail, void)                               \
    X(43, 25, Text, colsToDisplay, void)                                    \
    X(47, 26, Int64, delayMinutes, void)
LM_MESSAGE(LogMonitoring, LMAlertInfo, 35, 920, 0, LM_FIELDS_LMAlertInfo)

// The search of a rule and its alerts.
#define LM_FIELDS_SearchURLInfo(X)                                  \
    X(11, 5, Text, searchQuery, void)                               \
    X(15, 6, MessageList, alerts, LogMonitoring::LMAlertInfo)       \
    X(30, 12, Text, alternateQuery, void)                           \
    X(41, 17, Int64, searchKind, void)
LM_MESSAGE(LogMonitoring, SearchURLInfo, 35, 155, 0, LM_FIELDS_SearchURLInfo)

// One alert rule: its SearchURLInfo and the creator's policy capabilities (a
// GetMonitoringPoliciesListResp), each as XML text.
#define LM_FIELDS_SearchInfo(X)                 \
    X(9, 6, Text, searchUrlInfo, void)          \
    X(16, 10, Text, securityInfo, void)
LM_MESSAGE(LogMonitoring, SearchInfo, 35, 919, 0, LM_FIELDS_SearchInfo)

// The alert rules.
#define LM_FIELDS_SearchListResp(X) X(2, 2, MessageList, searchInfos, LogMonitoring::SearchInfo)
LM_MESSAGE(LogMonitoring, SearchListResp, 35, 113, 0, LM_FIELDS_SearchListResp)

// The policies a user may see; an admin level of 1 or more sees all.
#define LM_FIELDS_GetMonitoringPoliciesListResp(X)                      \
    X(1, 1, Int64, adminLevel, void)                                    \
    X(2, 2, MessageList, policies, LogMonitoring::MonitoringPolicy)
LM_MESSAGE(LogMonitoring, GetMonitoringPoliciesListResp, 35, 132, 0, LM_FIELDS_GetMonitoringPoliciesListResp)

// When an alert was last processed.
#define LM_FIELDS_alertProcessedTime(X)     \
    X(1, 1, Int64, alertId, void)           \
    X(2, 2, Int64, processedTime, void)
LM_MESSAGE(LogMonitoring, alertProcessedTime, 35, 41, 0, LM_FIELDS_alertProcessedTime)

// The processed times of the alerts raised in one pass.
#define LM_FIELDS_UpdateLastAlertRulesProcessedTime(X) \
    X(1, 1, MessageList, processedTimes, LogMonitoring::alertProcessedTime)
LM_MESSAGE(LogMonitoring, UpdateLastAlertRulesProcessedTime, 35, 69, 0x238307E1,
           LM_FIELDS_UpdateLastAlertRulesProcessedTime)
