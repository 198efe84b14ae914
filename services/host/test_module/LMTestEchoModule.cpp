// A remote module for the host's tests. Its entries answer every frame with the same frame until
// the peer disconnects, the session breaks or the host aborts it. Frames are echoed as they came,
// so the module need not know the classes of the tests' messages.
#include <chrono>
#include <memory>
#include <thread>

#include <sys/stat.h>

#include <filesystem>

#include "platform/files/FileHelpers.h"
#include "platform/log/EvLMDebug.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/messages/catalogue/PolicyMessages.h"
#include "platform/mgmt/App_ExecuteSP.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {

void echoLoop(CKqNetwork* connection, int delayMs) {
    EvLMDebug log;
    for (;;) {
        bool aborted = false;
        std::string frame;
        CZuError e = connection->receiveFrame(frame, connection->maxFrameBytes(), 300, aborted);
        if (e.IsError()) {
            log.DebugLvl("LMTestEchoEntry", 1, "receive ended: %s", e.AsString().c_str());
            return;
        }
        std::unique_ptr<CNMessageBase> m = XMLDecoder::decode(frame);
        if (m && m->getTagID() == CKqNetwork::kDisconnectTag) {
            connection->ReplyDisconnect(120, aborted);
            return;
        }
        if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (connection->sendFrame(frame, -1, aborted).IsError()) return;
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) void LMTestEchoEntry(CKqNetwork* connection, void*) {
    echoLoop(connection, 0);
}

// Takes a second before each answer, so that a test can stop the host while a call runs.
extern "C" __attribute__((visibility("default"))) void LMTestSlowEchoEntry(CKqNetwork* connection, void*) {
    echoLoop(connection, 1000);
}

// Stands in for the engine's dispatcher on a processing request of uploaded files, so that the
// admin tool's tests can follow a whole upload: accepts it, then reports each file to the
// management database as the engine does (indexed with its size as the bytes indexed, or failed
// with result code 2 when its copy is gone), removes the file's staging folder and ends with the
// final report, state 0.
extern "C" __attribute__((visibility("default"))) void LMTestUploadEntry(CKqNetwork* connection, void*) {
    bool aborted = false;
    std::unique_ptr<CNMessageBase> m;
    if (connection->ReceiveXMLMessage(m, 30, aborted).IsError() || !m) return;
    const auto* req = m->as<LogMonitoring::MonitoringPolicyProcessingRequest>();
    LogMonitoring::MonitoringPolicyProcessingResponse resp;
    resp.set_errorCode(req && req->policies_size() == 1 && req->policies(0).monitoringPolicy() ? 0 : 1);
    if (connection->SendXMLMessage(resp, 0, 30, aborted).IsError() || resp.errorCode() != 0) return;
    std::unique_ptr<CNMessageBase> bye;
    if (!connection->ReceiveXMLMessage(bye, 30, aborted).IsError() && bye &&
        bye->getTagID() == CKqNetwork::kDisconnectTag)
        connection->ReplyDisconnect(30, aborted);

    const auto& props = req->policies(0);
    std::string staging;
    KQPlatformInfo().getUploadStagingDir(staging);
    auto report = [&](LogMonitoring::UpdateMonitoringPolicyProps& r) {
        r.mutable_monitoringPolicy().set_monitoringPolicyId(props.monitoringPolicy()->monitoringPolicyId());
        std::string text, answer;
        if (r.serialize(text) == 0) App_ExecuteSP().executeStoredProcedure(r.tagID(), text, answer, nullptr);
    };
    for (size_t i = 0; i < props.uploadedFiles_size(); ++i) {
        const auto& f = props.uploadedFiles(i);
        struct stat st {};
        bool there = ::stat(f.localPath().c_str(), &st) == 0;
        LogMonitoring::UpdateMonitoringPolicyProps r;
        auto& u = r.add_uploadedFiles();
        u.set_uploadRequestId(f.uploadRequestId());
        u.set_state(there ? 3 : 4);
        u.set_resultCode(there ? 0 : 2);
        u.set_bytesIndexed(there ? static_cast<int64_t>(st.st_size) : 0);
        report(r);
        std::filesystem::path folder = std::filesystem::path(f.localPath()).parent_path();
        if (!staging.empty() && folder.parent_path() == staging) FXFile::RemoveFolder(folder.string(), 0);
    }
    LogMonitoring::UpdateMonitoringPolicyProps last;
    last.mutable_progress().set_state(0);
    last.mutable_progress().set_lastIndexedId(1);
    report(last);
}
