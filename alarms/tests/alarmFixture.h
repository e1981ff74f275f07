// Shared set-up of the alarm tests: a sandbox with logs, DbPool and the
// virtual clock, the shared time base well past start, and the calls the
// stand-ins report.
#pragma once

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "comtab/dbPool.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "pending/standIns.h"
#include "platform/clock.h"
#include "testing/sandboxTest.h"

#include <string>
#include <vector>

inline std::vector<std::string>& standInCalls()
{
    static std::vector<std::string> calls;
    return calls;
}

class AlarmTest : public SandboxTest {
protected:
    AlarmTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        standInCalls().clear();
        standInCallHook = [](const char* call) { standInCalls().push_back(call); };
        globalMute = 0;
        // The shared time base 1000 s after start, so that stamps of zero are
        // long past.
        advanceSeconds(1000);
    }

    void TearDown() override
    {
        standInCallHook = nullptr;
        SandboxTest::TearDown();
    }

public:
    // Moves the virtual clock and the shared time base on together.
    static void advanceSeconds(double s)
    {
        clockAdvanceUs(static_cast<int64_t>(s * 1e6));
        syncTimeBase();
    }
    static void syncTimeBase()
    {
        struct timespec now;
        clockGetTime(CLOCK_MONOTONIC_RAW, &now);
        setMonoTimeNow(now);
    }

protected:

    // Bit n (1-based) of a bitmap mirrored from cell (section, first) on.
    static int dbBit(uint32_t section, uint32_t first, uint32_t n)
    {
        return (readDbAreaCell(section, first + (n - 1) / 32) >> ((n - 1) % 32)) & 1;
    }
    static int eventCell(uint32_t n) { return dbBit(4, 1, n); }
    static int ampCell(uint32_t n) { return dbBit(40, 44, n); }

    static size_t countCalls(const std::string& call)
    {
        size_t n = 0;
        for (const std::string& c : standInCalls())
            n += c == call;
        return n;
    }
};
