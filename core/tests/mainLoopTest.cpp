#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/mainLoop.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace {

// Virtual milliseconds since the loop began at which each step ran.
std::map<std::string, std::vector<int>> runs;
int nowMs = 0;

void record(const char* step)
{
    runs[step].push_back(nowMs);
}

class MainLoop : public SandboxTest {
protected:
    MainLoop() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        runs.clear();
        nowMs = 0;
        mainLoopTrace = record;
        mainLoopBegin(&loop, 0);
    }
    void TearDown() override
    {
        mainLoopTrace = nullptr;
        SandboxTest::TearDown();
    }
    // Runs the loop for `ms` virtual milliseconds: a pass, then the 1 ms
    // sleep; "Time Thread" refreshes the time base every 10 ms unless frozen.
    void runFor(int ms, bool timeBaseRuns = true)
    {
        for (int end = nowMs + ms; nowMs < end; nowMs++) {
            if (timeBaseRuns && nowMs % 10 == 0)
                timeThread();
            mainLoopPass(&loop);
            clockSleepUs(1000);
        }
    }
    MainLoopState loop;
};

TEST_F(MainLoop, EveryStepFirstRunsAndRepeatsOnItsPeriod)
{
    runFor(1500);
    struct Want {
        const char* step;
        int first;  // ms of the first run
        int period; // ms between runs
    } wants[] = {
        {"fpgaFrameTick", 0, 500},        {"rfControlLoopTick", 80, 80}, {"measuresTick", 750, 750},
        {"alarmTick", 250, 250},          {"fpgaRegMailboxTick", 250, 250},
    };
    for (const Want& w : wants) {
        const std::vector<int>& r = runs[w.step];
        ASSERT_FALSE(r.empty()) << w.step;
        // The 10 ms time base sets the granularity.
        EXPECT_GE(r[0], w.first) << w.step;
        EXPECT_LE(r[0], w.first + 20) << w.step;
        for (size_t i = 1; i < r.size(); i++) {
            EXPECT_GE(r[i] - r[i - 1], w.period) << w.step << " run " << i;
            EXPECT_LE(r[i] - r[i - 1], w.period + 20) << w.step << " run " << i;
        }
        EXPECT_GE(static_cast<int>(r.size()), (1500 - w.first) / (w.period + 10)) << w.step;
    }
    for (const char* every : {"SetAlarms", "I2C_FaultMng", "pollTlcTask", "InputSwitchTick", "runFactoryTcpServer",
                              "applyConfig"})
        EXPECT_EQ(runs[every].size(), 1500u) << every;
}

TEST_F(MainLoop, SuspendedLoopServesOnlyMailboxWatchdogAndLogs)
{
    runFor(300);
    mainWorkSuspended = 1;
    runs.clear();
    runFor(4000);
    EXPECT_GE(runs["fpgaRegMailboxTick"].size(), 14u);
    EXPECT_GE(runs["WATCHDOG"].size(), 1u);
    for (const char* stopped : {"SetAlarms", "alarmTick", "applyConfig", "rfControlLoopTick", "fpgaFrameTick",
                                "measuresTick", "I2C_FaultMng", "pollTlcTask", "InputSwitchTick"})
        EXPECT_TRUE(runs[stopped].empty()) << stopped;
    EXPECT_EQ(globalMute.load(), 0); // the mute release still happens
    mainWorkSuspended = 0;
}

TEST_F(MainLoop, FrozenTimeBaseStopsWaitingStepsAndTheWatchdog)
{
    runFor(10000, false);
    for (const char* waiting : {"rfControlLoopTick", "measuresTick", "alarmTick", "fpgaRegMailboxTick", "WATCHDOG"})
        EXPECT_TRUE(runs[waiting].empty()) << waiting;
    EXPECT_EQ(runs["fpgaFrameTick"].size(), 1u); // its first pass only
    EXPECT_EQ(runs["SetAlarms"].size(), 10000u);
}

TEST_F(MainLoop, WatchdogEveryThreeSecondsAndOneMuteRelease)
{
    globalMute = 1;
    runFor(3500);
    EXPECT_EQ(globalMute.load(), 1);
    runFor(1000);
    EXPECT_EQ(globalMute.load(), 0);
    globalMute = 1; // a later mute is not lifted again by the loop
    runFor(6000);
    EXPECT_EQ(globalMute.load(), 1);
    const std::vector<int>& wd = runs["WATCHDOG"];
    ASSERT_EQ(wd.size(), 3u);
    for (size_t i = 1; i < wd.size(); i++)
        EXPECT_NEAR(wd[i] - wd[i - 1], 3000, 20);
    std::string text = book();
    size_t first = text.find("INFO: Remove GLOBAL MUTE\n");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("Remove GLOBAL MUTE", first + 10), std::string::npos);
}

TEST_F(MainLoop, TestDurationEndsTheLoop)
{
    mainLoopBegin(&loop, 300);
    int passes = 0;
    for (; passes < 400000; passes++) {
        if (passes % 10 == 0)
            timeThread();
        if (mainLoopPass(&loop))
            break;
        clockSleepUs(1000);
    }
    EXPECT_NEAR(passes, 300000, 2000);
}

} // namespace
