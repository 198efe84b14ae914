#pragma once
#include <cstdint>
#include <string>

#include "platform/messages/catalogue/NodeMessages.h"

class KQManagementDB;

namespace LMMgmt {

// The property that ties a policy to its cloud (the index engine group).
constexpr const char* kCloudIdProperty = "Cloud Id";

// Fills `resp` with the index engine nodes of a cloud, most free space first; kNotFound when the
// cloud does not exist.
int loadCloudNodes(KQManagementDB& db, int64_t cloudId, LogMonitoring::GetCloudClientInfoListResp& resp,
                   std::string& error);

} // namespace LMMgmt
