// The FPGA's RDS FIFO and the blocks it sends.
#include "sim/simRds.h"

#include "platform/clock.h"
#include "sim/simState.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr uint32_t kPoly = 0x5B9; // x^10 + x^8 + x^7 + x^5 + x^4 + x^3 + 1
constexpr uint16_t kOffsets[] = {0x0FC, 0x198, 0x168, 0x350, 0x1B4};
constexpr uint32_t kFifoEn = 1u << 17;
constexpr uint32_t kAlmostFull = 1u << 0;
constexpr uint32_t kAlmostEmpty = 1u << 17;
constexpr uint32_t kMargin = 2;

class RdsLock {
public:
    explicit RdsLock(SimRdsState& r) : m_(&r.lock)
    {
        if (pthread_mutex_lock(m_) == EOWNERDEAD)
            pthread_mutex_consistent(m_);
    }
    ~RdsLock() { pthread_mutex_unlock(m_); }
    RdsLock(const RdsLock&) = delete;
    RdsLock& operator=(const RdsLock&) = delete;

private:
    pthread_mutex_t* m_;
};

SimRdsState* rds()
{
    SimBoardState* s = simState();
    return s ? &s->fpga.rds : nullptr;
}

bool wordOk(uint32_t w)
{
    uint32_t expect = 0;
    for (int g = 0; g < 3; g++)
        expect |= static_cast<uint32_t>(__builtin_parity((w >> (6 * g)) & 0x3F)) << (21 + g);
    return (w & 0xFFFC0000u) == expect;
}

int64_t nowNs()
{
    struct timespec ts = {};
    clockPeekTime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// Called with the lock held.
void advance(SimRdsState& r, int64_t now)
{
    if (r.nextAirNs == 0 || now < r.nextAirNs)
        return;
    uint64_t slots = static_cast<uint64_t>((now - r.nextAirNs) / kSimRdsGroupNs) + 1;
    uint64_t sent = std::min<uint64_t>(slots, r.fill);
    for (uint64_t k = 0; k < sent; k++) {
        SimRdsAirGroup& g = r.air[r.airCount % kSimRdsAirLog];
        g.timeNs = r.nextAirNs + static_cast<int64_t>(k) * kSimRdsGroupNs;
        simRdsGroupBlocks(r.fifo[r.head], g.blocks);
        r.head = (r.head + 1) % kSimRdsFifoMax;
        r.fill--;
        r.airCount++;
    }
    r.underruns.fetch_add(static_cast<uint32_t>(std::min<uint64_t>(slots - sent, UINT32_MAX)));
    r.nextAirNs += static_cast<int64_t>(slots) * kSimRdsGroupNs;
}

uint32_t status(const SimRdsState& r)
{
    uint32_t s = 0;
    if (r.fill + kMargin >= r.capacity)
        s |= kAlmostFull;
    if (r.fill <= kMargin)
        s |= kAlmostEmpty;
    return s;
}

} // namespace

uint32_t simRdsBlock(uint16_t info, SimRdsOffset offset)
{
    uint32_t reg = static_cast<uint32_t>(info) << 10;
    for (int b = 25; b >= 10; b--)
        if (reg >> b & 1u)
            reg ^= kPoly << (b - 10);
    return static_cast<uint32_t>(info) << 10 | ((reg & 0x3FFu) ^ kOffsets[offset]);
}

void simRdsGroupBlocks(const uint16_t info[4], uint32_t blocks[4])
{
    blocks[0] = simRdsBlock(info[0], SIM_RDS_A);
    blocks[1] = simRdsBlock(info[1], SIM_RDS_B);
    blocks[2] = simRdsBlock(info[2], (info[1] & 0x0800) ? SIM_RDS_CP : SIM_RDS_C);
    blocks[3] = simRdsBlock(info[3], SIM_RDS_D);
}

void simRdsPowerOn(SimRdsState& r, uint32_t capacity)
{
    pthread_mutexattr_t a;
    pthread_mutexattr_init(&a);
    pthread_mutexattr_setpshared(&a, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&a, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(&r.lock, &a);
    pthread_mutexattr_destroy(&a);
    r.capacity = std::clamp<uint32_t>(capacity, 1, kSimRdsFifoMax);
    r.fill = 0;
    r.head = 0;
    memset(r.fifo, 0, sizeof r.fifo);
    r.nextAirNs = 0;
    r.airCount = 0;
    memset(r.air, 0, sizeof r.air);
    r.taken.store(0);
    r.refused.store(0);
    r.notEnabled.store(0);
    r.underruns.store(0);
    r.parityErrors.store(0);
}

uint32_t simRdsTransfer(const uint32_t words[6])
{
    SimRdsState* r = rds();
    if (!r)
        return 0;
    RdsLock g(*r);
    int64_t now = nowNs();
    advance(*r, now);
    bool ok = true;
    for (int i = 0; i < 6; i++)
        ok = ok && wordOk(words[i]);
    if (!ok) {
        r->parityErrors.fetch_add(1);
    } else if (!(words[4] & kFifoEn)) {
        r->notEnabled.fetch_add(1);
    } else if (r->fill >= r->capacity) {
        r->refused.fetch_add(1);
    } else {
        uint16_t* slot = r->fifo[(r->head + r->fill) % kSimRdsFifoMax];
        for (int i = 0; i < 4; i++)
            slot[i] = static_cast<uint16_t>(words[i]);
        r->fill++;
        r->taken.fetch_add(1);
        if (r->nextAirNs == 0)
            r->nextAirNs = now + kSimRdsGroupNs;
    }
    return status(*r);
}

void simRdsAdvance()
{
    if (SimRdsState* r = rds()) {
        RdsLock g(*r);
        advance(*r, nowNs());
    }
}

int simRdsAirGroups(SimRdsAirGroup* out, int max)
{
    SimRdsState* r = rds();
    if (!r || max <= 0)
        return 0;
    RdsLock g(*r);
    uint64_t n = std::min<uint64_t>({r->airCount, static_cast<uint64_t>(kSimRdsAirLog), static_cast<uint64_t>(max)});
    for (uint64_t i = 0; i < n; i++)
        out[i] = r->air[(r->airCount - n + i) % kSimRdsAirLog];
    return static_cast<int>(n);
}

int simRdsSetCapacity(uint32_t groups)
{
    SimRdsState* r = rds();
    if (!r || groups < 1 || groups > kSimRdsFifoMax)
        return -1;
    RdsLock g(*r);
    r->capacity = groups;
    return 0;
}

uint32_t simRdsFill()
{
    SimRdsState* r = rds();
    if (!r)
        return 0;
    RdsLock g(*r);
    return r->fill;
}
