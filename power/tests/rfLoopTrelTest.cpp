// The third family: its measures on the simulated wideband amplifier
// (calibration, power words, temperature, supply rails and driver current)
// and its power loop, alone against a scripted forward count and closed on
// the plant.
#include "power/powerThresholds.h"
#include "power/rfLoopTrel.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "power/ampLockout.h"
#include "power/ampMeasuresTrel.h"
#include "power/fanControl.h"
#include "power/powerSettings.h"
#include "sim/simPlant.h"
#include "testing/sandboxTest.h"


#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string profileText(const std::string& name)
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/" + name + ".profile");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class Trel : public SandboxTest {
protected:
    Trel() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-wideband")) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        rfLoopTrelResetForTest();
        ampMeasuresTrelResetForTest();
        ampLockoutResetForTest();
        fanControlResetForTest();
        setAmpFamily(2);
        setHpaModelCode(5);
        setHpaDetected(1);
        setHpaDisabled(0);
        setHpaPowerClass(24);
        setHpaDrvCurrConvFactor(50);
        setSelectWrite(0);
        setTxOnState(1);
        rfMuteState = 0;
        setFpgaMute(0);
        for (uint32_t id : {101u, 120u})
            setAlarmState(id, 0);
        setDriverPowerQuiet(500);
        setFwdPowerCalibrated(0);
        setRefPowerCalibrated(0);
        setAlcEnabled(1);
        setCalibrationDone(1);
        ASSERT_EQ(simPlantSet("tau", "1e9"), 0);
        ASSERT_EQ(simPlantSet("interlock", "closed"), 0);
    }
    // One 80 ms pass of the measures alone.
    static void measurePass()
    {
        clockAdvanceUs(80000);
        timeThread();
        HpaPowerMeasure_TREL(0, 0);
    }
    static void measureFor(int passes)
    {
        for (int i = 0; i < passes; i++)
            measurePass();
    }
    static int32_t word(uint32_t w) { return static_cast<int32_t>(getPowerTableWord(w)); }
};

TEST_F(Trel, ForwardCalibrationSetsTheLimitsAndTheCompressionBitBetween534And551)
{
    setPowerDynamicRange(100);
    struct Case {
        int16_t driverPower;
        bool bit;
    } cases[] = {{540, true}, {551, false}, {535, true}, {534, false}, {550, true}};
    for (const Case& c : cases) {
        setSelectWrite(0);
        setDriverPowerQuiet(static_cast<uint32_t>(c.driverPower));
        setCalibrateRequest(1);
        measurePass();
        EXPECT_EQ(hasSelectWriteBits(kSelectWriteTempCompress), c.bit ? 1 : 0) << c.driverPower;
        EXPECT_EQ(getCalibrateRequest(), 0);
        EXPECT_EQ(getFwdPowerCalibrated(), 1);
        EXPECT_EQ(getHpaNomDrvPow(), c.driverPower);
        EXPECT_EQ(getHpaDriverLevel(), c.driverPower);
        EXPECT_EQ(getHpaMinPower(), c.driverPower - 100);
    }
    // The forward decalibration opens the limits again: -100 to 700.
    setFwdDecalRequest(1);
    measurePass();
    EXPECT_EQ(getFwdPowerCalibrated(), 0);
    EXPECT_EQ(getHpaNomFwd(), 0);
    EXPECT_EQ(getHpaMinPower(), -100);
    EXPECT_EQ(getHpaDriverLevel(), 700);
    EXPECT_EQ(isValidTxMaxNomPower(static_cast<uint32_t>(-100)), 1);
    EXPECT_EQ(isValidTxMaxNomPower(700), 1);
    EXPECT_EQ(isValidTxMaxNomPower(static_cast<uint32_t>(-101)), 0);
    EXPECT_EQ(isValidTxMaxNomPower(701), 0);
    EXPECT_EQ(getFwdDecalRequest(), 0);
}

TEST_F(Trel, CalibratedLevelsFollowTheDetectorsAndReflectedMovesAgainstForward)
{
    ASSERT_EQ(simPlantSet("power", "47"), 0);
    measureFor(30);
    ASSERT_GT(word(11), 0);
    // The thresholds the calibration programs leave room for the 1 dB step
    // below: over-power 2.3 dB above the calibrated power, the reflected
    // alarm 15 dB.
    setFwdPowerMuteThd(20);
    setReflectedAlarmThresholdCopy(150);
    setCalibrateRequest(1);
    setRefCalRequest(1);
    measurePass();
    EXPECT_EQ(getFwdPowerCalibrated(), 1);
    EXPECT_EQ(getRefPowerCalibrated(), 1);
    measureFor(2);
    int32_t fwd0 = word(1), ref0 = word(15), fwdCount0 = word(11), refCount0 = word(13);
    // At the calibration point the forward level is the driver power.
    EXPECT_NEAR(fwd0, 500, 1);
    EXPECT_NEAR(ref0, 400, 2);

    // One dB more power: both detector counts rise; forward goes up by
    // about 10, reflected down by about 10.
    ASSERT_EQ(simPlantSet("power", "48"), 0);
    measureFor(30);
    EXPECT_GT(word(11), fwdCount0);
    EXPECT_GT(word(13), refCount0);
    EXPECT_NEAR(word(1) - fwd0, 10, 1);
    EXPECT_NEAR(word(15) - ref0, -10, 2);

    // RF off: every power word is 0.
    setTxOnState(0);
    measurePass();
    for (uint32_t w : {1u, 2u, 3u, 4u, 5u, 6u, 11u, 13u})
        EXPECT_EQ(word(w), 0) << w;
}

TEST_F(Trel, PercentOfANominalBelowOneMilliwattIsZero)
{
    ASSERT_EQ(simPlantSet("power", "47"), 0);
    measureFor(30);
    setCalibrateRequest(1);
    measurePass();
    setExciterNominalPower(500, 0);
    measurePass();
    EXPECT_EQ(word(3), 100) << "97 to 103 shows 100";
    setExciterNominalPower(static_cast<uint32_t>(-10), 0);
    measurePass();
    EXPECT_EQ(word(3), 0);
    EXPECT_GT(word(2), 0);
}

TEST_F(Trel, SupplyRailsAndDriverCurrentFromTheirScales)
{
    setTxOnState(0); // no RF: the driver stage idles at 0.5 A
    measureFor(26 * 17);
    // The plant's counts: V_Mains 3351 (50 V), V_5V 1552, V_24V 1862,
    // current 31; each word is the Part's scale of the count, rounded.
    EXPECT_EQ(getHpaMeasureWord(15), 49996);
    EXPECT_EQ(getHpaMeasureWord(16), 5002);
    EXPECT_EQ(getHpaMeasureWord(17), 24002);
    EXPECT_EQ(getHpaMeasureWord(8), 500); // 499.51 mA
    EXPECT_EQ(word(10), 0);               // 0.4995 A
}

TEST_F(Trel, TemperatureCompressedAboveSixtyWithTheSelectWriteBit)
{
    debugModuleMask = debugModuleTable[DBG_TEMPERATURE].mask;
    struct Case {
        const char* plant;
        uint32_t selectWrite;
        int32_t t;
    } cases[] = {{"70.5", kSelectWriteTempCompress, 65}, {"70.5", 0, 70}, {"59.5", kSelectWriteTempCompress, 59}};
    for (const Case& c : cases) {
        ampMeasuresTrelResetForTest();
        ASSERT_EQ(simPlantSet("temp", c.plant), 0);
        ASSERT_EQ(simPlantSet("ambient", c.plant), 0);
        setSelectWrite(c.selectWrite);
        setPowerTableWord(7, 0);
        HpaTemperatureMeasure_TREL();
        EXPECT_EQ(word(7), 0) << "the first run only counts";
        clockAdvanceUs(5000000);
        timeThread();
        HpaTemperatureMeasure_TREL();
        EXPECT_EQ(word(7), c.t) << c.plant << " " << c.selectWrite;
    }
    EXPECT_NE(debugLog().find("COMPRIMI Temp T: 65 [70]"), std::string::npos) << debugLog();
    debugModuleMask = 0;
}

TEST(TrelControlLaw, StepAndLimits)
{
    struct Case {
        int32_t e, ePrev, step;
    } cases[] = {{138, 0, 552}, {-138, 0, -552}, {138, 138, 276}, {10, 0, 40}, {3, 7, -2}, {0, 0, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(trelControlStep(c.e, c.ePrev), c.step) << c.e << " after " << c.ePrev;
    struct Apply {
        int32_t vapc, step, max, after;
    } applies[] = {{1000, 552, 2500, 1500}, {1000, -552, 2500, 448}, {2300, 400, 2500, 2500}, {200, -552, 2500, 0},
                   {1000, 500, 2500, 1500}};
    for (const Apply& a : applies)
        EXPECT_EQ(trelApplyStep(a.vapc, a.step, a.max), a.after) << a.vapc << " + " << a.step;
}

// The loop in the main loop's order on the plant, one pass every 80 ms.
class TrelLoop : public Trel {
protected:
    void SetUp() override
    {
        Trel::SetUp();
        setMaxVoltageAPC(2500);
        setDefaultVoltageAPC(1000);
        setHpaNomDrvPow(500);
    }
    void TearDown() override
    {
        debugModuleMask = 0;
        Trel::TearDown();
    }
    // The controller mute from 0 to 1 resets the loop; the ALC is then
    // enabled again, as the calibration leaves it.
    static void resetByMute()
    {
        rfMuteState = 1;
        pass();
        rfMuteState = 0;
        setAlcEnabled(1);
    }
    static void pass()
    {
        clockAdvanceUs(80000);
        timeThread();
        RFControlLoop_TREL(0, 0);
        maxVapc = std::max(maxVapc, rfLoopTrelVapc());
    }
    static void runFor(int passes)
    {
        for (int i = 0; i < passes; i++)
            pass();
    }
    // Forces the plant's forward power to the one the detector reads as
    // `count`.
    static void forceCount(int32_t count)
    {
        char dbm[32];
        snprintf(dbm, sizeof dbm, "%.6f", 50.0 + (count - 3000) * kTrelFwdSlope);
        ASSERT_EQ(simPlantSet("power", dbm), 0);
    }
    // The over-power threshold's book lines so far: one per computation of
    // the thresholds.
    static size_t thresholdLines() { return count(book(), "OVERPOWER: "); }
    static int32_t maxVapc;
};
int32_t TrelLoop::maxVapc = 0;

TEST_F(TrelLoop, LockBandsOnAForcedForwardCount)
{
    setFwdPowerCalibrated(1);
    setHpaNomFwd(3000);
    resetByMute();
    // FwdErr = 3000 - count. Each row runs 8 s with the error held.
    struct Case {
        int32_t err;
        uint8_t locked;
    } cases[] = {{20, 0}, {8, 0}, {7, 1}, {12, 1}, {14, 1}, {-7, 1}, {-12, 1}, {-14, 1}, {-15, 0}, {-8, 0}, {-20, 0}};
    for (const Case& c : cases) {
        forceCount(3000 - c.err);
        runFor(100);
        EXPECT_EQ(rfLoopTrelLocked(), c.locked) << "FwdErr " << c.err;
    }
    // While locked the APC voltage is held.
    forceCount(3000);
    runFor(100);
    int32_t held = rfLoopTrelVapc();
    forceCount(3000 - 10);
    runFor(100);
    EXPECT_EQ(rfLoopTrelVapc(), held);
    EXPECT_EQ(getRfOutputState(), 1);
}

TEST_F(TrelLoop, LowPowerAtTheHighestDriveStartsAgainFrom300)
{
    setFwdPowerCalibrated(1);
    setHpaNomFwd(3000);
    resetByMute();
    forceCount(500);
    std::vector<int32_t> seen;
    for (int i = 0; i < 120; i++) {
        pass();
        if (seen.empty() || seen.back() != rfLoopTrelVapc())
            seen.push_back(rfLoopTrelVapc());
    }
    // Up from 1000 (the first step cut to 500), held at the maximum for
    // four steps, then 300 plus the step of that control step.
    ASSERT_GE(seen.size(), 8u);
    EXPECT_EQ(std::vector<int32_t>(seen.begin(), seen.begin() + 8),
              (std::vector<int32_t>{1000, 1500, 1776, 2052, 2328, 2500, 576, 852}));
    EXPECT_LE(maxVapc, 2500);
}

TEST_F(TrelLoop, ClosedLoopLocksAtTheCalibratedPointEveryControlPeriod)
{
    // Calibrate the forward detector at 1.3 V of drive and a driver power
    // of 540: the temperature compression bit comes with it.
    setVoltageAPC(1300, 1);
    setDriverPowerQuiet(540);
    measureFor(40);
    setCalibrateRequest(1);
    measurePass();
    ASSERT_EQ(getFwdPowerCalibrated(), 1);
    EXPECT_EQ(hasSelectWriteBits(kSelectWriteTempCompress), 1);
    int32_t nomFwd = getHpaNomFwd();
    size_t thresholds = thresholdLines();

    // A little detector noise, as a real detector has: it carries the loop
    // across the counts where the error rounds to no step.
    ASSERT_EQ(simPlantSet("noise", "3"), 0);
    debugModuleMask = debugModuleTable[DBG_POWER_MNG].mask;
    resetByMute();
    EXPECT_EQ(rfLoopTrelVapc(), 1000);
    maxVapc = 0;
    size_t logFrom = debugLog().size();
    runFor(375);
    EXPECT_EQ(rfLoopTrelLocked(), 1);
    EXPECT_NEAR(word(11), nomFwd, 14);
    EXPECT_NEAR(rfLoopTrelVapc(), 1300, 60);
    EXPECT_LE(maxVapc, 2500);
    EXPECT_EQ(thresholdLines(), thresholds + 1);
    // A control step on the first pass at least 500 ms after the previous
    // one: the steps are 500 ms plus at most one pass apart.
    std::string log = debugLog().substr(logFrom);
    std::vector<double> stamps;
    for (size_t at = log.find("] ALC\n"); at != std::string::npos; at = log.find("] ALC\n", at + 1)) {
        size_t open = log.rfind('[', at);
        stamps.push_back(std::stod(log.substr(open + 1, at - open - 1)));
    }
    ASSERT_GT(stamps.size(), 20u);
    for (size_t i = 1; i < stamps.size(); i++) {
        EXPECT_GE(stamps[i] - stamps[i - 1], 500.0) << i;
        EXPECT_LE(stamps[i] - stamps[i - 1], 700.0) << i;
    }

    // A new driver power: the lock is cleared and the thresholds follow once
    // the loop locks again.
    thresholds = thresholdLines();
    setDriverPowerQuiet(530);
    runFor(250);
    EXPECT_EQ(rfLoopTrelLocked(), 1);
    EXPECT_EQ(thresholdLines(), thresholds + 1);
    EXPECT_LE(maxVapc, 2500);
}

TEST_F(TrelLoop, ResetsOnStandbyAndHoldsWhileMutedOrInterlocked)
{
    setFwdPowerCalibrated(1);
    setHpaNomFwd(3000);
    resetByMute();
    forceCount(2500);
    runFor(20);
    EXPECT_GT(rfLoopTrelVapc(), 1000);
    struct Case {
        const char* what;
        void (*set)(int on);
    } cases[] = {
        {"FPGA mute", [](int on) { setFpgaMute(on ? 1 : 0); }},
        {"interlock", [](int on) { simPlantSet("interlock", on ? "open" : "closed"); }},
    };
    for (const Case& c : cases) {
        c.set(1);
        runFor(20);
        EXPECT_EQ(rfLoopTrelVapc(), 1000) << c.what;
        c.set(0);
        runFor(10);
        EXPECT_EQ(getAlcEnabled(), 0) << "each reset of a calibrated loop disables the ALC";
        setAlcEnabled(1);
        runFor(20);
        EXPECT_GT(rfLoopTrelVapc(), 1000) << c.what;
    }
    setTxOnState(0);
    pass();
    EXPECT_EQ(rfLoopTrelVapc(), 1000) << "stand-by";
    EXPECT_EQ(getAlcEnabled(), 0) << "calibrated: the reset disables the ALC";
}

} // namespace
