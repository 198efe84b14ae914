#pragma once
// /solr/admin/cores?action=STATUS|CREATE|UNLOAD and /solr/api/admin/cores (the list of core
// names as JSON: {"response": [...]}).
#include <httplib.h>

#include <chrono>

#include "CoreRegistry.h"
#include "HttpSupport.h"

namespace lmindexd {

class CoreAdminHandler {
public:
    explicit CoreAdminHandler(CoreRegistry& cores) : cores_(cores), started_(std::chrono::system_clock::now()) {}
    void handle(const httplib::Request& req, httplib::Response& res);
    void handleList(const httplib::Request& req, httplib::Response& res);

private:
    int status(const httplib::Request& req, RNode& reply, std::string& error);
    RNode coreStatus(IndexCore& core, std::string& error, int& rc);

    CoreRegistry& cores_;
    std::chrono::system_clock::time_point started_;
};

}
