// The amplifier, power-supply, RF and power-calibration keys: the supply
// operations and what they send, the hardware code bytes, the HPA word
// array, the driver-power and frequency setters before and after the
// hardware is ready, the RF output and mute states, and the APC voltage.
#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "comtab/dbPool.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "hw/fpgaWindows.h"
#include "sim/simFpga.h"
#include "power/cplShelf.h"
#include "power/hpaDetect.h"
#include "power/spsModule.h"
#include "sim/simCplPsu.h"
#include "sim/simModels.h"
#include "sim/simSpsModule.h"
#include "sim/simState.h"
#include "testing/cplShelfLog.h"
#include "testing/testSupport.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

size_t countLines(const std::string& text, const std::string& line)
{
    size_t n = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1))
        n++;
    return n;
}

// Records of the SPI bus after a mark (the whole ring).
std::vector<SimLogRecord> spiRecords(uint64_t after)
{
    std::vector<SimLogRecord> r(kSimLogEntries);
    r.resize(simLogRead(SIM_BUS_SPI0, after, r.data(), r.size()));
    return r;
}

uint64_t spiMark()
{
    return simState()->buses[SIM_BUS_SPI0].logHead.load();
}

// The DAC command bytes sent on chip select 3 (the drive DAC) after a mark.
std::vector<int> dacCommands(uint64_t after)
{
    std::vector<int> out;
    for (const SimLogRecord& r : spiRecords(after))
        if (r.op == SIM_OP_XFER && r.addr == 3 && r.dataLen == 3)
            out.push_back(r.data[0]);
    return out;
}

class PowerRfKeysTest : public SandboxTest {
protected:
    // The board with the three shelf modules and the serial power module.
    PowerRfKeysTest()
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK,
                      cplShelfProfile() + "uart /dev/ttyMAX0 gesps\n")
    {
    }

    void SetUp() override
    {
        SandboxTest::SetUp();
        locks = true;
        sem_sys_init();
        SemMutexInit();
        globalMute = 0;
    }

    void TearDown() override
    {
        if (locks)
            sem_sys_remove();
        SandboxTest::TearDown();
    }

    // The board as the start-up leaves it: locks, FPGA windows, audio PLL.
    void hardwareReady()
    {
        ASSERT_EQ(initAxi(), 0);
        simFpgaSetPllScript(SIM_PLL_LOCKED, 0);
        setHwReady(1);
    }

    bool locks = false;

    static uint64_t mark() { return cplLogMark(busLog(SIM_BUS_I2C1)); }
    // Shelf commands sent since a mark.
    static std::vector<std::string> shelfCalls(uint64_t after) { return cplCalls(busLog(SIM_BUS_I2C1, after)); }
    // The next n messages to a device are not acknowledged.
    static void nack(uint16_t addr, int n) { simFindDevice(SIM_BUS_I2C1, addr)->nackNext.store(n); }
    // Enrols the serial power module; its knobs.
    static SimSpsKnobs* enrolSerialModule()
    {
        SimSpsKnobs* k = simSpsAt("/dev/ttyMAX0");
        if (k == nullptr)
            return nullptr;
        SPS_Search();
        return getPsuShelfStatus(0) == 0 ? k : nullptr;
    }

    static void clearChanges()
    {
        getSystemImage()->change.ConfigChanged = 0;
        getSystemImage()->change.ConfigLocked = 0;
    }

    // Three ganged PMBus supplies on the shared bus of the three-slot shelf.
    static void gangedSharedBus()
    {
        setPsuCount(3);
        setHpsCode(3);
        setCplSharedBus(1);
    }
};

TEST_F(PowerRfKeysTest, ApplyPsuVoutSendsByInterfaceAndStoresOnlyWhatASupplyTook)
{
    // A single PMBus supply: sent, stored and published once.
    uint64_t m = mark();
    EXPECT_EQ(applyPsuVout(1, 48000), 0);
    EXPECT_EQ(shelfCalls(m), (std::vector<std::string>{"CPL_SetVout(1,0,48000)"}));
    EXPECT_EQ(getPsuVoutSetpoint(1), 48000u);
    EXPECT_EQ(readDbAreaCell(32, 12), 48000u);
    m = mark();
    EXPECT_EQ(applyPsuVout(1, 48000), 0);
    EXPECT_TRUE(shelfCalls(m).empty()) << "the set-point it already has is not sent";

    // A failed write leaves the set-point, and the same value is tried again.
    nack(0x41, 1);
    EXPECT_LT(applyPsuVout(1, 47000), 0);
    EXPECT_EQ(getPsuVoutSetpoint(1), 48000u);
    EXPECT_EQ(applyPsuVout(1, 47000), 0);
    EXPECT_EQ(getPsuVoutSetpoint(1), 47000u);

    // The serial shelf and the margin pins.
    SimSpsKnobs* sps = enrolSerialModule();
    ASSERT_NE(sps, nullptr);
    m = mark();
    setPsuInterface(0, 1);
    EXPECT_EQ(applyPsuVout(0, 50000), 0);
    EXPECT_TRUE(waitUntil([&] { return sps->voutWord.load() == 20000; }, 5000));
    setPsuInterface(0, 0);
    setHpsTypeCode(22);
    EXPECT_EQ(applyPsuVout(2, 51000), 0);
    EXPECT_TRUE(shelfCalls(m).empty()) << "neither goes over PMBus";
    EXPECT_EQ(getPsuVoutSetpoint(0), 50000u);
    EXPECT_EQ(getPsuVoutSetpoint(2), 51000u);

    // Supply 3 and above lie beyond the records.
    m = mark();
    EXPECT_EQ(applyPsuVout(3, 1000), -1);
    EXPECT_TRUE(shelfCalls(m).empty());
}

TEST_F(PowerRfKeysTest, GangedSuppliesSkipAFailedLockKeepItsSetPointAndAreRetried)
{
    gangedSharedBus();
    nack(0x23, 3); // the three lock attempts of supply 0
    uint64_t m = mark();
    EXPECT_NE(applyPsuVout(0, 45000), 0);
    EXPECT_EQ(shelfCalls(m), (std::vector<std::string>{"CPL_SetVout(1,0,45000)", "CPL_SetVout(2,0,45000)"}));
    EXPECT_EQ(countLines(book(), "PSU_0: error on set Vout"), 1u);
    EXPECT_EQ(getPsuVoutSetpoint(0), 0u);
    EXPECT_EQ(getPsuVoutSetpoint(1), 45000u);
    EXPECT_EQ(getPsuVoutSetpoint(2), 45000u);
    EXPECT_EQ(readDbAreaCell(31, 12), 0u);
    EXPECT_EQ(readDbAreaCell(32, 12), 45000u);
    EXPECT_EQ(readDbAreaCell(33, 12), 45000u);
    uint8_t select = 0;
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x23))->peek(1, &select, 1);
    EXPECT_EQ(select & 0x04, 0) << "the slot select is released";

    // The same set-point again reaches the supply that missed it.
    m = mark();
    EXPECT_EQ(applyPsuVout(0, 45000), 0);
    EXPECT_EQ(shelfCalls(m), (std::vector<std::string>{"CPL_SetVout(0,0,45000)", "CPL_SetVout(1,0,45000)",
                                                       "CPL_SetVout(2,0,45000)"}));
    EXPECT_EQ(getPsuVoutSetpoint(0), 45000u);
    EXPECT_EQ(readDbAreaCell(31, 12), 45000u);

    // A supply write that fails is the result, and only it keeps its value.
    nack(0x42, 1);
    EXPECT_LT(applyPsuVout(1, 46000), 0);
    EXPECT_EQ(getPsuVoutSetpoint(0), 46000u);
    EXPECT_EQ(getPsuVoutSetpoint(1), 46000u);
    EXPECT_EQ(getPsuVoutSetpoint(2), 45000u);
}

TEST_F(PowerRfKeysTest, OperationModeIsStoredPublishedAndSentByManagementMode)
{
    uint64_t m = mark();
    EXPECT_EQ(setPsuOperationMode(2, 1), 0);
    EXPECT_EQ(getPsuOperationMode(2), 1);
    EXPECT_EQ(readDbAreaCell(33, 13), 1u);
    setHPSMngMode(1);
    EXPECT_EQ(setPsuOperationMode(2, 0), 0);
    EXPECT_EQ(shelfCalls(m), (std::vector<std::string>{"CPL_SetOperation(2,1)"})) << "analog mode sends nothing";
    EXPECT_EQ(isPsuOutputOff(2), 0) << "the stored mode";

    setHPSMngMode(0);
    gangedSharedBus();
    nack(0x23, 3);
    m = mark();
    EXPECT_EQ(setPsuOperationMode(0, 1), -1);
    EXPECT_EQ(countLines(book(), "PSU_0: error on apply operation mode"), 1u);
    EXPECT_TRUE(shelfCalls(m).empty());
    nack(0x23, 3);
    EXPECT_EQ(isPsuOutputOff(0), 0) << "no answer without the lock";
    EXPECT_EQ(isPsuOutputOff(2), 0);
    const uint8_t shutdown = 1;
    simModelOf(simFindDevice(SIM_BUS_I2C1, 0x42))->poke(SIM_CPL_SHUTDOWN, &shutdown, 1);
    EXPECT_EQ(isPsuOutputOff(2), 1);
    nack(0x42, 1);
    EXPECT_EQ(isPsuOutputOff(2), 0) << "a failed read is not off";
    EXPECT_EQ(setPsuOperationMode(3, 1), -1);

    // The minimum fan speed reaches only the serial shelf, which gives the
    // bytes it wrote.
    EXPECT_EQ(setPsuMinFanSpeed(0, 25), 0);
    SimSpsKnobs* sps = enrolSerialModule();
    ASSERT_NE(sps, nullptr);
    setPsuInterface(0, 1);
    EXPECT_EQ(setPsuMinFanSpeed(0, 25), 7);
    EXPECT_TRUE(waitUntil([&] { return sps->minFan.load() == 25; }, 5000));
}

TEST_F(PowerRfKeysTest, SupplyRecordFieldsPublishIntoTheirSupplysSections)
{
    setPsuStatusByte(1, 0, 0x12);
    setPsuStatusByte(1, 1, 0x34);
    setPsuStatusByte(1, 2, 0x56);
    setPsuStatusByte(1, 4, 0x78);
    EXPECT_EQ(readDbAreaCell(35, 1), 0x3412u);
    EXPECT_EQ(readDbAreaCell(35, 3), 0x780056u);
    setPsuReadingWord(2, 3, 900);
    EXPECT_EQ(readDbAreaCell(36, 14), 900u);
    const uint32_t info[3] = {0x41424344, 0x45464748, 0x494a4b4c};
    setPsuPlatformInfo1(0, info);
    setPsuInfoRecord(2, info, 0x5151);
    EXPECT_EQ(readDbAreaCell(31, 4), 0x494a4b4cu);
    EXPECT_EQ(readDbAreaCell(33, 5), 0x41424344u);
    EXPECT_EQ(readDbAreaCell(33, 8), 0x5151u);
    setPsuIdentityByte(1, 5, 9);
    EXPECT_EQ(readDbAreaCell(32, 21), 9u);
    setPsuVoutMeasured(2, static_cast<uint32_t>(-5));
    EXPECT_EQ(getPsuVoutMeasured(2), -5);
    EXPECT_EQ(readDbAreaCell(36, 7), static_cast<uint32_t>(-5));
    // Indexes beyond the records and their arrays are refused.
    setPsuStatusByte(1, 5, 1);
    setPsuReadingWord(3, 0, 1);
    EXPECT_EQ(getPsuStatusByte(1, 5), 0);
    EXPECT_EQ(getPsuReadingWord(3, 0), 0u);
}

TEST_F(PowerRfKeysTest, HardwareCodeBytesAndHpaWordsPublishWhereTheyBelong)
{
    setHwCodeByte(0x11, 0);
    setHwCodeByte(0x22, 1);
    setHwCodeByte(0x33, 2);
    setHwCodeByte(0x44, 3);
    EXPECT_EQ(readDbAreaCell(17, 7), 0x11u);
    EXPECT_EQ(readDbAreaCell(17, 10), 0x44u);
    EXPECT_EQ(readDbAreaCell(40, 1), 0x44332211u);
    setHwCodeByte(0x55, 4); // refused
    EXPECT_EQ(getHwCodeByte(4), 0);
    EXPECT_EQ(readDbAreaCell(40, 1), 0x44332211u);

    struct Case {
        uint32_t word;
        uint8_t item; // 0: not published
    };
    const Case cases[] = {{0, 20}, {11, 31}, {12, 0}, {14, 0}, {15, 32}, {26, 43}, {27, 48}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        setHpaWordAt(c.word, static_cast<uint32_t>(-1000 - static_cast<int32_t>(c.word)));
        EXPECT_EQ(getHpaWordAt(c.word), -1000 - static_cast<int32_t>(c.word));
        if (c.item) {
            EXPECT_EQ(readDbAreaCell(40, c.item), static_cast<uint32_t>(-1000 - static_cast<int32_t>(c.word)));
        }
    }
    EXPECT_EQ(readDbAreaCell(40, 44), 0u) << "words 12..14 have no cells";
    setHpaWordAt(28, 5);
    EXPECT_EQ(getHpaWordAt(28), 0);
    // The older names reach the same words and codes.
    setHpaMeasureWord(16, 4500);
    EXPECT_EQ(getHpaWordAt(16), 4500);
    setHpaPowerClass(22);
    EXPECT_EQ(getHpsTypeCode(), 22u);
    EXPECT_EQ(readDbAreaCell(17, 1), 22u);
}

TEST_F(PowerRfKeysTest, DriverPowerBeforeAndAfterTheHardwareIsReady)
{
    // At start-up: stored, published and marked only.
    setDriverPower(300, 1);
    EXPECT_EQ(getDriverPower(), 300);
    EXPECT_EQ(readDbAreaCell(5, 6), 300u);
    EXPECT_EQ(getConfigChanged(), 0x40000u);
    EXPECT_EQ(book().find("DriverPower"), std::string::npos);

    hardwareReady();
    setLastValidVdac(3000);
    setLastValidHpsVout(40000);
    struct Case {
        int16_t p;
        uint8_t fwdCalibrated;
        const char* line;
    };
    const Case cases[] = {
        {455, 1, "DriverPower: 45.5 dB"},   // up
        {-5, 1, "DriverPower: -0.5 dB"},    // down
        {-123, 0, "DriverPower: -12.3 dB"}, // not calibrated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.p);
        setFwdPowerCalibrated(c.fwdCalibrated);
        setDriverPower(static_cast<uint32_t>(c.p), 0);
        EXPECT_EQ(countLines(book(), c.line), 1u);
        EXPECT_EQ(countLines(eventLog(), c.line), 1u);
        EXPECT_EQ(readDbAreaCell(5, 6), static_cast<uint32_t>(static_cast<int32_t>(c.p)));
    }
    EXPECT_EQ(getLastValidVdac(), 3000) << "kept without the reset";
    setDriverPower(600, 1);
    EXPECT_EQ(getLastValidVdac(), 0);
    EXPECT_EQ(getLastValidHpsVout(), 0u);

    // The second family: thresholds on a raise and the fan speed of model 4.
    setAmpFamily(1);
    setHpsCode(1);
    setHpaModelCode(4);
    SimSpsKnobs* sps = enrolSerialModule();
    ASSERT_NE(sps, nullptr);
    setPsuInterface(0, 1);
    setFwdPowerCalibrated(1);
    uint64_t spi = spiMark();
    setDriverPower(580, 0);
    setDriverPower(570, 0);
    EXPECT_TRUE(dacCommands(spi).empty()) << "a lower power recomputes nothing";
    EXPECT_TRUE(waitUntil([&] { return sps->minFan.load() == 25; }, 5000)) << "the serial module's fan speed";

    // The quiet setter: no line, no publish, but the mark.
    clearChanges();
    spi = spiMark();
    applyDriverPower(700);
    EXPECT_EQ(getDriverPower(), 700);
    EXPECT_EQ(readDbAreaCell(5, 6), 570u);
    EXPECT_EQ(getConfigChanged(), 0x40000u);
    EXPECT_EQ(countLines(book(), "DriverPower: 70.0 dB"), 0u);
    EXPECT_EQ(dacCommands(spi), (std::vector<int>{0x10, 0x12})) << "the second family's thresholds";
}

TEST_F(PowerRfKeysTest, FrequencyBeforeTheHardwareIsReadyIsOnlyStoredAndPublished)
{
    setOutputRFfrequency(98100000, 1);
    setFrequencyOffset(static_cast<uint32_t>(-500));
    EXPECT_EQ(getOutputRFfrequency(), 98100000u);
    EXPECT_EQ(readDbAreaCell(5, 11), 98100000u);
    EXPECT_EQ(getFrequencyOffset(), -500);
    EXPECT_EQ(readDbAreaCell(5, 12), static_cast<uint32_t>(-500));
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(globalMute, 0);
    EXPECT_EQ(book().find("Frequency"), std::string::npos);
    EXPECT_EQ(isValidFrequencyOffset(static_cast<uint32_t>(-500)), 1);
    EXPECT_EQ(isValidFrequencyOffset(static_cast<uint32_t>(-501)), 0);
}

TEST_F(PowerRfKeysTest, FrequencyOnceTheHardwareIsReadyLogsMarksMutesAndRetunesOnce)
{
    // The retune's frequency power offset (families 1 and 2) tells each
    // retune in the book.
    setAmpFamily(1);
    hardwareReady();
    setLastValidVdac(3000);
    clearChanges();
    setOutputRFfrequency(98100000, 1);
    EXPECT_EQ(countLines(book(), "Frequency: 98.100000 Mhz"), 1u);
    EXPECT_EQ(countLines(eventLog(), "Frequency: 98.100000 Mhz"), 1u);
    EXPECT_EQ(getConfigChanged(), 0x8000u | 0x100000u | 0x40000u); // the last-valid reset marks 0x40000
    EXPECT_EQ(globalMute, 1);
    EXPECT_EQ(countLines(book(), "Freq.changed: Adjust power offset"), 1u) << "one retune";
    EXPECT_EQ(getLastValidVdac(), 0);
    EXPECT_EQ(readDbAreaCell(5, 11), 98100000u);

    // Leading zeros of the fraction are printed; the offsets print the sum.
    setOutputRFfrequency(89050000, 0);
    EXPECT_EQ(countLines(book(), "Frequency: 89.050000 Mhz"), 1u);
    setFrequencyCalibOffset(static_cast<uint32_t>(-1000));
    EXPECT_EQ(countLines(book(), "Frequency: 89.049000 Mhz"), 1u);
    EXPECT_EQ(readDbAreaCell(14, 20), static_cast<uint32_t>(-1000));

    // The same value again does nothing.
    size_t retunes = countLines(book(), "Freq.changed: Adjust power offset");
    setOutputRFfrequency(89050000, 0);
    EXPECT_EQ(countLines(book(), "Freq.changed: Adjust power offset"), retunes);
}

TEST_F(PowerRfKeysTest, PowerOffsetsRangeAndBoardOutputPowerFollowTheirRules)
{
    // The recalibration of the offsets is seen on the first family's board
    // (PowerRfKeysOsk below); here their cells.
    setDriverPowerOffset(5);
    setPowerOffsetFirstFreq(3);
    EXPECT_EQ(readDbAreaCell(5, 9), 5u);
    EXPECT_EQ(readDbAreaCell(5, 17), 3u);
    hardwareReady();
    setPowerOffsetFine(static_cast<uint32_t>(-2));
    EXPECT_EQ(readDbAreaCell(5, 10), static_cast<uint32_t>(-2));

    // The third family's limits follow the range on every call when the
    // forward power is calibrated.
    setAmpFamily(2);
    setHpaNomDrvPow(650);
    setPowerDynamicRange(100);
    EXPECT_EQ(getHpaPowerLimitLow(), 0u) << "not calibrated";
    setFwdPowerCalibrated(1);
    clearChanges();
    setPowerDynamicRange(100);
    EXPECT_EQ(getConfigChanged(), 0u);
    EXPECT_EQ(getHpaPowerLimitLow(), 550u);
    EXPECT_EQ(getHpaPowerLimitHigh(), 650u);
    EXPECT_EQ(readDbAreaCell(40, 47), 550u);
    setDriverPower(600, 0);
    applyDriverPowerOffset();
    EXPECT_EQ(getHpaPowerLimitLow(), 500u);

    setBoardOutputPower(static_cast<uint32_t>(-30));
    EXPECT_EQ(readDbAreaCell(5, 25), static_cast<uint32_t>(-30));
    EXPECT_EQ(isValidBoardOutputPower(static_cast<uint32_t>(-31)), 0);
}

TEST_F(PowerRfKeysTest, RfOutputAndMuteStatesSetTheEventTheLoopFlagAndTheirCopy)
{
    setRfLoopFlag(1);
    setUnitStateByte(1);
    setRfOutputEvent(1);
    EXPECT_EQ(getRfOutputState(), 1);
    EXPECT_EQ(getEventBit(54), 1);
    EXPECT_EQ(getRfLoopFlag(), 0);
    setRfOutputEvent(0);
    EXPECT_EQ(getEventBit(54), 0);
    EXPECT_EQ(getRfLoopFlag(), 1);
    setRfOutputEvent(1);
    setUnitStateByte(0);
    setRfOutputEvent(3);
    EXPECT_EQ(getRfLoopFlag(), 1);

    // The transmitter-on state sets its copy and clears the output event.
    setTxOnState(1);
    EXPECT_EQ(getRfMuteState(), 1);
    EXPECT_EQ(getSystemImage()->rf.rfMuteCopy, 1);
    EXPECT_EQ(getRfOutputState(), 0);
    EXPECT_EQ(getTxOnState(), 1);
}

TEST_F(PowerRfKeysTest, ApcVoltageDefaultsLimitsAndTheConverterByFamily)
{
    struct DefaultCase {
        uint32_t hpsCode;
        uint32_t def;
    };
    for (const DefaultCase& c : {DefaultCase{1, 1100}, {3, 1500}, {0, 700}, {2, 700}}) {
        setHpsCode(c.hpsCode);
        clearChanges();
        initDefaultVoltageAPC();
        EXPECT_EQ(getDefaultVoltageAPC(), c.def) << c.hpsCode;
        EXPECT_EQ(readDbAreaCell(13, 43), c.def) << c.hpsCode;
        EXPECT_EQ(getConfigChanged(), 0u);
    }
    struct MaxCase {
        uint32_t typeCode;
        uint32_t max;
    };
    for (const MaxCase& c : {MaxCase{18, 1150}, {19, 1250}, {20, 1250}, {22, 1800}, {24, 1800}, {17, 2500}}) {
        setHpsTypeCode(c.typeCode);
        initMaxVoltageAPC();
        EXPECT_EQ(getMaxVoltageAPC(), c.max) << c.typeCode;
        EXPECT_EQ(readDbAreaCell(13, 57), c.max) << c.typeCode;
    }

    setHpsCode(3);
    EXPECT_EQ(getVoltageAPCLimit(2), 800u);
    EXPECT_EQ(getVoltageAPCLimit(0), 500u);
    EXPECT_EQ(getVoltageAPCLimit(3), getDefaultVoltageAPC());
    setHpsCode(1);
    EXPECT_EQ(getVoltageAPCLimit(2), getDefaultVoltageAPC());

    // Applied with the stored value still drives the converter and publishes.
    hardwareReady();
    setAmpFamily(1);
    setHpaModelCode(4); // the model whose converter has the APC output
    setVoltageAPC(1000, 0);
    setDbAreaCell(13, 24, 0);
    uint64_t mark = simState()->buses[SIM_BUS_SPI0].logHead.load();
    setVoltageAPC(1000, 1);
    EXPECT_EQ(readDbAreaCell(13, 24), 1000u);
    std::vector<SimLogRecord> log(kSimLogEntries);
    log.resize(simLogRead(SIM_BUS_SPI0, mark, log.data(), log.size()));
    bool driven = false;
    for (const SimLogRecord& r : log) {
        // floor(1000 x 13.1072 + 0.5) = 13107
        if (r.op == SIM_OP_XFER && r.addr == 3 && r.dataLen == 3)
            driven = driven || ((r.data[1] << 8) | r.data[2]) == 13107;
    }
    EXPECT_TRUE(driven);
    setDbAreaCell(13, 24, 0);
    setVoltageAPC(1000, 0);
    EXPECT_EQ(readDbAreaCell(13, 24), 0u) << "unchanged and not applied: nothing";
}

TEST_F(PowerRfKeysTest, ReflectedPowerModeAndOffsetsRecomputeTheFamilysThreshold)
{
    // The third family's amplifier, calibrated: its reflected threshold is
    // logical DAC 2 (channel 2, command 0x14), the over-power one DAC 1
    // (channel 3, 0x16).
    setHpaModelCode(5);
    setFwdPowerCalibrated(1);
    setRefPowerCalibrated(1);
    setHpaNomFwd(3000);
    setHpaNomRef(3000);
    uint64_t spi = spiMark();
    setRefPowerMode(1);
    EXPECT_TRUE(dacCommands(spi).empty()) << "before the hardware is ready";
    EXPECT_EQ(readDbAreaCell(13, 39), 1u);
    hardwareReady();
    setAmpFamily(2);
    spi = spiMark();
    setRefPowerCalOffset(static_cast<uint32_t>(-100));
    setRefPowerMode(2);
    setHpaRflMode(1);
    setFwdPowerMuteThd(12);
    EXPECT_EQ(dacCommands(spi), (std::vector<int>{0x14, 0x14, 0x14, 0x16}));
    EXPECT_EQ(readDbAreaCell(13, 28), static_cast<uint32_t>(-100));
    EXPECT_EQ(readDbAreaCell(13, 38), 12u);
}

// The first family's board: the driver power and its offsets recalibrate the
// detector and, when asked, write the thresholds (DACs 1 and 2: commands
// 0x10 and 0x12 of model 0).
class PowerRfKeysOsk : public SandboxTest {
protected:
    PowerRfKeysOsk() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, oskProfile()) {}
    static std::string oskProfile()
    {
        std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/hpa-osk.profile");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
        SemMutexInit();
        setHwReady(0);
        detectHpaSystem();
        initHpa();
        ASSERT_EQ(getHpaDetected(), 1);
        setDriverPowerQuiet(300);
        setOutputRFfrequency(98000000, 0);
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    static void hardwareReady()
    {
        ASSERT_EQ(initAxi(), 0);
        simFpgaSetPllScript(SIM_PLL_LOCKED, 0);
        setHwReady(1);
    }
};

TEST_F(PowerRfKeysOsk, DriverPowerAndOffsetsRecalibrate)
{
    // Before the hardware is ready the offsets are only stored.
    uint64_t spi = spiMark();
    setDriverPowerOffset(5);
    EXPECT_TRUE(dacCommands(spi).empty());
    hardwareReady();
    setPowerOffsetFine(static_cast<uint32_t>(-2));
    EXPECT_EQ(dacCommands(spi), (std::vector<int>{0x10, 0x12}));
    EXPECT_EQ(getVdetTarget(), 729) << "30.3 dBm: 2500 x 0.2917";

    struct Case {
        int16_t p;
        uint8_t fwdCalibrated;
        std::vector<int> dacs;
    } cases[] = {
        {400, 1, {0x10, 0x12}}, // up
        {350, 1, {}},           // down: the target only
        {340, 0, {0x10, 0x12}}, // not calibrated
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.p);
        setFwdPowerCalibrated(c.fwdCalibrated);
        spi = spiMark();
        setDriverPower(static_cast<uint32_t>(c.p), 0);
        EXPECT_EQ(dacCommands(spi), c.dacs);
    }
    // Below the amplifier's range (23.0 to 46.0 dBm): clamped through the
    // setter, once.
    setDriverPower(100, 0);
    EXPECT_EQ(getDriverPower(), 230);
    EXPECT_EQ(countLines(book(), "DriverPower: 10.0 dB"), 1u);
    EXPECT_EQ(countLines(book(), "DriverPower: 23.0 dB"), 1u);
}

} // namespace
