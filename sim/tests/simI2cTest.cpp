// The simulated i2c-dev nodes and the register-file model.
#include "platform/io.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <vector>

namespace {

void* addrArg(unsigned addr)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(addr));
}

class SimI2c : public SandboxTest {
protected:
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

    int select(unsigned addr) { return ioIoctl(fd, I2C_SLAVE, addrArg(addr)); }

    // Writes [reg, data...] to the selected slave.
    ssize_t writeRegs(uint8_t reg, std::vector<uint8_t> data)
    {
        data.insert(data.begin(), reg);
        return ioWrite(fd, data.data(), data.size());
    }

    // Sets the pointer and reads n bytes, as two plain transfers.
    std::vector<uint8_t> readRegs(uint8_t reg, size_t n)
    {
        std::vector<uint8_t> out(n);
        EXPECT_EQ(ioWrite(fd, &reg, 1), 1);
        EXPECT_EQ(ioRead(fd, out.data(), n), static_cast<ssize_t>(n));
        return out;
    }

    std::vector<SimLogRecord> log(uint64_t after = 0)
    {
        std::vector<SimLogRecord> r(64);
        r.resize(simLogRead(SIM_BUS_I2C1, after, r.data(), r.size()));
        return r;
    }

    int fd = -1;
};

TEST_F(SimI2c, RegisterFilesKeepWrittenBitsAndFollowTheirPointerRule)
{
    // PCA9655: outputs read back, inputs are read-only, the pointer toggles
    // within a register pair.
    ASSERT_EQ(select(0x20), 0);
    EXPECT_EQ(writeRegs(2, {0x5A, 0x3C}), 3);
    EXPECT_EQ(readRegs(2, 3), (std::vector<uint8_t>{0x5A, 0x3C, 0x5A}));
    EXPECT_EQ(writeRegs(0, {0x00}), 2);
    EXPECT_EQ(readRegs(0, 1), std::vector<uint8_t>{0x81}); // telecommand lines inactive, interlock OK
    EXPECT_EQ(readRegs(7, 2), (std::vector<uint8_t>{0xFF, 0xFF}));

    // CAT9534: the pointer stays on its register.
    ASSERT_EQ(select(0x27), 0);
    EXPECT_EQ(writeRegs(1, {0xF8}), 2);
    EXPECT_EQ(readRegs(1, 2), (std::vector<uint8_t>{0xF8, 0xF8}));

    // MAX31725: 16-bit registers, most significant byte first.
    ASSERT_EQ(select(0x48), 0);
    EXPECT_EQ(readRegs(0, 2), (std::vector<uint8_t>{0x19, 0x00}));
}

TEST_F(SimI2c, SelectsAnswerLikeTheKernel)
{
    EXPECT_EQ(select(0x2D), 0) << "selecting an empty address succeeds";
    EXPECT_EQ(select(0x80), -1);
    EXPECT_EQ(errno, EINVAL);
    // The RTC address is held by its kernel driver.
    EXPECT_EQ(select(0x68), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(ioIoctl(fd, I2C_SLAVE_FORCE, addrArg(0x68)), 0);
    uint8_t reg = 0;
    EXPECT_EQ(ioWrite(fd, &reg, 1), 1);
}

TEST_F(SimI2c, EmptyAddressNacksAndEveryMessageIsLogged)
{
    ASSERT_EQ(select(0x2D), 0);
    uint8_t b = 0;
    EXPECT_EQ(ioRead(fd, &b, 1), -1);
    EXPECT_EQ(errno, ENXIO);
    ASSERT_EQ(select(0x20), 0);
    EXPECT_EQ(writeRegs(2, {0x81}), 2);
    auto l = log();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].addr, 0x2D);
    EXPECT_EQ(l[0].op, SIM_OP_READ);
    EXPECT_EQ(l[0].result, -ENXIO);
    EXPECT_EQ(l[1].addr, 0x20);
    EXPECT_EQ(l[1].op, SIM_OP_WRITE);
    EXPECT_EQ(l[1].result, 2);
    EXPECT_EQ(std::vector<uint8_t>(l[1].data, l[1].data + l[1].dataLen), (std::vector<uint8_t>{0x02, 0x81}));
    EXPECT_NE(simLogFormat(l[1]).find(" i2c-1 0x20 write     len 2 [02 81]"), std::string::npos);
}

TEST_F(SimI2c, RdwrRunsMessagesInOrderAndStopsAtTheFirstFailure)
{
    uint8_t reg = 2, val[2] = {};
    struct i2c_msg msgs[2] = {{0x22, 0, 1, &reg}, {0x22, I2C_M_RD, 2, val}};
    struct i2c_rdwr_ioctl_data rdwr = {msgs, 2};
    EXPECT_EQ(ioIoctl(fd, I2C_RDWR, &rdwr), 2);
    EXPECT_EQ(val[0], 0xFF);
    auto l = log();
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0].flags, 0);
    EXPECT_EQ(l[1].flags, kSimLogRestart);
    EXPECT_EQ(l[1].op, SIM_OP_READ);

    msgs[0].addr = msgs[1].addr = 0x2D;
    EXPECT_EQ(ioIoctl(fd, I2C_RDWR, &rdwr), -1);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(log(l.back().seq).size(), 1u) << "the read after the NACKed write never ran";

    struct i2c_rdwr_ioctl_data tooMany = {msgs, I2C_RDWR_IOCTL_MAX_MSGS + 1};
    EXPECT_EQ(ioIoctl(fd, I2C_RDWR, &tooMany), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(SimI2c, FaultKnobsShapeTheNextTransfers)
{
    SimDevice* d = simFindDevice(SIM_BUS_I2C1, 0x20);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(select(0x20), 0);
    uint8_t b[2];

    d->nackNext.store(2);
    EXPECT_EQ(ioRead(fd, b, 1), -1);
    EXPECT_EQ(ioRead(fd, b, 1), -1);
    EXPECT_EQ(ioRead(fd, b, 1), 1);

    d->shortNext.store(1);
    EXPECT_EQ(ioRead(fd, b, 2), 1);
    EXPECT_EQ(ioRead(fd, b, 2), 2);

    d->absent.store(1);
    EXPECT_EQ(ioRead(fd, b, 1), -1);
    EXPECT_EQ(errno, ENXIO);
    d->absent.store(0);

    d->busy.store(1);
    EXPECT_EQ(select(0x20), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(ioRead(fd, b, 1), -1) << "the descriptor still names the stuck device";
    EXPECT_EQ(errno, ETIMEDOUT);
}

TEST_F(SimI2c, RemovedBusRefusesOpensAndRequestsAndCountsOpens)
{
    SimBus& bus = simState()->buses[SIM_BUS_I2C1];
    EXPECT_EQ(bus.opens.load(), 1u);
    bus.absent.store(1);
    EXPECT_EQ(select(0x20), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(ioOpen("/dev/i2c-1", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    bus.absent.store(0);
    int again = ioOpen("/dev/i2c-1", O_RDWR);
    EXPECT_GE(again, 0);
    ioClose(again);
    EXPECT_EQ(bus.opens.load(), 2u);
    EXPECT_EQ(ioOpen("/dev/i2c-2", O_RDWR), -1) << "the board has two buses";
}

} // namespace
