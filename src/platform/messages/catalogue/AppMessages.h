#pragma once
// Application messages of the management server used by the engine.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"

// One named property of a node.
#define LM_FIELDS_NameValuePair(X)  \
    X(1, 1, Text, name, void)       \
    X(5, 5, Text, value, void)
LM_MESSAGE(App, NameValuePair, 30, 900, 0, LM_FIELDS_NameValuePair)

// A node of a cloud: its client and its properties (among them "analyticsPort").
#define LM_FIELDS_CloudNodeInfo(X)                                  \
    X(1, 1, Message, client, KqEntities::ClientEntity)              \
    X(2, 2, MessageList, properties, App::NameValuePair)
LM_MESSAGE(App, CloudNodeInfo, 30, 1737, 0, LM_FIELDS_CloudNodeInfo)

// A request about the nodes of a cloud; the operation 1 asks for node metadata.
#define LM_FIELDS_CloudInfo(X)                                      \
    X(1, 1, Int64, operation, void)                                 \
    X(4, 4, MessageList, nodes, App::CloudNodeInfo)
LM_MESSAGE(App, CloudInfo, 30, 1740, 0x1E06B463, LM_FIELDS_CloudInfo)

// One block of results of an alert query: a name, how many results it stands for and the
// results as text.
#define LM_FIELDS_QueryResultsContainer(X)  \
    X(1, 1, Text, name, void)               \
    X(2, 2, Int64, resultCount, void)       \
    X(3, 3, Text, results, void)
LM_MESSAGE(App, QueryResultsContainer, 30, 901, 0, LM_FIELDS_QueryResultsContainer)

// The results the index engine's alert handler returns for one alert; they become the alert's
// description.
#define LM_FIELDS_QueryResultsContainerList(X)                          \
    X(1, 1, MessageList, containers, App::QueryResultsContainer)        \
    X(2, 2, Int64, totalCount, void)
LM_MESSAGE(App, QueryResultsContainerList, 30, 476, 0, LM_FIELDS_QueryResultsContainerList)
