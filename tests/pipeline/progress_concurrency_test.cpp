// The progress thread of an indexing session: the report interval from the global parameter,
// stopping during a wait, what each kind of run reports, and byte counts per report.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "PipelineTestSupport.h"
#include "pipeline/LogMonitoringContentIndexing.h"
#include "platform/log/EvLMDebug.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"

using namespace LogMonitoring;
using namespace pipelinetest;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> reports(const EvLogCapture& log) {
    std::vector<std::string> out;
    for (const EvLogLine& l : log.lines())
        if (l.text.find("Updating DB for processing files [") != std::string::npos) out.push_back(l.text);
    return out;
}

bool waitForReports(const EvLogCapture& log, size_t n) {
    auto deadline = std::chrono::steady_clock::now() + 20s;
    while (reports(log).size() < n) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

int64_t storedBytes(const std::string& requestId) {
    KQManagementDB db;
    if (db.open() != 0) return -1;
    KQSqlStatement q(db.handle(), "SELECT bytes_indexed FROM policy_files WHERE policy_id = ? AND request_id = ?");
    q.bind(1, kPolicyId).bind(2, requestId);
    return q.step() ? q.getInt(0) : -1;
}

} // namespace

// Half of 1 minute is 0: reports follow one another until the stop, and each carries only the
// bytes indexed since the one before.
TEST(ProgressThread, ReportsWithoutPauseAndCountsBytesOnce) {
    PipelineInstance instance("nLMRetryIntervalForUploadedFiles = 1");
    MonitoringPolicyProps policy = PipelineInstance::policy(9);
    policy.add_uploadedFiles(instance.stage("r1", "a.log", "1 alpha\n"));
    LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, policy);
    EvLogCapture log;
    session.StartUpdateDBTimer();
    ASSERT_TRUE(session.isUpdaterThreadRunning());
    uint64_t counter = 100;
    session.UpdateUploadedFileInfo(policy.uploadedFiles(0), kLMFileInProgress, 0, counter);
    EXPECT_EQ(0u, counter);
    const size_t before = reports(log).size();
    ASSERT_TRUE(waitForReports(log, before + 3));
    session.StopUpdateDBTimer();
    EXPECT_FALSE(session.isUpdaterThreadRunning());

    size_t withBytes = 0;
    for (const std::string& r : reports(log))
        if (r.find("<bytesIndexed>100</bytesIndexed>") != std::string::npos) ++withBytes;
    EXPECT_EQ(1u, withBytes);
    EXPECT_EQ(100, storedBytes("r1"));
    EXPECT_TRUE(log.contains("", 10, "Updater thread stopped successfully"));
}

TEST(ProgressThread, StoppingDuringTheWaitSendsNoReport) {
    for (const char* globals : {"nLMRetryIntervalForUploadedFiles = 30", ""}) {
        SCOPED_TRACE(globals);
        PipelineInstance instance(globals);
        MonitoringPolicyProps policy = PipelineInstance::policy(9);
        policy.add_uploadedFiles(instance.stage("r1", "a.log", "1 alpha\n"));
        LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, policy);
        EvLogCapture log;
        session.StartUpdateDBTimer();
        std::this_thread::sleep_for(50ms);
        session.StopUpdateDBTimer();
        EXPECT_TRUE(reports(log).empty());
        EXPECT_TRUE(log.contains("", 10, "Updater thread is stopping"));
    }
}

TEST(ProgressThread, WhatEachKindOfRunReports) {
    PipelineInstance instance;
    {
        MonitoringPolicyProps dataSet = PipelineInstance::policy(9, 5);
        dataSet.mutable_monitoringPolicy().set_monitoringTypes({5});
        LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, dataSet);
        EvLogCapture log;
        session.UpdateDatabase();
        auto sent = reports(log);
        ASSERT_EQ(1u, sent.size());
        EXPECT_NE(std::string::npos, sent[0].find("<state>2</state>"));
        EXPECT_NE(std::string::npos, sent[0].find("<monitoringPolicyId>31</monitoringPolicyId>"));
        EXPECT_EQ(std::string::npos, sent[0].find("uploadedFiles"));
    }
    {
        MonitoringPolicyProps noFiles = PipelineInstance::policy(9);
        LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, noFiles);
        EvLogCapture log;
        session.UpdateDatabase();
        EXPECT_TRUE(reports(log).empty());
    }
}

// The worker updates records while the thread reports them.
TEST(ProgressThread, RecordsUpdatedWhileReported) {
    PipelineInstance instance("nLMRetryIntervalForUploadedFiles = 1");
    MonitoringPolicyProps policy = PipelineInstance::policy(9);
    for (int i = 0; i < 4; ++i)
        policy.add_uploadedFiles(instance.stage("r" + std::to_string(i), "a.log", "1 alpha\n"));
    LogMonitoringContentIndexing session(2, "pipehost", 0, 1000, policy);
    session.StartUpdateDBTimer();
    for (int round = 0; round < 200; ++round) {
        uint64_t counter = 1;
        session.UpdateUploadedFileInfo(policy.uploadedFiles(round % 4), kLMFileInProgress, 0, counter);
    }
    session.StopUpdateDBTimer();
    session.UpdateDatabase(); // what the last report had not taken yet
    int64_t total = 0;
    for (int i = 0; i < 4; ++i) total += storedBytes("r" + std::to_string(i));
    EXPECT_EQ(200, total);
}
