#include "core/logs.h"
#include "core/threads.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <atomic>
#include <gtest/gtest.h>
#include <signal.h>

namespace {

std::atomic<int> bodyRuns{0};
std::atomic<int> altStackOk{-1};

void countingBody()
{
    bodyRuns++;
    stack_t ss;
    if (sigaltstack(nullptr, &ss) == 0)
        altStackOk = (ss.ss_flags & SS_DISABLE) == 0 && ss.ss_size >= static_cast<size_t>(MINSIGSTKSZ);
    threadsStop = 1;
}

// Virtual-clock time of a body's first two turns.
std::atomic<int> turns{0};
int64_t turnNs[2];

int64_t virtualNowNs()
{
    struct timespec t;
    clockPeekTime(CLOCK_MONOTONIC_RAW, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

void timedBody()
{
    int n = turns++;
    if (n < 2)
        turnNs[n] = virtualNowNs();
    if (n >= 1)
        threadsStop = 1;
}

class Threads : public SandboxTest {
protected:
    Threads() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
};

TEST_F(Threads, RunnerLogsItsStartAndEndsOnTheStopFlag)
{
    ThreadDesc row;
    row.name = "Probe Thread";
    row.id = 0;
    row.mode = 1;
    row.period = 1000;
    row.body = countingBody;
    threadsStop = 1; // set before the first turn: no body runs
    ASSERT_EQ(CreateThread(&row), 0);
    ASSERT_EQ(DeleteThread(&row), 0);
    EXPECT_EQ(bodyRuns.load(), 0);
    std::string text = book();
    EXPECT_NE(text.find("INFO: Probe Thread: pid " + std::to_string(row.tid.load())), std::string::npos);
    EXPECT_NE(text.find("INFO: Probe Thread - pid " + std::to_string(row.tid.load()) + ": Exit"),
              std::string::npos);

    threadsStop = 0;
    ASSERT_EQ(CreateThread(&row), 0);
    ASSERT_EQ(DeleteThread(&row), 0);
    EXPECT_EQ(bodyRuns.load(), 1);
    // Each runner thread has an alternate signal stack of its own.
    EXPECT_EQ(altStackOk.load(), 1);
}

TEST_F(Threads, OneShotRowRunsItsBodyOnceWithoutAStartLine)
{
    ThreadDesc row;
    row.name = "Once Thread";
    row.id = 1;
    row.mode = 0;
    row.period = 1000;
    row.body = countingBody;
    threadsStop = 0;
    bodyRuns = 0;
    ASSERT_EQ(CreateThread(&row), 0);
    ASSERT_EQ(DeleteThread(&row), 0);
    EXPECT_EQ(bodyRuns.load(), 1);
    EXPECT_EQ(book().find("Once Thread: pid"), std::string::npos);
}

TEST_F(Threads, PeriodsAboveOneSecondSleepWholeSeconds)
{
    struct Case {
        int mode;
        int32_t period;
        int64_t wantUs; // between two turns, or from the start to a one-shot's turn
    } cases[] = {
        {1, 999999, 999999},   // microseconds
        {1, 1000000, 1000000}, // exactly one second still sleeps in microseconds
        {1, 2500000, 2000000}, // whole seconds: the half second is dropped
        {0, 2500000, 2500000}, // a one-shot row waits its whole period
    };
    for (const Case& c : cases) {
        ThreadDesc row;
        row.name = "Timed Thread";
        row.id = 0;
        row.mode = c.mode;
        row.period = c.period;
        row.body = timedBody;
        threadsStop = 0;
        turns = 0;
        int64_t start = virtualNowNs();
        ASSERT_EQ(CreateThread(&row), 0);
        ASSERT_EQ(DeleteThread(&row), 0);
        int64_t took = c.mode == 1 ? turnNs[1] - turnNs[0] : turnNs[0] - start;
        EXPECT_NEAR(took / 1000, c.wantUs, 100) << "period " << c.period << " mode " << c.mode;
    }
}

} // namespace
