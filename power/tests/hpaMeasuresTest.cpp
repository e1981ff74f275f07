// The compact amplifiers' measures against the simulated amplifier: the
// power law around the calibration point, the percentage and the reflected
// floor, the means reset, the staggered current and voltage groups of both
// cabinets, the temperature sensor faults and the interlock confirmation.
#include "power/hpaMeasures.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/alarmKeys.h"
#include "core/base/locks.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "power/ampLockout.h"
#include "power/measureFilters.h"
#include "power/powerSettings.h"
#include "sim/simModels.h"
#include "sim/simPlant.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string profileText(const std::string& name)
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/" + name + ".profile");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string plantValue(const std::string& name)
{
    for (auto& [k, v] : simPlantQuantities())
        if (k == name)
            return v;
    return "";
}

void advance(int64_t us)
{
    clockAdvanceUs(us);
    timeThread();
}

// Model 3 in the 4U cabinet (hpa-compact-ltc) or model 4 in the 2U one
// (hpa-compact-sps), transmitter ON, the plant at a forced power.
class HpaMeasures : public SandboxTest {
protected:
    explicit HpaMeasures(const char* profile = "hpa-compact-ltc")
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, profileText(profile)),
          fourU_(std::string(profile) == "hpa-compact-ltc")
    {
    }
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
        SemMutexInit();
        hpaMeasuresResetForTest();
        ampLockoutResetForTest();
        setAmpFamily(1);
        setHpaModelCode(fourU_ ? 3 : 4);
        setHpaDrvCurrConvFactor(fourU_ ? 660 : 3230);
        setHpsCode(fourU_ ? 3 : 1);
        setPsuCount(fourU_ ? 3 : 1);
        setPsuInterface(0, fourU_ ? 0 : 1);
        setTxOnState(1);
        rfMuteState = 0;
        setExciterNominalPower(600, 0);
        simPlantSet("power", fourU_ ? "58" : "50");
        advance(0);
    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    // Measure passes 100 ms apart until the forward mean is stable.
    static void settle()
    {
        for (int i = 0; i < 100 && getFwdMeasStable() != 1; i++) {
            advance(100000);
            HpaPowerMeasure(0, 0);
        }
        ASSERT_EQ(getFwdMeasStable(), 1);
    }
    static void calibrateAt(int16_t nomDrvPow, uint16_t nomFwd)
    {
        setHpaNomDrvPow(static_cast<uint16_t>(nomDrvPow));
        setHpaNomFwd(nomFwd);
        setHpaNomRef(nomFwd);
        setFwdPowerCalibrated(1);
        setRefPowerCalibrated(1);
    }
    bool fourU_;
};

class HpaMeasures2U : public HpaMeasures {
protected:
    HpaMeasures2U() : HpaMeasures("hpa-compact-sps") {}
};

TEST_F(HpaMeasures, ForwardLawAroundTheCalibrationPoint)
{
    settle();
    uint16_t mean = static_cast<uint16_t>(getPowerTableWord(11));
    EXPECT_EQ(mean, 38951) << "58 dBm on the model-3 detector";
    // off = 2 + 1 - 4 = -1 (driver offset, fine offset, frequency offset).
    setDriverPowerOffset(2);
    setPowerOffsetFine(1);
    setPowerOffsetWord(-4);
    struct Case {
        int16_t nomDrvPow;
        int32_t d; // HpaNomFwd - mean
        int32_t word1;
    } cases[] = {
        {583, 0, 584},    // trunc(583 + 0.9) = 583, - off
        {-15, 0, -13},    // trunc(-15 + 0.9) = -14 (toward zero), - off
        {583, 100, 582},  // 583 - 100 x 0.01907349 + 0.9 = 581.99 -> 581, - off
        {583, -100, 585}, // a mean above the nominal: no 0.9; 584.907 -> 584, - off
    };
    for (const Case& c : cases) {
        calibrateAt(c.nomDrvPow, static_cast<uint16_t>(mean + c.d));
        advance(100000);
        HpaPowerMeasure(0, 0);
        EXPECT_EQ(static_cast<int32_t>(getPowerTableWord(1)), c.word1) << c.nomDrvPow << " d " << c.d;
    }
    // Uncalibrated: no power words, the count stays published.
    setFwdPowerCalibrated(0);
    advance(100000);
    HpaPowerMeasure(0, 0);
    EXPECT_EQ(getPowerTableWord(1), 0u);
    EXPECT_EQ(getPowerTableWord(11), mean);
}

TEST(HpaPercent, SnapsAroundOneHundredAndNeverDividesByZero)
{
    setExciterNominalPower(600, 0); // 1 kW: 100,000,000 hundredths of mW
    struct Case {
        uint32_t linear, percent;
    } cases[] = {
        {96499999, 96}, {96500000, 100}, {97000000, 100}, {103000000, 100},
        {103499999, 100}, {103500000, 104}, {104000000, 104}, {50000000, 50},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hpaForwardPercent(c.linear), c.percent) << c.linear;
    setExciterNominalPower(static_cast<uint32_t>(-10), 0); // below 1 mW
    EXPECT_EQ(hpaPercentBase(), 0u);
    EXPECT_EQ(hpaForwardPercent(12345), 0u);
}

TEST_F(HpaMeasures, ReflectedFloorAndItsWords)
{
    setDriverPower(600, 0);
    setHpaPowerClass(20);
    setHpaRflPwrFilterStart(350);
    setHpaRflPwrFilter(250);
    EXPECT_EQ(hpaReflectedFloor(), 350);
    hpaPublishReflected(350);
    EXPECT_EQ(getPowerTableWord(4), 0u);
    EXPECT_EQ(getPowerTableWord(5), 0u);
    EXPECT_EQ(getPowerTableWord(15), 350u) << "word 15 carries the level in both cases";
    hpaPublishReflected(400); // 10 W of 1 kW
    EXPECT_EQ(getPowerTableWord(4), 400u);
    EXPECT_EQ(getPowerTableWord(5), 1000000u);
    EXPECT_EQ(getPowerTableWord(6), 1u);
}

TEST_F(HpaMeasures, CalibrateAndDecalibrateRequests)
{
    setDriverPower(580, 0);
    applyPsuVout(0, 48000);
    settle();
    setCalibrateRequest(1);
    advance(100000);
    HpaPowerMeasure(0, 0);
    EXPECT_EQ(getCalibrateRequest(), 0);
    EXPECT_EQ(getHpaNomFwd(), 38951);
    EXPECT_EQ(getHpaNomRef(), 38951) << "the reflected nominal takes the forward mean too";
    EXPECT_EQ(getHpaNomDrvPow(), 580);
    EXPECT_EQ(getHPSVoutNom(0), 48000u);
    EXPECT_EQ(getFwdPowerCalibrated(), 1);
    EXPECT_EQ(getRefPowerCalibrated(), 1);
    EXPECT_EQ(static_cast<int32_t>(getPowerTableWord(1)), 580) << "trunc(580.9) at the calibration point";

    setFwdDecalRequest(1);
    HpaPowerMeasure(0, 0);
    EXPECT_EQ(getFwdDecalRequest(), 0);
    EXPECT_EQ(getHpaNomFwd(), 0);
    EXPECT_EQ(getFwdPowerCalibrated(), 0);
    setAmpDecalRequest(1);
    HpaPowerMeasure(0, 0);
    EXPECT_EQ(getAmpDecalRequest(), 0);
    EXPECT_EQ(getHpaNomRef(), 0);
    EXPECT_EQ(getRefPowerCalibrated(), 0);
    EXPECT_EQ(plantValue("dac1"), "65535");
    EXPECT_EQ(plantValue("dac2"), "65535");
}

TEST_F(HpaMeasures, MeansRestartWhenSupplyZeroRisesByMoreThan3000mV)
{
    applyPsuVout(0, 40000);
    settle();
    struct Step {
        uint32_t vout;
        uint8_t stable;
    } steps[] = {{43000, 1}, {38000, 1}, {41001, 0}};
    for (const Step& s : steps) {
        applyPsuVout(0, s.vout);
        HpaPowerMeasure(0, 0);
        EXPECT_EQ(getFwdMeasStable(), s.stable) << s.vout;
        if (s.stable == 0)
            settle();
    }
    // Stand-by clears the words and the means.
    setTxOnState(0);
    HpaPowerMeasure(0, 0);
    EXPECT_EQ(getPowerTableWord(11), 0u);
    EXPECT_EQ(getFwdMeasStable(), 0);
}

// Calls of the 4U variant: group A on the 16th, B on the 21st, C on the
// 26th, D on the 31st, each with the counts of the plant scaled to mA or mV.
TEST_F(HpaMeasures, FourUGroupsComeInTurnWithTheirScales)
{
    uint16_t fi, fm, ri, rm;
    uint8_t fs, rs, cw = 0, cm = 0;
    auto call = [&](int n) {
        for (int i = 0; i < n; i++)
            HpaPowerMeasure_4U(&fi, &fm, &fs, &ri, &rm, &rs, &cw, &cm, 0);
    };
    call(15);
    EXPECT_EQ(getHpaMeasureWord(0), 0);
    call(1);
    // 58 dBm at 50 V: 21.53 A, 21.03 A over eight finals; the driver 0.5 A.
    EXPECT_EQ(getHpaMeasureWord(0), 2629) << "count 3446 x 7.6294e-5 V x 10 A/V";
    EXPECT_EQ(getHpaMeasureWord(1), 2629);
    EXPECT_EQ(getHpaMeasureWord(8), 499) << "count 4325 x 7.6294e-5 V x 1000/660 A/V";
    EXPECT_EQ(getHpaMeasureWord(2), 0);
    call(5);
    EXPECT_EQ(getHpaMeasureWord(4), 2629);
    EXPECT_EQ(getHpaMeasureWord(5), 0);
    call(5);
    EXPECT_EQ(getHpaMeasureWord(7), 2629);
    EXPECT_EQ(getHpaMeasureWord(15), 0);
    call(5);
    EXPECT_EQ(getHpaMeasureWord(15), 50000) << "count 34473 x 7.6294e-5 V x 19.011";
    EXPECT_EQ(getHpaMeasureWord(16), 4999) << "count 23397 x 2.801";
    EXPECT_EQ(getHpaMeasureWord(17), 3300) << "count 23753 x 1.821";
}

TEST_F(HpaMeasures2U, TwoUGroupsOfModel4)
{
    uint16_t fi, fm, ri, rm;
    uint8_t fs, rs, cw = 0, cm = 0;
    auto call = [&](int n) {
        for (int i = 0; i < n; i++)
            HpaPowerMeasure_2U(&fi, &fm, &fs, &ri, &rm, &rs, &cw, &cm, 0);
    };
    call(20);
    EXPECT_EQ(getHpaMeasureWord(1), 0);
    call(1);
    // 50 dBm at 50 V: 3.83 A, 3.33 A over two finals.
    EXPECT_EQ(getHpaMeasureWord(1), 1670) << "count 170 x 0.000805664 V x 12.195 A/V";
    EXPECT_EQ(getHpaMeasureWord(0), 1670) << "model 4: word 0 follows word 1";
    EXPECT_EQ(getHpaMeasureWord(8), 500) << "count 2005 x 0.000805664 V x 1000/3230 A/V";
    call(4);
    EXPECT_EQ(getHpaMeasureWord(15), 0);
    call(1);
    EXPECT_EQ(getHpaMeasureWord(15), 49992) << "count 3264 x 19.011";
    EXPECT_EQ(getHpaMeasureWord(17), 3299) << "count 2249 x 1.821";
    EXPECT_EQ(getHpaMeasureWord(16), 0) << "model 4 has no 5 V channel";
}

TEST_F(HpaMeasures, Model3SensorFaultRaisesItsAlarmOnTheFourthReading)
{
    auto run = [](const char* temp) {
        simPlantSet("temp", temp);
        advance(5100000);
        HpaTemperatureMeasure();
    };
    for (int i = 0; i < 4; i++)
        run("40");
    EXPECT_EQ(getPowerTableWord(7), 40u);
    EXPECT_EQ(getPowerTableWord(8), 38u);
    for (int i = 1; i <= 4; i++) {
        run("127"); // sensor 0 reads 127, sensor 1 125
        EXPECT_EQ(getAlarmInput(106), i == 4 ? 1 : 0) << "fault " << i;
        EXPECT_EQ(getAlarmInput(107), 0);
        EXPECT_EQ(getPowerTableWord(7), 40u) << "a fault reading is never published";
    }
    run("45");
    EXPECT_EQ(getAlarmInput(106), 0);
    EXPECT_EQ(getPowerTableWord(7), 45u);
    run("60"); // a jump of more than 10 is held back
    EXPECT_EQ(getPowerTableWord(7), 45u);
}

TEST_F(HpaMeasures2U, Model4TemperatureFromTheCubic)
{
    simPlantSet("temp", "50");
    HpaTemperatureMeasure();
    EXPECT_EQ(getPowerTableWord(7), 0u) << "the first run only counts";
    advance(5100000);
    HpaTemperatureMeasure();
    int32_t t = static_cast<int32_t>(getPowerTableWord(7));
    EXPECT_GE(t, 48);
    EXPECT_LE(t, 51);
}

// The amplifier's mute line (0x26 port 1 bit 0) becomes the lockout input
// only after three equal runs with supplies available.
TEST_F(HpaMeasures2U, InterlockIsConfirmedAfterMoreThanTwoEqualRuns)
{
    setPsuCount(3);
    setPsuAvailableCount(3);
    auto setLine = [](bool on) {
        SimModel* m = simModelOf(simFindDevice(SIM_BUS_I2C1, 0x26));
        uint8_t v = 0;
        m->peek(1, &v, 1);
        v = static_cast<uint8_t>(on ? v | 1 : v & ~1);
        m->poke(1, &v, 1);
    };
    setLine(true);
    for (int run = 1; run <= 4; run++) {
        setTxOnState(1); // the lockout handling that follows may have gone to stand-by
        advance(260000);
        HpaSignalInterfaceMeasure();
        EXPECT_EQ(getAlarmState(121), 1) << "instant, run " << run;
        EXPECT_EQ(getAlarmState(120), run >= 3 ? 1 : 0) << "confirmed, run " << run;
    }
    // Within 250 ms nothing is read again.
    setLine(false);
    setTxOnState(1);
    advance(100000);
    HpaSignalInterfaceMeasure();
    EXPECT_EQ(getAlarmState(121), 1);
    // A missing supply: not the lockout input.
    setPsuAvailableCount(2);
    setTxOnState(1);
    advance(260000);
    HpaSignalInterfaceMeasure();
    EXPECT_EQ(getAlarmState(120), 0);
    // Three clear runs confirm the line clear again.
    setPsuAvailableCount(3);
    for (int run = 0; run < 3; run++) {
        setTxOnState(1);
        advance(260000);
        HpaSignalInterfaceMeasure();
    }
    EXPECT_EQ(getAlarmState(120), 0);
    // With no supply available the line is never confirmed.
    setPsuAvailableCount(0);
    setLine(true);
    for (int run = 0; run < 5; run++) {
        setTxOnState(1);
        advance(260000);
        HpaSignalInterfaceMeasure();
    }
    setPsuAvailableCount(3);
    setTxOnState(1);
    advance(260000);
    HpaSignalInterfaceMeasure();
    EXPECT_EQ(getAlarmState(121), 1);
    EXPECT_EQ(getAlarmState(120), 0) << "the count restarts with the supplies";
    // Stand-by clears both.
    setTxOnState(0);
    advance(260000);
    HpaSignalInterfaceMeasure();
    EXPECT_EQ(getAlarmState(120), 0);
    EXPECT_EQ(getAlarmState(121), 0);
}

} // namespace
