#pragma once
// POST or GET /solr/<core>/update and /solr/<core>/LMUpdateHandler: an XML body and/or
// stream.body parameters, and the commit, softCommit and optimize switches. /solr/update without
// a core applies its deletes, commits and optimisations to every core.
#include <httplib.h>

#include "CoreRegistry.h"
#include "HttpSupport.h"
#include "UpdateRequest.h"

namespace lmindexd {

class UpdateHandler {
public:
    explicit UpdateHandler(CoreRegistry& cores) : cores_(cores) {}
    // `core` empty: every core.
    void handle(const httplib::Request& req, httplib::Response& res, const std::string& core);

private:
    bool collectCommands(const httplib::Request& req, std::vector<UpdateCommand>& out, std::string& error) const;
    int applyTo(IndexCore& core, std::vector<UpdateCommand>& commands, bool optimize, std::string& error);

    CoreRegistry& cores_;
};

}
