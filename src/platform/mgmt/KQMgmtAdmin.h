#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/messages/catalogue/PolicyMessages.h"

class KQManagementDB;

// The administrator's edits of the management database: clients, clouds and their index engine
// nodes, templates and policies. Used by lmctl and by tests that need a populated server.
// Every operation returns 0 on success, else an LMMgmt result code with `error` set; writes that
// touch more than one row are all or nothing.
class KQMgmtAdmin {
public:
    struct Client {
        int64_t id = 0; // 0: the next free id
        std::string name, shortName, hostName;
        int port = 0; // the client's remote-module port
    };
    struct Policy {
        int64_t id = 0; // 0: the next free id
        std::string name;
        int64_t type = 0;                    // the policy's monitoring type
        std::vector<std::string> templates;  // names, primary first
        std::string cloud;                   // name; empty: none
        std::vector<std::pair<std::string, std::string>> properties;
    };

    // A policy as a command names it.
    struct PolicyRef {
        int64_t id = 0;
        std::string name;
    };
    // One file of an upload: its own upload request, whose id is also the name of the staging
    // folder that holds the file's copy (the engine removes that folder once it has indexed the
    // file, so no two files share one).
    struct UploadFile {
        std::string requestId;
        std::string localPath; // absolute path of the staged copy
        std::string tags;      // empty: none
    };
    // What startUpload changed, so that cancelUpload can put it back.
    struct UploadStart {
        int64_t policyId = 0;
        bool hadState = false; // false: the policy's state was NULL (never indexed)
        int64_t previousState = 0;
    };
    struct FileStatus {
        std::string requestId, localPath, updatedAt;
        bool found = false; // false: the row is gone
        int64_t state = 0, resultCode = 0, bytesIndexed = 0;
    };
    struct UploadStatus {
        bool hasState = false;
        int64_t policyState = 0;
        std::vector<FileStatus> files; // in the order asked for
    };
    // The index engine a policy's documents go to: the first node of its cloud.
    struct IndexEngine {
        std::string host;
        int port = 0;
    };

    explicit KQMgmtAdmin(KQManagementDB& db) : db_(db) {}

    // A policy by name or, when no policy has that name and the text is a number, by id.
    int findPolicy(const std::string& nameOrId, PolicyRef& policy, std::string& error);
    // The request that asks the client `clientId` (its lm-host) to index `files` for the policy:
    // monitoring type 4 (uploaded files), the policy's first template, its "Factor" property when
    // set, the nodes of the cloud of its "Cloud Id" property and the last indexed id. A policy
    // without a template, without a cloud or whose cloud has no node is refused (kBadRequest):
    // the engine could not index for it.
    int buildProcessingRequest(const std::string& policy, const std::vector<UploadFile>& files, int64_t clientId,
                               const std::string& clientName,
                               LogMonitoring::MonitoringPolicyProcessingRequest& request, std::string& error);
    // Before the request is sent: enters each file in policy_files (state 2, in progress) and sets
    // the policy's state to 2, in one transaction. A request id already known is refused.
    int startUpload(int64_t policyId, const std::vector<UploadFile>& files, UploadStart& started,
                    std::string& error);
    // Undoes startUpload when the request did not go through: removes the files' rows and puts the
    // policy's state back, unless something else has changed it from 2 in the meantime.
    int cancelUpload(const UploadStart& started, const std::vector<UploadFile>& files, std::string& error);
    // The policy's state and the rows of the given upload requests.
    int uploadStatus(int64_t policyId, const std::vector<std::string>& requestIds, UploadStatus& status,
                     std::string& error);
    // The index engine of a policy; kBadRequest when it has no cloud or its cloud no node.
    int policyIndexEngine(const std::string& policy, PolicyRef& ref, IndexEngine& engine, std::string& error);

    int addClient(const Client& c, int64_t& id, std::string& error);
    int addCloud(const std::string& name, int64_t requestedId, int64_t& id, std::string& error);
    int addNode(const std::string& cloud, const std::string& client, const std::string& host, int basePort,
                int64_t freeSpace, std::string& error);
    // The XML must be a template definition (a TemplateXML message).
    int addTemplate(const std::string& name, int64_t type, const std::string& xml, int64_t requestedId, int64_t& id,
                    std::string& error);
    int addPolicy(const Policy& p, int64_t& id, std::string& error);
    int setPolicyProperty(const std::string& policy, const std::string& name, const std::string& value,
                          int64_t dataType, std::string& error);
    // Sets (or replaces) a named property of a client's machine, such as "analyticsPort".
    int setNodeProperty(const std::string& client, const std::string& name, const std::string& value,
                        std::string& error);
    // A readable listing of clients, clouds, templates and policies with their last reports.
    int show(std::string& out, std::string& error);

private:
    int idOf(const char* table, const std::string& name, int64_t& id, std::string& error);
    int insertNamed(const char* what, const char* sql, int64_t requestedId, const std::string& name, int64_t& id,
                    std::string& error);
    int failWith(const char* what, std::string& error);
    int policyCloud(const PolicyRef& policy, int64_t& cloudId, std::string& error);

    KQManagementDB& db_;
};
