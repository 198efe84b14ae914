#include "CoreAdminHandler.h"

#include <cctype>

#include "DateMath.h"
#include "platform/log/EvLMDebug.h"

namespace lmindexd {
namespace {

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string humanSize(int64_t bytes) {
    char buf[64];
    if (bytes >= 1024LL * 1024 * 1024) std::snprintf(buf, sizeof buf, "%.2f GB", bytes / (1024.0 * 1024 * 1024));
    else if (bytes >= 1024LL * 1024) std::snprintf(buf, sizeof buf, "%.2f MB", bytes / (1024.0 * 1024));
    else if (bytes >= 1024) std::snprintf(buf, sizeof buf, "%.2f KB", bytes / 1024.0);
    else std::snprintf(buf, sizeof buf, "%lld bytes", static_cast<long long>(bytes));
    return buf;
}

}  // namespace

RNode CoreAdminHandler::coreStatus(IndexCore& core, std::string& error, int& rc) {
    IndexCore::Status s;
    rc = core.status(s, error);
    RNode n = RNode::list(core.name());
    n.add(RNode::str("name", core.name()));
    n.add(RNode::str("instanceDir", core.folder()));
    n.add(RNode::str("dataDir", core.folder()));
    const int64_t startMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(started_.time_since_epoch()).count();
    n.add(RNode::scalar(RNode::T::Date, "startTime", formatIsoDate(startMs)));
    n.add(RNode::longValue("uptime", nowEpochMs() - startMs));
    RNode& index = n.add(RNode::list("index"));
    index.add(RNode::integer("numDocs", s.numDocs));
    index.add(RNode::integer("maxDoc", s.numDocs));
    index.add(RNode::integer("deletedDocs", 0));
    index.add(RNode::longValue("version", s.lastModifiedMs));
    index.add(RNode::scalar(RNode::T::Bool, "current", "true"));
    index.add(RNode::longValue("sizeInBytes", s.sizeInBytes));
    index.add(RNode::str("size", humanSize(s.sizeInBytes)));
    index.add(RNode::scalar(RNode::T::Date, "lastModified", formatIsoDate(s.lastModifiedMs)));
    return n;
}

int CoreAdminHandler::status(const httplib::Request& req, RNode& reply, std::string& error) {
    reply.add(RNode::list("initFailures"));
    RNode st = RNode::list("status");
    const std::string only = param(req, "core");
    for (const auto& core : cores_.all()) {
        if (!only.empty() && core->name() != only) continue;
        int rc = kOk;
        RNode n = coreStatus(*core, error, rc);
        // A core unloaded while the list was taken is simply left out.
        if (rc == kNotFound) continue;
        if (rc != kOk) return rc;
        st.add(std::move(n));
    }
    reply.add(std::move(st));
    return kOk;
}

void CoreAdminHandler::handle(const httplib::Request& req, httplib::Response& res) {
    static const char* kOp = "CoreAdminHandler::handle";
    const auto t0 = std::chrono::steady_clock::now();
    const WireFormat fmt = requestFormat(req);
    const std::string action = upper(param(req, "action"));
    std::string error;
    RNode body = RNode::list("");
    int rc = kOk;
    if (action == "STATUS") {
        rc = status(req, body, error);
    } else if (action == "CREATE") {
        const std::string name = param(req, "name");
        rc = cores_.create(name, error);
        body.add(RNode::str("core", name));
    } else if (action == "UNLOAD") {
        rc = cores_.unload(param(req, "core"), paramIsTrue(req, "deleteIndex"),
                           paramIsTrue(req, "deleteDataDir") || paramIsTrue(req, "deleteInstanceDir"), error);
    } else {
        rc = kBadRequest;
        error = action.empty() ? "no action given" : "Unsupported operation: " + action;
    }
    if (rc != kOk) {
        EvLMDebug().Error(kOp, "core admin action [%s] failed: %s", action.c_str(), error.c_str());
        sendError(res, fmt, rc, error);
        return;
    }
    RNode reply = RNode::list("");
    reply.add(responseHeader(0, elapsedMs(t0)));
    for (auto& k : body.kids) reply.add(std::move(k));
    sendReply(res, reply, fmt);
}

void CoreAdminHandler::handleList(const httplib::Request&, httplib::Response& res) {
    RNode reply = RNode::list("");
    reply.add(responseHeader(0, 0));
    RNode names;
    names.type = RNode::T::Arr;
    names.name = "response";
    for (const std::string& n : cores_.names()) names.kids.push_back(RNode::str("", n));
    reply.add(std::move(names));
    sendReply(res, reply, WireFormat::Json);
}

}
