#pragma once
// Log templates and the records built around them: the template, its typed columns, the rules that
// extract extra fields from a column, and the messages of template validation.
#include "platform/messages/MessageMacros.h"
#include "platform/messages/catalogue/CommonMessages.h"
#include "platform/messages/catalogue/KqEntitiesMessages.h"

// One data-extraction rule: a regular expression applied to a template column whose match (a
// capture group or a fixed replacement) becomes an index field of its own.
#define LM_FIELDS_LMDataExtractionOption(X)        \
    X(1, 1, Text, regularExpression, void)         \
    X(5, 5, Text, outputFieldName, void)           \
    X(17, 17, Text, inputFieldName, void)          \
    X(21, 21, Text, groupNumber, void)             \
    X(25, 25, Int64, outputDataType, void)         \
    X(26, 26, Int64, ruleKind, void)               \
    X(27, 27, Text, replacementText, void)
LM_MESSAGE(LogMonitoring, LMDataExtractionOption, 35, 103, 0, LM_FIELDS_LMDataExtractionOption)

// The data-extraction rules of a policy, in the order they are applied.
#define LM_FIELDS_LMDataExtractionPatterns(X) \
    X(1, 1, MessageList, extractionOptions, LogMonitoring::LMDataExtractionOption)
LM_MESSAGE(LogMonitoring, LMDataExtractionPatterns, 35, 904, 0, LM_FIELDS_LMDataExtractionPatterns)

// One typed column of a template: how its text is recognised and parsed, and how its value is
// named and indexed.
#define LM_FIELDS_Column(X)                                            \
    X(1, 1, Message, columnEntity, KqEntities::ColumnEntity)           \
    X(2, 2, Int64, dataType, void)                                     \
    X(3, 3, Int64, typeFormat, void)                                   \
    X(6, 6, Int64, columnId, void)                                     \
    X(11, 11, Int64, useThousandSeparator, void)                       \
    X(12, 12, Int64, decimalPlaces, void)                              \
    X(13, 13, Text, customFormat, void)                                \
    X(17, 14, Int64, filterable, void)                                 \
    X(18, 15, Int64, indexed, void)                                    \
    X(20, 17, Int64, keyword, void)                                    \
    X(21, 18, Text, columnName, void)                                  \
    X(26, 20, Int64, tokenize, void)                                   \
    X(27, 27, Int64, utcConversion, void)                              \
    X(32, 23, Message, extractionRule, LogMonitoring::LMDataExtractionOption)
LM_MESSAGE(LogMonitoring, Column, 35, 33, 0, LM_FIELDS_Column)

// A log template: what a record looks like and which typed columns it has.
#define LM_FIELDS_TemplateXML(X)                                 \
    X(1, 1, MessageList, columns, LogMonitoring::Column)         \
    X(2, 2, Int64, separatorFlags, void)                         \
    X(3, 3, Text, customSeparator, void)                         \
    X(10, 10, Int64, headerLineCount, void)                      \
    X(15, 9, Text, content, void)                                \
    X(20, 11, Int64, unanchored, void)                           \
    X(22, 13, Text, lineDelimiter, void)
LM_MESSAGE(LogMonitoring, TemplateXML, 35, 15, 0, LM_FIELDS_TemplateXML)

// A list of numbers; the right-hand operand of a list comparison carries one in serialised form.
#define LM_FIELDS_IntegersList(X) X(1, 1, UIntList, values, void)
LM_MESSAGE(LogMonitoring, IntegersList, 35, 900, 0, LM_FIELDS_IntegersList)

// One condition on a row: the column it tests, the operation and its operands.
#define LM_FIELDS_Condition(X)                                   \
    X(1, 1, Message, column, KqEntities::ColumnEntity)           \
    X(2, 2, Int64, operation, void)                              \
    X(3, 3, Text, value, void)                                   \
    X(7, 4, Text, secondValue, void)                             \
    X(11, 5, Int64, regEx, void)                                 \
    X(12, 6, Int64, caseSensitive, void)                         \
    X(13, 7, Int64, inclusive, void)                             \
    X(14, 8, Int64, matchWholeWord, void)
LM_MESSAGE(LogMonitoring, Condition, 35, 901, 0, LM_FIELDS_Condition)

// Conditions over a row's columns, an optional whole-row text condition, and how they combine
// (0 all must hold, 1 any suffices).
#define LM_FIELDS_ConditionsList(X)                              \
    X(1, 1, MessageList, conditions, LogMonitoring::Condition)   \
    X(2, 2, Message, rowCondition, LogMonitoring::Condition)     \
    X(8, 5, Int64, combination, void)
LM_MESSAGE(LogMonitoring, ConditionsList, 35, 86, 0, LM_FIELDS_ConditionsList)

// A column of a validated template paired with the text the sample line gave it.
#define LM_FIELDS_ColumnValuePair(X)                             \
    X(1, 1, Message, columnEntity, KqEntities::ColumnEntity)     \
    X(2, 2, Text, value, void)
LM_MESSAGE(LogMonitoring, ColumnValuePair, 35, 123, 0, LM_FIELDS_ColumnValuePair)

// Asks to match a sample line against a template.
#define LM_FIELDS_ValidateTemplateRequest(X) \
    X(5, 2, Message, templateXml, LogMonitoring::TemplateXML)
LM_MESSAGE(LogMonitoring, ValidateTemplateRequest, 35, 29, 0, LM_FIELDS_ValidateTemplateRequest)

// The outcome of a template validation and the value each column took from the sample.
#define LM_FIELDS_ValidateTemplateResponse(X)                                \
    X(1, 1, Message, result, LogMonitoring::GenericEntityResponse)           \
    X(2, 2, MessageList, columnValuePairs, LogMonitoring::ColumnValuePair)
LM_MESSAGE(LogMonitoring, ValidateTemplateResponse, 35, 126, 0, LM_FIELDS_ValidateTemplateResponse)
