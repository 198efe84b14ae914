#include "UpdateHandler.h"

#include <chrono>
#include <cstring>

#include "DateMath.h"
#include "platform/log/EvLMDebug.h"

namespace lmindexd {
namespace {

bool isBlank(const std::string& s) {
    for (char c : s) {
        if (!std::strchr(" \t\r\n", c)) return false;
    }
    return true;
}

// A form body has already been read as parameters; but a body that is plainly XML is taken as
// XML whatever its declared type (clients posting without a type get the form type by default).
bool isFormBody(const httplib::Request& req) {
    if (req.get_header_value("Content-Type").find("application/x-www-form-urlencoded") == std::string::npos) {
        return false;
    }
    const size_t first = req.body.find_first_not_of(" \t\r\n");
    return first == std::string::npos || req.body[first] != '<';
}

}  // namespace

bool UpdateHandler::collectCommands(const httplib::Request& req, std::vector<UpdateCommand>& out,
                                    std::string& error) const {
    UpdateRequestParser parser;
    for (const std::string& body : params(req, "stream.body")) {
        if (body.size() > kMaxBodyBytes) {
            error = "stream.body larger than the limit";
            return false;
        }
        if (!parser.parse(body, out, error)) return false;
    }
    if (!isFormBody(req) && !isBlank(req.body)) {
        if (req.body.size() > kMaxBodyBytes) {
            error = "request body larger than the limit";
            return false;
        }
        if (!parser.parse(req.body, out, error)) return false;
    }
    return true;
}

int UpdateHandler::applyTo(IndexCore& core, std::vector<UpdateCommand>& commands, bool optimize,
                           std::string& error) {
    int rc = core.apply(commands, nowEpochMs(), error);
    if (rc == kOk && optimize) rc = core.optimize(error);
    return rc;
}

void UpdateHandler::handle(const httplib::Request& req, httplib::Response& res, const std::string& coreName) {
    static const char* kOp = "UpdateHandler::handle";
    const auto started = std::chrono::steady_clock::now();
    const WireFormat fmt = requestFormat(req);
    EvLMDebug log;
    std::vector<UpdateCommand> commands;
    std::string error;
    if (!collectCommands(req, commands, error)) {
        log.Error(kOp, "refused update for core [%s]: %s", coreName.c_str(), error.c_str());
        sendError(res, fmt, kBadRequest, error);
        return;
    }
    bool optimize = paramIsTrue(req, "optimize");
    size_t adds = 0;
    for (const UpdateCommand& c : commands) {
        if (c.type == UpdateCommand::Type::Optimize) optimize = true;
        if (c.type == UpdateCommand::Type::Add) ++adds;
    }
    int rc = kOk;
    if (coreName.empty()) {
        if (adds > 0) {
            sendError(res, fmt, kBadRequest, "documents can only be added to a named core");
            return;
        }
        for (const auto& core : cores_.all()) {
            rc = applyTo(*core, commands, optimize, error);
            if (rc != kOk) break;
        }
    } else {
        auto core = cores_.getOrCreate(coreName, rc, error);
        if (core) rc = applyTo(*core, commands, optimize, error);
    }
    if (rc != kOk) {
        log.Error(kOp, "update of core [%s] failed: %s", coreName.c_str(), error.c_str());
        sendError(res, fmt, rc, error);
        return;
    }
    log.DebugLvl(kOp, 10, "core [%s]: %zu commands, %zu documents", coreName.c_str(), commands.size(), adds);
    RNode reply = RNode::list("");
    reply.add(responseHeader(0, elapsedMs(started)));
    sendReply(res, reply, fmt);
}

}
