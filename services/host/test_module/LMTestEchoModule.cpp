// A remote module for the host's tests. Its entries answer every frame with the same frame until
// the peer disconnects, the session breaks or the host aborts it. Frames are echoed as they came,
// so the module need not know the classes of the tests' messages.
#include <chrono>
#include <memory>
#include <thread>

#include "platform/log/EvLMDebug.h"
#include "platform/messages/XMLDecoder.h"
#include "platform/network/CKqNetwork.h"

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
