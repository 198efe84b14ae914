// Round trips of a small message and throughput of a 14 MiB message over one session on loopback.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "network/SessionTestMessages.h"
#include "platform/network/CKqNetwork.h"
#include "platform/network/CKqNetworkListener.h"
#include "platform/registry/KQPlatformInfo.h"

namespace {

// One session to a server thread that answers small messages with themselves and large ones with
// a small acknowledgement, so that the large case measures one direction. In raw mode the server
// answers every frame with a 2-byte frame without decoding it: the transport alone.
class SessionPair {
public:
    explicit SessionPair(bool raw = false) : raw_(raw) {
        char tmpl[] = "/tmp/lmbench.XXXXXX";
        dir_ = ::mkdtemp(tmpl);
        std::ofstream(dir_ + "/registry.ini") << "[Platform]\nsInstanceName = Bench\nsSharedSecret = bench\n";
        KQPlatformInfo::useRegistryFile(dir_ + "/registry.ini");
        listener_.listen("127.0.0.1", 0);
        server_ = std::thread([this] { serve(); });
        bool aborted = false;
        CZuError e = client_.Attach_RemoteDLL(CKqNetwork::MangleHostName("127.0.0.1", listener_.port()),
                                              KqRemoteModuleDescriptor::lmciUtil(), "bench", 10, aborted);
        if (e.IsError()) std::fprintf(stderr, "attach failed: %s\n", e.AsString().c_str());
    }
    ~SessionPair() {
        bool aborted = false;
        client_.Disconnect(10, aborted);
        server_.join();
        std::filesystem::remove_all(dir_);
    }
    CKqNetwork& client() { return client_; }

private:
    void serve() {
        CZuError err;
        int fd = -1;
        while (fd < 0) fd = listener_.accept(100, err);
        CKqNetwork s(fd);
        KqRemoteModuleDescriptor module;
        std::string peer;
        bool probe = false;
        if (s.AcceptHandshake("bench", 10, module, peer, probe).IsError()) return;
        while (raw_) {
            bool aborted = false;
            std::string frame;
            if (s.receiveFrame(frame, s.maxFrameBytes(), 60, aborted).IsError() || frame.size() < 1000) return;
            s.sendFrame("ok", 60, aborted);
        }
        for (;;) {
            bool aborted = false;
            std::unique_ptr<CNMessageBase> m;
            if (s.ReceiveXMLMessage(m, 60, aborted).IsError()) return;
            if (m->getTagID() == CKqNetwork::kDisconnectTag) {
                s.ReplyDisconnect(10, aborted);
                return;
            }
            auto* echo = m->as<LMTest::SessionEcho>();
            if (echo && echo->body().size() > (1u << 20)) {
                LMTest::SessionEcho ack;
                ack.set_seq(echo->seq());
                s.SendXMLMessage(ack, 0, 60, aborted);
            } else {
                s.SendXMLMessage(*m, 0, 60, aborted);
            }
        }
    }

    bool raw_;
    std::string dir_;
    CKqNetworkListener listener_;
    CKqNetwork client_;
    std::thread server_;
};

void roundTrip(benchmark::State& state, const LMTest::SessionEcho& m, SessionPair& pair) {
    bool aborted = false;
    std::unique_ptr<CNMessageBase> got;
    for (auto _ : state) {
        if (pair.client().SendXMLMessage(m, 0, 60, aborted).IsError() ||
            pair.client().ReceiveXMLMessage(got, 60, aborted).IsError()) {
            state.SkipWithError("session failed");
            return;
        }
        benchmark::DoNotOptimize(got);
    }
}

void BM_SessionRoundTripSmall(benchmark::State& state) {
    SessionPair pair;
    LMTest::SessionEcho m;
    m.set_seq(1);
    m.set_body("a small request of a few dozen bytes");
    roundTrip(state, m, pair);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SessionRoundTripSmall)->UseRealTime();

void BM_SessionMessage14MiB(benchmark::State& state) {
    SessionPair pair;
    LMTest::SessionEcho m;
    std::string body(14u << 20, 'd');
    for (size_t i = 0; i < body.size(); i += 97) body[i] = '<'; // escaped on the way, like documents
    m.set_body(body);
    roundTrip(state, m, pair);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body.size()));
}
BENCHMARK(BM_SessionMessage14MiB)->UseRealTime()->Unit(benchmark::kMillisecond);

// The same 14 MiB as a frame already serialised, answered without decoding: what the session
// itself costs, without the message layer's serialising and parsing.
void BM_SessionFrame14MiB(benchmark::State& state) {
    SessionPair pair(true);
    LMTest::SessionEcho m;
    std::string body(14u << 20, 'd');
    for (size_t i = 0; i < body.size(); i += 97) body[i] = '<';
    m.set_body(body);
    std::string frame;
    m.serialize(frame);
    bool aborted = false;
    std::string answer;
    for (auto _ : state) {
        if (pair.client().sendFrame(frame, 60, aborted).IsError() ||
            pair.client().receiveFrame(answer, 16, 60, aborted).IsError()) {
            state.SkipWithError("session failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(frame.size()));
}
BENCHMARK(BM_SessionFrame14MiB)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
