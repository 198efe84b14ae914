#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

    explicit KQMgmtAdmin(KQManagementDB& db) : db_(db) {}

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

    KQManagementDB& db_;
};
