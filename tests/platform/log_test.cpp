#include <gtest/gtest.h>

#include "platform/log/EvLMDebug.h"
#include "support/TestSupport.h"

namespace {
struct ThresholdGuard {
    int saved = EvLMDebug::threshold();
    ~ThresholdGuard() {
        EvLMDebug::setThreshold(saved);
        EvLMDebug::setLogFile("");
    }
};
}

TEST(DebugLog, LinesCarryOperationLevelAndText) {
    EvLogCapture capture;
    EvLMDebug log;
    log.DebugLvl("LMCIHelper::sendDatatoCI", 4, "sent %d documents to [%s]", 12, "core");
    log.Error("LMCIHelper::sendDatatoCI", "failed: %s", "timeout");
    log.Debug("LMScan::ScanPhase", "plain");
    auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].operation, "LMCIHelper::sendDatatoCI");
    EXPECT_EQ(lines[0].level, 4);
    EXPECT_EQ(lines[0].text, "sent 12 documents to [core]");
    EXPECT_EQ(lines[1].level, -1);
    EXPECT_EQ(lines[2].level, EvLMDebug::kDebugLevel);
    EXPECT_TRUE(capture.contains("LMScan::ScanPhase", EvLMDebug::kDebugLevel, "plain"));
    EXPECT_FALSE(capture.contains("Other::op", "plain"));
}

TEST(DebugLog, FileGetsLinesUpToTheThresholdAndAlwaysFailures) {
    ThresholdGuard guard;
    lmtest::TempDir dir;
    std::string path = dir.file("debug.log");
    ASSERT_TRUE(EvLMDebug::setLogFile(path));
    EvLMDebug::setThreshold(3);
    EvLMDebug log;
    log.DebugLvl("Op::quiet", 10, "too verbose");
    log.DebugLvl("Op::shown", 3, "at the threshold");
    EvLMDebug::setThreshold(-5);
    log.Error("Op::failure", "always %s", "written");
    EvLMDebug::setLogFile("");
    std::string text = lmtest::readFile(path);
    EXPECT_EQ(text.find("too verbose"), std::string::npos);
    EXPECT_NE(text.find("L3 Op::shown: at the threshold"), std::string::npos) << text;
    EXPECT_NE(text.find("L-1 Op::failure: always written"), std::string::npos) << text;
    EXPECT_NE(text.find(std::to_string(getpid()) + ":"), std::string::npos) << "process id";
}

TEST(DebugLog, LongLinesAreNotCut) {
    EvLogCapture capture;
    std::string big(5000, 'x');
    EvLMDebug().DebugLvl("Op::long", 0, "[%s]", big.c_str());
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0].text.size(), big.size() + 2);
}

TEST(DebugLog, BadLogFileKeepsThePreviousDestination) {
    EXPECT_FALSE(EvLMDebug::setLogFile("/nonexistent-folder/x.log"));
}
