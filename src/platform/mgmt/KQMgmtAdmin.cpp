#include "platform/mgmt/KQMgmtAdmin.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/messages/XMLDecoder.h"
#include "platform/messages/catalogue/TemplateMessages.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"
#include "platform/mgmt/handlers/CloudNodes.h"
#include "platform/mgmt/handlers/PolicyProperties.h"
#include "platform/network/CKqNetwork.h"

using namespace LMMgmt;

int KQMgmtAdmin::failWith(const char* what, std::string& error) {
    bool exists = sqlite3_extended_errcode(db_.handle()) == SQLITE_CONSTRAINT_UNIQUE ||
                  sqlite3_extended_errcode(db_.handle()) == SQLITE_CONSTRAINT_PRIMARYKEY;
    error = exists ? std::string(what) + " exists already" : std::string("cannot write ") + what + ": " + db_.lastError();
    return exists ? kBadRequest : kDatabaseError;
}

int KQMgmtAdmin::idOf(const char* table, const std::string& name, int64_t& id, std::string& error) {
    // Table names come from this file only; the name is bound.
    std::string sql = std::string("SELECT id FROM ") + table + " WHERE name = ?";
    KQSqlStatement q(db_.handle(), sql);
    q.bind(1, name);
    if (q.step()) {
        id = q.getInt(0);
        return kOk;
    }
    if (q.failed()) {
        error = std::string("cannot read ") + table + ": " + db_.lastError();
        return kDatabaseError;
    }
    std::string singular = table;
    singular = singular == "policies" ? "policy" : singular.substr(0, singular.size() - 1);
    error = "no " + singular + " named [" + name + "]";
    return kNotFound;
}

int KQMgmtAdmin::insertNamed(const char* what, const char* sql, int64_t requestedId, const std::string& name,
                             int64_t& id, std::string& error) {
    KQSqlStatement q(db_.handle(), sql);
    if (requestedId > 0) q.bind(1, requestedId);
    else q.bindNull(1);
    q.bind(2, name);
    if (!q.run()) return failWith(what, error);
    id = sqlite3_last_insert_rowid(db_.handle());
    return kOk;
}

int KQMgmtAdmin::addClient(const Client& c, int64_t& id, std::string& error) {
    if (c.name.empty() || c.hostName.empty() || c.port <= 0 || c.port > 65535) {
        error = "a client needs a name, a host name and a port from 1 to 65535";
        return kBadRequest;
    }
    KQSqlStatement q(db_.handle(), "INSERT INTO clients(id, name, short_name, host_name, kqd_port, network_host_name) "
                                   "VALUES(?, ?, ?, ?, ?, ?)");
    if (c.id > 0) q.bind(1, c.id);
    else q.bindNull(1);
    q.bind(2, c.name).bind(3, c.shortName.empty() ? c.name : c.shortName).bind(4, c.hostName);
    q.bind(5, static_cast<int64_t>(c.port)).bind(6, CKqNetwork::MangleHostName(c.hostName, c.port));
    if (!q.run()) return failWith(("client " + c.name).c_str(), error);
    id = sqlite3_last_insert_rowid(db_.handle());
    return kOk;
}

int KQMgmtAdmin::addCloud(const std::string& name, int64_t requestedId, int64_t& id, std::string& error) {
    if (name.empty()) {
        error = "a cloud needs a name";
        return kBadRequest;
    }
    return insertNamed(("cloud " + name).c_str(), "INSERT INTO clouds(id, name) VALUES(?, ?)", requestedId, name, id,
                       error);
}

int KQMgmtAdmin::addNode(const std::string& cloud, const std::string& client, const std::string& host, int basePort,
                         int64_t freeSpace, std::string& error) {
    if (host.empty() || basePort <= 0 || basePort > 65535) {
        error = "a node needs a host name and a port from 1 to 65535";
        return kBadRequest;
    }
    int64_t cloudId = 0, clientId = 0;
    if (int r = idOf("clouds", cloud, cloudId, error); r != kOk) return r;
    if (int r = idOf("clients", client, clientId, error); r != kOk) return r;
    KQSqlStatement q(db_.handle(), "INSERT INTO cloud_nodes(cloud_id, client_id, host_name, base_port, free_space) "
                                   "VALUES(?, ?, ?, ?, ?)");
    q.bind(1, cloudId).bind(2, clientId).bind(3, host).bind(4, std::to_string(basePort)).bind(5, freeSpace);
    if (!q.run()) return failWith(("node of client " + client + " in cloud " + cloud).c_str(), error);
    return kOk;
}

int KQMgmtAdmin::addTemplate(const std::string& name, int64_t type, const std::string& xml, int64_t requestedId,
                             int64_t& id, std::string& error) {
    std::unique_ptr<CNMessageBase> t = XMLDecoder::decode(xml);
    if (!t || !t->as<LogMonitoring::TemplateXML>()) {
        error = "the template text is not a template definition (" +
                LogMonitoring::TemplateXML::messageClass().rootName() + ")";
        return kBadRequest;
    }
    if (name.empty()) {
        error = "a template needs a name";
        return kBadRequest;
    }
    // Template id 1 is the suite's own log format, whose documents begin with a ten-line header:
    // an id is only ever 1 when asked for.
    KQSqlStatement q(db_.handle(), "INSERT INTO templates(id, name, type, xml) VALUES("
                                   "COALESCE(?1, (SELECT MAX(2, COALESCE(MAX(id), 0) + 1) FROM templates)), ?2, ?3, ?4)");
    if (requestedId > 0) q.bind(1, requestedId);
    else q.bindNull(1);
    q.bind(2, name).bind(3, type).bind(4, xml);
    if (!q.run()) return failWith(("template " + name).c_str(), error);
    id = sqlite3_last_insert_rowid(db_.handle());
    return kOk;
}

int KQMgmtAdmin::addPolicy(const Policy& p, int64_t& id, std::string& error) {
    if (p.name.empty() || p.templates.empty()) {
        error = "a policy needs a name and at least one template";
        return kBadRequest;
    }
    if (!db_.begin()) return failWith("policy", error);
    auto abort = [&](int r) {
        db_.rollback();
        return r;
    };
    if (int r = insertNamed(("policy " + p.name).c_str(), "INSERT INTO policies(id, name) VALUES(?, ?)", p.id, p.name,
                            id, error);
        r != kOk)
        return abort(r);
    KQSqlStatement type(db_.handle(), "UPDATE policies SET type = ? WHERE id = ?");
    type.bind(1, p.type).bind(2, id);
    if (!type.run()) return abort(failWith("policy", error));
    for (size_t i = 0; i < p.templates.size(); ++i) {
        int64_t templateId = 0;
        if (int r = idOf("templates", p.templates[i], templateId, error); r != kOk) return abort(r);
        KQSqlStatement q(db_.handle(), "INSERT INTO policy_templates(policy_id, position, template_id) VALUES(?, ?, ?)");
        q.bind(1, id).bind(2, static_cast<int64_t>(i)).bind(3, templateId);
        if (!q.run()) return abort(failWith("policy template", error));
    }
    auto properties = p.properties;
    if (!p.cloud.empty()) {
        int64_t cloudId = 0;
        if (int r = idOf("clouds", p.cloud, cloudId, error); r != kOk) return abort(r);
        properties.insert(properties.begin(), {kCloudIdProperty, std::to_string(cloudId)});
    }
    for (const auto& [name, value] : properties) {
        if (int r = writePolicyProperty(db_, static_cast<uint64_t>(id), name, value, 0, error); r != kOk)
            return abort(r);
    }
    if (!db_.commit()) return abort(failWith("policy", error));
    return kOk;
}

int KQMgmtAdmin::setPolicyProperty(const std::string& policy, const std::string& name, const std::string& value,
                                   int64_t dataType, std::string& error) {
    int64_t id = 0;
    if (int r = idOf("policies", policy, id, error); r != kOk) return r;
    return writePolicyProperty(db_, static_cast<uint64_t>(id), name, value, dataType, error);
}

int KQMgmtAdmin::setNodeProperty(const std::string& client, const std::string& name, const std::string& value,
                                 std::string& error) {
    if (name.empty()) {
        error = "a node property needs a name";
        return kBadRequest;
    }
    int64_t id = 0;
    if (int r = idOf("clients", client, id, error); r != kOk) return r;
    KQSqlStatement q(db_.handle(), "INSERT INTO node_properties(client_id, name, value) VALUES(?, ?, ?) "
                                   "ON CONFLICT(client_id, name) DO UPDATE SET value = excluded.value");
    q.bind(1, id).bind(2, name).bind(3, value);
    if (!q.run()) return failWith(("property " + name + " of client " + client).c_str(), error);
    return kOk;
}

int KQMgmtAdmin::show(std::string& out, std::string& error) {
    sqlite3* h = db_.handle();
    out.clear();
    auto section = [&](const char* title, const char* sql, auto row) -> bool {
        out += title;
        out += "\n";
        KQSqlStatement q(h, sql);
        size_t n = 0;
        while (q.step()) {
            row(q);
            ++n;
        }
        if (n == 0) out += "  (none)\n";
        if (q.failed()) error = std::string("cannot read ") + title + ": " + db_.lastError();
        return !q.failed();
    };
    bool ok = section("clients", "SELECT id, name, short_name, network_host_name FROM clients ORDER BY id",
                      [&](KQSqlStatement& q) {
                          out += "  " + std::to_string(q.getInt(0)) + " " + q.getText(1) + " (short " + q.getText(2) +
                                 ") at " + q.getText(3) + "\n";
                      }) &&
              section("clouds",
                      "SELECT c.id, c.name, n.client_id, cl.name, n.host_name, n.base_port, n.free_space, "
                      "n.availability FROM clouds c LEFT JOIN cloud_nodes n ON n.cloud_id = c.id "
                      "LEFT JOIN clients cl ON cl.id = n.client_id ORDER BY c.id, n.client_id",
                      [&](KQSqlStatement& q) {
                          out += "  " + std::to_string(q.getInt(0)) + " " + q.getText(1);
                          if (!q.isNull(2))
                              out += ": node client " + std::to_string(q.getInt(2)) + " " + q.getText(3) + " engine " +
                                     q.getText(4) + ":" + q.getText(5) + " free " + std::to_string(q.getInt(6)) +
                                     (q.getInt(7) ? "" : " unavailable");
                          out += "\n";
                      }) &&
              section("templates", "SELECT id, name, type, length(xml) FROM templates ORDER BY id",
                      [&](KQSqlStatement& q) {
                          out += "  " + std::to_string(q.getInt(0)) + " " + q.getText(1) + " type " +
                                 std::to_string(q.getInt(2)) + " (" + std::to_string(q.getInt(3)) + " bytes)\n";
                      }) &&
              section("policies",
                      "SELECT p.id, p.name, p.type, "
                      "(SELECT group_concat(t.name, ',') FROM (SELECT t.name FROM policy_templates pt JOIN templates t "
                      "ON t.id = pt.template_id WHERE pt.policy_id = p.id ORDER BY pt.position) t), "
                      "p.state, p.last_indexed_id, p.indexed_size, p.last_progress_at, p.indexed_bytes_total, "
                      "p.last_size_report_at FROM policies p ORDER BY p.id",
                      [&](KQSqlStatement& q) {
                          out += "  " + std::to_string(q.getInt(0)) + " " + q.getText(1) + " type " +
                                 std::to_string(q.getInt(2)) + " templates " + q.getText(3) + "\n";
                          out += "    progress: ";
                          out += q.isNull(7) ? std::string("never reported")
                                             : "state " + std::to_string(q.getInt(4)) + " last indexed id " +
                                                   std::to_string(q.getInt(5)) + " indexed size " +
                                                   std::to_string(q.getInt(6)) + " at " + q.getText(7);
                          out += "\n    indexed bytes: " + std::to_string(q.getInt(8));
                          if (!q.isNull(9)) out += " (last report " + q.getText(9) + ")";
                          out += "\n";
                      }) &&
              section("policy properties",
                      "SELECT p.name, pp.name, pp.value FROM policy_properties pp JOIN policies p "
                      "ON p.id = pp.policy_id ORDER BY p.id, pp.name",
                      [&](KQSqlStatement& q) {
                          out += "  " + q.getText(0) + ": " + q.getText(1) + " = " + q.getText(2) + "\n";
                      }) &&
              section("file states",
                      "SELECT p.name, f.request_id, f.local_path, f.state, f.result_code, f.bytes_indexed, "
                      "f.updated_at FROM policy_files f JOIN policies p ON p.id = f.policy_id "
                      "ORDER BY p.id, f.request_id",
                      [&](KQSqlStatement& q) {
                          out += "  " + q.getText(0) + ": " + q.getText(1) + " " + q.getText(2) + " state " +
                                 std::to_string(q.getInt(3)) + " result " + std::to_string(q.getInt(4)) + " bytes " +
                                 std::to_string(q.getInt(5)) + " at " + q.getText(6) + "\n";
                      }) &&
              section("events (latest 20)",
                      "SELECT raised_at, severity, event_id, client, text FROM events ORDER BY id DESC LIMIT 20",
                      [&](KQSqlStatement& q) {
                          static const char* kSeverity[] = {"information", "warning", "critical"};
                          int64_t sev = q.getInt(1);
                          char id[16];
                          std::snprintf(id, sizeof id, "0x%08llX", static_cast<unsigned long long>(q.getInt(2)));
                          out += "  " + q.getText(0) + " " + (sev >= 0 && sev <= 2 ? kSeverity[sev] : "?") + " " + id +
                                 " " + q.getText(3) + ": " + q.getText(4) + "\n";
                      }) &&
              section("alerts (latest 20)",
                      "SELECT sent_at, category, type, client, description FROM alerts ORDER BY id DESC LIMIT 20",
                      [&](KQSqlStatement& q) {
                          std::string d = q.getText(4);
                          if (d.size() > 200) d = d.substr(0, 200) + "...";
                          out += "  " + q.getText(0) + " " + std::to_string(q.getInt(1)) + "/" +
                                 std::to_string(q.getInt(2)) + " " + q.getText(3) + ": " + d + "\n";
                      });
    return ok ? kOk : kDatabaseError;
}

namespace {

// A whole decimal number, nothing around it.
bool wholeNumber(const std::string& text, int64_t& v) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long n = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || !end || *end != '\0') return false;
    v = n;
    return true;
}

} // namespace

int KQMgmtAdmin::findPolicy(const std::string& nameOrId, PolicyRef& policy, std::string& error) {
    int r = idOf("policies", nameOrId, policy.id, error);
    if (r == kOk) {
        policy.name = nameOrId;
        return kOk;
    }
    int64_t id = 0;
    if (r != kNotFound || !wholeNumber(nameOrId, id)) return r;
    KQSqlStatement q(db_.handle(), "SELECT id, name FROM policies WHERE id = ?");
    q.bind(1, id);
    if (q.step()) {
        policy.id = q.getInt(0);
        policy.name = q.getText(1);
        return kOk;
    }
    if (q.failed()) {
        error = "cannot read policies: " + db_.lastError();
        return kDatabaseError;
    }
    error = "no policy named [" + nameOrId + "] and none with that id";
    return kNotFound;
}

int KQMgmtAdmin::policyCloud(const PolicyRef& policy, int64_t& cloudId, std::string& error) {
    std::string cloud;
    int r = readPolicyProperty(db_, static_cast<uint64_t>(policy.id), kCloudIdProperty, cloud, error);
    if (r == kNotFound || (r == kOk && cloud.empty())) {
        error = "policy " + policy.name + " has no cloud (its \"" + kCloudIdProperty + "\" property is not set)";
        return kBadRequest;
    }
    if (r != kOk) return r;
    if (!wholeNumber(cloud, cloudId)) {
        error = "policy " + policy.name + " has a \"" + kCloudIdProperty + "\" that is not a number: [" + cloud + "]";
        return kBadRequest;
    }
    return kOk;
}

int KQMgmtAdmin::buildProcessingRequest(const std::string& policy, const std::vector<UploadFile>& files,
                                        int64_t clientId, const std::string& clientName,
                                        LogMonitoring::MonitoringPolicyProcessingRequest& request,
                                        std::string& error) {
    PolicyRef ref;
    if (int r = findPolicy(policy, ref, error); r != kOk) return r;
    request = LogMonitoring::MonitoringPolicyProcessingRequest();
    auto& client = request.mutable_client();
    client.set_clientId(clientId);
    client.set_clientName(clientName);
    auto& props = request.add_policies();
    auto& mp = props.mutable_monitoringPolicy();
    mp.set_monitoringPolicyId(ref.id);
    mp.set_policyName(ref.name);
    mp.set_monitoringTypes({4}); // uploaded files

    KQSqlStatement t(db_.handle(), "SELECT t.id, t.name, t.xml, t.type FROM policy_templates pt "
                                   "JOIN templates t ON t.id = pt.template_id WHERE pt.policy_id = ? "
                                   "ORDER BY pt.position LIMIT 1");
    t.bind(1, ref.id);
    if (!t.step()) {
        if (t.failed()) {
            error = "cannot read the templates of policy " + ref.name + ": " + db_.lastError();
            return kDatabaseError;
        }
        error = "policy " + ref.name + " has no template";
        return kBadRequest;
    }
    auto& tpl = mp.add_templates();
    tpl.mutable_templateEntity().set_templateId(t.getInt(0));
    tpl.mutable_templateEntity().set_templateName(t.getText(1));
    tpl.set_templateXml(t.getText(2));
    tpl.set_templateType(t.getInt(3));

    std::string factor;
    int r = readPolicyProperty(db_, static_cast<uint64_t>(ref.id), "Factor", factor, error);
    if (r == kDatabaseError) return r;
    if (r == kOk) {
        int64_t f = 0;
        if (!wholeNumber(factor, f)) {
            error = "policy " + ref.name + " has a \"Factor\" that is not a number: [" + factor + "]";
            return kBadRequest;
        }
        mp.set_factor(f);
    }
    error.clear();

    int64_t cloudId = 0;
    if (r = policyCloud(ref, cloudId, error); r != kOk) return r;
    std::vector<CloudNode> nodes;
    if (r = loadCloudNodes(db_, cloudId, nodes, error); r != kOk) return r == kNotFound ? kBadRequest : r;
    if (nodes.empty()) {
        error = "cloud " + std::to_string(cloudId) + " of policy " + ref.name + " has no index engine node";
        return kBadRequest;
    }
    auto& dest = props.mutable_indexDestination();
    dest.set_cloudId(cloudId);
    for (const CloudNode& node : nodes) {
        auto& n = dest.add_nodes();
        n.set_clientId(node.clientId);
        n.set_freeSpace(node.freeSpace);
        n.set_hostName(node.hostName);
        n.set_basePort(node.basePort);
        n.set_availability(node.availability);
        n.set_networkHostName(node.networkHostName);
    }

    KQSqlStatement p(db_.handle(), "SELECT last_indexed_id FROM policies WHERE id = ?");
    p.bind(1, ref.id);
    if (!p.step()) {
        error = "cannot read policy " + ref.name + ": " + db_.lastError();
        return kDatabaseError;
    }
    props.mutable_progress().set_lastIndexedId(p.isNull(0) ? 0 : p.getInt(0));

    for (const UploadFile& f : files) {
        auto& u = props.add_uploadedFiles();
        u.set_uploadRequestId(f.requestId);
        u.set_localPath(f.localPath);
        u.mutable_uploadUser().set_userId(0);
        if (!f.tags.empty()) u.set_uploadTags(f.tags);
    }
    return kOk;
}

int KQMgmtAdmin::startUpload(int64_t policyId, const std::vector<UploadFile>& files, UploadStart& started,
                             std::string& error) {
    if (!db_.begin()) return failWith("upload", error);
    auto abort = [&](int r) {
        db_.rollback();
        return r;
    };
    KQSqlStatement p(db_.handle(), "SELECT state FROM policies WHERE id = ?");
    p.bind(1, policyId);
    if (!p.step()) {
        if (p.failed()) return abort(failWith("upload", error));
        error = "monitoring policy " + std::to_string(policyId) + " does not exist";
        return abort(kNotFound);
    }
    started.policyId = policyId;
    started.hadState = !p.isNull(0);
    started.previousState = p.getInt(0);
    for (const UploadFile& f : files) {
        if (f.requestId.empty()) {
            error = "an uploaded file needs an upload request id";
            return abort(kBadRequest);
        }
        KQSqlStatement q(db_.handle(),
                         "INSERT INTO policy_files(policy_id, request_id, local_path, state, result_code, "
                         "bytes_indexed, updated_at) VALUES(?, ?, ?, 2, 0, 0, strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))");
        q.bind(1, policyId).bind(2, f.requestId).bind(3, f.localPath);
        if (!q.run()) return abort(failWith(("upload request " + f.requestId).c_str(), error));
    }
    KQSqlStatement s(db_.handle(), "UPDATE policies SET state = 2 WHERE id = ?");
    s.bind(1, policyId);
    if (!s.run()) return abort(failWith("policy state", error));
    if (!db_.commit()) return abort(failWith("upload", error));
    return kOk;
}

int KQMgmtAdmin::cancelUpload(const UploadStart& started, const std::vector<UploadFile>& files,
                              std::string& error) {
    if (!db_.begin()) return failWith("upload", error);
    auto abort = [&](int r) {
        db_.rollback();
        return r;
    };
    for (const UploadFile& f : files) {
        KQSqlStatement q(db_.handle(), "DELETE FROM policy_files WHERE policy_id = ? AND request_id = ?");
        q.bind(1, started.policyId).bind(2, f.requestId);
        if (!q.run()) return abort(failWith("upload request", error));
    }
    KQSqlStatement s(db_.handle(), "UPDATE policies SET state = ? WHERE id = ? AND state = 2");
    if (started.hadState) s.bind(1, started.previousState);
    else s.bindNull(1);
    s.bind(2, started.policyId);
    if (!s.run()) return abort(failWith("policy state", error));
    if (!db_.commit()) return abort(failWith("upload", error));
    return kOk;
}

int KQMgmtAdmin::uploadStatus(int64_t policyId, const std::vector<std::string>& requestIds, UploadStatus& status,
                              std::string& error) {
    KQSqlStatement p(db_.handle(), "SELECT state FROM policies WHERE id = ?");
    p.bind(1, policyId);
    if (!p.step()) {
        error = p.failed() ? "cannot read policies: " + db_.lastError()
                           : "monitoring policy " + std::to_string(policyId) + " does not exist";
        return p.failed() ? kDatabaseError : kNotFound;
    }
    status.hasState = !p.isNull(0);
    status.policyState = p.getInt(0);
    status.files.clear();
    KQSqlStatement q(db_.handle(), "SELECT local_path, state, result_code, bytes_indexed, updated_at FROM policy_files "
                                   "WHERE policy_id = ? AND request_id = ?");
    for (const std::string& id : requestIds) {
        q.reset();
        q.bind(1, policyId).bind(2, id);
        FileStatus f;
        f.requestId = id;
        if (q.step()) {
            f.found = true;
            f.localPath = q.getText(0);
            f.state = q.getInt(1);
            f.resultCode = q.getInt(2);
            f.bytesIndexed = q.getInt(3);
            f.updatedAt = q.getText(4);
        }
        if (q.failed()) {
            error = "cannot read policy_files: " + db_.lastError();
            return kDatabaseError;
        }
        status.files.push_back(std::move(f));
    }
    return kOk;
}

int KQMgmtAdmin::policyIndexEngine(const std::string& policy, PolicyRef& ref, IndexEngine& engine,
                                   std::string& error) {
    if (int r = findPolicy(policy, ref, error); r != kOk) return r;
    int64_t cloudId = 0;
    if (int r = policyCloud(ref, cloudId, error); r != kOk) return r;
    std::vector<CloudNode> nodes;
    if (int r = loadCloudNodes(db_, cloudId, nodes, error); r != kOk) return r == kNotFound ? kBadRequest : r;
    if (nodes.empty()) {
        error = "cloud " + std::to_string(cloudId) + " of policy " + ref.name + " has no index engine node";
        return kBadRequest;
    }
    int64_t port = 0;
    if (!wholeNumber(nodes[0].basePort, port) || port <= 0 || port > 65535) {
        error = "the index engine node of policy " + ref.name + " has no valid port: [" + nodes[0].basePort + "]";
        return kBadRequest;
    }
    engine.host = nodes[0].hostName;
    engine.port = static_cast<int>(port);
    return kOk;
}
