#pragma once
#include <cstdint>
#include <string>

#include "platform/messages/CNMessageBase.h"

class KQManagementDB;

// The management server's requests and stored procedures, each chosen by the type tag of its
// input message. A handler gets the decoded input and an open database, writes its answer (the
// serialised reply, or empty) and returns 0 on success; on failure it returns one of the codes
// below and says why in `error`.
namespace LMMgmt {

enum Kind { kRequest, kProcedure, kGetProcedure };

enum Result : int {
    kOk = 0,
    kUnknownRequest = 0x2001, // no handler for the tag
    kBadRequest,              // the input is not a message of the tag's class, or lacks a field
    kDatabaseError,           // the database cannot be opened, is locked or is corrupt
    kNotFound,                // the request names something that does not exist
    kSerializeFailed,
    kBadEntityType,           // an entity type other than 2 (monitoring policy)
};

constexpr int kEntityMonitoringPolicy = 2;

using Handler = int (*)(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error);

// Registers a handler at load time; declare one static instance per handler.
struct HandlerRegistrar {
    HandlerRegistrar(Kind kind, uint64_t tag, const char* name, Handler handler);
};

// The handler of a tag, or null. `name` (may be null) receives its name for log lines.
Handler find(Kind kind, uint64_t tag, const char** name);

// Decodes `input`, checks that it is of the tag's class, opens the focused instance's database
// and runs the handler. Every failure is logged under `operation`.
int dispatch(const char* operation, Kind kind, uint64_t tag, const std::string& input, std::string& answer,
             std::string& error);

} // namespace LMMgmt
