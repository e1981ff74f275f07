// SPI bus layer on the simulated board.
#include "hw/spiBus.h"

#include "Config/keys/hpaKeys.h"
#include "sim/simModels.h"
#include "testing/sandboxTest.h"

namespace {

class SpiBus : public SandboxTest {
protected:
    SpiBus() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
    static SimDevice* cs(uint16_t n) { return simFindDevice(SIM_BUS_SPI0, n); }
};

TEST_F(SpiBus, FixedSettingsAreWrittenBeforeEveryMessage)
{
    const uint8_t frame[3] = {0x10, 0x12, 0x34};
    SPI_WriteData(frame, 3, 0, 3);
    SPI_WriteData(frame, 3, 0, 3);
    EXPECT_EQ(cs(3)->opens.load(), 1u) << "the chip select is opened once";

    auto log = busLog(SIM_BUS_SPI0);
    ASSERT_EQ(log.size(), 18u);
    const SimOp ops[9] = {SIM_OP_GET_MODE, SIM_OP_GET_LSB,  SIM_OP_GET_BITS,  SIM_OP_GET_SPEED, SIM_OP_SET_MODE,
                          SIM_OP_SET_LSB,  SIM_OP_SET_BITS, SIM_OP_SET_SPEED, SIM_OP_XFER};
    // The second message finds what the first one wrote, and writes it again.
    const uint32_t first[9] = {0, 0, 8, 500000, 1, 0, 8, 2000000, 8};
    const uint32_t second[9] = {1, 0, 8, 2000000, 1, 0, 8, 2000000, 8};
    for (size_t i = 0; i < 9; i++) {
        EXPECT_EQ(log[i].op, ops[i]) << i;
        EXPECT_EQ(log[i + 9].op, ops[i]) << i;
        EXPECT_EQ(log[i].value, first[i]) << i;
        EXPECT_EQ(log[i + 9].value, second[i]) << i;
    }
    EXPECT_EQ(std::vector<uint8_t>(log[8].data, log[8].data + log[8].dataLen),
              std::vector<uint8_t>(frame, frame + 3));
}

TEST_F(SpiBus, ChipSelectsWithoutFixedSettingsKeepTheirOwn)
{
    uint8_t tx[2] = {0, 0}, rx[2] = {};
    uint8_t reply[2] = {0x1A, 0xBC};
    simModelOf(cs(2))->poke(0, reply, 2);

    SPI_WriteReadData(tx, rx, 2, 1, 2); // HPA model 0: the ADC gets no settings
    SPI_WriteData(tx, 1, 0, 16);
    auto log = busLog(SIM_BUS_SPI0);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].op, SIM_OP_XFER);
    EXPECT_EQ(log[0].value, 16u);
    EXPECT_EQ(rx[0], 0x1A);
    EXPECT_EQ(rx[1], 0xBC);
    EXPECT_EQ(log[1].addr, 16);

    setHpaModelCode(1);
    SPI_WriteReadData(tx, rx, 2, 1, 2);
    log = busLog(SIM_BUS_SPI0, log.back().seq);
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[4].op, SIM_OP_SET_MODE);
    EXPECT_EQ(log[4].value, 0u);
    EXPECT_EQ(log[6].value, 16u);
}

TEST_F(SpiBus, WordModes)
{
    const uint8_t tx[2] = {1, 2};
    uint8_t rx[2];
    SPI_WriteData(tx, 2, 2, 16);
    EXPECT_TRUE(busLog(SIM_BUS_SPI0).empty()) << "word mode 2 sends nothing";
    // A chip select with fixed settings still gets them, but no message.
    SPI_WriteData(tx, 2, 2, 3);
    auto log = busLog(SIM_BUS_SPI0);
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log.back().op, SIM_OP_SET_SPEED);
    uint64_t mark = log.back().seq;
    SPI_WriteData(tx, 2, 1, 16);
    SPI_WriteReadData(tx, rx, 2, 2, 16);
    log = busLog(SIM_BUS_SPI0, mark);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].value, 16u);
    EXPECT_EQ(log[1].value, 16u) << "any non-zero mode of the full-duplex transfer is 16-bit";
    EXPECT_EQ(book(), "");
}

TEST_F(SpiBus, FailuresAreLoggedAndAFailedOpenStays)
{
    const uint8_t tx[3] = {1, 2, 3};
    uint8_t rx[3];
    SPI_WriteData(tx, 1, 0, 8);
    SPI_WriteReadData(tx, rx, 1, 0, 8);
    EXPECT_EQ(SPI_Open(8), -1);

    cs(25)->absent.store(1);
    SPI_WriteData(tx, 3, 0, 25);
    cs(25)->absent.store(0);
    SPI_WriteData(tx, 3, 0, 25);
    EXPECT_TRUE(busLog(SIM_BUS_SPI0).empty());

    cs(16)->nackNext.store(2);
    SPI_WriteData(tx, 1, 0, 16);
    SPI_WriteData(tx, 2, 1, 16);
    std::string b = book();
    EXPECT_EQ(count(b, "DEBUG: Can't open SPI device 8\n\n"), 1u);
    EXPECT_EQ(count(b, "DEBUG: can't open SPI device 8\n"), 1u);
    EXPECT_EQ(count(b, "DEBUG: Can't open SPI device 25\n\n"), 2u);
    EXPECT_EQ(count(b, "ERR: Can't send SPI BYTE Message on CS 16\n"), 1u);
    EXPECT_EQ(count(b, "ERR: Can't send spi message on CS 16\n"), 1u);

    // A node that goes away after its open: the settings requests fail,
    // the transfer is still tried.
    SPI_WriteData(tx, 3, 0, 6);
    cs(6)->absent.store(1);
    SPI_WriteData(tx, 3, 0, 6);
    b = book();
    EXPECT_EQ(count(b, "DEBUG: ERROR SPI rd_mode\n"), 2u) << "one for the read, one for the write";
    EXPECT_EQ(count(b, "ERR: Can't send SPI BYTE Message on CS 6\n"), 1u);
}

} // namespace
