#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/messages/catalogue/NodeMessages.h"

class KQManagementDB;

namespace LMMgmt {

// The property that ties a policy to its cloud (the index engine group).
constexpr const char* kCloudIdProperty = "Cloud Id";

// One index engine node of a cloud: the engine's host and port, and the client whose host posts
// into it, with that client's mangled "host:port" (empty when the client is not in the clients
// table).
struct CloudNode {
    int64_t clientId = 0;
    int64_t freeSpace = 0;
    std::string hostName;
    std::string basePort;
    int64_t availability = 0;
    std::string networkHostName;
};

// The index engine nodes of a cloud, most free space first; kNotFound when the cloud does not
// exist.
int loadCloudNodes(KQManagementDB& db, int64_t cloudId, std::vector<CloudNode>& nodes, std::string& error);
// The same nodes as the reply of GetCloudClientInfoListReq.
int loadCloudNodes(KQManagementDB& db, int64_t cloudId, LogMonitoring::GetCloudClientInfoListResp& resp,
                   std::string& error);

} // namespace LMMgmt
