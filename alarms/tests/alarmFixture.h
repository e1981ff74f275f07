// Shared set-up of the alarm tests: a sandbox with logs, DbPool and the
// virtual clock, the shared time base well past start, the FPGA mapped with
// the simulated audio PLL locking at once, what the simulated board saw
// (control frames, RF synthesizer and RF DAC writes, I2C register writes).
#pragma once

#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "comtab/dbPool.h"
#include "core/base/locks.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "hw/fpgaWindows.h"
#include "hw/rfDac.h"
#include "platform/clock.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <string>
#include <vector>

class AlarmTest : public SandboxTest {
protected:
    AlarmTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        SemMutexInit();
        ASSERT_EQ(initAxi(), 0);
        simFpgaSetPllScript(SIM_PLL_LOCKED, 0);
        globalMute = 0;
        // The shared time base 1000 s after start, so that stamps of zero are
        // long past.
        advanceSeconds(1000);
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

    // Control frames the simulated FPGA received so far, and those of its
    // ring received after `after` of them (at most the ring's 32).
    static uint32_t frameCount() { return simState()->fpga.frameCount.load(); }
    static std::vector<SimFrameRecord> framesAfter(uint32_t after)
    {
        std::vector<SimFrameRecord> r(kSimFrameRingSize);
        r.resize(static_cast<size_t>(simFpgaRing(r.data(), kSimFrameRingSize)));
        uint32_t n = frameCount() - after;
        if (n < r.size())
            r.erase(r.begin(), r.end() - n);
        return r;
    }
    static uint32_t frameBit(const SimFrameRecord& f, int word, int bit) { return f.words[word] >> bit & 1; }
    // The carrier bit (word 4 bit 16) is clear in a muted frame.
    static bool muted(const SimFrameRecord& f) { return frameBit(f, 4, 16) == 0; }
    static uint32_t parityErrors() { return simState()->fpga.parityErrors.load(); }

    // One audio-PLL relock in the frames from f[i] on: the reset pulse (word 8
    // bit 16 at 0, 1, 0), the lock polls, the sync pulse (word 19 bit 17 at 1,
    // 0) and the reset pulse of the FPGA (word 6 bit 16 at 1, 0). Returns the
    // index after it, or 0 when the frames there are no relock.
    static size_t relockEnd(const std::vector<SimFrameRecord>& f, size_t i)
    {
        auto pll = [&](size_t k) { return frameBit(f[k], 8, 16); };
        auto sync = [&](size_t k) { return frameBit(f[k], 19, 17); };
        auto reset = [&](size_t k) { return frameBit(f[k], 6, 16); };
        if (i + 8 > f.size() || pll(i) || !pll(i + 1) || pll(i + 2))
            return 0;
        size_t k = i + 3;
        size_t polls = 0;
        while (k < f.size() && !pll(k) && !sync(k) && !reset(k) && muted(f[k])) {
            k++;
            polls++;
        }
        if (polls == 0 || k + 4 > f.size())
            return 0;
        if (!sync(k) || sync(k + 1) || !reset(k + 2) || reset(k + 3))
            return 0;
        return k + 4;
    }

    // Four-byte writes on a chip select of the SPI bus after log entry
    // `after`; the RF synthesizer (chip select 6) takes 26 of them for one
    // programming.
    static constexpr uint16_t kRfSynthCs = 6;
    static constexpr size_t kRfSynthWords = 26;
    static uint64_t spiHead() { return simState()->buses[SIM_BUS_SPI0].logHead.load(); }
    static uint64_t i2cHead() { return simState()->buses[SIM_BUS_I2C1].logHead.load(); }
    // Register writes (register and value) to the I2C device at addr on bus 1
    // after log entry `after`.
    static std::vector<SimLogRecord> i2cWrites(uint16_t addr, uint64_t after = 0)
    {
        std::vector<SimLogRecord> log(kSimLogEntries), out;
        log.resize(simLogRead(SIM_BUS_I2C1, after, log.data(), log.size()));
        for (const SimLogRecord& r : log)
            if (r.op == SIM_OP_WRITE && r.addr == addr && r.dataLen >= 2)
                out.push_back(r);
        return out;
    }
    static std::vector<SimLogRecord> spiWrites(uint16_t cs, uint64_t after = 0)
    {
        std::vector<SimLogRecord> log(kSimLogEntries), out;
        log.resize(simLogRead(SIM_BUS_SPI0, after, log.data(), log.size()));
        for (const SimLogRecord& r : log)
            if (r.op == SIM_OP_XFER && r.addr == cs)
                out.push_back(r);
        return out;
    }
    // Whole programmings of the RF synthesizer after log entry `after`.
    static size_t synthInits(uint64_t after = 0)
    {
        size_t words = spiWrites(kRfSynthCs, after).size();
        EXPECT_EQ(words % kRfSynthWords, 0u) << "a programming was cut short";
        return words / kRfSynthWords;
    }
};
