// The FPGA in the unit start-up and the 500 ms frame step, watched through the
// simulated FPGA's frame ring: start-up pulse, parity, the audio-PLL wait
// with its pulses, and the version and system lines.
#include "core/base/locks.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "core/mainLoop.h"
#include "core/unitStartup.h"
#include "hw/fpgaMaintenance.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class FpgaStartup : public SandboxTest {
protected:
    FpgaStartup() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        SemMutexInit();
        timeThread();
    }

    static std::vector<SimFrameRecord> ring()
    {
        std::vector<SimFrameRecord> r(kSimFrameRingSize);
        r.resize(static_cast<size_t>(simFpgaRing(r.data(), kSimFrameRingSize)));
        return r;
    }

    static uint32_t bit(const SimFrameRecord& f, int word, int b) { return f.words[word] >> b & 1; }

    // Position of a line in the book log; npos when it is missing.
    size_t at(const std::string& line) { return book().find(line); }
};

TEST_F(FpgaStartup, FrameStepSendsTheStartupPulseInTheSecondFrame)
{
    ASSERT_EQ(initAxi(), 0);
    for (int i = 0; i < 4; i++) {
        fpgaFrameTick();
        clockAdvanceUs(500000);
        timeThread();
    }
    std::vector<SimFrameRecord> frames = ring();
    ASSERT_EQ(frames.size(), 4u);
    const uint32_t pulse[] = {0, 1, 0, 0};
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(bit(frames[i], 18, 17), pulse[i]) << i;
        EXPECT_EQ(frames[i].words[5], 0x200001u) << i;
        EXPECT_EQ(frames[i].words[27], 0x200001u) << i;
    }
    EXPECT_EQ(simState()->fpga.parityErrors.load(), 0u);

    std::string out = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga frame");
    EXPECT_NE(out.find("frames 4\n"), std::string::npos) << out;
    EXPECT_NE(out.find("parity errors 0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("word  5 0x200001\n"), std::string::npos) << out;
    EXPECT_NE(out.find("ring 3 "), std::string::npos) << out;
}

TEST_F(FpgaStartup, WaitAudioPllLockWithPulses)
{
    ASSERT_EQ(initAxi(), 0);
    simFpgaSetPllScript(SIM_PLL_AFTER, 3);
    EXPECT_EQ(Fpga_WaitAudioPllLock(1), 0);
    std::vector<SimFrameRecord> f = ring();
    // The lock shows from the third frame on and is taken when two reads agree
    // (the fourth); then the four frames of the two pulses.
    ASSERT_EQ(f.size(), 8u);
    size_t n = f.size();
    const SimFrameRecord &syncOn = f[n - 4], &syncOff = f[n - 3], &resetOn = f[n - 2], &resetOff = f[n - 1];
    EXPECT_EQ(bit(f[n - 5], 19, 17), 0u);
    EXPECT_EQ(bit(syncOn, 19, 17), 1u);
    EXPECT_EQ(bit(syncOff, 19, 17), 0u);
    EXPECT_GE(syncOff.timeNs - syncOn.timeNs, 5000000);
    EXPECT_LT(syncOff.timeNs - syncOn.timeNs, 6000000);
    EXPECT_EQ(bit(resetOn, 6, 16), 1u);
    EXPECT_EQ(bit(resetOff, 6, 16), 0u);
    EXPECT_GE(resetOff.timeNs - resetOn.timeNs, 100000000);
    EXPECT_LT(resetOff.timeNs - resetOn.timeNs, 101000000);
    EXPECT_EQ(bit(resetOn, 4, 16), 0u); // the pulses after the sync one go out muted
    EXPECT_EQ(simState()->fpga.parityErrors.load(), 0u);
}

TEST_F(FpgaStartup, WaitAudioPllLockGivesUpAfterFiveSeconds)
{
    ASSERT_EQ(initAxi(), 0);
    simFpgaSetPllScript(SIM_PLL_NEVER, 0);
    struct timespec start, end;
    clockGetTime(CLOCK_MONOTONIC_RAW, &start);
    EXPECT_EQ(Fpga_WaitAudioPllLock(1), 1);
    clockGetTime(CLOCK_MONOTONIC_RAW, &end);
    EXPECT_EQ(end.tv_sec - start.tv_sec, 6);
    EXPECT_EQ(bit(ring().back(), 19, 17), 0u); // no pulses after a time-out
}

TEST_F(FpgaStartup, HardwareStartupRunsTheFpgaStepsInOrder)
{
    testing::internal::CaptureStdout();
    initUnitHardware();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Program FPGA: FM ver. 1.0.0 [HwType E3]\n"), std::string::npos) << out;

    size_t info = at("DEBUG: SYSTEM INFORMATION:\n"), type = at("DEBUG:        FPGA          type : 0xE3\n"),
           major = at("DEBUG:        FPGA major version : 0x01\n"), version = at("INFO: Program FPGA: FM ver. 1.0.0 [HwType E3]\n"),
           mute = at("INFO: Mute On\n"), lock = at("INFO: Lock Pll Audio OK\n");
    EXPECT_NE(info, std::string::npos) << book();
    EXPECT_LT(info, type);
    EXPECT_LT(type, major);
    EXPECT_LT(major, version);
    EXPECT_LT(version, mute);
    EXPECT_LT(mute, lock);
    EXPECT_NE(lock, std::string::npos) << book();
    EXPECT_EQ(at("FAILURE"), std::string::npos);

    // First frame, control B pulse (0, 1, 0), audio PLL reset pulse, the
    // wait, then the audio DAC reset.
    std::vector<SimFrameRecord> f = ring();
    ASSERT_GE(f.size(), 7u);
    EXPECT_EQ(bit(f[0], 8, 17), 0u);
    EXPECT_EQ(bit(f[2], 8, 17), 1u);
    EXPECT_EQ(bit(f[3], 8, 17), 0u);
    EXPECT_EQ(bit(f[5], 8, 16), 1u);
    EXPECT_EQ(bit(f[6], 8, 16), 0u);
    EXPECT_EQ(simState()->fpga.parityErrors.load(), 0u);
}

TEST_F(FpgaStartup, AudioPllThatNeverLocksIsLoggedAndStartupGoesOn)
{
    simFpgaSetPllScript(SIM_PLL_NEVER, 0);
    testing::internal::CaptureStdout();
    initUnitHardware();
    testing::internal::GetCapturedStdout();
    EXPECT_NE(at("ERR: Lock Pll Audio FAILURE\n"), std::string::npos) << book();
    EXPECT_EQ(at("Lock Pll Audio OK"), std::string::npos);
}

} // namespace
