#include "IndexServer.h"

#include "platform/log/EvLMDebug.h"

namespace lmindexd {

IndexServer::IndexServer(CoreRegistry& cores, std::string bindAddress)
    : cores_(cores), bindAddress_(std::move(bindAddress)), update_(cores), select_(cores, bindAddress_, 0),
      admin_(cores) {
    routes();
}

void IndexServer::routes() {
    http_.set_payload_max_length(kMaxBodyBytes);
    http_.set_read_timeout(300);
    http_.set_write_timeout(300);

    auto both = [this](const std::string& pattern, httplib::Server::Handler h) {
        http_.Get(pattern, h);
        http_.Post(pattern, h);
    };
    both("/solr/admin/cores/?", [this](const httplib::Request& q, httplib::Response& r) { admin_.handle(q, r); });
    both("/solr/api/admin/cores/?", [this](const httplib::Request& q, httplib::Response& r) { admin_.handleList(q, r); });
    both("/solr/(?:update|LMUpdateHandler)/?",
         [this](const httplib::Request& q, httplib::Response& r) { update_.handle(q, r, ""); });
    both("/solr/(.+)/(?:update|LMUpdateHandler)/?", [this](const httplib::Request& q, httplib::Response& r) {
        const std::string core = q.matches[1];
        if (!CoreRegistry::validName(core)) {
            sendError(r, requestFormat(q), kBadRequest, "Invalid core name '" + core + "'");
            return;
        }
        update_.handle(q, r, core);
    });
    both("/solr/(.+)/select/?",
         [this](const httplib::Request& q, httplib::Response& r) { select_.handle(q, r, q.matches[1]); });

    // Anything else, a body over the limit, or a request the server could not read.
    http_.set_error_handler(httplib::Server::HandlerWithResponse([](const httplib::Request& q, httplib::Response& r) {
        if (!r.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        std::string msg;
        switch (r.status) {
        case 404: msg = "Not Found: " + q.path; break;
        case 413: msg = "request body larger than " + std::to_string(kMaxBodyBytes) + " bytes"; break;
        default: msg = "request refused with HTTP status " + std::to_string(r.status); break;
        }
        sendError(r, requestFormat(q), r.status, msg);
        return httplib::Server::HandlerResponse::Handled;
    }));
    http_.set_exception_handler([](const httplib::Request& q, httplib::Response& r, std::exception_ptr ep) {
        std::string msg = "internal error";
        try {
            if (ep) std::rethrow_exception(ep);
        } catch (const std::exception& e) {
            msg += std::string(": ") + e.what();
        } catch (...) {
        }
        EvLMDebug().Error("IndexServer::exception", "%s %s: %s", q.method.c_str(), q.path.c_str(), msg.c_str());
        sendError(r, requestFormat(q), 500, msg);
    });
}

bool IndexServer::bind(int port, std::string& error) {
    if (port == 0) {
        port_ = http_.bind_to_any_port(bindAddress_);
        if (port_ <= 0) {
            error = "cannot bind to " + bindAddress_;
            return false;
        }
    } else {
        if (!http_.bind_to_port(bindAddress_, port)) {
            error = "cannot bind to " + bindAddress_ + ":" + std::to_string(port);
            return false;
        }
        port_ = port;
    }
    select_.setPort(port_);
    return true;
}

bool IndexServer::run() { return http_.listen_after_bind(); }

void IndexServer::stop() { http_.stop(); }

}
