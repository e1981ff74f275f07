#include "core/base/timeBase.h"
#include "platform/clock.h"

#include <atomic>
#include <cstdlib>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct timespec ts(long s, long ns)
{
    struct timespec t;
    t.tv_sec = s;
    t.tv_nsec = ns;
    return t;
}

TEST(ElapsedUs, TableOfStampPairs)
{
    struct Case {
        struct timespec a, b;
        uint32_t want;
    } cases[] = {
        {ts(5, 999999000), ts(6, 0), 0},                 // one us less than the exact difference
        {ts(7, 123000), ts(7, 123000), 0},               // equal stamps
        {ts(7, 100000), ts(7, 350000), 250},             // same second
        {ts(0, 0), ts(1, 0), 999999},
        {ts(0, 0), ts(1800, 0), 1799999999},             // the last second before the clamp
        {ts(0, 0), ts(1801, 0), 1799999999},             // clamped
        {ts(0, 0), ts(100000, 500000), 1799999999 + 500}, // clamped plus the sub-second part
        {ts(10, 0), ts(10, 999), 0},                     // nanoseconds below one us
    };
    for (const Case& c : cases) {
        EXPECT_EQ(getElapsedUs(&c.a, &c.b), c.want) << c.a.tv_sec << "." << c.a.tv_nsec << " -> " << c.b.tv_sec;
        EXPECT_EQ(getElapsedUs(&c.b, &c.a), c.want) << "swapped";
    }
}

TEST(Hysteresis, WindowAndTwoThresholdSwitch)
{
    uint8_t state = 1;
    EXPECT_EQ(checkWindowHyst(52, 55, 120, 5, &state), 1);
    state = 0;
    EXPECT_EQ(checkWindowHyst(52, 55, 120, 5, &state), -1);
    state = 1;
    EXPECT_EQ(checkWindowHyst(49, 55, 120, 5, &state), 0);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(checkWindowHyst(55, 55, 120, 5, &state), 1);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(checkWindowHyst(120, 55, 120, 5, &state), -1);
    EXPECT_EQ(state, 1);

    uint8_t flag = 0, inverse = 7;
    updateHysteresis(15, 10, 20, &flag, &inverse); // between: untouched
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(inverse, 7);
    updateHysteresis(20, 10, 20, &flag, &inverse);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(inverse, 0);
    updateHysteresis(10, 10, 20, &flag, &inverse);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(inverse, 1);
}

TEST(PeriodicStep, FirstCallStampsThenRunsEveryPeriod)
{
    clockUseVirtual();
    timeThread();
    PeriodicStep waiting{}, eager{};
    EXPECT_FALSE(periodicStepDue(&waiting, 250000));
    EXPECT_TRUE(periodicStepDue(&eager, 250000, true));
    periodicStepDone(&eager);
    EXPECT_FALSE(periodicStepDue(&eager, 250000, true));

    clockAdvanceUs(249000);
    timeThread();
    EXPECT_FALSE(periodicStepDue(&waiting, 250000));
    clockAdvanceUs(2000);
    timeThread();
    EXPECT_TRUE(periodicStepDue(&waiting, 250000));
    periodicStepDone(&waiting);
    EXPECT_FALSE(periodicStepDue(&waiting, 250000));
    EXPECT_TRUE(periodicStepDue(&eager, 250000, true));
}

TEST(MonoTimeNow, ReadersNeverSeeATornValue)
{
    // The writer publishes stamps whose nanoseconds mirror their seconds, so a
    // reader that mixed two publications would see a mismatch.
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (long i = 0; !stop.load(); i++)
            setMonoTimeNow(ts(i, (i % 1000) * 1000000));
    });
    long bad = 0;
    for (int i = 0; i < 200000; i++) {
        struct timespec t = getMonoTimeNow();
        if (t.tv_nsec != (t.tv_sec % 1000) * 1000000)
            bad++;
    }
    stop = true;
    writer.join();
    EXPECT_EQ(bad, 0);
}

TEST(MktimeLocal, MatchesTheCLibraryAndNormalises)
{
    setenv("TZ", "Europe/Rome", 1);
    tzset();
    struct Case {
        int year, mon, mday, hour, min, sec, isdst;
    } cases[] = {
        {2026, 0, 15, 12, 30, 45, 0},   // winter
        {2026, 6, 15, 12, 30, 45, 1},   // summer
        {2024, 1, 29, 23, 59, 59, 0},   // leap day
        {2026, 0, 32, 10, 0, 0, -1},    // day 32 of January is 1 February
        {2026, 12, 1, 0, 0, 0, -1},     // month 12 is January of the next year
        {2026, 2, 1, 25, 61, 0, -1},    // hours and minutes carry
        {2024, 2, 0, 12, 0, 0, 0},      // day 0 of March is the leap day
        {2025, 2, 0, 12, 0, 0, 0},      // ... or 28 February
        {2024, 0, -30, 12, 0, 0, 0},    // into December of the year before
    };
    for (const Case& c : cases) {
        struct tm mine{}, libc{};
        mine.tm_year = libc.tm_year = c.year - 1900;
        mine.tm_mon = libc.tm_mon = c.mon;
        mine.tm_mday = libc.tm_mday = c.mday;
        mine.tm_hour = libc.tm_hour = c.hour;
        mine.tm_min = libc.tm_min = c.min;
        mine.tm_sec = libc.tm_sec = c.sec;
        mine.tm_isdst = libc.tm_isdst = c.isdst;
        time_t want = mktime(&libc);
        EXPECT_EQ(mktimeLocal(&mine), want) << c.year << "-" << c.mon << "-" << c.mday;
        EXPECT_EQ(mine.tm_mday, libc.tm_mday);
        EXPECT_EQ(mine.tm_mon, libc.tm_mon);
    }
    // A summer date claimed as standard time is refused.
    struct tm wrong{};
    wrong.tm_year = 126;
    wrong.tm_mon = 6;
    wrong.tm_mday = 15;
    wrong.tm_hour = 12;
    wrong.tm_isdst = 0;
    EXPECT_EQ(mktimeLocal(&wrong), -1);
}

TEST(EdgeTimers, PulseForTheDelayAfterAnEdge)
{
    clockUseVirtual();
    uint8_t out = 0;
    // The time-stamp argument is not what the pulse is timed on.
    struct timespec stale = ts(0, 0);
    risingEdgeTimer(0, 3, &stale, 2, &out);
    EXPECT_EQ(out, 0);
    risingEdgeTimer(1, 3, &stale, 2, &out);
    EXPECT_EQ(out, 1);
    clockAdvanceUs(1000000);
    risingEdgeTimer(1, 3, &stale, 2, &out);
    EXPECT_EQ(out, 1);
    clockAdvanceUs(1100000);
    risingEdgeTimer(1, 3, &stale, 2, &out);
    EXPECT_EQ(out, 0);

    fallingEdgeTimer(1, 4, nullptr, 1, &out);
    fallingEdgeTimer(0, 4, nullptr, 1, &out);
    EXPECT_EQ(out, 1);
}

} // namespace
