#include "core/logs.h"
#include "core/threads.h"
#include "platform/paths.h"
#include "sim/board.h"
#include "sim/testFixture.h"
#include "sim/testSupport.h"

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

class Threads : public SandboxLogTest {
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

} // namespace
