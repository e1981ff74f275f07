// The power management step: the programmed derating over a simulated day on
// the virtual clock, the temperature derating, the SWR derating, the
// low-power and reflected-power alarms with their hysteresis, and the
// transmitter values of several amplifiers.
#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/powerKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "core/base/rfMute.h"
#include "core/base/utils.h"
#include "platform/clock.h"
#include "power/ampFm.h"
#include "power/powerManagement.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>


namespace {

constexpr uint16_t kEvLowWarning = 6, kEvReflWarning = 8, kEvDerating = 11;

// Local time of a day of January 2026 (the 5th is a Monday).
time_t localAt(int day, int hour, int minute)
{
    struct tm t {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 0;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return mktime(&t);
}

constexpr uint8_t kMonday = 1 << 1, kTuesday = 1 << 2, kWednesday = 1 << 3;

class PowerManagementTest : public SandboxTest {
protected:
    PowerManagementTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        rfMuteState = 0;
        // One amplifier, 30.0 dBm, the default thresholds.
        setAmplifierNumber(0);
        setExciterNominalPower(300, 0);
        setTransmitterLowPowerAlarmThreshold(30);
        setTransmitterLowPowerWarningThreshold(15);
        setTransmitterReflectedPowerAlarmThreshold(100);
        setTransmitterReflectedPowerWarningThreshold(150);
        LogicaTx_SetTxStatus(0);
        powerManagementInit();
    }
    static void pass(int n = 1)
    {
        for (int k = 0; k < n; k++)
            powerManagementTask();
    }
    // The window 22:00 to 06:00 with factor 3.0 dB on the given days.
    static void window(uint32_t start, uint32_t stop, uint8_t days)
    {
        setPwrProgDeratingFactor(30);
        setPwrProgDeratingTimeStart(start);
        setPwrProgDeratingTimeStop(stop);
        setPwrProgDeratingDayWeek(days);
        setPwrProgDeratingEnable(1);
    }
    // Runs one pass a minute from `from` to `to` (inclusive) and gives the
    // driver power target of each minute.
    static std::vector<int16_t> minutes(time_t from, time_t to)
    {
        std::vector<int16_t> targets;
        for (time_t t = from; t <= to; t += 60) {
            clockSetWall(t);
            pass();
            targets.push_back(getDriverPower());
        }
        return targets;
    }
    static std::vector<int16_t> changes(const std::vector<int16_t>& v)
    {
        std::vector<int16_t> c;
        for (int16_t x : v)
            if (c.empty() || c.back() != x)
                c.push_back(x);
        return c;
    }
};

TEST_F(PowerManagementTest, ProgrammedWindowAcrossMidnightDeratesFromItsStartToItsStop)
{
    window(1320, 360, kMonday | kTuesday);
    std::vector<int16_t> before = minutes(localAt(5, 21, 50), localAt(5, 21, 59));
    EXPECT_EQ(changes(before), std::vector<int16_t>{300});
    EXPECT_EQ(getEventBit(kEvDerating), 0);

    clockSetWall(localAt(5, 22, 0));
    pass();
    EXPECT_EQ(getDriverPower(), 270);
    EXPECT_EQ(getDeratedPower(), 30);
    EXPECT_EQ(getEventBit(kEvDerating), 1);
    EXPECT_EQ(getStatusBitA(kEvDerating), 1);
    EXPECT_NE(eventLog().find("2026/01/05-22:00:00-EVENT: TX Power: 27.0 dBm <--- Derating: 3.0 dB\n"),
              std::string::npos)
        << eventLog();
    EXPECT_EQ(readDbAreaCell(13, 13), 30u);

    std::vector<int16_t> night = minutes(localAt(5, 22, 1), localAt(6, 6, 0));
    EXPECT_EQ(changes(night), std::vector<int16_t>{270});
    clockSetWall(localAt(6, 6, 1));
    pass();
    EXPECT_EQ(getDriverPower(), 300);
    EXPECT_EQ(getEventBit(kEvDerating), 0);
    EXPECT_NE(eventLog().find("2026/01/06-06:01:00-EVENT: TX Power: 30.0 dBm <--- Derating OFF\n"),
              std::string::npos)
        << eventLog();
    EXPECT_EQ(count(book(), "<--- Derating: 3.0 dB"), 1u);
    EXPECT_EQ(count(book(), "<--- Derating OFF"), 1u);
    std::vector<int16_t> day = minutes(localAt(6, 6, 2), localAt(6, 21, 59));
    EXPECT_EQ(changes(day), std::vector<int16_t>{300});
}

TEST_F(PowerManagementTest, ProgrammedWindowStartedAfterMidnightStillEndsAtItsStop)
{
    window(1320, 360, kMonday | kTuesday);
    std::vector<int16_t> v = minutes(localAt(6, 3, 0), localAt(6, 12, 0));
    // 03:00 to 06:00 derated, from 06:01 on not: 181 minutes, then the rest.
    ASSERT_EQ(v.size(), 541u);
    EXPECT_EQ(changes(v), (std::vector<int16_t>{270, 300}));
    EXPECT_EQ(v[180], 270);
    EXPECT_EQ(v[181], 300);
}

TEST_F(PowerManagementTest, WindowWithStartEqualToStopLastsThatMinuteAndOtherDaysNeverStart)
{
    window(600, 600, kMonday);
    std::vector<int16_t> v = minutes(localAt(5, 9, 58), localAt(5, 10, 2));
    EXPECT_EQ(v, (std::vector<int16_t>{300, 300, 270, 300, 300}));

    // A night window on days outside the mask.
    window(1320, 360, kWednesday);
    std::vector<int16_t> night = minutes(localAt(5, 21, 0), localAt(6, 7, 0));
    EXPECT_EQ(changes(night), std::vector<int16_t>{300});
    EXPECT_EQ(getEventBit(kEvDerating), 0);
}

struct TempStep {
    int temperature;
    int passes;
    bool active;
};

TEST_F(PowerManagementTest, TemperatureDeratingCountsTenPassesEachWay)
{
    setPwrDeratingFactor(30);
    setPwrDeratingTemperature(72);
    setPwrDeratingEnable(1);
    const TempStep steps[] = {
        {72, 9, false}, {72, 1, true},   // ten passes at the limit
        {71, 30, true}, {67, 30, true},  // 67 to 71 count neither way
        {66, 9, true},  {66, 1, false},  // ten passes below limit - 5
        {71, 30, false}, {72, 9, false}, // the counters restarted
        {73, 1, true},
    };
    int n = 0;
    for (const TempStep& s : steps) {
        SCOPED_TRACE(n++);
        setPowerTableWord(7, static_cast<uint32_t>(s.temperature));
        pass(s.passes);
        EXPECT_EQ(getTemperatureDeratingActive(), s.active ? 1 : 0);
        EXPECT_EQ(getDriverPower(), s.active ? 270 : 300);
        EXPECT_EQ(getEventBit(kEvDerating), s.active ? 1 : 0);
    }
    // Disabled: off at once.
    setPwrDeratingEnable(0);
    pass();
    EXPECT_EQ(getTemperatureDeratingActive(), 0);
    EXPECT_EQ(getDriverPower(), 300);
}

struct LowStep {
    uint32_t power;
    uint8_t alarm;
    uint8_t warning;
};

TEST_F(PowerManagementTest, LowPowerAlarmAndWarningFollowTheirHysteresis)
{
    setTxOnState(1);
    // E = 300, A = 30, W = 15: alarm at 270, down to warning above 273,
    // cleared above 285.75; warning at 285.
    const LowStep steps[] = {
        {290, 0, 0}, {285, 0, 1}, {271, 0, 1}, {270, 1, 0}, {273, 1, 0}, {274, 0, 1},
        {285, 0, 1}, {286, 0, 0}, {270, 1, 0}, {286, 0, 0},
    };
    int n = 0;
    for (const LowStep& s : steps) {
        SCOPED_TRACE(n++);
        setPowerTableWord(1, s.power);
        pass();
        EXPECT_EQ(getPowerAlarmFlag(), s.alarm);
        EXPECT_EQ(getEventBit(kEvLowWarning), s.warning);
    }
    EXPECT_EQ(count(eventLog(), "EVENT: TX Low Power Alarm <--- In\n"), 2u);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Low Power Alarm ---> Out\n"), 2u);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Low Power Warning <--- In\n"), 2u);

    // A power change clears them; stand-by with another vendor too.
    setPowerTableWord(1, 250);
    LogicaTx_SetTxStatus(1);
    pass();
    EXPECT_EQ(getPowerAlarmFlag(), 0);
    LogicaTx_SetTxStatus(0);
    pass();
    EXPECT_EQ(getPowerAlarmFlag(), 1);
    setTxOnState(0);
    pass();
    EXPECT_EQ(getPowerAlarmFlag(), 0);
}

struct ReflCase {
    uint8_t alarm47;
    uint8_t lockoutFlag;
    uint32_t startRequest;
    uint8_t published;
};

TEST_F(PowerManagementTest, ReflectedAlarmIsForcedWhileAlarm47IsLatchedOrTheLockoutFlagIsSet)
{
    setPowerTableWord(4, 50); // far below the thresholds
    const ReflCase cases[] = {
        {0, 0, 1, 0}, {1, 0, 1, 1}, {0, 1, 1, 1}, {1, 1, 1, 1},
        {1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 0, 0},
    };
    int n = 0;
    for (const ReflCase& c : cases) {
        SCOPED_TRACE(n++);
        setAlarmState(47, c.alarm47);
        setAmpLockoutFlag(c.lockoutFlag);
        LogicaTx_SetTxStartRequest(c.startRequest);
        pass();
        EXPECT_EQ(getPowerRuntimeFlag(), c.published);
    }
    // With a lockout in force nothing changes.
    setPowerRuntimeFlag(1);
    LogicaTx_SetLockoutState(1);
    pass();
    EXPECT_EQ(getPowerRuntimeFlag(), 1);
    LogicaTx_SetLockoutState(0);
}

TEST_F(PowerManagementTest, ReflectedAlarmRisesAndStepsDownWithItsHysteresis)
{
    LogicaTx_SetTxStartRequest(1);
    // R = 300, RA = 100, RW = 150: alarm at M >= 200; in alarm, warning below
    // 190 (RA x 1.1) and clear below 142.5 (RW x 1.05).
    const struct {
        uint32_t m;
        uint8_t alarm, warning;
    } steps[] = {{100, 0, 0}, {150, 0, 1}, {200, 1, 0}, {190, 1, 0}, {189, 0, 1}, {143, 0, 1}, {142, 0, 0}};
    int n = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(n++);
        setPowerTableWord(4, s.m);
        pass();
        EXPECT_EQ(getPowerRuntimeFlag(), s.alarm);
        EXPECT_EQ(getEventBit(kEvReflWarning), s.warning);
    }
    EXPECT_EQ(count(eventLog(), "EVENT: TX Reflected Power Alarm <--- In\n"), 1u);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Reflected Power Alarm ---> Out\n"), 1u);
}

TEST_F(PowerManagementTest, SwrDeratingAloneIsInForceWithoutMovingTheDriverTarget)
{
    setAlarmInput(129, 1);
    setSwrDerating(20);
    setAdaptiveReflectedLimit(1);
    pass();
    EXPECT_EQ(getDeratedPower(), 20);
    EXPECT_EQ(getDriverPower(), 300);
    EXPECT_EQ(getEventBit(kEvDerating), 1);
    EXPECT_EQ(count(eventLog(), "EVENT: TX Power: 28.0 dBm <--- Derating SWR: 2.0 dB\n"), 1u);
    EXPECT_EQ(count(eventLog(), "<--- Derating: "), 0u);
    pass(5);
    EXPECT_EQ(count(eventLog(), "Derating SWR"), 1u);
}

TEST_F(PowerManagementTest, SingleAmplifierRecordFollowsThePowerTableAndIsPublished)
{
    const uint32_t words[] = {0, 295, 31622, 98, 120, 1000, 3, 40, 0, 0, 0, 812, 0, 77, 0, 9};
    for (uint32_t k = 0; k < 16; k++)
        setPowerTableWord(k, words[k]);
    setFwdMeasFlagA(1);
    pass();
    const std::vector<std::pair<uint32_t, uint32_t>> cells = {
        {6, 1}, {6, 2}, {6, 3}, {6, 4}, {6, 5}, {6, 6}, {6, 7}, {6, 8}, {6, 14}, {6, 15}, {6, 16}, {6, 19}};
    std::vector<uint32_t> seen;
    ASSERT_EQ(readDbPoolCellsInChild(cells, &seen), 0);
    EXPECT_EQ(seen, (std::vector<uint32_t>{295, 3162, 98, 120, 100, 3, 295, 3162, 812, 77, 1, 9}));
    EXPECT_EQ(getTxForwardPower(), 3162u);
    EXPECT_EQ(getTxReflectedPower(), 100u);
    EXPECT_EQ(getTxForwardPowerPercent(), 98u);
}

TEST_F(PowerManagementTest, ExternalAmplifierPowerSaturatesInsteadOfWrapping)
{
    setAmplifierNumber(1);
    setMultiAmplifierTransmitter(0);
    setExternalAmplifierReferencePower(400000);
    setTxNominalPowerLinear(10000, 0);
    // The amplifier's table 3: forward (element 8) and reflected (9).
    AMP_FM_ResetAll();
    ExtAmpRecord* amp = nullptr;
    ASSERT_EQ(AMP_FM_Register(1, &amp, 0), 0);
    auto reading = [&](int16_t v) {
        amp->table3[7] = v;
        amp->table3[8] = v;
        amp->table3Valid = 1;
    };
    reading(2);
    pass();
    EXPECT_EQ(getPowerRecordElement(2), 80000000);
    EXPECT_EQ(getPowerRecordElement(1), convLinToLogIndex(80000000));
    EXPECT_EQ(getPowerRecordElement(3), 800000);
    // 108 x 400000 x 100 does not fit 32 bits.
    reading(108);
    pass();
    EXPECT_EQ(getPowerRecordElement(2), INT32_MAX);
    EXPECT_EQ(getPowerRecordElement(5), INT32_MAX);
    EXPECT_EQ(getPowerRecordElement(1), convLinToLogIndex(INT32_MAX));
    // No reading clears the side.
    reading(-1);
    pass();
    EXPECT_EQ(getPowerRecordElement(1), 0);
    EXPECT_EQ(getPowerRecordElement(2), 0);
    AMP_FM_ResetAll();
}

TEST_F(PowerManagementTest, RfDetectorReadingOfZeroClearsTheSideInsteadOfAMinusTenDbmLevel)
{
    setAmplifierNumber(1);
    setMultiAmplifierTransmitter(1);
    pass(); // no detector linked: its readings are 0
    for (uint32_t n = 1; n <= 6; n++)
        EXPECT_EQ(getPowerRecordElement(n), 0) << n;
}

TEST_F(PowerManagementTest, InitSetsTheNoPowerLevelOfClass17AndTheExciterModeDerating)
{
    setHpaPowerClass(17);
    setExciterMode(1);
    setDeratingOverride(40);
    EXPECT_EQ(getDriverPower(), 260);
    setPowerRuntimeFlag(1);
    powerManagementInit();
    EXPECT_EQ(getPowerRecordElement(7), -300);
    EXPECT_EQ(getPowerRecordElement(10), -300);
    EXPECT_EQ(getPowerRuntimeFlag(), 0);
    EXPECT_EQ(getDeratedPower(), 0);
    // The first step puts the exciter-mode derating in force again.
    pass();
    EXPECT_EQ(getDeratedPower(), 40);
    EXPECT_EQ(getEventBit(kEvDerating), 1);
}

} // namespace
