// The second family's power loop on the simulated compact amplifier: the
// closed loop from a reset to the lock, the supplies in service, the restart
// of a supply that shut down, FAST ALC, the adaptive reflected limiting and
// the VAPC current limits.
#include "power/rfLoopVask.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/alarmKeys.h"
#include "alarms/logicaTxConfig.h"
#include "core/base/locks.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "power/ampLockout.h"
#include "power/cplShelf.h"
#include "power/cplStatus.h"
#include "power/fanControl.h"
#include "power/hpaMeasures.h"
#include "power/powerSettings.h"
#include "power/spsModule.h"
#include "sim/simCplPsu.h"
#include "sim/simModels.h"
#include "sim/simPlant.h"
#include "sim/simSpsModule.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string profileText(const std::string& name)
{
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/sim/profiles/" + name + ".profile");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The lines of a log that hold a text (failure messages).
std::string linesWith(const std::string& text, const std::string& what)
{
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line))
        if (line.find(what) != std::string::npos)
            out += line + "\n";
    return out;
}

TEST(VaskVapcLimit, ByTheLargestSupplyCurrent)
{
    struct Case {
        int32_t iout;
        uint8_t hpsNum;
        int32_t limit;
    } cases[] = {
        {0, 3, 70},     {29999, 3, 70}, {30000, 3, 50}, {39999, 2, 50}, {40000, 3, 20}, {49999, 3, 20},
        {50000, 3, 10}, {57000, 3, 10}, {57001, 3, 2},  {66000, 3, 2},  {66001, 3, 0},  {68000, 3, 0},
        {0, 1, 10},     {67000, 1, 10},
    };
    for (const Case& c : cases)
        EXPECT_EQ(vaskVapcStepLimit(c.iout, c.hpsNum, 68000), c.limit) << c.iout << " mA, " << int(c.hpsNum);
}

// The compact amplifier with three CP2xxx modules (HPS code 3), its shelf
// detected and set up, transmitter ON.
class VaskLoop : public SandboxTest {
protected:
    VaskLoop() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-compact-ltc")) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
        SemMutexInit();
        hpaMeasuresResetForTest();
        rfLoopVaskResetForTest();
        ampLockoutResetForTest();
        fanControlResetForTest();
        cplShelfResetForTest();
        cplStatusResetForTest();
        debugModuleMask = debugModuleTable[DBG_POWER_MNG].mask;
        setAmpFamily(1);
        setHpaModelCode(3);
        setHpaDrvCurrConvFactor(660);
        setHpsCode(3);
        setPsuCount(3);
        setPsuInterface(0, 0);
        setDefaultVoltageAPC(1500);
        setMaxVoltageAPC(2500);
        setHpaByteP(1);
        setRfLoopFlag(1);
        setRestoreOffsetHpsVout(2000);
        setHpaRflPwrFilter(250);
        setExciterNominalPower(600, 0);
        setTransmitterReflectedPowerAlarmThreshold(150);
        setTransmitterReflectedPowerWarningThreshold(200);
        CPL_Init();
        cplClearVoutRestore();
        setDriverPower(600, 0);
        rfMuteState = 0;
        setFpgaMute(0);
        setTxOnState(1);
        advance(0);
    }
    void TearDown() override
    {
        debugModuleMask = 0;
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    static void advance(int64_t us)
    {
        clockAdvanceUs(us);
        timeThread();
    }
    static void pass()
    {
        advance(80000);
        RFControlLoop_VASK(0, 0);
    }
    static void passes(int n)
    {
        for (int i = 0; i < n; i++)
            pass();
    }
    // Calibrates at the supplies' maximum and VAPC 1700 mV, then resets the
    // loop through stand-by.
    void calibrateHighAndReset()
    {
        passes(30); // supplies found and in service
        ASSERT_EQ(getPsuAvailableCount(), 3);
        applyPsuVout(0, 53000);
        setVoltageAPC(1700, 1);
        for (int i = 0; i < 200 && getFwdMeasStable() != 1; i++) {
            advance(100000);
            HpaPowerMeasure(0, 0);
        }
        ASSERT_EQ(getFwdMeasStable(), 1);
        setCalibrateRequest(1);
        advance(100000);
        HpaPowerMeasure(0, 0);
        ASSERT_EQ(getFwdPowerCalibrated(), 1);
        nomFwd_ = getHpaNomFwd();
        thresholdsBefore_ = count(book(), "OVERPOWER: "); // the calibration programs them too
        setTxOnState(0);
        pass();
        setTxOnState(1);
    }
    static uint32_t vout(uint8_t slot = 0) { return getPsuVoutSetpoint(slot); }
    size_t thresholdsBefore_ = 0;
    static void pokeCpl(uint16_t addr, int reg, uint8_t v)
    {
        simModelOf(simFindDevice(SIM_BUS_I2C1, addr))->poke(static_cast<uint32_t>(reg), &v, 1);
    }
    // The monotonic milliseconds of the loop's "ALC" lines.
    static std::vector<double> alcTimes()
    {
        std::vector<double> t;
        std::istringstream in(debugLog());
        std::string line;
        while (std::getline(in, line)) {
            size_t at = line.find("msec] ALC");
            if (at == std::string::npos || line.find("ALC_Start") != std::string::npos)
                continue;
            size_t open = line.rfind('[', at);
            t.push_back(atof(line.substr(open + 1, at - open - 1).c_str()));
        }
        return t;
    }
    uint16_t nomFwd_ = 0;
};

TEST_F(VaskLoop, RampsVoutThenVapcAndLocksInsideTheBand)
{
    calibrateHighAndReset();
    EXPECT_EQ(vout(), 20000u) << "a reset puts Vout at the supply minimum";
    EXPECT_EQ(getVoltageAPC(), 1500u) << "and VAPC at its limit for three supplies";

    std::vector<uint32_t> vouts;
    int lockedAtStep = -1, steps = 0;
    uint32_t lockedVapc = 0;
    int firstVapcMove = -1;
    for (int i = 0; i < 1500 && getRfOutputState() == 0; i++) {
        uint32_t before = vout();
        uint32_t vapcBefore = getVoltageAPC();
        size_t alc = alcTimes().size();
        pass();
        if (alcTimes().size() != alc)
            steps++;
        if (vout() != before)
            vouts.push_back(vout());
        if (getVoltageAPC() != vapcBefore && firstVapcMove < 0)
            firstVapcMove = steps;
        if (getRfOutputState() == 1) {
            lockedAtStep = steps;
            lockedVapc = getVoltageAPC();
        }
    }
    ASSERT_EQ(getRfOutputState(), 1) << "power locked";
    ASSERT_FALSE(vouts.empty());
    for (size_t i = 1; i < vouts.size(); i++)
        EXPECT_GT(vouts[i], vouts[i - 1]) << "Vout rises step by step";
    EXPECT_EQ(vouts.back(), 53000u) << "up to Vmax";
    for (uint8_t j = 0; j < 3; j++)
        EXPECT_EQ(vout(j), 53000u) << "the shelf's modules move together";
    EXPECT_GT(firstVapcMove, 0) << "VAPC moves once Vout is at Vmax";
    EXPECT_GT(lockedVapc, 1500u);
    EXPECT_LE(lockedVapc, 1800u) << "within the limit and its margin";
    int32_t err = static_cast<int32_t>(getPowerTableWord(11)) - nomFwd_;
    EXPECT_LT(std::abs(err), 26) << "strictly inside the lock band";
    EXPECT_GE(lockedAtStep, 5);

    // The lock edge saved the voltage with every slot in service, once.
    EXPECT_EQ(getLastValidHpsVout(), 53000u);
    EXPECT_EQ(count(debugLog(), "Save Hps Vout 53000 [CHANGED]"), 1u) << linesWith(debugLog(), "Save");
    EXPECT_EQ(count(book(), "OVERPOWER: "), thresholdsBefore_ + 1) << "thresholds on the first locked step";
    passes(100);
    EXPECT_EQ(count(book(), "OVERPOWER: "), thresholdsBefore_ + 1) << "and only once";
    EXPECT_EQ(getRfOutputState(), 1);

    // Control steps come once the 500 ms period passed, on an 80 ms turn.
    std::vector<double> t = alcTimes();
    ASSERT_GE(t.size(), 10u);
    for (size_t i = t.size() - 8; i < t.size(); i++) {
        EXPECT_GE(t[i] - t[i - 1], 500.0);
        EXPECT_LT(t[i] - t[i - 1], 800.0);
    }
}

TEST_F(VaskLoop, FastAlcRestoresTheLastValidVoutAfterAReset)
{
    passes(30);
    setFwdPowerCalibrated(1);
    setLastValidHpsVout(50000);
    setLastValidRestoreRequest(1);
    pass();
    EXPECT_EQ(count(debugLog(), "FAST ALC enabled"), 1u);
    EXPECT_EQ(vout(), 48000u) << "last_valid_HpsVout - restore_offset_HpsVout";
    EXPECT_EQ(getLastValidRestoreRequest(), 0);
    EXPECT_FALSE(cplVoutRestorePending());
    // Then the start delay: 60 passes without a measure or a step.
    size_t steps = count(debugLog(), "msec] ALC\n");
    passes(59);
    EXPECT_EQ(count(debugLog(), "ALC_StartDelayCnt 60"), 1u);
    EXPECT_EQ(count(debugLog(), "msec] ALC\n"), steps);
    pass();
    EXPECT_EQ(count(debugLog(), "msec] ALC\n"), steps + 1);
    passes(10);
    EXPECT_EQ(count(debugLog(), "ALC_StartDelayCnt"), 60u) << "the delay runs once per reset";

    // A saved voltage of 24 V or less is not restored.
    setLastValidHpsVout(24000);
    setLastValidRestoreRequest(1);
    pass();
    EXPECT_EQ(count(debugLog(), "FAST ALC disabled for low Vout target"), 1u);
    EXPECT_EQ(vout(), 20000u);
}

TEST_F(VaskLoop, ARestoreOffsetAboveTheSavedVoltageGivesTheMinimum)
{
    passes(30);
    setRestoreOffsetHpsVout(60000);
    setLastValidHpsVout(50000);
    setLastValidRestoreRequest(1);
    pass();
    EXPECT_EQ(vout(), 20000u) << "no wrap-around below 0";
}

TEST_F(VaskLoop, AdaptiveRflSlowsAndStopsTheLoopOnTheReflectedPower)
{
    calibrateHighAndReset();
    passes(300);
    ASSERT_EQ(getRfOutputState(), 1);
    setSWRFoldback(1);
    // Reflected at the calibration point: 600 - rl 20 dB = 400, the warning
    // level (600 - 200); the alarm level is 600 - (150 + 20) = 430.
    passes(20);
    EXPECT_EQ(getAlarmInput(129), 0);
    EXPECT_EQ(getAdaptiveReflectedLimit(), 1);

    simPlantSet("rl", "18"); // 420: between the levels
    passes(150);
    EXPECT_EQ(getAlarmInput(129), 1);
    EXPECT_EQ(count(debugLog(), "AdaptiveRFL: SLOW RF ALC for warning allowed RFL"), 1u);
    EXPECT_EQ(count(debugLog(), "AdaptiveRFL: STOP"), 0u);
    setExciterNominalPower(650, 0);
    pass();
    int32_t word1 = static_cast<int32_t>(getPowerTableWord(1));
    EXPECT_EQ(getSwrDerating(), 650 - word1) << "the SWR derating is the nominal less the forward power";

    simPlantSet("rl", "16"); // 440: above the alarm level
    passes(150);
    EXPECT_EQ(count(debugLog(), "AdaptiveRFL: STOP RF ALC for maximum allowed RFL"), 1u);
    // Stopped: the supplies and VAPC stay where they are.
    uint32_t v = vout(), apc = getVoltageAPC();
    simPlantSet("power", "57");
    passes(60);
    EXPECT_EQ(vout(), v);
    EXPECT_EQ(getVoltageAPC(), apc);
    simPlantSet("power", "off");

    simPlantSet("rl", "25");
    passes(150);
    EXPECT_EQ(getAlarmInput(129), 0);
    EXPECT_EQ(getSwrDerating(), 0);
    EXPECT_EQ(count(debugLog(), "AdaptiveRFL: START RF ALC"), 1u) << linesWith(debugLog(), "RESET")
                                                                 << linesWith(debugLog(), "AdaptiveRFL");
}

TEST_F(VaskLoop, HpsCode1WithFewerSuppliesThanSlotsMeasuresButNeverSteps)
{
    setHpsCode(1); // one supply expected per slot
    passes(30);
    setFwdPowerCalibrated(1);
    setHpaNomFwd(45000);
    setHpaNomDrvPow(600);
    setLastValidRestoreRequest(1);
    pass();
    ASSERT_NE(getPsuAvailableCount(), 3);
    uint32_t v = vout();
    size_t measures = count(debugLog(), "Meas. Fwd:");
    passes(60);
    EXPECT_GE(count(debugLog(), "Meas. Fwd:"), measures + 60) << "the measures run";
    EXPECT_EQ(vout(), v) << "no control step";
}

TEST_F(VaskLoop, ASupplyShutdownRestartsItOffThenOn)
{
    // The single supply arrangement: slot 0 alone.
    setHpsCode(1);
    setPsuCount(1);
    passes(40);
    ASSERT_EQ(getPsuAvailableCount(), 1);
    auto log0 = busLog(SIM_BUS_I2C1);
    uint64_t mark = log0.empty() ? 0 : log0.back().seq;
    pokeCpl(0x40, SIM_CPL_SHUTDOWN, 1);
    for (int i = 0; i < 100 && count(debugLog(), "RESET HPS_1") == 0; i++)
        pass();
    ASSERT_EQ(count(debugLog(), "RESET HPS_1"), 1u);
    EXPECT_EQ(getPsuShutdownFlag(0), 0);
    // OPERATION off, then on 200 ms later, to slot 0.
    std::vector<std::pair<int64_t, uint8_t>> ops;
    for (const SimLogRecord& r : busLog(SIM_BUS_I2C1, mark))
        if (r.op == SIM_OP_WRITE && r.addr == 0x40 && r.dataLen >= 2 && r.data[0] == 0x01)
            ops.push_back({r.timeNs, r.data[1]});
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].second, 0x00);
    EXPECT_EQ(ops[1].second, 0x80);
    EXPECT_GE(ops[1].first - ops[0].first, 200000000);
    EXPECT_LT(ops[1].first - ops[0].first, 210000000);
    passes(40);
    EXPECT_EQ(count(debugLog(), "RESET HPS_1"), 1u) << "the module runs again";
}

TEST_F(VaskLoop, SilencedSlotsTakeTheTwoAndOneSupplyBranches)
{
    passes(30);
    ASSERT_EQ(getPsuAvailableCount(), 3);
    setFwdPowerCalibrated(1);
    setDriverPower(600, 0);
    simFindDevice(SIM_BUS_I2C1, 0x42)->absent.store(1);
    for (int i = 0; i < 600 && getPsuAvailableCount() == 3; i++)
        pass();
    ASSERT_EQ(getPsuAvailableCount(), 2);
    pass();
    EXPECT_EQ(getVoltageAPC(), 800u) << "two supplies below 65 dBm: VAPC at the two-supply limit";
    EXPECT_EQ(count(debugLog(), "HpsNum 1"), 0u);

    simFindDevice(SIM_BUS_I2C1, 0x41)->absent.store(1);
    for (int i = 0; i < 600 && getPsuAvailableCount() == 2; i++)
        pass();
    ASSERT_EQ(getPsuAvailableCount(), 1);
    pass();
    EXPECT_EQ(count(debugLog(), "HpsNum 1 [ShutDown 0]"), 1u) << "one supply left resets the loop";
    EXPECT_EQ(vout(), 53000u) << "Vout at Vmax, VAPC controls";
    EXPECT_EQ(getVoltageAPC(), 500u);
    passes(70);
    EXPECT_EQ(count(debugLog(), "ALC_StartDelayCnt"), 60u);
}

} // namespace

// Model 4 on the serial power module (HPS code 1, one supply).
class VaskSps : public SandboxTest {
protected:
    VaskSps() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-compact-sps")) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init();
        SemMutexInit();
        hpaMeasuresResetForTest();
        rfLoopVaskResetForTest();
        ampLockoutResetForTest();
        fanControlResetForTest();
        cplShelfResetForTest();
        cplStatusResetForTest();
        spsModuleResetForTest();
        debugModuleMask = debugModuleTable[DBG_POWER_MNG].mask;
        sps_ = simSpsAt("/dev/ttyMAX0");
        ASSERT_NE(sps_, nullptr);
        setAmpFamily(1);
        setHpaModelCode(4);
        setHpaDrvCurrConvFactor(3230);
        SPS_Search();
        ASSERT_EQ(getPsuShelfStatus(0), 0);
        setHpsCode(1);
        setPsuCount(1);
        setPsuInterface(0, 1);
        setPsuPresent(0, 1);
        SPS_UpdateAvailability();
        ASSERT_EQ(getPsuAvailableCount(), 1);
        setDefaultVoltageAPC(1100);
        setMaxVoltageAPC(2500);
        setHpaByteP(1);
        setRfLoopFlag(1);
        setExciterNominalPower(530, 0);
        setDriverPower(560, 0);
        rfMuteState = 0;
        setFpgaMute(0);
        setTxOnState(1);
    }
    void TearDown() override
    {
        debugModuleMask = 0;
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    // The module answers on its own thread: each voltage it is sent reaches
    // the plant a moment later.
    void settleSupply(uint32_t mv)
    {
        uint32_t word = static_cast<uint32_t>(400u * mv / 1000.0);
        for (int i = 0; i < 200 && sps_->voutWord.load() != word; i++)
            usleep(1000);
    }
    void pass()
    {
        clockAdvanceUs(80000);
        timeThread();
        RFControlLoop_VASK(0, 0);
        settleSupply(getPsuVoutSetpoint(0));
    }
    SimSpsKnobs* sps_ = nullptr;
};

TEST_F(VaskSps, Model4LocksOnlyAtAnErrorOfZeroOrOne)
{
    for (int i = 0; i < 20; i++)
        pass();
    // Calibrated at 27 V and the default VAPC, then reset through stand-by.
    applyPsuVout(0, 27000);
    settleSupply(27000);
    setVoltageAPC(1100, 1);
    for (int i = 0; i < 200 && getFwdMeasStable() != 1; i++) {
        clockAdvanceUs(100000);
        timeThread();
        HpaPowerMeasure(0, 0);
    }
    ASSERT_EQ(getFwdMeasStable(), 1);
    setCalibrateRequest(1);
    HpaPowerMeasure(0, 0);
    int32_t nomFwd = getHpaNomFwd();
    setTxOnState(0);
    pass();
    setTxOnState(1);
    EXPECT_EQ(getPsuVoutSetpoint(0), 21000u) << "the module's minimum";

    int32_t errAtLock = 1000;
    for (int i = 0; i < 1500 && getRfOutputState() == 0; i++) {
        uint8_t locked = getVaskPowerLocked();
        pass();
        if (!locked && getVaskPowerLocked())
            errAtLock = static_cast<int32_t>(getPowerTableWord(11)) - nomFwd;
        if (getVaskPowerLocked()) {
            int32_t err = static_cast<int32_t>(getPowerTableWord(11)) - nomFwd;
            EXPECT_LE(std::abs(err), 4) << "within the unlock band while locked";
        }
    }
    ASSERT_EQ(getRfOutputState(), 1);
    EXPECT_LE(std::abs(errAtLock), 1) << "the lock band of model 4 is 2, strictly inside";
    EXPECT_GT(getPsuVoutSetpoint(0), 26000u);
    EXPECT_LT(getPsuVoutSetpoint(0), 28000u);
    EXPECT_EQ(sps_->voutWord.load(), static_cast<uint32_t>(400u * getPsuVoutSetpoint(0) / 1000.0))
        << "the module holds the set point";
}

// A target far below what the amplifier gives: the forward target stops at
// 0 and VAPC, lowered at the supply minimum, stops at 0 mV instead of
// wrapping to a code near full scale.
TEST_F(VaskSps, TargetAndVapcNeverGoBelowZero)
{
    setDriverPower(540, 0); // below 551: the reset starts VAPC at 700 mV, Vout held at its minimum
    for (int i = 0; i < 20; i++)
        pass();
    setHpaNomFwd(2500);
    setHpaNomDrvPow(7300); // (7300 - 540) / 2.6855 counts: a target below 0
    setFwdPowerCalibrated(1);
    setLastValidRestoreRequest(1);
    pass();
    EXPECT_EQ(getVoltageAPC(), 700u);
    for (int i = 0; i < 200; i++)
        pass();
    EXPECT_EQ(getPsuVoutSetpoint(0), 21000u) << "Vout never rises";
    EXPECT_EQ(getVaskVapcNow(), 0);
    EXPECT_EQ(getVoltageAPC(), 0u);
    for (auto& [k, v] : simPlantQuantities()) {
        if (k == "dac3") {
            EXPECT_EQ(v, "0") << "the APC converter at 0";
        }
    }
}

TEST_F(VaskLoop, AResetWhileUnlockedGivesTheAlcBack)
{
    passes(30);
    setFwdPowerCalibrated(1);
    ASSERT_EQ(getRfOutputState(), 0);
    setRfLoopFlag(0);
    setLastValidRestoreRequest(1);
    pass();
    EXPECT_EQ(getRfLoopFlag(), 1) << "the reset cleared it; with the power unlocked it comes back";
}
