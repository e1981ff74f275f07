// The simulated spidev nodes.
#include "platform/io.h"
#include "sim/simModels.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/spi/spidev.h>
#include <vector>

namespace {

class SimSpi : public SandboxTest {
protected:
    std::vector<SimLogRecord> log()
    {
        std::vector<SimLogRecord> r(64);
        r.resize(simLogRead(SIM_BUS_SPI0, 0, r.data(), r.size()));
        return r;
    }
};

TEST_F(SimSpi, SettingsAreKeptPerChipSelectAndRecorded)
{
    int fd = ioOpen("/dev/spidev0.3", O_RDWR);
    ASSERT_GE(fd, 0);
    uint8_t mode = SPI_MODE_1, lsb = 1, bits = 16;
    uint32_t speed = 2000000;
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_WR_MODE, &mode), 0);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_WR_LSB_FIRST, &lsb), 0);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_WR_BITS_PER_WORD, &bits), 0);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_WR_MAX_SPEED_HZ, &speed), 0);
    ioClose(fd);

    // A later open (another process would see the same) reads them back.
    fd = ioOpen("/dev/spidev0.3", O_RDWR);
    uint8_t m = 0, l = 0, b = 0;
    uint32_t s = 0;
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_RD_MODE, &m), 0);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_RD_LSB_FIRST, &l), 0);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_RD_BITS_PER_WORD, &b), 0);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_RD_MAX_SPEED_HZ, &s), 0);
    EXPECT_EQ(m, SPI_MODE_1);
    EXPECT_EQ(l, 1);
    EXPECT_EQ(b, 16);
    EXPECT_EQ(s, 2000000u);
    uint32_t zero = 0;
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_WR_MAX_SPEED_HZ, &zero), -1);
    EXPECT_EQ(errno, EINVAL);
    ioClose(fd);

    auto r = log();
    ASSERT_EQ(r.size(), 9u);
    const SimOp expected[] = {SIM_OP_SET_MODE, SIM_OP_SET_LSB, SIM_OP_SET_BITS, SIM_OP_SET_SPEED, SIM_OP_GET_MODE,
                              SIM_OP_GET_LSB,  SIM_OP_GET_BITS, SIM_OP_GET_SPEED, SIM_OP_SET_SPEED};
    for (size_t i = 0; i < r.size(); i++)
        EXPECT_EQ(r[i].op, expected[i]) << i;
    EXPECT_EQ(r[3].value, 2000000u);
    EXPECT_EQ(r[8].result, -EINVAL);
    EXPECT_EQ(simFindDevice(SIM_BUS_SPI0, 3)->opens.load(), 2u);
}

TEST_F(SimSpi, MessagesReachTheModelOfTheChipSelect)
{
    SimDevice* adc = simFindDevice(SIM_BUS_SPI0, 2);
    uint8_t reply[] = {0x1A, 0xBC};
    ASSERT_EQ(simModelOf(adc)->poke(0, reply, 2), 2);

    int fd = ioOpen("/dev/spidev0.2", O_RDWR);
    uint8_t tx[4] = {1, 2, 3, 4}, rx[4] = {};
    struct spi_ioc_transfer x[2] = {};
    x[0].tx_buf = reinterpret_cast<uintptr_t>(tx);
    x[0].rx_buf = reinterpret_cast<uintptr_t>(rx);
    x[0].len = 2;
    x[0].bits_per_word = 16;
    x[1].tx_buf = reinterpret_cast<uintptr_t>(tx + 2);
    x[1].len = 2;
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_MESSAGE(2), x), 4);
    EXPECT_EQ(rx[0], 0x1A);
    EXPECT_EQ(rx[1], 0xBC);

    x[0].len = 3; // not a whole number of 16-bit words
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_MESSAGE(1), x), -1);
    EXPECT_EQ(errno, EINVAL);

    adc->nackNext.store(1);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_MESSAGE(1), &x[1]), -1);
    EXPECT_EQ(errno, EIO);
    adc->busy.store(1);
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_MESSAGE(1), &x[1]), -1);
    EXPECT_EQ(errno, EBUSY);

    auto r = log();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].op, SIM_OP_XFER);
    EXPECT_EQ(r[0].value, 16u);
    EXPECT_EQ(r[1].value, 8u) << "the chip select's word size applies when the transfer gives none";
    EXPECT_EQ(std::vector<uint8_t>(r[1].data, r[1].data + r[1].dataLen), (std::vector<uint8_t>{3, 4}));
    EXPECT_EQ(r[2].result, -EIO);
    ioClose(fd);
}

TEST_F(SimSpi, AbsentChipSelectHasNoNode)
{
    EXPECT_EQ(ioOpen("/dev/spidev0.8", O_RDWR), -1) << "not a chip select of the board";
    EXPECT_EQ(errno, ENOENT);
    int fd = ioOpen("/dev/spidev0.16", O_RDWR);
    ASSERT_GE(fd, 0);
    simFindDevice(SIM_BUS_SPI0, 16)->absent.store(1);
    uint8_t mode;
    EXPECT_EQ(ioIoctl(fd, SPI_IOC_RD_MODE, &mode), -1);
    EXPECT_EQ(errno, ENODEV);
    EXPECT_EQ(ioOpen("/dev/spidev0.16", O_RDWR), -1);
    EXPECT_EQ(errno, ENOENT);
    ioClose(fd);
}

} // namespace
