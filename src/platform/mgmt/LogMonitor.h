#pragma once
#include <cstdint>
#include <string>

#include "platform/log/EvLMDebug.h"

// The management server's request API, as the engine calls it. Every request and answer is the
// XML text of a message; every call returns 0 on success. The first argument of every operation
// but getIdFromName is the entity type, 2 (monitoring policy); another type is refused.
// Requests that carry a type tag are routed by it to their handler (LMMgmtHandlerTable.h); an
// unknown tag gives LMMgmt::kUnknownRequest and a log line.
//
// Constructed per use, on the caller's thread; each call opens the focused instance's management
// database for its own duration.
class LogMonitor {
public:
    LogMonitor() = default;

    // The value of one policy property, as text.
    int getProperties(int entityType, uint64_t policyId, const std::string& propertyName, std::string& value,
                      std::string& error, void* context);
    // `text` carries the serialised request in and the serialised answer out.
    int getClinetsUnderLMCloud(int entityType, uint64_t tag, std::string& text);
    int setCurrentStatus(int entityType, uint64_t tag, const std::string& report);
    int getIdFromName(std::string& text);
    int getListOfTemplates(int entityType, uint64_t tag, std::string& text);
    int getIndexedTimeInterval(int entityType, uint64_t tag, std::string& text);
    int getSynchedMPDetailsForContinuous(int entityType, uint64_t tag, std::string& text);

    // The text of the last failure.
    const std::string& lastError() const { return error_; }

private:
    int request(const char* operation, int entityType, uint64_t tag, std::string& text);

    EvLMDebug log_;
    std::string error_;
};
