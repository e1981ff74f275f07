// The I2C EEPROM models: page writes, the write cycle, reads, fault knobs.
#include "platform/clock.h"
#include "platform/io.h"
#include "sim/simEeprom.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int64_t kTwrUs = 5000;

const char kEepromProfile[] = "i2c 1 0x50 m34d64 name=M34D64_PSU\n"
                              "i2c 1 0x51 m24lc512 name=M24LC512_BOARD\n"
                              "i2c 1 0x52 m24lc512 name=M24LC512_RF\n";

class SimEepromTest : public SandboxTest {
protected:
    SimEepromTest() : SandboxTest(SANDBOX_VIRTUAL_CLOCK, kEepromProfile) {}
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

    // Writes data at a 16-bit address in one message (address high first).
    int writeAt(uint8_t slave, uint32_t address, const Bytes& data)
    {
        ioIoctl(fd, I2C_SLAVE, reinterpret_cast<void*>(static_cast<uintptr_t>(slave)));
        Bytes msg = {static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
        msg.insert(msg.end(), data.begin(), data.end());
        return static_cast<int>(ioWrite(fd, msg.data(), msg.size()));
    }

    // Sets the pointer, then reads n bytes; empty when either was refused.
    Bytes readAt(uint8_t slave, uint32_t address, size_t n)
    {
        Bytes out(n);
        if (writeAt(slave, address, {}) != 2 || ioRead(fd, out.data(), n) != static_cast<ssize_t>(n))
            return {};
        return out;
    }

    static Bytes peek(uint16_t slave, uint32_t address, size_t n)
    {
        Bytes out(n);
        simModelOf(simFindDevice(SIM_BUS_I2C1, slave))->peek(address, out.data(), n);
        return out;
    }

    int fd = -1;
};

TEST_F(SimEepromTest, PageWritesWrapInsideThePageAndReadsRollOver)
{
    struct Case {
        uint8_t slave;
        uint32_t size, page;
    };
    for (Case c : {Case{0x51, 65536, 128}, Case{0x50, 8192, 32}}) {
        SCOPED_TRACE(c.slave);
        uint32_t lastOfPage = 3 * c.page - 1;
        EXPECT_EQ(peek(c.slave, lastOfPage, 1), Bytes{0xFF}) << "a new part is erased";
        ASSERT_EQ(writeAt(c.slave, lastOfPage - 1, {'a', 'b', 'c', 'd'}), 6);
        clockAdvanceUs(kTwrUs);
        // c and d went to the start of the same page, not into the next one.
        EXPECT_EQ(peek(c.slave, lastOfPage - 1, 3), (Bytes{'a', 'b', 0xFF}));
        EXPECT_EQ(peek(c.slave, 2 * c.page, 3), (Bytes{'c', 'd', 0xFF}));
        // Reads run on across pages and roll over at the end of the array.
        EXPECT_EQ(readAt(c.slave, lastOfPage, 2), (Bytes{'b', 0xFF}));
        ASSERT_EQ(writeAt(c.slave, 0, {0x11}), 3);
        clockAdvanceUs(kTwrUs);
        EXPECT_EQ(readAt(c.slave, c.size - 1, 2), (Bytes{0xFF, 0x11}));
    }
    // The 8 KiB part ignores the address bits above its size.
    EXPECT_EQ(readAt(0x50, 0x2000 + 2 * 32, 2), (Bytes{'c', 'd'}));
}

TEST_F(SimEepromTest, DeviceNacksDuringTheWriteCycleOnly)
{
    ASSERT_EQ(writeAt(0x52, 0x100, {1, 2}), 4);
    EXPECT_EQ(writeAt(0x52, 0x100, {}), -1);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(readAt(0x51, 0x100, 1), Bytes{0xFF}) << "the other EEPROM answers";
    clockAdvanceUs(kTwrUs - 10);
    EXPECT_TRUE(readAt(0x52, 0x100, 2).empty());
    clockAdvanceUs(10);
    EXPECT_EQ(readAt(0x52, 0x100, 2), (Bytes{1, 2}));
    EXPECT_EQ(readAt(0x52, 0x100, 2), (Bytes{1, 2})) << "setting the pointer starts no write cycle";

    std::vector<SimLogRecord> log(16);
    log.resize(simLogRead(SIM_BUS_I2C1, 0, log.data(), log.size()));
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1].result, -ENXIO);

    // A repeated START before the STOP drops the page write.
    uint8_t msg[] = {0x01, 0x00, 9}, back[1] = {};
    struct i2c_msg msgs[2] = {{0x52, 0, 3, msg}, {0x52, I2C_M_RD, 1, back}};
    struct i2c_rdwr_ioctl_data rdwr = {msgs, 2};
    EXPECT_EQ(ioIoctl(fd, I2C_RDWR, &rdwr), 2);
    EXPECT_EQ(peek(0x52, 0x100, 1), Bytes{1});
    EXPECT_EQ(readAt(0x52, 0x100, 1), Bytes{1}) << "and starts no write cycle";
}

TEST_F(SimEepromTest, KnobsCorruptAByteAndFailAPageNTimes)
{
    SimDevice* rf = simFindDevice(SIM_BUS_I2C1, 0x52);
    EXPECT_EQ(simEepromCorruptByte(rf, 7, 0x0F), 0);
    EXPECT_EQ(peek(0x52, 7, 1), Bytes{0xF0});
    EXPECT_EQ(simEepromCorruptByte(rf, 65536, 1), -1);
    EXPECT_EQ(simEepromCorruptByte(simFindDevice(SIM_BUS_I2C1, 0x51), 7, 0xFF), 0);
    EXPECT_EQ(peek(0x51, 7, 1), Bytes{0x00});

    // Page 2 (bytes 256..383) stores its first written byte inverted twice.
    ASSERT_EQ(simEepromFailWrites(rf, 300, 2), 0);
    for (uint8_t expect : {0xA5 ^ 0xFF, 0xA5 ^ 0xFF, 0xA5}) {
        ASSERT_EQ(writeAt(0x52, 260, {0xA5, 0x5A}), 4);
        clockAdvanceUs(kTwrUs);
        EXPECT_EQ(peek(0x52, 260, 2), (Bytes{expect, 0x5A}));
    }
    ASSERT_EQ(simEepromFailWrites(rf, 0, 1), 0);
    ASSERT_EQ(writeAt(0x52, 128, {0x33}), 3) << "page 1 is not the failing page";
    clockAdvanceUs(kTwrUs);
    EXPECT_EQ(peek(0x52, 128, 1), Bytes{0x33});

    // The same knobs from simctl, in another process.
    int status = -1;
    std::string simctl = CORVANE_TOOLS_DIR "/simctl ";
    runInSandbox(root, simctl + "fault M24LC512_RF failwrite 0x100 3", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(runInSandbox(root, simctl + "devices").find("failwrite page 2 x3"), std::string::npos);
    runInSandbox(root, simctl + "fault i2c-1:0x52 corrupt 7", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(peek(0x52, 7, 1), Bytes{0x0F});
    runInSandbox(root, simctl + "fault i2c-1:0x52 clear");
    EXPECT_EQ(rf->failWrites.load(), 0);
    runInSandbox(root, simctl + "fault i2c-1:0x52 corrupt 0x10000", &status);
    EXPECT_EQ(status, 1);
}

} // namespace
