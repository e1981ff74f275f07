// ADT7470 fan controller on the simulated board.
#include "hw/adt7470.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "alarms/logicaTxConfig.h"
#include "hw/tests/boardFixture.h"

namespace {

class Adt7470 : public BoardFixture {};

TEST_F(Adt7470, Conversions)
{
    EXPECT_EQ(adt7470PercentToPwm(100), 255);
    EXPECT_EQ(adt7470PercentToPwm(50), 128);
    EXPECT_EQ(adt7470PercentToPwm(0), 0);
    EXPECT_EQ(adt7470PercentToPwm(255), 255);
    EXPECT_EQ(adt7470PwmToPercent(255), 100);
    EXPECT_EQ(adt7470PwmToPercent(64), 25);
    EXPECT_EQ(adt7470PwmToPercent(0), 0);
}

TEST_F(Adt7470, DetectionTachometerTemperatureAndPwm)
{
    EXPECT_EQ(adt7470Detect(), 1);
    EXPECT_EQ(count(book(), "INFO: Detected ADT7470 Fan Control System\n"), 1u);

    setReg(0x2F, 0x2C, 0x18); // fan 1: 5400 = 0x1518
    setReg(0x2F, 0x2D, 0x15);
    EXPECT_EQ(adt7470ReadFanRpm(1), 1000u);
    EXPECT_EQ(adt7470ReadFanRpm(0), 0u) << "a count of 0";
    EXPECT_EQ(adt7470ReadFanRpm(3), 0u);
    setReg(0x2F, 0x21, 0xF6);
    EXPECT_EQ(adt7470ReadTemp(1), -10);
    EXPECT_EQ(adt7470ReadTemp(5), 0);

    EXPECT_EQ(adt7470SetPwmPercent(50), 0);
    EXPECT_EQ(reg(0x2F, 0x32), 128);
    uint8_t pct = 0;
    EXPECT_EQ(adt7470GetPwmPercent(0, &pct), 0);
    EXPECT_EQ(pct, 50);

    // One byte of the count missing gives no count, not half of one.
    device(0x2F)->nackNext.store(1);
    EXPECT_EQ(adt7470ReadFanRpm(1), 0u);
    uint64_t from = logHead();
    device(0x2F)->absent.store(1);
    pct = 7;
    EXPECT_EQ(adt7470GetPwmPercent(0, &pct), -1);
    EXPECT_EQ(pct, 7);
    EXPECT_EQ(adt7470Detect(), 0);
    EXPECT_EQ(adt7470ReadTemp(1), 0);
    EXPECT_EQ(adt7470WriteReg(0x32, 1), -1);
    EXPECT_GE(count(book(), "ERR: ADT7470: Error on read!\n"), 4u);
    EXPECT_EQ(count(book(), "ERR: ADT7470: Error on write!\n"), 1u);
    EXPECT_GT(busLog(SIM_BUS_I2C1, from).size(), 0u);
}

TEST_F(Adt7470, SetUpChosenByTheHardwareCodes)
{
    struct Case {
        uint32_t hps;
        uint32_t selectBit;
        uint8_t e, a;
    } cases[] = {{3, 1, 50, 64}, {3, 0, 35, 128}, {1, 1, 42, 0}};
    setPsuTypeCode(1);
    setHpaModelCode(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hps * 10 + c.selectBit);
        setHpsCode(c.hps);
        setSelectWriteBits(0x100000, c.selectBit);
        setReg(0x2F, 0x68, 0x01);
        setReg(0x2F, 0x40, 0x10);
        uint64_t from = logHead();
        EXPECT_EQ(adt7470Configure(), 0);
        std::string t = trace(from);
        char want[256];
        snprintf(want, sizeof want,
                 "W 2F 68\nR 2F 01\nW 2F 68 81\nW 2F 7C 01\nW 2F 6E %02X\nW 2F 6A %02X\nW 2F 38 FF\n"
                 "W 2F 40\nR 2F 10\nW 2F 40 91\n",
                 c.e, c.a);
        EXPECT_EQ(t, want);
    }

    setPsuTypeCode(0);
    setReg(0x2F, 0x68, 0xFF);
    EXPECT_EQ(adt7470Configure(), 0);
    EXPECT_EQ(reg(0x2F, 0x68), 0x7F);
    EXPECT_EQ(reg(0x2F, 0x32), 0x40);

    setPsuTypeCode(2);
    uint64_t from = logHead();
    EXPECT_EQ(adt7470Configure(), 0);
    EXPECT_EQ(trace(from), "");
}

} // namespace
