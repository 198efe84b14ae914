#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/messages/catalogue/PolicyMessages.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQMgmtAdmin.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/mgmt/LogMonitor.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

namespace {

// Threads that each report on their own LogMonitor, as the engine's workers do: no report is lost
// while they wait for each other's writes.
TEST(MgmtConcurrency, ReportsFromManyThreadsAllCount) {
    lmtest::TempDir dir("lmmgmtconc");
    lmtest::writeFile(dir.file("registry.ini"),
                      "[Platform]\nsInstanceName = MgmtConc\nsManagementDB = " + dir.file("m.db") + "\n");
    KQPlatformInfo::useRegistryFile(dir.file("registry.ini"));
    KQManagementDB db;
    ASSERT_EQ(0, db.open());
    std::string err;
    int64_t id = 0;
    KQMgmtAdmin admin(db);
    ASSERT_EQ(0, admin.addTemplate("t", 0, "<LogMonitoring_TemplateXML/>", 0, id, err)) << err;
    KQMgmtAdmin::Policy p;
    p.id = 1;
    p.name = "p";
    p.templates = {"t"};
    ASSERT_EQ(0, admin.addPolicy(p, id, err)) << err;

    constexpr int kThreads = 4, kReports = 25;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kReports; ++i) {
                LogMonitoring::LMSetIterationSize rep;
                rep.set_bytesIndexed(t + 1);
                rep.set_monitoringPolicyId(1);
                std::string text;
                rep.serialize(text);
                if (LogMonitor().setCurrentStatus(2, rep.tagID(), text) != 0) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(0, failures.load());
    KQSqlStatement q(db.handle(), "SELECT indexed_bytes_total FROM policies WHERE id = 1");
    ASSERT_TRUE(q.step());
    EXPECT_EQ(kReports * (1 + 2 + 3 + 4), q.getInt(0));
}

} // namespace
