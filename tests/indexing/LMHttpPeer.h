#pragma once
// A small HTTP peer on 127.0.0.1 for the index helper's tests: answers every get and post with a
// handler of the test's choosing and records what it saw.
#include <httplib.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lmtest {

struct SeenRequest {
    std::string method;
    std::string path;   // without the query
    std::string target; // path and query as sent
    std::string body;   // kept when small
    size_t bodySize = 0;
    httplib::Headers headers;

    bool hasHeader(const std::string& name) const { return headers.find(name) != headers.end(); }
    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

class HttpPeer {
public:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    // `workers` threads serve the connections. The library is not built for ThreadSanitizer, which
    // cannot see how its workers hand data to each other; a concurrency test uses one worker (the
    // clients still run at once, their connections wait in the queue).
    explicit HttpPeer(Handler handler, size_t workers = 4) : handler_(std::move(handler)) {
        server_.new_task_queue = [workers] { return new httplib::ThreadPool(workers); };
        auto serve = [this](const httplib::Request& req, httplib::Response& res) {
            SeenRequest seen;
            seen.method = req.method;
            seen.path = req.path;
            seen.target = req.target;
            seen.bodySize = req.body.size();
            if (req.body.size() <= 65536) seen.body = req.body;
            seen.headers = req.headers;
            {
                std::lock_guard<std::mutex> lock(mu_);
                seen_.push_back(std::move(seen));
            }
            handler_(req, res);
        };
        server_.Get(".*", serve);
        server_.Post(".*", serve);
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0) return;
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() is only heard once the server runs.
        for (int i = 0; i < 500 && !server_.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    ~HttpPeer() {
        server_.stop();
        if (thread_.joinable()) thread_.join();
    }

    HttpPeer(const HttpPeer&) = delete;
    HttpPeer& operator=(const HttpPeer&) = delete;

    bool running() const { return port_ > 0 && server_.is_running(); }
    int port() const { return port_; }
    std::string url(const std::string& pathAndQuery) const {
        return "http://127.0.0.1:" + std::to_string(port_) + pathAndQuery;
    }
    size_t requestCount() const {
        std::lock_guard<std::mutex> lock(mu_);
        return seen_.size();
    }
    std::vector<SeenRequest> requests() const {
        std::lock_guard<std::mutex> lock(mu_);
        return seen_;
    }

private:
    Handler handler_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = -1;
    mutable std::mutex mu_;
    std::vector<SeenRequest> seen_;
};

}
