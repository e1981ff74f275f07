// The simulated FPGA window and its ports.
#include "platform/io.h"
#include "platform/regs.h"
#include "sim/simFpga.h"
#include "sim/simProfile.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

namespace {

constexpr size_t kLen = 0x4000000;

class SimFpga : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        int fd = ioOpen("/dev/mem", O_RDWR | O_SYNC);
        ASSERT_GE(fd, 0);
        void* p = ioMap(fd, kLen, PROT_READ | PROT_WRITE, MAP_SHARED, 0xFC000000);
        ioClose(fd);
        ASSERT_NE(p, MAP_FAILED);
        base = static_cast<uint8_t*>(p);
    }
    void TearDown() override
    {
        ioUnmap(base, kLen);
        SandboxTest::TearDown();
    }

    volatile uint32_t* word(uint64_t phys) { return reinterpret_cast<volatile uint32_t*>(base + (phys - 0xFC000000)); }

    uint8_t* base = nullptr;
};

TEST_F(SimFpga, WindowIsSharedAndStartsFromTheProfile)
{
    EXPECT_EQ(read32(word(0xFF200000)), 0xE3010000u) << "version word of the profile";
    write32(word(0xFF200100), 0x12345678);
    uint32_t v = 0;
    ASSERT_EQ(simFpgaRead(0xFF200100, &v), 0);
    EXPECT_EQ(v, 0x12345678u);
    ASSERT_EQ(simFpgaWrite(0xFF300000, 0xC1070101), 0);
    EXPECT_EQ(read32(word(0xFF300000)), 0xC1070101u);
    EXPECT_EQ(simFpgaRead(0xFBFFFFFC, &v), -1);

    int fd = ioOpen("/dev/mem", O_RDWR);
    EXPECT_EQ(ioMap(fd, 0x1000, PROT_READ, MAP_SHARED, 0x80000000), MAP_FAILED) << "outside the bridges";
    EXPECT_EQ(errno, EINVAL);
    ioClose(fd);
}

TEST_F(SimFpga, ControlPortTellsFramesFromRdsTransfers)
{
    SimFpgaState& f = simState()->fpga;
    for (uint32_t i = 0; i < 28; i++)
        write32(word(0xFF200004 + 4 * i), 0x100 + i);
    EXPECT_EQ(f.frameCount.load(), 1u);
    EXPECT_EQ(f.frame[27], 0x11Bu);
    EXPECT_EQ(read32(word(0xFF200A00)), 0x1Eu) << "after a frame the status words read as set";

    f.rdsStatus.store(0x000201);
    for (uint32_t i = 0; i < 6; i++)
        write32(word(0xFF200004 + 4 * i), 0x200 + i);
    EXPECT_EQ(read32(word(0xFF200A00)), 0x020201u) << "the knob's bits with the empty RDS FIFO's almost empty";
    EXPECT_EQ(f.rdsCount.load(), 1u);
    EXPECT_EQ(f.rdsWords[5], 0x205u);
    EXPECT_EQ(f.frameCount.load(), 1u);
    EXPECT_EQ(read32(word(0xFF200A00)), 0x1Eu) << "one RDS status per transfer";
}

// The audio-PLL lock script moves bit 2 of status word 0 as frames arrive;
// a script set by simctl from another process holds for the daemon's frames.
TEST_F(SimFpga, AudioPllLockScript)
{
    auto frame = [&] {
        for (uint32_t i = 0; i < 28; i++)
            write32(word(0xFF200004 + 4 * i), 0);
    };
    int status = -1;
    runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga pll after 2", &status);
    ASSERT_EQ(status, 0);
    frame();
    EXPECT_EQ(read32(word(0xFF200A00)), 0x1Au) << "not locked after the first frame";
    frame();
    EXPECT_EQ(read32(word(0xFF200A00)), 0x1Eu);
    simFpgaSetPllScript(SIM_PLL_NEVER, 0);
    frame();
    EXPECT_EQ(read32(word(0xFF200A00)), 0x1Au);
    simFpgaSetPllScript(SIM_PLL_LOCKED, 0);
    frame();
    EXPECT_EQ(read32(word(0xFF200A00)), 0x1Eu);
    runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga pll sometimes", &status);
    EXPECT_NE(status, 0);

    SimProfile prof;
    std::string error;
    EXPECT_EQ(simProfileParse("fpga-pll after 3\n", &prof, &error), 0) << error;
    EXPECT_EQ(prof.pllScript, static_cast<uint32_t>(SIM_PLL_AFTER));
    EXPECT_EQ(prof.pllAfter, 3u);
    EXPECT_EQ(simProfileParse("fpga-pll\n", &prof, &error), -1);
    EXPECT_NE(error.find("fpga-pll"), std::string::npos) << error;
}

TEST_F(SimFpga, KeyMatrixAnswersTheDrivenColumn)
{
    simFpgaSetKeys(simFpgaKeyBit(0x0402) | simFpgaKeyBit(0x0204)); // DOWN and RIGHT
    EXPECT_EQ(simFpgaKeyBit(0x0303), 0u) << "two rows is no key code";
    const uint32_t rows[][2] = {{1, 0}, {2, 4}, {4, 2}};
    for (auto [column, expected] : rows) {
        write32(word(0xFF20007C), column);
        EXPECT_EQ(read32(word(0xFF200080)), expected) << column;
    }
}

TEST_F(SimFpga, IdentityLoaderLatchesOnARisingStrobe)
{
    SimFpgaState& f = simState()->fpga;
    for (uint32_t i = 0; i < 5; i++) {
        write32(word(0xFF200BA4), i);
        write32(word(0xFF200BA0), 0xA0 + i);
        write32(word(0xFF200BA4), i | 8);
    }
    write32(word(0xFF200BA0), 0xEE);
    write32(word(0xFF200BA4), 4 | 8); // strobe still high: nothing latched
    EXPECT_EQ(f.idLatched.load(), 5u);
    EXPECT_EQ(f.idWords[0], 0xA0u);
    EXPECT_EQ(f.idWords[4], 0xA4u);
}

TEST_F(SimFpga, DownloadDeviceSelectsBanksAndMapsItsWindow)
{
    int fd = ioOpen("/dev/dwlfpga", O_RDWR);
    ASSERT_GE(fd, 0);
    uint8_t bank = 12;
    EXPECT_EQ(ioIoctl(fd, kSimDwlFpgaSelectBank, &bank), 0);
    EXPECT_EQ(simState()->fpga.dwlBank.load(), 12u);
    void* p = ioMap(fd, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, 0);
    ASSERT_NE(p, MAP_FAILED);
    write32(static_cast<uint8_t*>(p) + 0x800, 0xBEEF);
    void* q = ioMap(fd, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, 0);
    EXPECT_EQ(read32(static_cast<uint8_t*>(q) + 0x800), 0xBEEFu);
    ioUnmap(p, 4096);
    ioUnmap(q, 4096);
    ioClose(fd);
}

} // namespace
