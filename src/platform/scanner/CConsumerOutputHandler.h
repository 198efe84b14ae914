#pragma once
#include <memory>

#include "platform/scanner/CScanOutput.h"

// Hands every accepted path to its consumer, which it owns.
class CConsumerOutputHandler : public CScanOutputHandler {
public:
    explicit CConsumerOutputHandler(std::unique_ptr<CScanConsumer> consumer) : consumer_(std::move(consumer)) {}

    CZuError Open() override;
    CZuError Accept(const std::string& path) override;
    CZuError Close() override;
    CScanConsumer* consumer() const { return consumer_.get(); }

private:
    std::unique_ptr<CScanConsumer> consumer_;
};
