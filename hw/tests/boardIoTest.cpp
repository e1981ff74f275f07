// Board I/O functions: read-modify-writes, whole-register writes, pulses and
// input readers on the simulated expanders.
#include "hw/boardIo.h"

#include "Config/keys/hwCodesKeys.h"
#include "hw/tests/boardFixture.h"

#include <functional>
#include <thread>

namespace {

class BoardIo : public BoardFixture {};

TEST_F(BoardIo, SettersChangeOnlyTheirBitsOfTheRegisterTheDeviceHolds)
{
    struct Case {
        const char* what;
        std::function<int()> op;
        uint16_t addr;
        uint8_t reg;
        uint8_t before;
        uint8_t after;
    } cases[] = {
        {"right term on", [] { return setAudioRightTerm(1); }, 0x22, 2, 0x01, 0x05},
        {"right term off", [] { return setAudioRightTerm(0); }, 0x22, 2, 0x05, 0x01},
        {"AES/EBU RDS sel", [] { return setAesEbuRdsSel(7); }, 0x22, 2, 0x00, 0x01},
        {"left term off", [] { return setAudioLeftTerm(0); }, 0x22, 2, 0xFF, 0xFD},
        {"RDS term", [] { return setAudioRdsTerm(1); }, 0x22, 2, 0x00, 0x08},
        {"CAN term", [] { return setAudioCanTerm(1); }, 0x22, 2, 0x00, 0x10},
        {"TS AES/EBU sel off", [] { return setTsAesEbuSel(0); }, 0x22, 3, 0xFF, 0xDF},
        {"uart1 sel", [] { return setUart1SelHw(1); }, 0x22, 3, 0x00, 0x08},
        {"PPS term", [] { return setPpsTerm(1); }, 0x22, 3, 0x00, 0x80},
        {"duplex uart0", [] { return setDuplexModeUart0(1); }, 0x22, 3, 0x00, 0x01},
        {"duplex uart2", [] { return setDuplexModeUart2(1); }, 0x22, 3, 0x00, 0x02},
        {"master uart0 slave", [] { return setMasterModeUart0(1); }, 0x22, 3, 0xFF, 0xFB},
        {"master uart0 master", [] { return setMasterModeUart0(0); }, 0x22, 3, 0x00, 0x04},
        {"DAC not reset", [] { return setDacAudioNotReset(1); }, 0x26, 2, 0x00, 0x04},
        {"DAC mode", [] { return setDacAudioMode(0x100); }, 0x26, 2, 0x00, 0x08},
        {"matrix", [] { return writeOutputMatrixHw(0x0D); }, 0x27, 1, 0xF8, 0xFD},
        {"matrix config 1", [] { return configOutputMatrixHw(1); }, 0x27, 1, 0x00, 0x10},
        {"matrix config 2", [] { return configOutputMatrixHw(2); }, 0x27, 1, 0xFF, 0xEF},
        {"LED cfg", [] { return applyLedCfg(0x2A); }, 0x21, 2, 0xFF, 0x2A},
        {"LED blink cfg", [] { return applyLedBlinkCfg(0x15); }, 0x21, 3, 0xFF, 0x15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setReg(c.addr, c.reg, c.before);
        EXPECT_EQ(c.op(), 0);
        EXPECT_EQ(reg(c.addr, c.reg), c.after);
    }
}

TEST_F(BoardIo, MpxDigitalTerminationFollowsTheMpxoAes3Flag)
{
    setReg(0x27, 1, 0x00);
    setReg(0x26, 2, 0x00);
    EXPECT_EQ(setMpxDigTerm(1), 0);
    EXPECT_EQ(reg(0x27, 1), 0x20);
    EXPECT_EQ(reg(0x26, 2), 0x00);
    setReg(0x27, 1, 0x00);
    setMpxoAes3Flag(1);
    EXPECT_EQ(setMpxDigTerm(1), 0);
    EXPECT_EQ(reg(0x26, 2), 0x40);
    EXPECT_EQ(reg(0x27, 1), 0x00);
    setMpxoAes3Flag(2);
    uint64_t from = logHead();
    EXPECT_EQ(setMpxDigTerm(0), 0);
    EXPECT_EQ(trace(from), "");
}

TEST_F(BoardIo, PulsesAndTheirFailures)
{
    setReg(0x24, 1, 0x00);
    uint64_t from = logHead();
    EXPECT_EQ(setHpaAlarmOutHpa(), 0);
    EXPECT_EQ(trace(from), "W 24 01\nR 24 00\nW 24 01 24\nW 24 01 20\n");

    from = logHead();
    EXPECT_EQ(setHpaAlarmOutHpaDelayed(), 0);
    auto log = busLog(SIM_BUS_I2C1, from);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_GE(log[3].timeNs - log[2].timeNs, 100000) << "100 us between the two writes";

    from = logHead();
    EXPECT_EQ(setHpaAlarmOutAlm(), 0);
    EXPECT_EQ(setHpaAlarmOutHpa5(), 0);
    EXPECT_EQ(trace(from), "W 25 01 03\nW 25 01 01\nW 25 01 03\nW 25 01 01\n");

    // A failed first write skips the second.
    device(0x25)->nackNext.store(1);
    from = logHead();
    EXPECT_LT(setHpaAlarmOutAlm(), 0);
    EXPECT_EQ(trace(from), "W 25 01 03 !\n");
    EXPECT_EQ(count(book(), "ERR: FAIL setting hpa alm output - PCA9654_ALM\n"), 1u);
    device(0x25)->nackNext.store(1);
    EXPECT_LT(setHpaAlarmOutHpa5(), 0);
    EXPECT_EQ(count(book(), "ERR: FAIL setting hpa alm output - PCA9654_HPA5_IC11\n"), 1u);
}

TEST_F(BoardIo, FailedReadLeavesTheRegisterAndLogsItsLine)
{
    setReg(0x22, 2, 0x00);
    device(0x22)->nackNext.store(1);
    EXPECT_LT(setAesEbuRdsSel(1), 0);
    EXPECT_EQ(reg(0x22, 2), 0x00);
    EXPECT_EQ(count(book(), "ERR: FAIL Reading P0_OUT configuration - PCA9655_IC84\n"), 1u);

    device(0x27)->absent.store(1);
    EXPECT_LT(writeOutputMatrixHw(3), 0);
    EXPECT_EQ(count(book(), "ERR: FAIL reading matrix configuration - CAT9534_IC4_BP\n"), 1u);
    device(0x27)->absent.store(0);
}

TEST_F(BoardIo, InputReadersTakeInputPort1OfIc85)
{
    setReg(0x26, 1, 0xFF); // pin levels of port 1
    uint8_t v = 0;
    EXPECT_EQ(readBatteryCircuitStatus(&v), 0);
    EXPECT_EQ(v, 0x0C);
    setReg(0x26, 1, 0x04);
    EXPECT_EQ(readPrimPwrPres(&v), 0);
    EXPECT_EQ(v, 0);
    EXPECT_EQ(readBattChgStat(&v), 0);
    EXPECT_EQ(v, 1);
    device(0x26)->absent.store(1);
    v = 9;
    EXPECT_EQ(readBatteryCircuitStatus(&v), -1);
    EXPECT_EQ(readPrimPwrPres(&v), -1);
    EXPECT_EQ(readBattChgStat(&v), -1);
    EXPECT_EQ(v, 9);
    std::string b = book();
    EXPECT_EQ(count(b, "ERR: FAIL Reading BatteryCircuitStatus - PCA9655_IC85\n"), 1u);
    EXPECT_EQ(count(b, "ERR: FAIL Reading PrimPwrPres - PCA9655_IC85\n"), 1u);
    EXPECT_EQ(count(b, "ERR: FAIL Reading BATT_CHG_STAT - PCA9655_IC85\n"), 1u);
}

TEST_F(BoardIo, TwoThreadsFlippingBitsOfOnePortLoseNoChange)
{
    // The configuration path and the serial-port opener both write output
    // port 1 of 0x22; each thread owns one bit and ends with it set.
    setReg(0x22, 3, 0x00);
    clockUseReal();
    auto flip = [](int (*op)(int32_t)) {
        for (int i = 0; i < 200; i++)
            op(i & 1);
        op(1);
    };
    std::thread a(flip, setDuplexModeUart0);
    std::thread b(flip, setPpsTerm);
    a.join();
    b.join();
    EXPECT_EQ(reg(0x22, 3), 0x81);
}

} // namespace
