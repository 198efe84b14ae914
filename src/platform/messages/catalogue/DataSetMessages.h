#pragma once
// Management data sets: the request for a chunk of events, audit-trail records or alerts, and
// the three kinds of answer.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/TemplateMessages.h"

// Asks for the rows of a data set ("LMGetEventViewerDataSetForCI", "LMGetGUIAuditDataSetForCI",
// "LMGetAlertDataSetForCI") whose ids lie in a range.
#define LM_FIELDS_GenerateDataSetForCI(X)           \
    X(2, 2, Text, dataSetName, void)                \
    X(6, 3, Int64, firstId, void)                   \
    X(7, 4, Int64, lastId, void)                    \
    X(8, 5, Int64, monitoringPolicyId, void)
LM_MESSAGE(LogMonitoring, GenerateDataSetForCI, 35, 91, 0x23FC67AC, LM_FIELDS_GenerateDataSetForCI)

// One event of the management database.
#define LM_FIELDS_EventViewerRow(X)                 \
    X(1, 1, Int64, eventId, void)                   \
    X(6, 6, Int64, time, void)                      \
    X(7, 4, Text, severity, void)                   \
    X(11, 5, Text, jobId, void)                     \
    X(15, 15, Int64, vestryId, void)                \
    X(16, 7, Text, vestryName, void)                \
    X(20, 8, Int64, clientId, void)                 \
    X(21, 9, Text, clientName, void)                \
    X(25, 10, Text, eventCode, void)                \
    X(29, 29, Int64, userId, void)                  \
    X(30, 12, Text, userName, void)                 \
    X(34, 34, Int64, libraryId, void)               \
    X(35, 14, Text, libraryName, void)              \
    X(39, 39, Int64, maClientId, void)              \
    X(40, 16, Text, maClientName, void)             \
    X(44, 44, Int64, mediaId, void)                 \
    X(45, 18, Text, mediaName, void)                \
    X(49, 49, Int64, driveId, void)                 \
    X(50, 20, Text, driveName, void)                \
    X(55, 22, Text, subsystem, void)                \
    X(59, 23, Text, eventText, void)
LM_MESSAGE(LogMonitoring, EventViewerRow, 35, 927, 0, LM_FIELDS_EventViewerRow)

// One audit-trail record of the management database.
#define LM_FIELDS_GuiAuditRow(X)                    \
    X(1, 1, Int64, operationId, void)               \
    X(6, 6, Int64, time, void)                      \
    X(7, 4, Text, auditLevel, void)                 \
    X(11, 5, Text, details, void)                   \
    X(15, 15, Int64, vestryId, void)                \
    X(16, 7, Text, vestryName, void)                \
    X(20, 20, Int64, userId, void)                  \
    X(21, 9, Text, userName, void)                  \
    X(26, 11, Text, operationType, void)            \
    X(30, 12, Text, eventText, void)
LM_MESSAGE(LogMonitoring, GuiAuditRow, 35, 928, 0, LM_FIELDS_GuiAuditRow)

// One cell of a generic data-set row: its text and the column that types it.
#define LM_FIELDS_ColumnDataValue(X)                    \
    X(1, 1, Text, valueText, void)                      \
    X(5, 2, Message, column, LogMonitoring::Column)
LM_MESSAGE(LogMonitoring, ColumnDataValue, 35, 929, 0, LM_FIELDS_ColumnDataValue)

// One row of a generic data set, cell by cell.
#define LM_FIELDS_RowAsColumnList(X) X(1, 1, MessageList, values, LogMonitoring::ColumnDataValue)
LM_MESSAGE(LogMonitoring, RowAsColumnList, 35, 153, 0, LM_FIELDS_RowAsColumnList)

// Answer with events.
#define LM_FIELDS_EventViewerRowList(X) X(1, 1, MessageList, rows, LogMonitoring::EventViewerRow)
LM_MESSAGE(LogMonitoring, EventViewerRowList, 35, 924, 0x2323BC74, LM_FIELDS_EventViewerRowList)

// Answer with audit-trail records.
#define LM_FIELDS_GuiAuditRowList(X) X(1, 1, MessageList, rows, LogMonitoring::GuiAuditRow)
LM_MESSAGE(LogMonitoring, GuiAuditRowList, 35, 925, 0x238E5BC8, LM_FIELDS_GuiAuditRowList)

// Answer with generic rows (alerts and other data sets).
#define LM_FIELDS_DataSetRowList(X) X(1, 1, MessageList, rows, LogMonitoring::RowAsColumnList)
LM_MESSAGE(LogMonitoring, DataSetRowList, 35, 926, 0x23F00A49, LM_FIELDS_DataSetRowList)
