// The unit start-up brings up the RF clock and the RF DAC of the board, and
// the main loop then answers a mailbox request from another process.
#include "Config/keys/rfKeys.h"
#include "core/base/locks.h"
#include "core/base/timeBase.h"
#include "core/mainLoop.h"
#include "core/unitStartup.h"
#include "hw/fpgaWindows.h"
#include "sim/simModels.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

class RfStartup : public SandboxTest {
protected:
    RfStartup() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
        mainLoopResetForTest();
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    std::string simctl(const std::string& args)
    {
        int status = -1;
        std::string out = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args, &status);
        EXPECT_EQ(status, 0) << args;
        return out;
    }
};

TEST_F(RfStartup, DefaultBoardProgramsClockAndRfDacThenServesTheMailbox)
{
    ASSERT_EQ(initAxi(), 0);
    setOutputRFfrequency(89500000, 0);
    initUnitHardware();

    // The RF DAC holds the words of 89.5 MHz: FTW 0x9B61C7, FC 0x09B6.
    SimModel* qm = simModelOf(simFindDevice(SIM_BUS_SPI0, 5));
    uint8_t regs[0x1E] = {};
    ASSERT_EQ(qm->peek(0, regs, sizeof regs), static_cast<int>(sizeof regs));
    EXPECT_EQ(regs[0x0A], 0xC7);
    EXPECT_EQ(regs[0x0B], 0x61);
    EXPECT_EQ(regs[0x0C], 0x9B);
    EXPECT_EQ(regs[0x1C], 0xB6);
    EXPECT_EQ(regs[0x1D], 0x09);
    // The Normal board's synthesizer: 26 words from register 3 with bit 6.
    std::vector<SimLogRecord> log(kSimLogEntries);
    log.resize(simLogRead(SIM_BUS_SPI0, 0, log.data(), log.size()));
    std::vector<std::vector<uint8_t>> synth;
    for (const SimLogRecord& r : log)
        if (r.op == SIM_OP_XFER && r.addr == 6)
            synth.emplace_back(r.data, r.data + r.dataLen);
    ASSERT_EQ(synth.size(), 26u);
    EXPECT_EQ(synth.front(), (std::vector<uint8_t>{0x80, 0x34, 0x67, 0x43}));
    EXPECT_EQ(synth.back(), (std::vector<uint8_t>{0x80, 0x34, 0x67, 0x03}));

    // A read request of the RF synthesizer, written by another process, is
    // answered within one 250 ms mailbox period of the main loop.
    timeThread();
    fpgaRegMailboxTick();
    simctl("fpga write 0xFF300000 0x81010000");
    clockAdvanceUs(250000);
    timeThread();
    fpgaRegMailboxTick();
    std::istringstream out(simctl("fpga read 0xFF300000 29"));
    std::vector<std::string> words;
    std::string w;
    while (out >> w)
        words.push_back(w);
    ASSERT_EQ(words.size(), 29u);
    EXPECT_EQ(words[0], "0x01010E00");
    EXPECT_EQ(words[1 + 2 * 3], "0x00000003");
    EXPECT_EQ(words[1 + 2 * 3 + 1], "0x80346703");
    EXPECT_EQ(mainWorkSuspended.load(), 0);
}

} // namespace
