// What the engine reports while and after it indexes a policy: indexed bytes, and the progress
// of a run with the state of each uploaded file.
#include <cstdlib>

#include "platform/messages/catalogue/PolicyMessages.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LMMgmtHandlerTable.h"
#include "platform/mgmt/handlers/CloudNodes.h"
#include "platform/mgmt/handlers/PolicyProperties.h"

namespace LMMgmt {
namespace {

int dbError(KQManagementDB& db, std::string& error, const char* what) {
    error = std::string(what) + ": " + db.lastError();
    db.rollback();
    return kDatabaseError;
}

// LMSetIterationSize: adds the bytes a client indexed to the policy's total.
int setIterationSize(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error) {
    const auto& rep = *input.as<LogMonitoring::LMSetIterationSize>();
    if (!rep.has_monitoringPolicyId() || !rep.has_bytesIndexed() || rep.bytesIndexed() < 0) {
        error = "the report needs a policy id and a byte count of at least 0";
        return kBadRequest;
    }
    const int64_t policyId = rep.monitoringPolicyId();
    const int64_t clientId = rep.client() ? rep.client()->clientId() : 0;
    if (!db.begin()) return dbError(db, error, "cannot start a transaction");
    if (int r = checkPolicy(db, static_cast<uint64_t>(policyId), error); r != kOk) {
        db.rollback();
        return r;
    }
    KQSqlStatement ins(db.handle(), "INSERT INTO indexed_size_reports(policy_id, client_id, bytes, reported_at) "
                                    "VALUES(?, ?, ?, strftime('%Y-%m-%dT%H:%M:%SZ', 'now'))");
    ins.bind(1, policyId).bind(2, clientId).bind(3, rep.bytesIndexed());
    KQSqlStatement upd(db.handle(), "UPDATE policies SET indexed_bytes_total = indexed_bytes_total + ?, "
                                    "last_size_report_at = strftime('%Y-%m-%dT%H:%M:%SZ', 'now') WHERE id = ?");
    upd.bind(1, rep.bytesIndexed()).bind(2, policyId);
    if (!ins.run() || !upd.run()) return dbError(db, error, "cannot store the report");
    if (!db.commit()) return dbError(db, error, "cannot commit");
    answer.clear();
    return kOk;
}

bool storeFile(KQManagementDB& db, int64_t policyId, const LogMonitoring::LogMonitoringODPFileUploadInfo& f) {
    KQSqlStatement q(db.handle(),
                     "INSERT INTO policy_files(policy_id, request_id, local_path, state, result_code, bytes_indexed, "
                     "updated_at) VALUES(?1, ?2, ?3, ?4, ?5, ?6, strftime('%Y-%m-%dT%H:%M:%SZ', 'now')) "
                     "ON CONFLICT(policy_id, request_id) DO UPDATE SET "
                     "local_path = CASE WHEN ?3 = '' THEN local_path ELSE ?3 END, "
                     "state = CASE WHEN ?7 THEN ?4 ELSE state END, "
                     "result_code = CASE WHEN ?8 THEN ?5 ELSE result_code END, "
                     "bytes_indexed = bytes_indexed + ?6, updated_at = excluded.updated_at");
    q.bind(1, policyId).bind(2, f.uploadRequestId()).bind(3, f.localPath()).bind(4, f.state());
    q.bind(5, f.resultCode()).bind(6, f.bytesIndexed());
    q.bind(7, static_cast<int64_t>(f.has_state())).bind(8, static_cast<int64_t>(f.has_resultCode()));
    return q.run();
}

// UpdateMonitoringPolicyProps: stores the run's progress and the state of its files, and answers
// with the index engine nodes of the policy's cloud (a reply without a node list when the policy
// has no cloud).
int updatePolicyProgress(KQManagementDB& db, const CNMessageBase& input, std::string& answer, std::string& error) {
    const auto& rep = *input.as<LogMonitoring::UpdateMonitoringPolicyProps>();
    if (!rep.monitoringPolicy() || !rep.monitoringPolicy()->has_monitoringPolicyId()) {
        error = "the report names no monitoring policy";
        return kBadRequest;
    }
    const int64_t policyId = rep.monitoringPolicy()->monitoringPolicyId();
    for (size_t i = 0; i < rep.uploadedFiles_size(); ++i) {
        if (rep.uploadedFiles(i).uploadRequestId().empty()) {
            error = "uploaded file " + std::to_string(i) + " has no upload request id";
            return kBadRequest;
        }
    }
    if (!db.begin()) return dbError(db, error, "cannot start a transaction");
    if (int r = checkPolicy(db, static_cast<uint64_t>(policyId), error); r != kOk) {
        db.rollback();
        return r;
    }
    if (const auto* p = rep.progress()) {
        KQSqlStatement q(db.handle(), "UPDATE policies SET "
                                      "state = CASE WHEN ?2 THEN ?3 ELSE state END, "
                                      "last_indexed_id = CASE WHEN ?4 THEN ?5 ELSE last_indexed_id END, "
                                      "indexed_size = CASE WHEN ?6 THEN ?7 ELSE indexed_size END, "
                                      "last_progress_at = strftime('%Y-%m-%dT%H:%M:%SZ', 'now') WHERE id = ?1");
        q.bind(1, policyId);
        q.bind(2, static_cast<int64_t>(p->has_state())).bind(3, p->state());
        q.bind(4, static_cast<int64_t>(p->has_lastIndexedId())).bind(5, p->lastIndexedId());
        q.bind(6, static_cast<int64_t>(p->has_indexedSize())).bind(7, p->indexedSize());
        if (!q.run()) return dbError(db, error, "cannot store the progress");
    }
    for (size_t i = 0; i < rep.uploadedFiles_size(); ++i)
        if (!storeFile(db, policyId, rep.uploadedFiles(i))) return dbError(db, error, "cannot store a file state");

    LogMonitoring::GetCloudClientInfoListResp nodes;
    std::string cloud;
    std::string ignored;
    if (readPolicyProperty(db, static_cast<uint64_t>(policyId), kCloudIdProperty, cloud, ignored) == kOk &&
        !cloud.empty()) {
        int r = loadCloudNodes(db, std::strtoll(cloud.c_str(), nullptr, 10), nodes, error);
        if (r == kDatabaseError) return dbError(db, error, "cannot read the cloud");
        if (r != kOk) nodes = LogMonitoring::GetCloudClientInfoListResp(); // a stale cloud id: no nodes
    }
    if (!db.commit()) return dbError(db, error, "cannot commit");
    return nodes.serialize(answer) == 0 ? kOk : kSerializeFailed;
}

const HandlerRegistrar kIterationSize(kRequest, LogMonitoring::LMSetIterationSize::tagID(), "LMSetIterationSize",
                                      &setIterationSize);
const HandlerRegistrar kProgress(kProcedure, LogMonitoring::UpdateMonitoringPolicyProps::tagID(),
                                 "UpdateMonitoringPolicyProps", &updatePolicyProgress);

} // namespace
} // namespace LMMgmt
