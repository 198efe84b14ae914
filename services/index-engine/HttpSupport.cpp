#include "HttpSupport.h"

#include <cctype>

namespace lmindexd {

std::string param(const httplib::Request& req, const std::string& name, const std::string& fallback) {
    return req.has_param(name) ? req.get_param_value(name) : fallback;
}

std::vector<std::string> params(const httplib::Request& req, const std::string& name) {
    std::vector<std::string> out;
    const size_t n = req.get_param_value_count(name);
    for (size_t i = 0; i < n; ++i) out.push_back(req.get_param_value(name, i));
    return out;
}

bool paramIsTrue(const httplib::Request& req, const std::string& name) {
    std::string v;
    for (char c : param(req, name)) {
        if (!std::isspace(static_cast<unsigned char>(c))) v += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return v == "true";
}

WireFormat requestFormat(const httplib::Request& req) { return wireFormatFrom(param(req, "wt", "xml")); }

void sendReply(httplib::Response& res, const RNode& reply, WireFormat f, int httpStatus) {
    res.status = httpStatus;
    res.set_content(render(reply, f), contentTypeOf(f).c_str());
}

void sendError(httplib::Response& res, WireFormat f, int status, const std::string& message) {
    sendReply(res, errorResponse(status, message), f, status);
}

}
