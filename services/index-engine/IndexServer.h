#pragma once
// The HTTP front of the index engine: routes /solr/... to the handlers, answers unknown paths,
// bodies over the limit and handler failures with an error reply, and stops on request after the
// requests in flight have been answered.
#include <httplib.h>

#include <memory>
#include <string>

#include "CoreAdminHandler.h"
#include "CoreRegistry.h"
#include "SelectHandler.h"
#include "UpdateHandler.h"

namespace lmindexd {

class IndexServer {
public:
    IndexServer(CoreRegistry& cores, std::string bindAddress);
    // Binds; port 0 picks a free one. False with a reason.
    bool bind(int port, std::string& error);
    int port() const { return port_; }
    const std::string& bindAddress() const { return bindAddress_; }
    // Serves until stop(); returns once every request in flight is answered.
    bool run();
    void stop();

private:
    void routes();

    CoreRegistry& cores_;
    std::string bindAddress_;
    int port_ = 0;
    httplib::Server http_;
    UpdateHandler update_;
    SelectHandler select_;
    CoreAdminHandler admin_;
};

}
