#include "platform/mgmt/App_ExecuteSP.h"

#include "platform/mgmt/LMMgmtHandlerTable.h"

int App_ExecuteSP::executeStoredProcedure(uint64_t tag, const std::string& input, std::string& output, void*) {
    return LMMgmt::dispatch("App_ExecuteSP::executeStoredProcedure", LMMgmt::kProcedure, tag, input, output, error_);
}

int App_ExecuteSP::executeGetStoredProcedure(uint64_t tag, const std::string& input, std::string& output, void*) {
    return LMMgmt::dispatch("App_ExecuteSP::executeGetStoredProcedure", LMMgmt::kGetProcedure, tag, input, output,
                            error_);
}
