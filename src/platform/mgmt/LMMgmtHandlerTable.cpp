#include "platform/mgmt/LMMgmtHandlerTable.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <utility>

#include "platform/log/EvLMDebug.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/mgmt/KQManagementDB.h"

namespace LMMgmt {
namespace {

struct Entry {
    const char* name;
    Handler handler;
};

struct Table {
    std::mutex mu;
    std::map<std::pair<int, uint64_t>, Entry> entries;
};

Table& table() {
    static Table t;
    return t;
}

std::string hexTag(uint64_t tag) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(tag));
    return buf;
}

const char* kindName(Kind kind) {
    switch (kind) {
    case kRequest: return "request";
    case kProcedure: return "stored procedure";
    case kGetProcedure: return "get stored procedure";
    }
    return "?";
}

} // namespace

HandlerRegistrar::HandlerRegistrar(Kind kind, uint64_t tag, const char* name, Handler handler) {
    auto& t = table();
    std::lock_guard<std::mutex> l(t.mu);
    t.entries[{kind, tag}] = Entry{name, handler};
}

Handler find(Kind kind, uint64_t tag, const char** name) {
    auto& t = table();
    std::lock_guard<std::mutex> l(t.mu);
    auto it = t.entries.find({kind, tag});
    if (it == t.entries.end()) return nullptr;
    if (name) *name = it->second.name;
    return it->second.handler;
}

int dispatch(const char* operation, Kind kind, uint64_t tag, const std::string& input, std::string& answer,
             std::string& error) {
    EvLMDebug log;
    answer.clear();
    error.clear();
    const char* name = nullptr;
    Handler handler = find(kind, tag, &name);
    if (!handler) {
        error = "no " + std::string(kindName(kind)) + " for type tag " + hexTag(tag);
        log.Error(operation, "%s", error.c_str());
        return kUnknownRequest;
    }
    std::unique_ptr<CNMessageBase> msg = XMLDecoder::decode(input);
    if (!msg || msg->getTagID() != tag) {
        error = std::string(name) + ": the input is not a message of type tag " + hexTag(tag);
        log.Error(operation, "%s", error.c_str());
        return kBadRequest;
    }
    KQManagementDB db;
    if (db.open() != 0) {
        error = std::string(name) + ": management database unavailable: " + db.lastError();
        log.Error(operation, "%s", error.c_str());
        return kDatabaseError;
    }
    int r = handler(db, *msg, answer, error);
    if (r != kOk) log.Error(operation, "%s failed with %d: %s", name, r, error.c_str());
    else log.DebugLvl(operation, 10, "%s done", name);
    return r;
}

} // namespace LMMgmt
