#pragma once
// Entity messages: the small reference records (an id and a name) by which other messages point at
// columns, templates, clients and users.
#include "platform/messages/MessageMacros.h"

// Reference to a template column: conditions name a column by its id, secondary templates find a
// column's value in a record by its name.
#define LM_FIELDS_ColumnEntity(X)   \
    X(0, 0, Int64, id, void)        \
    X(1, 1, Text, name, void)
LM_MESSAGE(KqEntities, ColumnEntity, 18, 67, 0, LM_FIELDS_ColumnEntity)

// Reference to a template: its id (1 is the suite's own log format) and its name.
#define LM_FIELDS_TemplateEntity(X)   \
    X(0, 0, Int64, templateId, void)  \
    X(1, 1, Text, templateName, void)
LM_MESSAGE(KqEntities, TemplateEntity, 18, 66, 0, LM_FIELDS_TemplateEntity)

// Reference to a client of the suite by id and name.
#define LM_FIELDS_ClientEntity(X)   \
    X(0, 0, Int64, clientId, void)  \
    X(1, 1, Text, clientName, void)
LM_MESSAGE(KqEntities, ClientEntity, 18, 4, 0, LM_FIELDS_ClientEntity)

// The wide entity record the management side sends for a client; only its client id and name
// are used.
#define LM_FIELDS_GenericEntity(X)      \
    X(47, 17, Int64, clientId, void)    \
    X(48, 18, Text, clientName, void)
LM_MESSAGE(KqEntities, GenericEntity, 18, 46, 0, LM_FIELDS_GenericEntity)

// Reference to a user by id.
#define LM_FIELDS_UserEntity(X) X(0, 0, Int64, userId, void)
LM_MESSAGE(KqEntities, UserEntity, 18, 900, 0, LM_FIELDS_UserEntity)

// Reference to one alert of a search alert rule by id.
#define LM_FIELDS_AlertEntity(X) X(0, 0, Int64, alertId, void)
LM_MESSAGE(KqEntities, AlertEntity, 18, 901, 0, LM_FIELDS_AlertEntity)

// Reference to a monitoring policy by id.
#define LM_FIELDS_MonitoringPolicyEntity(X) X(0, 0, Int64, monitoringPolicyId, void)
LM_MESSAGE(KqEntities, MonitoringPolicyEntity, 18, 903, 0, LM_FIELDS_MonitoringPolicyEntity)

// A login name and its password; the password travels in protected form.
#define LM_FIELDS_UserCredentials(X)    \
    X(1, 1, Text, userName, void)       \
    X(5, 5, Password, password, void)
LM_MESSAGE(KqEntities, UserCredentials, 18, 902, 0, LM_FIELDS_UserCredentials)

// What a web service tells about the user a login token belongs to.
#define LM_FIELDS_ProcessingInstructionInfo(X) X(1, 1, Message, user, KqEntities::UserEntity)
LM_MESSAGE(KqEntities, ProcessingInstructionInfo, 18, 74, 0, LM_FIELDS_ProcessingInstructionInfo)
