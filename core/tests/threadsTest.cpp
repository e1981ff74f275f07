#include "Config/configCycle.h"
#include "core/base/logs.h"
#include "core/threads.h"
#include "core/base/timeBase.h"
#include "audio/rdsSequencer.h"
#include "audio/uecpReceiver.h"
#include "core/systemTime.h"
#include "persist/upgradeManager.h"
#include "power/spsModule.h"
#include "timing/gsmModem.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "testing/sandboxTest.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

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

TEST_F(Threads, TableRowsAndStartOrder)
{
    struct Row {
        const char* name;
        int32_t id;
        int32_t periodUs;
        void (*body)();
    };
    const Row expected[THREAD_ROWS] = {
        {"SaveConfig Thread", 0, 500000, testSaveConfigAfterApply},
        {"UECP Rx Thread", 1, 10000, UECP_PollPort},
        {"RDS Loop Thread", 2, 10000, RDS_Mng},
        {"Upgrade Thread", 4, 250000, upgradeRun},
        {"Gsm Thread", 5, 100000, GSM_ThreadStep},
        {"Ltx Thread", 6, 10000, ltxThreadStep},
        {"Time Thread", 7, 10000, timeThread},
        {"NTP Thread", 9, 1000000, ntpThreadStep},
        {"SPS Thread", 10, 500000, SPS_Task},
    };
    const std::vector<std::string> startOrder = {"Time Thread",     "SaveConfig Thread", "Ltx Thread",
                                                 "UECP Rx Thread",  "RDS Loop Thread",   "Upgrade Thread",
                                                 "NTP Thread",      "SPS Thread"};

    // Paused, the runners keep their rhythm without running the bodies.
    threadsPaused = 1;
    initThreads();
    // Each started thread writes its kernel id when it begins.
    auto started = [] {
        int n = 0;
        for (const ThreadDesc& t : threadTable)
            n += t.tid.load() != 0;
        return n;
    };
    for (int i = 0; i < 500 && started() < static_cast<int>(startOrder.size()); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    int policy = 0;
    sched_param param{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &policy, &param), 0);
    [[maybe_unused]] const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    std::vector<std::pair<pid_t, std::string>> byTid;
    for (int i = 0; i < THREAD_ROWS; i++) {
        const ThreadDesc& t = threadTable[i];
        const Row& e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_STREQ(t.name, e.name);
        EXPECT_EQ(t.id, e.id);
        EXPECT_EQ(t.mode, 1);
        EXPECT_EQ(t.period, e.periodUs);
        EXPECT_TRUE(t.body == e.body);
        if (t.tid.load() == 0)
            continue;
        byTid.emplace_back(t.tid.load(), t.name);
        // Default attributes but the stack: the creator's scheduling, a
        // stack of 320000 bytes (rounded up to whole pages).
        int p = -1;
        sched_param sp{};
        EXPECT_EQ(pthread_getschedparam(t.handle, &p, &sp), 0);
        EXPECT_EQ(p, policy);
        EXPECT_EQ(sp.sched_priority, param.sched_priority);
        pthread_attr_t attr;
        ASSERT_EQ(pthread_getattr_np(t.handle, &attr), 0);
        size_t stack = 0;
        pthread_attr_getstacksize(&attr, &stack);
        pthread_attr_destroy(&attr);
        EXPECT_GE(stack, 320000u);
#if !defined(__SANITIZE_THREAD__)
        // ThreadSanitizer raises a small thread stack to hold its own
        // thread-local state as well.
        EXPECT_LT(stack, 320000u + page);
#endif
    }
    // Thread ids are handed out in creation order.
    std::sort(byTid.begin(), byTid.end());
    std::vector<std::string> order;
    for (const auto& t : byTid)
        order.push_back(t.second);
    EXPECT_EQ(order, startOrder);
    EXPECT_EQ(threadTable[4].tid.load(), 0); // "Gsm Thread" is never started

    threadsStop = 1;
    for (ThreadDesc& t : threadTable) {
        if (t.tid.load() != 0) {
            EXPECT_EQ(DeleteThread(&t), 0) << t.name;
        }
    }
    threadsPaused = 0;
}

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
