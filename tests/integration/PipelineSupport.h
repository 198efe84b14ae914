#pragma once
// A whole instance for indexing-pipeline tests, built the way a user builds one: lmctl creates the
// registry and the management database (this machine as client "enginehost", a cloud whose node is
// a real lm-indexd on a free port, templates and policies), then the instance's lm-host runs on it.
// The test process opens the same registry, so it reads the management database and opens
// sessions with the instance's secret.
//
//   lmtest::PipelineStack stack;
//   ASSERT_TRUE(stack.start()) << stack.why();
//   ASSERT_EQ(0, stack.lmctl({"template", "add", file, "--name", "words"}).exitCode);
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <memory>

#include "platform/gateway/KqCurlGlobal.h"
#include "platform/mgmt/KQManagementDB.h"
#include "platform/mgmt/KQSqlStatement.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"
#include "platform/registry/KQRegistryStore.h"
#include "IntegrationSupport.h"
#include "support/TestSupport.h"

namespace lmtest {

struct CtlResult {
    int exitCode = -1;
    std::string output;
};

class PipelineStack {
public:
    struct Options {
        // Extra registry values before lm-host starts: {section, key, value}.
        std::vector<std::vector<std::string>> registry;
        int hostLogLevel = 10;
    };

    PipelineStack() : PipelineStack(Options{}) {}
    explicit PipelineStack(Options o) : options_(std::move(o)) {}
    ~PipelineStack() { stop(); }
    PipelineStack(const PipelineStack&) = delete;
    PipelineStack& operator=(const PipelineStack&) = delete;

    bool start() {
        using namespace std::chrono_literals;
        indexdPort_ = freeLoopbackPort();
        if (!indexd_.start({LM_INDEXD_BIN, "--data", dir_.file("indexd"), "--port", std::to_string(indexdPort_)}))
            return fail("lm-indexd did not start");
        if (indexd_.waitForLine("listening on", 15s).empty()) return fail("lm-indexd: " + indexd_.output());
        hostPort_ = freeLoopbackPort();
        const std::vector<std::vector<std::string>> steps = {
            {"init", "--home", dir_.path(), "--client-name", "enginehost", "--port", std::to_string(hostPort_)},
            {"cloud", "add", "main"},
            {"node", "add", "main", "--client", "enginehost", "--host", "127.0.0.1", "--port",
             std::to_string(indexdPort_)},
        };
        for (const auto& s : steps) {
            CtlResult r = lmctl(s);
            if (r.exitCode != 0) return fail("lmctl " + s[0] + ": " + r.output);
        }
        KQRegistryStore store(registry());
        std::vector<std::vector<std::string>> values = {
            {"Platform", "sLogFile", hostLogFile()},
            {"Platform", "nLogLevel", std::to_string(options_.hostLogLevel)},
            {"Host", "nShutdownWaitSeconds", "2"},
        };
        values.insert(values.end(), options_.registry.begin(), options_.registry.end());
        for (const auto& v : values)
            if (!store.set(v[0], v[1], v[2])) return fail("cannot set " + v[1]);
        KQPlatformInfo::useRegistryFile(registry());
        return startHost();
    }

    bool startHost() {
        using namespace std::chrono_literals;
        if (!host_.start({LM_HOST_BIN, "--registry", registry()})) return fail("lm-host did not start");
        if (host_.waitForLine("listening on", 15s).empty()) return fail("lm-host: " + host_.output());
        return true;
    }

    // Stops lm-host, then lm-indexd, by pid.
    void stop() {
        for (ChildProcess* p : {&host_, &indexd_}) stopProcess(*p);
    }
    static void stopProcess(ChildProcess& p) {
        using namespace std::chrono_literals;
        if (!p.running()) return;
        p.signal(SIGTERM);
        if (p.wait(20s) == -1) p.signal(SIGKILL), p.wait(5s);
    }

    CtlResult lmctl(std::vector<std::string> args, std::chrono::seconds timeout = std::chrono::seconds(120)) const {
        std::vector<std::string> argv = {LMCTL_BIN, "--registry", registry()};
        argv.insert(argv.end(), args.begin(), args.end());
        ChildProcess p;
        CtlResult r;
        if (!p.start(argv)) return r;
        int status = p.wait(timeout);
        r.output = p.output();
        r.exitCode = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

    // A session to the instance's lm-host.
    bool attach(CKqNetwork& c) {
        bool aborted = false;
        CZuError e = c.Attach_RemoteDLL(CKqNetwork::MangleHostName("127.0.0.1", hostPort_),
                                        KqRemoteModuleDescriptor::lmciUtil(), "pipeline test", 60, aborted);
        if (e.IsError()) return fail("attach: " + e.AsString());
        return true;
    }

    // numFound of a query over every core of lm-indexd whose name starts with `prefix`.
    long countIn(const std::string& prefix, const std::string& query = "*:*") const {
        nlohmann::json status =
            nlohmann::json::parse(httpGet("/solr/admin/cores?action=STATUS&wt=json"), nullptr, false);
        if (status.is_discarded() || !status.contains("status")) return -1;
        long total = 0;
        for (auto& [core, info] : status["status"].items()) {
            if (core.rfind(prefix, 0) != 0) continue;
            nlohmann::json j = nlohmann::json::parse(
                httpGet("/solr/" + core + "/select?rows=0&wt=json&q=" + escape(query)), nullptr, false);
            if (j.is_discarded() || !j.contains("response")) return -1;
            total += j["response"]["numFound"].get<long>();
        }
        return total;
    }

    std::string httpGet(const std::string& path) const { return httpGetLoopback(indexdPort_, path); }
    static std::string escape(const std::string& text) {
        std::string out;
        static const char* hex = "0123456789ABCDEF";
        for (unsigned char c : text) {
            if (isalnum(c) || c == '-' || c == '_' || c == '.' || c == '*' || c == ':') {
                out += static_cast<char>(c);
            } else {
                out += '%';
                out += hex[c >> 4];
                out += hex[c & 15];
            }
        }
        return out;
    }

    // One row of policy_files: state, result code and bytes indexed; state -1 when absent.
    struct FileRow {
        int64_t state = -1, resultCode = -1, bytesIndexed = -1;
        std::string requestId, localPath;
    };
    std::vector<FileRow> files(int64_t policyId) const {
        std::vector<FileRow> rows;
        KQManagementDB db;
        if (db.open() != 0) return rows;
        KQSqlStatement q(db.handle(), "SELECT request_id, local_path, state, result_code, bytes_indexed "
                                      "FROM policy_files WHERE policy_id = ? ORDER BY local_path");
        q.bind(1, policyId);
        while (q.step()) rows.push_back({q.getInt(2), q.getInt(3), q.getInt(4), q.getText(0), q.getText(1)});
        return rows;
    }
    // A column of the policy's row ("state", "last_indexed_id", ...); -1 when absent.
    int64_t policyValue(int64_t policyId, const std::string& column) const {
        static const char* const allowed[] = {"state", "last_indexed_id", "indexed_size"};
        bool ok = false;
        for (const char* a : allowed) ok = ok || column == a;
        if (!ok) return -1;
        KQManagementDB db;
        if (db.open() != 0) return -1;
        KQSqlStatement q(db.handle(), "SELECT " + column + " FROM policies WHERE id = ?");
        q.bind(1, policyId);
        return q.step() ? q.getInt(0) : -1;
    }

    std::string hostLog() const { return readFile(hostLogFile()); }
    bool waitForHostLog(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(20)) const {
        return waitForFileText(hostLogFile(), text, timeout);
    }

    std::string registry() const { return dir_.file("registry.ini"); }
    std::string hostLogFile() const { return dir_.file("host.log"); }
    std::string staging() const { return dir_.file("uploads"); }
    const TempDir& dir() const { return dir_; }
    int indexdPort() const { return indexdPort_; }
    int hostPort() const { return hostPort_; }
    ChildProcess& hostProcess() { return host_; }
    const std::string& why() const { return why_; }

private:
    bool fail(std::string why) {
        why_ = std::move(why);
        return false;
    }

    Options options_;
    TempDir dir_{"lmpipe"};
    ChildProcess indexd_, host_;
    int indexdPort_ = 0, hostPort_ = 0;
    std::string why_;
};

} // namespace lmtest
