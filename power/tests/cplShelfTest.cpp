// The PMBus shelf against the simulated modules: the PEC and the bytes on
// the wire, the read PEC rule of each family, detection at the alternate
// address, LINEAR11, the scaling of the status readers, the shelf pass on
// the virtual clock and the PSU event lines.
#include "power/cplShelf.h"
#include "power/cplStatus.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "alarms/alarmKeys.h"
#include "alarms/logicaTx.h"
#include "core/base/locks.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "sim/simCplPsu.h"
#include "sim/simModels.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Slot 0 and 2 CP2xxx, slot 1 CP3xxx, the slot-select expander.
const char* const kShelf = "i2c 1 0x23 cat9534 name=EXP_0x23\n"
                           "i2c 1 0x40 cplpsu name=CPL_0 type=cp2\n"
                           "i2c 1 0x41 cplpsu name=CPL_1 type=cp3\n"
                           "i2c 1 0x42 cplpsu name=CPL_2 type=cp2\n";

class CplShelfTest : public SandboxTest {
protected:
    explicit CplShelfTest(const char* board = kShelf)
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, board)
    {
    }
    void SetUp() override
    {
        SandboxTest::SetUp();
        cplShelfResetForTest();
        cplStatusResetForTest();
        LogicaTx_ResetForTest();
        sem_sys_init();
        SemMutexInit();
        setAdvance(0);
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    static void setAdvance(double s)
    {
        clockAdvanceUs(static_cast<int64_t>(s * 1e6));
        timeThread();
    }
    static uint64_t mark()
    {
        auto l = busLog(SIM_BUS_I2C1);
        return l.empty() ? 0 : l.back().seq;
    }
    // The bytes of the writes to an address since a mark, as hex text.
    static std::vector<std::string> writes(uint16_t addr, uint64_t after)
    {
        std::vector<std::string> out;
        for (const SimLogRecord& r : busLog(SIM_BUS_I2C1, after)) {
            if (r.op != SIM_OP_WRITE || r.addr != addr || r.dataLen < 2)
                continue;
            std::string t;
            char b[4];
            for (int i = 0; i < r.dataLen; i++) {
                snprintf(b, sizeof b, i ? " %02X" : "%02X", r.data[i]);
                t += b;
            }
            out.push_back(t);
        }
        return out;
    }
    static void poke(uint16_t addr, int reg, uint8_t v)
    {
        simModelOf(simFindDevice(SIM_BUS_I2C1, addr))->poke(static_cast<uint32_t>(reg), &v, 1);
    }
    static size_t lines(const std::string& text, const std::string& what) { return count(text, what); }
};

TEST(CplPec, GoldenValuesAndTheIndependentCrc8)
{
    const uint8_t vout[] = {0x80, 0x21, 0x80, 0x3E};
    const uint8_t clear[] = {0x80, 0x03};
    EXPECT_EQ(CPL_Pec8(vout, 4), 0x15);
    EXPECT_EQ(CPL_Pec8(clear, 2), 0xBF);

    // crcmod's CRC-8 (x^8+x^2+x+1, initial 0, not reflected) on random strings.
    std::mt19937 rng(28);
    std::string script = "import crcmod.predefined,sys\nf=crcmod.predefined.mkCrcFun('crc-8')\n"
                         "for l in sys.stdin.read().split():\n    print('%02X' % f(bytes.fromhex(l)))\n";
    FILE* py = fopen("/tmp/cplPecCheck.py", "w");
    ASSERT_NE(py, nullptr);
    fputs(script.c_str(), py);
    fclose(py);
    std::vector<std::vector<uint8_t>> cases;
    std::string input;
    for (int i = 0; i < 64; i++) {
        std::vector<uint8_t> c(1 + rng() % 40);
        for (uint8_t& b : c)
            b = static_cast<uint8_t>(rng());
        char h[3];
        for (uint8_t b : c) {
            snprintf(h, sizeof h, "%02x", b);
            input += h;
        }
        input += "\n";
        cases.push_back(c);
    }
    FILE* in = fopen("/tmp/cplPecCheck.in", "w");
    ASSERT_NE(in, nullptr);
    fputs(input.c_str(), in);
    fclose(in);
    FILE* p = popen("/usr/bin/python3 /tmp/cplPecCheck.py < /tmp/cplPecCheck.in", "r");
    ASSERT_NE(p, nullptr);
    char line[16];
    size_t i = 0;
    while (fgets(line, sizeof line, p) != nullptr && i < cases.size()) {
        unsigned want = 0;
        sscanf(line, "%X", &want);
        EXPECT_EQ(CPL_Pec8(cases[i].data(), static_cast<uint32_t>(cases[i].size())), want) << "case " << i;
        i++;
    }
    pclose(p);
    EXPECT_EQ(i, cases.size()) << "python3-crcmod answered every case";
}

// The PMBus definition: a 5-bit two's-complement exponent over an 11-bit
// two's-complement mantissa.
double linear11Reference(uint16_t w)
{
    int e = (w >> 11) & 0x1F;
    int m = w & 0x7FF;
    if (e & 0x10)
        e -= 32;
    if (m & 0x400)
        m -= 2048;
    return m * std::pow(2.0, e);
}

TEST(CplLinear11, VectorsAndEveryWord)
{
    EXPECT_EQ(CPL_Linear11ToInt(0x00, 0xFB), 384);
    EXPECT_EQ(CPL_Linear11ToInt(0x64, 0x00), 100);
    EXPECT_EQ(CPL_Linear11ToInt(0xFF, 0x07), -1);
    EXPECT_EQ(CPL_Linear11ToInt(0x03, 0xF0), 1);
    for (uint32_t w = 0; w < 65536; w++) {
        int32_t want = static_cast<int32_t>(std::floor(linear11Reference(static_cast<uint16_t>(w)) + 0.5));
        ASSERT_EQ(CPL_Linear11ToInt(static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8)), want)
            << "word 0x" << std::hex << w;
    }
}

TEST_F(CplShelfTest, WireBytesOfTheCommandsAndTheVoltageScaleOfEachFamily)
{
    setPsuType(0, 1);
    uint64_t m = mark();
    EXPECT_EQ(CPL_SetVout(0, 0, 40000), 0);
    EXPECT_EQ(CPL_ClearFaults(0), 0);
    EXPECT_EQ(CPL_SetVout(0, 0, 50000), 0);
    EXPECT_EQ(writes(0x40, m), (std::vector<std::string>{"21 80 3E 15", "03 BF", "21 20 4E 5A"}));
    setPsuType(1, 2);
    m = mark();
    EXPECT_EQ(CPL_SetVout(1, 0, 50000), 0);
    auto w = writes(0x41, m);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].substr(0, 8), "21 00 64");

    // The module takes a command only under a correct PEC.
    uint8_t raw[2];
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x41))->peek(SIM_CPL_VOUT_LO, raw, 2);
    EXPECT_EQ(raw[0] | raw[1] << 8, 0x6400);
    uint8_t badPec = 0;
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x41))->peek(SIM_CPL_BAD_PEC, &badPec, 1);
    EXPECT_EQ(badPec, 0);

    // OPERATION and the STATUS_BYTE answer.
    EXPECT_EQ(CPL_IsOutputOn(0), 1);
    EXPECT_EQ(CPL_SetOperation(0, 0), 0);
    EXPECT_EQ(CPL_IsOutputOn(0), 0);
    EXPECT_EQ(CPL_IsOff(0), 1);
    simFindDevice(SIM_BUS_I2C1, 0x40)->nackNext.store(1);
    EXPECT_LT(CPL_IsOutputOn(0), 0);
    simFindDevice(SIM_BUS_I2C1, 0x40)->nackNext.store(1);
    EXPECT_EQ(CPL_IsOff(0), 0) << "a failure is not off";
}

TEST_F(CplShelfTest, AReadPassesOnlyUnderItsFamilysPecRule)
{
    uint8_t b[16];
    setPsuType(0, 1);
    EXPECT_EQ(CPL_Read(0, 0x78, b, 2), 2);
    setPsuType(0, 2);
    EXPECT_EQ(CPL_Read(0, 0x78, b, 2), -2) << "a CP2xxx answer under the CP3xxx rule";
    setPsuType(1, 2);
    EXPECT_EQ(CPL_Read(1, 0xD0, b, 13), 2);
    setPsuType(1, 1);
    EXPECT_EQ(CPL_Read(1, 0xD0, b, 13), -2) << "a CP3xxx answer under the CP2xxx rule";
    setPsuType(1, 0);
    EXPECT_EQ(CPL_Read(1, 0xD0, b, 13), 2) << "no rule before detection";
    simFindDevice(SIM_BUS_I2C1, 0x41)->nackNext.store(1);
    EXPECT_LT(CPL_Read(1, 0xD0, b, 13), 0);
}

TEST_F(CplShelfTest, InitDetectsBothFamiliesAndAppliesTheSetUp)
{
    setPsuCount(3);
    setHpsCode(3);
    setCplSharedBus(1);
    CPL_Init();
    EXPECT_EQ(getPsuType(0), 1u);
    EXPECT_EQ(getPsuType(1), 2u);
    EXPECT_EQ(getPsuType(2), 1u);
    EXPECT_NE(book().find("GE_CP2xxx_0: [uC Rev. 1.2] [DSP Rev. 3.4] [I2C Rev. 5.6]"), std::string::npos);
    EXPECT_NE(book().find("GE_CP3xxx_1: [uC Rev. 1.2] [DSP Rev. 3.4] [I2C Rev. 5.6]"), std::string::npos);
    EXPECT_NE(book().find("GE_CP2xxx_2:"), std::string::npos);
    EXPECT_EQ(getHpaPowerClass(), 20u);
    EXPECT_EQ(getHpaMinPower(), 568);
    EXPECT_EQ(getHpaDriverLevel(), 648);
    EXPECT_EQ(getPsuShelfWord1(0), 53000u);
    EXPECT_EQ(getPsuShelfWord2(1), 18000u);
    for (uint8_t j = 0; j < 3; j++)
        EXPECT_EQ(getPsuShelfStatus(j), 0) << "slot " << int(j);
    uint8_t select = 0xFF;
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x23))->peek(1, &select, 1);
    EXPECT_EQ(select & 0x04, 0) << "the slot select is released";
    EXPECT_EQ(pthread_mutex_trylock(SemCplLock), 0) << "the shelf lock is free";
    pthread_mutex_unlock(SemCplLock);
}

class CplAltAddressTest : public CplShelfTest {
protected:
    CplAltAddressTest() : CplShelfTest("i2c 1 0x3F cplpsu name=CPL_0 type=cp2\n") {}
};

TEST_F(CplAltAddressTest, SlotZeroAnsweringOnlyAt0x3FKeepsTheAlternateAddress)
{
    setPsuCount(1);
    setHpsCode(1);
    EXPECT_EQ(CPL_DetectAll(), 1);
    EXPECT_EQ(getPsuType(0), 1u);
    uint64_t m = mark();
    EXPECT_EQ(CPL_SetVout(0, 0, 40000), 0);
    auto w = writes(0x3F, m);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].substr(0, 8), "21 80 3E");
    EXPECT_TRUE(writes(0x40, m).empty());
}

TEST_F(CplShelfTest, LockFailuresReleaseTheMutex)
{
    simFindDevice(SIM_BUS_I2C1, 0x23)->nackNext.store(1);
    EXPECT_EQ(CPL_Lock(1), -1);
    EXPECT_EQ(pthread_mutex_trylock(SemCplLock), 0);
    pthread_mutex_unlock(SemCplLock);
    EXPECT_EQ(CPL_Lock(1), 0);
    uint8_t select = 0;
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x23))->peek(1, &select, 1);
    EXPECT_EQ(select & 0x07, 0x05);
    simFindDevice(SIM_BUS_I2C1, 0x23)->nackNext.store(1);
    EXPECT_EQ(CPL_Unlock(1), -1);
    EXPECT_EQ(pthread_mutex_trylock(SemCplLock), 0) << "released although the expander failed";
    pthread_mutex_unlock(SemCplLock);
}

TEST_F(CplShelfTest, StatusReadersScaleIntoTheRecord)
{
    setHpsCode(3);
    for (uint8_t j = 0; j < 3; j++)
        setPsuPresent(j, 1);
    setPsuType(0, 1);
    setPsuType(1, 2);
    CPL_SetVout(0, 0, 48000);
    CPL_SetVout(1, 0, 50000);
    poke(0x40, SIM_CPL_VIN, 145);
    EXPECT_GT(CPL2_ReadFullStatus(0), 0);
    EXPECT_EQ(getPsuReadingWord1(0), 220000u) << "(145 + 75) V";
    EXPECT_EQ(getPsuVoutMeasured(0), 48000);
    EXPECT_EQ(getPsuReadingByte(0), 35u);
    EXPECT_EQ(getPsuReadingWord(0, 0), 40u);
    EXPECT_EQ(getPsuReadingWord(0, 1), 6000u);
    EXPECT_EQ(getPsuReading24(0), 0x2710u);
    EXPECT_GT(CPL3_ReadFullStatus(1), 0);
    EXPECT_EQ(getPsuVoutMeasured(1), 50000) << "0x6400 / 512 V";
    EXPECT_EQ(getPsuReadingByte(1), 35u);
    EXPECT_EQ(getPsuReadingWord1(1), 230000u);

    // A slot that is not present is not read.
    setPsuPresent(2, 0);
    setPsuType(2, 1);
    EXPECT_EQ(CPL2_ReadFullStatus(2), 0);
    EXPECT_EQ(getPsuStatus(2), 2u);
}

TEST_F(CplShelfTest, AlarmBitsCountOnlyWhenReadTwiceAndOverCurrentOnlyWhileThePowerIsSteady)
{
    setHpsCode(3);
    setPsuPresent(1, 1);
    setPsuType(1, 1);
    poke(0x41, SIM_CPL_TYPE, 1);
    poke(0x41, SIM_CPL_ALARM1, 0x08);
    CPL_SetVout(1, 0, 48000);
    EXPECT_GT(CPL2_ReadFullStatus(1), 0);
    EXPECT_EQ(getPsuStatus(1), 0u) << "one read only arms the test";
    EXPECT_EQ(eventLog().find("Over Current"), std::string::npos);
    EXPECT_GT(CPL2_ReadFullStatus(1), 0);
    EXPECT_EQ(getPsuStatus(1), 2u);
    EXPECT_EQ(getPsuStatusByte(1, 2), 0x08);
    EXPECT_EQ(lines(eventLog(), "EVENT: Alm PSU_2 Over Current [Vin 230V, Vout 48.00V, Iout 0.00A] [alarm1 0x8] <--- In"),
              1u);
    EXPECT_EQ(lines(book(), "Alm PSU_2 Over Current"), 1u);

    // While the power changes over-current is no fault and nothing is logged.
    LogicaTx_SetTxStatus(1);
    EXPECT_GT(CPL2_ReadFullStatus(1), 0);
    EXPECT_EQ(getPsuStatus(1), 0u);
    poke(0x41, SIM_CPL_ALARM1, 0x00);
    CPL2_ReadFullStatus(1);
    EXPECT_EQ(lines(eventLog(), "Over Current"), 1u);
    LogicaTx_SetTxStatus(0);
    CPL2_ReadFullStatus(1); // differs from the last remembered: arms
    CPL2_ReadFullStatus(1);
    EXPECT_EQ(lines(eventLog(), "EVENT: Alm PSU_2 Over Current [Vin 230V, Vout 48.00V, Iout 0.00A] ---> Out"), 1u);

    // Over-temperature always counts and raises alarm 147.
    poke(0x41, SIM_CPL_ALARM1, 0x20);
    CPL2_ReadFullStatus(1);
    EXPECT_EQ(getAlarmInput(147), 0);
    CPL2_ReadFullStatus(1);
    EXPECT_EQ(getAlarmInput(147), 1);
    EXPECT_EQ(getPsuStatus(1), 2u);
    EXPECT_EQ(lines(eventLog(), "Alm PSU_2 OverTemperature Shutdown <--- In"), 1u);
}

TEST_F(CplShelfTest, Cp3Alarm3BitsTwoAndFourNeitherCountNorLog)
{
    setHpsCode(3);
    setPsuPresent(1, 1);
    setPsuType(1, 2);
    poke(0x41, SIM_CPL_ALARM3, 0x06);
    CPL3_ReadFullStatus(1);
    CPL3_ReadFullStatus(1);
    EXPECT_EQ(getPsuStatus(1), 0u);
    EXPECT_EQ(getPsuStatusByte(1, 4), 0x06);
    EXPECT_EQ(lines(eventLog(), "Alm PSU_2"), 0u);
    poke(0x41, SIM_CPL_ALARM3, 0x40);
    CPL3_ReadFullStatus(1);
    CPL3_ReadFullStatus(1);
    EXPECT_EQ(getPsuStatus(1), 2u);
    EXPECT_EQ(lines(eventLog(), "Alm PSU_2 Fuse Fail <--- In"), 1u);
}

TEST_F(CplShelfTest, EventTableGoldenRows)
{
    uint8_t state = 0;
    CPL_PsuAlarmEvent(0, 0x10, 0, 0x10, &state);
    CPL_PsuAlarmEvent(0, 0x10, 0, 0x10, &state); // no edge
    CPL_PsuAlarmEvent(0, 0x10, 0, 0x00, &state);
    EXPECT_EQ(lines(eventLog(), "EVENT: Alm PSU_1 Shutdown Occurred [status_1 0x10] <--- In\n"), 1u);
    EXPECT_EQ(lines(eventLog(), "EVENT: Alm PSU_1 Shutdown Occurred ---> Out\n"), 1u);
    uint8_t a2 = 0;
    CPL_PsuAlarmEvent(2, 0x40, 3, 0xC0, &a2);
    EXPECT_EQ(a2, 0x40);
    EXPECT_EQ(lines(eventLog(), "EVENT: Alm PSU_3 No Primary <--- In\n"), 1u);
    uint8_t a3 = 0;
    CPL_PsuAlarmEvent(1, 0x02, 4, 0x02, &a3);
    EXPECT_EQ(a3, 0x02) << "the state follows every bit";
    CPL_PsuAlarmEvent(1, 0x80, 4, 0xFF, &a3);
    EXPECT_EQ(a3, 0x02) << "0xFF is no data";
    CPL_PsuAlarmEvent(1, 0x80, 4, 0x80, &a3);
    EXPECT_EQ(lines(eventLog(), "EVENT: Alm PSU_2 Interlock Open <--- In\n"), 1u);
    EXPECT_EQ(lines(eventLog(), "Alm PSU_2"), 1u) << "bit 0x02 of alarm3 has no line";
}

// CLEAR_FAULTS writes (one per shelf pass) to an address, or to any slot.
size_t clearFaults(const std::vector<SimLogRecord>& log, int addr = -1)
{
    size_t n = 0;
    for (const SimLogRecord& r : log)
        if (r.op == SIM_OP_WRITE && r.addr >= 0x40 && r.addr <= 0x42 && (addr < 0 || r.addr == addr) &&
            r.dataLen == 2 && r.data[0] == 0x03)
            n++;
    return n;
}

class CplPassTest : public CplShelfTest {
protected:
    void SetUp() override
    {
        CplShelfTest::SetUp();
        setHpsCode(3);
        setPsuCount(3);
        for (uint8_t j = 0; j < 3; j++)
            setPsuType(j, j == 1 ? 2 : 1);
    }
    // The VASK loop's cadence: a call every 80 ms.
    static void runFor(double seconds)
    {
        for (double t = 0; t < seconds; t += 0.08) {
            setAdvance(0.08);
            CPL_Task();
        }
    }
};

TEST_F(CplPassTest, OneSupplyAvailableIsPolledEverySecond)
{
    setPsuPresent(0, 1);
    runFor(3.0);
    EXPECT_EQ(getPsuAvailableCount(), 1);
    uint64_t m = mark();
    runFor(10.0);
    size_t passes = clearFaults(busLog(SIM_BUS_I2C1, m));
    EXPECT_GE(passes, 8u);
    EXPECT_LE(passes, 10u);
}

TEST_F(CplPassTest, MoreSuppliesAvailableArePolledEveryTwoSeconds)
{
    for (uint8_t j = 0; j < 3; j++)
        setPsuPresent(j, 1);
    runFor(3.0);
    EXPECT_EQ(getPsuAvailableCount(), 3);
    uint64_t m = mark();
    runFor(10.0);
    size_t passes = clearFaults(busLog(SIM_BUS_I2C1, m));
    EXPECT_GE(passes, 4u);
    EXPECT_LE(passes, 5u);
}

TEST_F(CplPassTest, ASlotIsUnavailableOnItsThirdFailedPassOrItsFirstBeforeItAnswered)
{
    for (uint8_t j = 0; j < 3; j++)
        setPsuPresent(j, 1);
    simFindDevice(SIM_BUS_I2C1, 0x42)->absent.store(1);
    uint64_t m = mark();
    for (int i = 0; i < 200 && clearFaults(busLog(SIM_BUS_I2C1, m), 0x42) == 0; i++)
        runFor(0.08);
    EXPECT_EQ(getPsuShelfStatus(2), 1) << "never answered: flagged at once";
    EXPECT_EQ(getPsuEnabled(2), 0);
    EXPECT_EQ(getAlarmInput(143), 1);
    EXPECT_EQ(getPsuStatus(2), 3u);
    EXPECT_EQ(getAlarmInput(141), 0);

    runFor(8.0);
    simFindDevice(SIM_BUS_I2C1, 0x40)->absent.store(1);
    m = mark();
    for (int i = 0; i < 600 && getPsuShelfStatus(0) == 0; i++)
        runFor(0.08);
    EXPECT_EQ(clearFaults(busLog(SIM_BUS_I2C1, m), 0x40), 3u);
    EXPECT_EQ(getAlarmInput(141), 1);
    EXPECT_EQ(getPsuEnabled(0), 0);
    EXPECT_EQ(pthread_mutex_trylock(SemCplLock), 0) << "the shelf lock is free";
    pthread_mutex_unlock(SemCplLock);
}

} // namespace
