#pragma once
#include <cstdint>
#include <string>

// The management server's stored-procedure runner. A procedure is chosen by the type tag of its
// input message (LMMgmtHandlerTable.h); an unknown tag gives LMMgmt::kUnknownRequest and a log
// line. Returns 0 on success, with the procedure's answer in `output`.
//
// Constructed per use, on the caller's thread.
class App_ExecuteSP {
public:
    App_ExecuteSP() = default;

    int executeStoredProcedure(uint64_t tag, const std::string& input, std::string& output, void* context);
    int executeGetStoredProcedure(uint64_t tag, const std::string& input, std::string& output, void* context);

    const std::string& lastError() const { return error_; }

private:
    std::string error_;
};
