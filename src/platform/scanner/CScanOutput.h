#pragma once
#include <string>

#include "platform/error/CZuError.h"

// Where accepted files go. A consumer receives every accepted path; an output handler stands
// between the scan and its consumer.
class CScanConsumer {
public:
    virtual ~CScanConsumer() = default;
    virtual CZuError Open() = 0;
    virtual CZuError Consume(const std::string& path) = 0;
    virtual CZuError Close() = 0;
};

class CScanOutputHandler {
public:
    virtual ~CScanOutputHandler() = default;
    virtual CZuError Open() = 0;
    virtual CZuError Accept(const std::string& path) = 0;
    virtual CZuError Close() = 0;
};
