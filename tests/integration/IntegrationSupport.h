#pragma once
// A whole engine host for integration tests: a real lm-indexd and a real lm-host (which loads the
// engine library and runs LMUtilEntry for every remote-module session), each on a free loopback
// port in a temporary folder of its own, stopped by pid at the end.
//
//   lmtest::EngineStack stack;                       // or EngineStack(options)
//   ASSERT_TRUE(stack.start()) << stack.why();
//   CKqNetwork c;
//   ASSERT_TRUE(stack.attach(c)) << stack.why();    // a session to the engine's dispatcher
//   ... send requests, e.g. with engineUrl = stack.indexdBaseUrl() ...
//   EXPECT_EQ(3, stack.selectCount("kqcorelm0", "*:*"));
//
// The host's registry is written to hostRegistry(); its debug log goes to hostLogFile() (level
// Options::hostLogLevel). The test process opens a registry of its own (clientRegistry()) with the
// same shared secret, so that its sessions are accepted; it gets no log file, so the test's own
// lines never mix into the host's.
#include <signal.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include <curl/curl.h>

#include "platform/gateway/KqCurlGlobal.h"
#include "platform/network/CKqNetwork.h"
#include "platform/registry/KQPlatformInfo.h"
#include "support/TestSupport.h"

namespace lmtest {

inline size_t collectBody(char* data, size_t size, size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

// The reply body of a GET of `path` on http://127.0.0.1:port; empty when the request fails.
inline std::string httpGetLoopback(int port, const std::string& path) {
    if (LIBCURL::ensureCurlGlobalInit() != 0) return {};
    std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
    if (!h) return {};
    std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
    std::string body;
    curl_easy_setopt(h.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(h.get(), CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(h.get(), CURLOPT_WRITEFUNCTION, &collectBody);
    curl_easy_setopt(h.get(), CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(h.get()) != CURLE_OK) return {};
    return body;
}

// Waits until the file holds `text`.
inline bool waitForFileText(const std::string& file, const std::string& text, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (readFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class EngineStack {
public:
    struct Options {
        std::string secret = "integration-secret";
        std::string hostInstance = "IntegrationHost";
        std::string clientInstance = "IntegrationClient";
        int hostLogLevel = 10;
        // Appended to the host's registry as it stands: whole sections ("[EventManager]\n...").
        std::string hostRegistryExtras;
        // Appended to the test process's registry.
        std::string clientRegistryExtras;
        bool startIndexd = true;
    };

    EngineStack() : EngineStack(Options{}) {}
    explicit EngineStack(Options o) : options_(std::move(o)) {}
    ~EngineStack() { stop(); }
    EngineStack(const EngineStack&) = delete;
    EngineStack& operator=(const EngineStack&) = delete;

    // Starts lm-indexd (unless told not to) and lm-host and opens the client registry in this
    // process. False with why() set when either does not come up.
    bool start() {
        using namespace std::chrono_literals;
        if (options_.startIndexd) {
            indexdPort_ = freeLoopbackPort();
            if (!indexd_.start({LM_INDEXD_BIN, "--data", dir_.file("indexd"), "--port", std::to_string(indexdPort_)}))
                return fail("lm-indexd did not start");
            if (indexd_.waitForLine("listening on", 15s).empty()) return fail("lm-indexd: " + indexd_.output());
        }
        hostPort_ = freeLoopbackPort();
        writeFile(hostRegistry(), "[Platform]\nsInstanceName = " + options_.hostInstance +
                                      "\nsSharedSecret = " + options_.secret +
                                      "\nnRemoteModulePort = " + std::to_string(hostPort_) +
                                      "\nsLogFile = " + hostLogFile() +
                                      "\nnLogLevel = " + std::to_string(options_.hostLogLevel) + "\n" +
                                      options_.hostRegistryExtras + "\n");
        writeFile(clientRegistry(), "[Platform]\nsInstanceName = " + options_.clientInstance +
                                        "\nsSharedSecret = " + options_.secret + "\n" +
                                        options_.clientRegistryExtras + "\n");
        KQPlatformInfo::useRegistryFile(clientRegistry());
        if (!host_.start({LM_HOST_BIN, "--registry", hostRegistry()})) return fail("lm-host did not start");
        if (host_.waitForLine("listening on", 15s).empty()) return fail("lm-host: " + host_.output());
        mangled_ = CKqNetwork::MangleHostName("127.0.0.1", hostPort_);
        return true;
    }

    // Stops both by pid (SIGTERM, then SIGKILL when they linger).
    void stop() {
        using namespace std::chrono_literals;
        for (ChildProcess* p : {&host_, &indexd_}) {
            if (!p->running()) continue;
            p->signal(SIGTERM);
            if (p->wait(10s) == -1) p->signal(SIGKILL), p->wait(5s);
        }
    }

    // A session to the engine's request dispatcher on the host.
    bool attach(CKqNetwork& c, const char* clientName = "integration client") {
        bool aborted = false;
        CZuError e = c.Attach_RemoteDLL(mangled_, KqRemoteModuleDescriptor::lmciUtil(), clientName, 120, aborted);
        if (e.IsError()) return fail("attach: " + e.AsString());
        return true;
    }

    // The reply body of a GET of `path` (after the base "http://127.0.0.1:P") on lm-indexd; empty
    // when the request fails.
    std::string httpGet(const std::string& path) const { return httpGetLoopback(indexdPort_, path); }

    // numFound of a query on one core of lm-indexd; -1 when the query fails (a core that does
    // not exist counts as failing). The query is URL-encoded here.
    long selectCount(const std::string& core, const std::string& query) const {
        if (LIBCURL::ensureCurlGlobalInit() != 0) return -1;
        std::unique_ptr<CURL, void (*)(CURL*)> h(curl_easy_init(), curl_easy_cleanup);
        if (!h) return -1;
        char* q = curl_easy_escape(h.get(), query.c_str(), static_cast<int>(query.size()));
        if (!q) return -1;
        std::string path = "/solr/" + core + "/select?q=" + q + "&rows=0&wt=json";
        curl_free(q);
        nlohmann::json j = nlohmann::json::parse(httpGet(path), nullptr, false);
        if (j.is_discarded() || !j.contains("response") || !j["response"].contains("numFound")) return -1;
        return j["response"]["numFound"].get<long>();
    }

    // The host's debug log so far.
    std::string hostLog() const { return readFile(hostLogFile()); }
    // Waits until the host's log holds `text`.
    bool waitForHostLog(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
        return waitForFileText(hostLogFile(), text, timeout);
    }

    int indexdPort() const { return indexdPort_; }
    int hostPort() const { return hostPort_; }
    const std::string& mangledHost() const { return mangled_; }
    // "http://127.0.0.1:P/solr": what senders put in a request's engine URL.
    std::string indexdBaseUrl() const { return "http://127.0.0.1:" + std::to_string(indexdPort_) + "/solr"; }
    std::string hostRegistry() const { return dir_.file("host.ini"); }
    std::string clientRegistry() const { return dir_.file("client.ini"); }
    std::string hostLogFile() const { return dir_.file("host.log"); }
    const TempDir& dir() const { return dir_; }
    ChildProcess& hostProcess() { return host_; }
    ChildProcess& indexdProcess() { return indexd_; }
    const std::string& why() const { return why_; }

private:
    bool fail(std::string why) {
        why_ = std::move(why);
        return false;
    }

    Options options_;
    TempDir dir_{"lmstack"};
    ChildProcess indexd_, host_;
    int indexdPort_ = 0, hostPort_ = 0;
    std::string mangled_, why_;
};

} // namespace lmtest
