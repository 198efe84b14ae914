#pragma once
#include <cstdint>
#include <string>

class KQManagementDB;

// Policy properties: text values by name per monitoring policy, each with its data type.
namespace LMMgmt {

// The policy's property; kNotFound with `error` set when the policy or the property is unknown.
int readPolicyProperty(KQManagementDB& db, uint64_t policyId, const std::string& name, std::string& value,
                       std::string& error);
// Sets (or replaces) one property of an existing policy.
int writePolicyProperty(KQManagementDB& db, uint64_t policyId, const std::string& name, const std::string& value,
                        int64_t dataType, std::string& error);
// kOk when the policy exists, else kNotFound or kDatabaseError with `error` set.
int checkPolicy(KQManagementDB& db, uint64_t policyId, std::string& error);

} // namespace LMMgmt
