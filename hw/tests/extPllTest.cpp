// External PLL controller on the simulated board.
#include "hw/extPll.h"

#include "Config/keys/factoryKeys.h"
#include "hw/tests/boardFixture.h"

namespace {

class ExtPll : public SandboxTest {
protected:
    ExtPll() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, "i2c 1 0x72 extpll name=EXTPLL status=0x03\n") {}
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
    static SimDevice* device() { return simFindDevice(SIM_BUS_I2C1, 0x72); }
    static void setStatus(uint8_t v) { simModelOf(device())->poke(4, &v, 1); }
};

TEST_F(ExtPll, WordGoesOutMostSignificantByteFirstAndReadsBack)
{
    EXPECT_EQ(ExtPll_WriteWord(0x05F5E100), 0);
    auto log = busLog(SIM_BUS_I2C1);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(std::vector<uint8_t>(log[0].data, log[0].data + log[0].dataLen),
              (std::vector<uint8_t>{0x00, 0x05, 0xF5, 0xE1, 0x00}));
    uint32_t w = 0;
    EXPECT_EQ(ExtPll_ReadWord(&w), 0);
    EXPECT_EQ(w, 0x05F5E100u);

    EXPECT_EQ(ExtPll_WriteReg(3, 0x7F), 0);
    uint8_t b[2];
    EXPECT_EQ(ExtPll_Read(2, b, 2), 0);
    EXPECT_EQ(b[0], 3);
    EXPECT_EQ(b[1], 0x7F);
}

TEST_F(ExtPll, EachReadWaits100msAfterItsCommand)
{
    uint8_t s = 0;
    EXPECT_EQ(ExtPll_ReadByte(&s), 0);
    auto log = busLog(SIM_BUS_I2C1);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].op, SIM_OP_WRITE);
    EXPECT_EQ(log[1].op, SIM_OP_READ);
    EXPECT_GE(log[1].timeNs - log[0].timeNs, 100'000'000);
}

TEST_F(ExtPll, DetectionByStatusBit1)
{
    const std::pair<uint8_t, uint8_t> cases[] = {{0x02, 1}, {0x03, 1}, {0x01, 0}, {0x00, 0}};
    for (auto [status, fitted] : cases) {
        setStatus(status);
        detectExtPll();
        EXPECT_EQ(getExtOutputStageFitted(), fitted) << int(status);
    }
    EXPECT_EQ(count(book(), "INFO: Detected External Pll Analog System\n"), 2u);

    device()->absent.store(1);
    setStatus(0x02);
    setExtOutputStageFitted(1);
    detectExtPll();
    EXPECT_EQ(getExtOutputStageFitted(), 0);
    uint32_t w = 9;
    EXPECT_EQ(ExtPll_ReadWord(&w), 0);
    EXPECT_EQ(w, 0u);
    EXPECT_EQ(ExtPll_Write(0, nullptr, 0), -1);
    std::string b = book();
    EXPECT_GE(count(b, "ERR: ExtMcfPll: Error on write!\n"), 1u);
    EXPECT_GE(count(b, "ERR: ExtMcfPll: Error on read!\n"), 1u);
}

} // namespace
