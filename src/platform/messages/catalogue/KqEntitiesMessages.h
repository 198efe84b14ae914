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
