// External analog set-up on the simulated external PLL, and the second-core
// start and reset pulse on the simulated board.
#include "Config/StrutturaDati.h"
#include "Config/keys/factoryKeys.h"
#include "audio/extAnalog.h"
#include "audio/secondCore.h"
#include "core/base/locks.h"
#include "core/base/rfMute.h"
#include "hw/fpgaGbe.h"
#include "hw/fpgaWindows.h"
#include "platform/clock.h"
#include "sim/programs.h"
#include "sim/simFpga.h"
#include "sim/simModels.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

int64_t nowNs()
{
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

class ExtAnalog : public SandboxTest {
protected:
    ExtAnalog() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, "i2c 1 0x72 extpll name=EXTPLL status=0x00\n") {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    static void setStatus(uint8_t v) { simModelOf(simFindDevice(SIM_BUS_I2C1, 0x72))->poke(4, &v, 1); }
    uint64_t mark()
    {
        auto l = busLog(SIM_BUS_I2C1);
        return l.empty() ? 0 : l.back().seq;
    }
    // Frequency words written (command 0 with four bytes) after a mark.
    size_t wordWrites(uint64_t after = 0)
    {
        size_t n = 0;
        for (const SimLogRecord& r : busLog(SIM_BUS_I2C1, after))
            if (r.op == SIM_OP_WRITE && r.dataLen == 5 && r.data[0] == 0)
                n++;
        return n;
    }
};

TEST_F(ExtAnalog, LevelCodes)
{
    struct {
        uint8_t mode;
        int8_t level;
        uint8_t dev;
        uint8_t code;
    } cases[] = {
        {0, 0, 75, 16},    // ln(75 / 185) x -87.7 = 79.2
        {0, 0, 185, 0},    // deviation equal to r: v = L
        {1, 120, 75, 46},  // 110.4 + 120 = 230.4, / 5
        {0, -100, 75, 0},  // negative v
        {0, 127, 1, 106},  // 457.8 + 127 = 584.8: (584.8 - 490) / 10 + 97
        {0, 127, 0, 255},  // no deviation: above 780
    };
    for (auto c : cases) {
        EXPECT_EQ(ExtAnalog_LevelCode(c.mode, c.level, c.dev), c.code)
            << int(c.mode) << " " << int(c.level) << " " << int(c.dev);
    }
}

TEST_F(ExtAnalog, TuningGivesUpAfterThirtyAttemptsAndEndsTheMute)
{
    setExtOutputStageFitted(1);
    globalMute = 1;
    int64_t t0 = nowNs();
    ExtAnalog_SetFrequency(98100000);
    EXPECT_EQ(wordWrites(), 30u);
    EXPECT_GE(nowNs() - t0, 15500000000LL);
    EXPECT_EQ(globalMute.load(), 0);

    // A status byte that is not 0 ends the attempts at once.
    setStatus(0x03);
    uint64_t m = mark();
    ExtAnalog_SetFrequency(98100000);
    EXPECT_EQ(wordWrites(m), 1u);

    // The level goes to the register of its mode.
    m = mark();
    ExtAnalog_SetLevel(1, 120, 75);
    auto log = busLog(SIM_BUS_I2C1, m);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(std::vector<uint8_t>(log[0].data, log[0].data + log[0].dataLen), (std::vector<uint8_t>{2, 1, 46}));
}

TEST_F(ExtAnalog, WithoutTheSystemOnlyTheMuteIsCleared)
{
    globalMute = 1;
    ExtAnalog_SetFrequency(98100000);
    ExtAnalog_SetLevel(0, 0, 75);
    EXPECT_TRUE(busLog(SIM_BUS_I2C1).empty());
    EXPECT_EQ(globalMute.load(), 0);
}

class SecondCore : public SandboxTest {
protected:
    SecondCore() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    static uint32_t resetWord()
    {
        uint32_t v = 0;
        simFpgaRead(0xFF200B20, &v);
        return v;
    }
};

TEST_F(SecondCore, ResetPulseKeepsTheOtherBitsAndHoldsTheBit)
{
    ASSERT_EQ(initAxi(), 0);
    simFpgaWrite(0xFF200B20, 0xA5A5A5A4);
    uint32_t before = simState()->fpga.gbeWrites.load();
    int64_t t0 = nowNs();
    EXPECT_EQ(AMP_PulseFpgaReset(), 0);
    EXPECT_GE(nowNs() - t0, 100000);
    ASSERT_EQ(simState()->fpga.gbeWrites.load(), before + 2);
    const uint32_t(*log)[2] = simState()->fpga.gbeLog;
    EXPECT_EQ(log[before % kSimGbeLogSize][0], 32u);
    EXPECT_EQ(log[before % kSimGbeLogSize][1], 0xA5A5A5A5u);
    EXPECT_EQ(log[(before + 1) % kSimGbeLogSize][1], 0xA5A5A5A4u);
    EXPECT_EQ(resetWord(), 0xA5A5A5A4u);

    // A read that fails writes nothing and gives its error.
    pthread_mutex_t saved = GbeMutex;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
    pthread_mutex_init(&GbeMutex, &attr);
    pthread_mutex_lock(&GbeMutex); // held: taking it again fails
    EXPECT_EQ(AMP_PulseFpgaReset(), -2);
    pthread_mutex_unlock(&GbeMutex);
    GbeMutex = saved;
    EXPECT_EQ(simState()->fpga.gbeWrites.load(), before + 2);
}

TEST_F(SecondCore, ModuleToolsRunAsChildrenWithTheModulePath)
{
    std::string log = root + "/var/log/standin.log";
    AMP_StartBareMetal(1);
    EXPECT_TRUE(waitUntil([&] { return readSandboxFile("/var/log/standin.log").find("insmod /boot/tarn_amp.ko\n") !=
                                       std::string::npos; },
                          5000));
    // A failing tool is only its child's exit status.
    mkdir((root + "/var/lib/standin/status").c_str(), 0755);
    std::ofstream(root + "/var/lib/standin/status/rmmod") << "1";
    AMP_StartBareMetal(0);
    int status = 0, failed = 0;
    for (int i = 0; i < 2; i++) {
        ASSERT_GT(wait(&status), 0);
        failed += WIFEXITED(status) && WEXITSTATUS(status) == 1;
    }
    EXPECT_EQ(failed, 1);
    EXPECT_NE(readSandboxFile("/var/log/standin.log").find("rmmod /boot/tarn_amp.ko\n"), std::string::npos);
    EXPECT_NE(book().find("INFO: Load AMP System\n"), std::string::npos);

    // A tool that cannot be executed: the child says so in the book log and
    // ends; the caller goes on.
    ASSERT_EQ(rename((root + "/sbin/insmod").c_str(), (root + "/sbin/insmod.away").c_str()), 0);
    AMP_StartBareMetal(1);
    ASSERT_GT(wait(&status), 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    EXPECT_NE(book().find("INFO: Cannot load/unload BM_firmware (error: 2), killing child process\n"),
              std::string::npos)
        << book();
}

TEST_F(SecondCore, ChildGoesToTheRegisteredReaper)
{
    static pid_t watched = 0;
    registerSecondCoreChildWatcher([](pid_t p) { watched = p; });
    AMP_StartBareMetal(1);
    int status = 0;
    pid_t ended = wait(&status);
    EXPECT_EQ(ended, watched);
    registerSecondCoreChildWatcher(nullptr);
}

} // namespace
