#pragma once
#include <string>

// The result of a platform operation: no error, or an error code with a text for the log.
class CZuError {
public:
    CZuError() = default;
    CZuError(int code, std::string text) : code_(code), text_(std::move(text)) {}

    static CZuError ok() { return {}; }
    // An error from an errno value, with the operation's own words in front.
    static CZuError fromErrno(int err, const std::string& what);

    bool IsError() const { return code_ != 0; }
    const std::string& AsString() const { return text_; }
    int GetErrorCode() const { return code_; }

private:
    int code_ = 0;
    std::string text_;
};
