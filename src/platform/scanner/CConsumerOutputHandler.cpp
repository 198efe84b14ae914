#include "platform/scanner/CConsumerOutputHandler.h"

#include <cerrno>

CZuError CConsumerOutputHandler::Open() {
    return consumer_ ? consumer_->Open() : CZuError(EINVAL, "output handler without a consumer");
}

CZuError CConsumerOutputHandler::Accept(const std::string& path) {
    return consumer_ ? consumer_->Consume(path) : CZuError(EINVAL, "output handler without a consumer");
}

CZuError CConsumerOutputHandler::Close() { return consumer_ ? consumer_->Close() : CZuError(); }
