// The one clock: real in service, virtual in tests.
#include "platform/clock.h"

#include "platform/clockSystem.h"

#include <atomic>
#include <cerrno>
#include <sched.h>

namespace {

struct ClockState {
    std::atomic<bool> isVirtual{false};
    std::atomic<bool> frozen{false};
    std::atomic<int64_t> nowNs{0};
    int64_t startNs = 0;
    int64_t wallEpoch = 0;
};

ClockState& st()
{
    static ClockState s;
    return s;
}

constexpr int64_t kNsPerSec = 1000000000LL;

void toTs(int64_t ns, struct timespec* ts)
{
    ts->tv_sec = static_cast<time_t>(ns / kNsPerSec);
    ts->tv_nsec = static_cast<long>(ns % kNsPerSec);
}

} // namespace

namespace {

// A virtual-clock reading (monotonic nanoseconds) as the clock asked for.
int virtualTime(clockid_t id, int64_t now, struct timespec* ts)
{
    if (id == CLOCK_REALTIME)
        now = now - st().startNs + st().wallEpoch * kNsPerSec;
    toTs(now, ts);
    return 0;
}

} // namespace

int clockGetTime(clockid_t id, struct timespec* ts)
{
    if (!st().isVirtual.load(std::memory_order_relaxed))
        return clock_gettime(id, ts);
    return virtualTime(id,
                       st().frozen.load(std::memory_order_relaxed) ? st().nowNs.load()
                                                                   : st().nowNs.fetch_add(1000) + 1000,
                       ts);
}

int clockPeekTime(clockid_t id, struct timespec* ts)
{
    if (!st().isVirtual.load(std::memory_order_relaxed))
        return clock_gettime(id, ts);
    return virtualTime(id, st().nowNs.load(), ts);
}

time_t clockWallSeconds()
{
    struct timespec ts;
    clockGetTime(CLOCK_REALTIME, &ts);
    return ts.tv_sec;
}

void clockSleepTs(const struct timespec* ts)
{
    if (st().isVirtual.load(std::memory_order_relaxed)) {
        if (!st().frozen.load(std::memory_order_relaxed))
            st().nowNs.fetch_add(static_cast<int64_t>(ts->tv_sec) * kNsPerSec + ts->tv_nsec);
        sched_yield();
        return;
    }
    struct timespec req = *ts, rem;
    while (nanosleep(&req, &rem) != 0 && errno == EINTR)
        req = rem;
}

void clockSleepUs(uint64_t us)
{
    struct timespec ts;
    toTs(static_cast<int64_t>(us) * 1000, &ts);
    clockSleepTs(&ts);
}

void clockSleepSeconds(unsigned s)
{
    struct timespec ts = {static_cast<time_t>(s), 0};
    clockSleepTs(&ts);
}

int clockSetWall(time_t seconds)
{
    if (st().isVirtual.load(std::memory_order_relaxed)) {
        // Wall time is the monotonic reading shifted by the epoch.
        int64_t now = st().nowNs.load();
        st().wallEpoch = static_cast<int64_t>(seconds) - (now - st().startNs) / kNsPerSec;
        return 0;
    }
    return systemSetWallClock(seconds);
}

void clockZoneChanged()
{
    systemZoneChanged();
}

void clockUseVirtual(int64_t startNs, int64_t wallEpochSeconds)
{
    st().startNs = startNs;
    st().wallEpoch = wallEpochSeconds;
    st().nowNs.store(startNs);
    st().frozen.store(false);
    st().isVirtual.store(true);
}

void clockUseReal()
{
    st().isVirtual.store(false);
}

bool clockIsVirtual()
{
    return st().isVirtual.load();
}

void clockAdvanceUs(int64_t us)
{
    st().nowNs.fetch_add(us * 1000);
}

void clockFreeze(bool frozen)
{
    st().frozen.store(frozen);
}
