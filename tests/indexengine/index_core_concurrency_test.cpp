// Several threads updating, searching, listing and unloading cores of one registry at once, as
// the server's worker threads do.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "CoreRegistry.h"
#include "DateMath.h"
#include "support/TestSupport.h"

using namespace lmindexd;

namespace {

std::vector<UpdateCommand> batch(int writer, int round) {
    std::vector<UpdateCommand> cmds;
    for (int i = 0; i < 20; ++i) {
        UpdateCommand c;
        c.type = UpdateCommand::Type::Add;
        // Ids repeat across rounds, so later rounds replace earlier documents.
        c.doc.fields = {{"contentid", "w" + std::to_string(writer) + "_" + std::to_string(i)},
                        {"MonitoringPolicyId", std::to_string(writer)},
                        {"round_if", std::to_string(round)},
                        {"LogLine", "writer " + std::to_string(writer) + " round " + std::to_string(round)}};
        cmds.push_back(std::move(c));
    }
    return cmds;
}

}  // namespace

TEST(IndexCoreConcurrency, WritersReadersAndAdminShareCores) {
    lmtest::TempDir dir("indexcore_conc");
    CoreRegistry cores(dir.path());
    std::string error;
    ASSERT_TRUE(cores.loadExisting(error)) << error;
    std::atomic<int> failures{0};
    std::atomic<bool> writing{true};

    auto writer = [&](int id) {
        for (int round = 0; round < 15; ++round) {
            int status = 0;
            std::string e;
            auto core = cores.getOrCreate("shared", status, e);
            auto cmds = batch(id, round);
            if (!core || core->apply(cmds, nowEpochMs(), e) != kOk) ++failures;
        }
    };
    auto reader = [&]() {
        QueryParser parser;
        std::string e;
        auto q = parser.parse("MonitoringPolicyId:1 OR LogLine:round", e);
        while (writing) {
            if (auto core = cores.get("shared")) {
                SearchRequest req;
                req.query = q.get();
                req.nowMs = nowEpochMs();
                SearchResult r;
                // A writer holds each id once per batch, so a reader never sees more than 20 per writer.
                if (core->search(req, r, e) != kOk || r.numFound > 60) ++failures;
            }
        }
    };
    auto admin = [&]() {
        for (int i = 0; i < 10; ++i) {
            std::string e;
            if (cores.create("scratch", e) != kOk) ++failures;
            int status = 0;
            auto core = cores.getOrCreate("scratch", status, e);
            auto cmds = batch(9, i);
            if (core) core->apply(cmds, nowEpochMs(), e);
            for (const auto& c : cores.all()) {
                IndexCore::Status s;
                c->status(s, e);
            }
            if (cores.unload("scratch", true, true, e) != kOk) ++failures;
        }
    };

    std::vector<std::thread> threads;
    for (int w = 1; w <= 3; ++w) threads.emplace_back(writer, w);
    std::thread r1(reader), r2(reader), a(admin);
    for (auto& t : threads) t.join();
    writing = false;
    r1.join();
    r2.join();
    a.join();
    EXPECT_EQ(failures.load(), 0);

    auto core = cores.get("shared");
    ASSERT_TRUE(core);
    IndexCore::Status s;
    ASSERT_EQ(core->status(s, error), kOk);
    EXPECT_EQ(s.numDocs, 60);
}
