// The I/O expander and external-PLL models, through the i2c-dev node and
// through simctl.
#include "platform/io.h"
#include "sim/simModels.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <vector>

namespace {

const char* const kProfile = "i2c 1 0x20 pca9655 name=EXP16 pins=0:0x5A,1:0x0F\n"
                             "i2c 1 0x24 cat9534 name=EXP8 pins=0:0x81\n"
                             "i2c 1 0x72 extpll name=PLL status=0x02\n";

class SimExpanders : public SandboxTest {
protected:
    SimExpanders() : SandboxTest(0, kProfile) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        fd = ioOpen("/dev/i2c-1", O_RDWR);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        ioClose(fd);
        SandboxTest::TearDown();
    }
    void select(unsigned addr)
    {
        ASSERT_EQ(ioIoctl(fd, I2C_SLAVE, reinterpret_cast<void*>(static_cast<uintptr_t>(addr))), 0);
    }
    void write(std::vector<uint8_t> bytes) { ASSERT_EQ(ioWrite(fd, bytes.data(), bytes.size()), (ssize_t)bytes.size()); }
    std::vector<uint8_t> read(uint8_t reg, size_t n)
    {
        std::vector<uint8_t> out(n);
        EXPECT_EQ(ioWrite(fd, &reg, 1), 1);
        EXPECT_EQ(ioRead(fd, out.data(), n), static_cast<ssize_t>(n));
        return out;
    }
    std::string simctl(const std::string& args) { return runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args); }

    int fd = -1;
};

TEST_F(SimExpanders, InputsReadPinsXorPolarityAndOutputPinsTheirOutput)
{
    select(0x20);
    // Power-on: every pin an input, outputs 0xFF, no inversion; the pointer
    // moves between the two registers of a pair.
    EXPECT_EQ(read(0, 4), (std::vector<uint8_t>{0x5A, 0x0F, 0x5A, 0x0F}));
    EXPECT_EQ(read(3, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    EXPECT_EQ(read(4, 2), (std::vector<uint8_t>{0x00, 0x00}));
    EXPECT_EQ(read(6, 2), (std::vector<uint8_t>{0xFF, 0xFF}));
    write({4, 0xF0});       // polarity port 0
    EXPECT_EQ(read(0, 1)[0], 0xAA);
    write({6, 0x0F, 0x00}); // configuration: pointer goes to the pair's other register
    write({2, 0x30});       // output port 0: bits 4-7 are outputs now
    EXPECT_EQ(read(0, 1)[0], (0x30 | 0x0A) ^ 0xF0);
    EXPECT_EQ(read(7, 1)[0], 0x00);
    write({3, 0x66});
    EXPECT_EQ(read(1, 2), (std::vector<uint8_t>{0x66, 0xCA})) << "port 1 all outputs, then port 0 again";
    write({0, 0x00}); // inputs are read-only
    EXPECT_EQ(read(4, 1)[0], 0xF0);

    select(0x24);
    EXPECT_EQ(read(0, 1)[0], 0x81);
    write({3, 0x0F});
    write({1, 0x50});
    EXPECT_EQ(read(0, 1)[0], 0x51);
}

TEST_F(SimExpanders, SimctlSetsPinLevelsAndShowsEveryRegister)
{
    EXPECT_EQ(simctl("set EXP16 1 0x33"), "");
    EXPECT_EQ(simctl("get EXP16 0 8"), "0x5A 0x33 0xFF 0xFF 0x00 0x00 0xFF 0xFF\n");
    EXPECT_EQ(simctl("set EXP8 2 0xFF"), "");
    EXPECT_EQ(simctl("get EXP8 0 4"), "0x7E 0xFF 0xFF 0xFF\n");
}

TEST_F(SimExpanders, ExtPllAnswersTheLastCommand)
{
    select(0x72);
    write({0, 0x05, 0xF5, 0xE1, 0x00});
    std::vector<uint8_t> w(4);
    EXPECT_EQ(ioRead(fd, w.data(), 4), 4);
    EXPECT_EQ(w, (std::vector<uint8_t>{0x05, 0xF5, 0xE1, 0x00}));
    write({1});
    uint8_t s = 0;
    EXPECT_EQ(ioRead(fd, &s, 1), 1);
    EXPECT_EQ(s, 0x02);
    write({2, 4, 0x99});
    std::vector<uint8_t> cv(2);
    EXPECT_EQ(ioRead(fd, cv.data(), 2), 2);
    EXPECT_EQ(cv, (std::vector<uint8_t>{4, 0x99}));
    EXPECT_EQ(simctl("get PLL 12 1"), "0x99\n");
}

} // namespace
