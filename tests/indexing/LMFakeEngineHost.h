#pragma once
// A stand-in for the engine host's remote module, in the test process: accepts sessions on a
// loopback port, checks the handshake's secret, records every message it receives and answers
// each with what the test's handler returns (nothing for a null answer). Each session runs on a
// thread of its own, as on a real host.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/messages/catalogue/Catalogue.h"
#include "platform/network/CKqNetwork.h"
#include "platform/network/CKqNetworkListener.h"

namespace lmtest {

class FakeEngineHost {
public:
    struct Received {
        uint64_t tag = 0;
        std::string xml;
    };
    using Handler = std::function<std::unique_ptr<CNMessageBase>(const CNMessageBase&)>;

    // Answers every request with an LMAddDocumentsToCIResp of `code` and `response`.
    static Handler replyWith(int64_t code, std::string response) {
        return [code, response](const CNMessageBase&) -> std::unique_ptr<CNMessageBase> {
            auto r = std::make_unique<LogMonitoring::LMAddDocumentsToCIResp>();
            r->set_errorCode(code);
            r->set_response(response);
            return r;
        };
    }

    FakeEngineHost(std::string secret, Handler handler) : secret_(std::move(secret)), handler_(std::move(handler)) {}
    ~FakeEngineHost() { stop(); }
    FakeEngineHost(const FakeEngineHost&) = delete;
    FakeEngineHost& operator=(const FakeEngineHost&) = delete;

    bool start() {
        if (listener_.listen("127.0.0.1", 0).IsError()) return false;
        acceptor_ = std::thread([this] { acceptLoop(); });
        return true;
    }
    void stop() {
        if (stopping_.exchange(true)) return;
        if (acceptor_.joinable()) acceptor_.join();
        {
            std::lock_guard<std::mutex> l(mu_);
            for (auto& c : connections_) c->Abort();
        }
        for (auto& t : sessions_)
            if (t.joinable()) t.join();
        listener_.close();
    }

    int port() const { return listener_.port(); }
    std::string mangledName() const { return CKqNetwork::MangleHostName("127.0.0.1", port()); }
    void setHandler(Handler h) {
        std::lock_guard<std::mutex> l(mu_);
        handler_ = std::move(h);
    }
    std::vector<Received> received() const {
        std::lock_guard<std::mutex> l(mu_);
        return received_;
    }
    int sessionsAccepted() const { return accepted_; }
    int messagesReceived() const { return messages_; }
    // Off: messages are only counted (for long runs with large batches).
    void setKeepMessages(bool keep) { keep_ = keep; }

private:
    void acceptLoop() {
        while (!stopping_) {
            CZuError err;
            int fd = listener_.accept(50, err);
            if (fd < 0) continue;
            auto c = std::make_shared<CKqNetwork>(fd);
            {
                std::lock_guard<std::mutex> l(mu_);
                connections_.push_back(c);
            }
            ++accepted_;
            sessions_.emplace_back([this, c] { serve(*c); });
        }
    }
    void serve(CKqNetwork& c) {
        KqRemoteModuleDescriptor module;
        std::string peer;
        bool probe = false, aborted = false;
        if (c.AcceptHandshake(secret_, 10, module, peer, probe).IsError()) return;
        for (;;) {
            std::unique_ptr<CNMessageBase> m;
            if (c.ReceiveXMLMessage(m, 30, aborted).IsError() || !m) return;
            if (m->getTagID() == CKqNetwork::kDisconnectTag) {
                c.ReplyDisconnect(10, aborted);
                return;
            }
            Handler h;
            ++messages_;
            {
                std::lock_guard<std::mutex> l(mu_);
                if (keep_) {
                    Received r;
                    r.tag = m->getTagID();
                    m->serialize(r.xml);
                    received_.push_back(std::move(r));
                }
                h = handler_;
            }
            std::unique_ptr<CNMessageBase> answer = h ? h(*m) : nullptr;
            if (answer && c.SendXMLMessage(*answer, 0, 10, aborted).IsError()) return;
        }
    }

    std::string secret_;
    Handler handler_;
    CKqNetworkListener listener_;
    std::thread acceptor_;
    std::vector<std::thread> sessions_;
    std::vector<std::shared_ptr<CKqNetwork>> connections_;
    mutable std::mutex mu_;
    std::vector<Received> received_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> messages_{0};
    std::atomic<bool> keep_{true};
};

} // namespace lmtest
