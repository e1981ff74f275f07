// Fan control on the simulated boards, virtual clock: the fan controller's
// duty bands and stopped-fan alarms, the expander variants' fault counts and
// the stand-by PWM simulation of model 4.
#include "power/fanControl.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/timeBase.h"
#include "hw/adt7470.h"
#include "sim/simModels.h"
#include "testing/sandboxTest.h"

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

uint8_t peekReg(uint16_t addr, uint32_t reg)
{
    uint8_t v = 0;
    simModelOf(simFindDevice(SIM_BUS_I2C1, addr))->peek(reg, &v, 1);
    return v;
}

void pokeReg(uint16_t addr, uint32_t reg, uint8_t v)
{
    simModelOf(simFindDevice(SIM_BUS_I2C1, addr))->poke(reg, &v, 1);
}

void setPin(uint16_t addr, uint32_t reg, uint8_t bit, bool on)
{
    uint8_t v = peekReg(addr, reg);
    pokeReg(addr, reg, static_cast<uint8_t>(on ? v | bit : v & ~bit));
}

class FanControl : public SandboxTest {
protected:
    explicit FanControl(const char* board = "hpa-osk")
        : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profileText(board))
    {
    }
    void SetUp() override
    {
        SandboxTest::SetUp();
        resetImage(0);
    }
    static void resetImage(uint32_t model)
    {
        fanControlResetForTest();
        setHpaModelCode(model);
        setTxOnState(1);
        setNumFan(3);
        setFanManualLevel(0);
        setFanAlarmInhibit(0);
        for (uint32_t id : {122u, 123u, 124u, 125u, 126u, 127u})
            setAlarmState(id, 0);
        setPowerTableWord(4, 0);
        setPowerTableWord(7, 25);
        setPowerTableWord(9, 25);
    }
    // One run of the fan control, a second after the last.
    static void runOnce()
    {
        clockAdvanceUs(1000000);
        timeThread();
        SystemFanControl();
    }
    static uint8_t pwm() { return peekReg(0x2F, 0x32); }
    // Tachometer counts of the three fans: running at 1800 RPM or stopped.
    static void setFans(int stopped)
    {
        for (int n = 0; n < 3; n++) {
            uint16_t count = n < stopped ? 0xFFFF : 3000;
            pokeReg(0x2F, 0x2A + 2 * n, count & 0xFF);
            pokeReg(0x2F, 0x2B + 2 * n, count >> 8);
        }
    }
};

TEST_F(FanControl, DutyBandsWithHysteresis)
{
    setFans(0);
    struct Step {
        int32_t temp;
        uint8_t percent;
    } steps[] = {{66, 100}, {64, 100}, {63, 100}, {62, 90}, {61, 90}, {58, 90}, {57, 80},
                 {47, 60}, {43, 60}, {42, 50}, {70, 100}, {120, 50}};
    for (const Step& s : steps) {
        setPowerTableWord(7, static_cast<uint32_t>(s.temp));
        runOnce();
        EXPECT_EQ(pwm(), adt7470PercentToPwm(s.percent)) << s.temp << " degrees";
    }
    EXPECT_EQ(adt7470PercentToPwm(100), 0xFF);

    setPowerTableWord(7, 30);
    setTxOnState(0);
    runOnce();
    EXPECT_EQ(pwm(), adt7470PercentToPwm(30)) << "stand-by";
    setAlarmState(123, 1);
    runOnce();
    EXPECT_EQ(pwm(), 0xFF) << "temperature alarm";
    setFanManualLevel(40);
    runOnce();
    EXPECT_EQ(pwm(), adt7470PercentToPwm(40)) << "the fixed duty wins";
    setAlarmState(125, 1);
    runOnce();
    EXPECT_EQ(pwm(), 0) << "fans off";
}

TEST_F(FanControl, FirstRunAfterSwitchingOnDoesNothing)
{
    setTxOnState(0);
    runOnce();
    EXPECT_EQ(pwm(), adt7470PercentToPwm(30));
    setTxOnState(1);
    setPowerTableWord(7, 66);
    runOnce();
    EXPECT_EQ(pwm(), adt7470PercentToPwm(30));
    runOnce();
    EXPECT_EQ(pwm(), 0xFF);
}

TEST_F(FanControl, StoppedFansRaiseTheWarningOrTheAlarmAfterThreeRuns)
{
    struct Case {
        int stopped;
        uint8_t alarm126, alarm127;
    } cases[] = {{1, 0, 1}, {2, 1, 0}, {3, 1, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stopped);
        resetImage(0);
        setFans(c.stopped);
        runOnce();
        runOnce();
        EXPECT_EQ(getAlarmState(126) | getAlarmState(127), 0) << "two runs";
        runOnce();
        EXPECT_EQ(getAlarmState(126), c.alarm126);
        EXPECT_EQ(getAlarmState(127), c.alarm127);
        EXPECT_EQ(getHpaMeasureWord(23), c.stopped ? 82 : 1800);
        EXPECT_EQ(getHpaMeasureWord(25), c.stopped == 3 ? 82 : 1800);
        setFans(0);
        for (int i = 0; i < 3; i++)
            runOnce();
        EXPECT_EQ(getAlarmState(126) | getAlarmState(127), 0) << "three good runs clear";
    }
}

// The expander variants: the mode bits of each model, the faulty runs that
// raise its alarm and the three good ones that clear it.
struct ExpBoard {
    const char* profile;
    uint32_t model;
    uint16_t fanExp;     // expander driving the fans (output register 1)
    uint8_t maxBits;     // bits set in MAX
    uint8_t maxMask;     // the mode bits
    uint16_t faultExp;   // expander with the fault input (input register 0)
    uint8_t faultBit;
    uint32_t alarm;
    int raiseAfter;
};

void PrintTo(const ExpBoard& b, std::ostream* os)
{
    *os << b.profile;
}

class ExpanderFans : public FanControl, public ::testing::WithParamInterface<ExpBoard> {
protected:
    ExpanderFans() : FanControl(GetParam().profile) {}
    void SetUp() override
    {
        FanControl::SetUp();
        resetImage(GetParam().model);
    }
};

TEST_P(ExpanderFans, ModeBitsAndFaultCounts)
{
    const ExpBoard& b = GetParam();
    setPin(b.faultExp, 0, b.faultBit, false);
    setPowerTableWord(7, 60);
    runOnce();
    EXPECT_EQ(peekReg(b.fanExp, 1) & b.maxMask, b.maxBits) << "MAX at 60 degrees";

    setPin(b.faultExp, 0, b.faultBit, true);
    for (int i = 1; i < b.raiseAfter; i++)
        runOnce();
    EXPECT_EQ(getAlarmState(b.alarm), 0) << b.raiseAfter - 1 << " faulty runs";
    runOnce();
    EXPECT_EQ(getAlarmState(b.alarm), 1);

    setPin(b.faultExp, 0, b.faultBit, false);
    runOnce();
    runOnce();
    EXPECT_EQ(getAlarmState(b.alarm), 1);
    runOnce();
    EXPECT_EQ(getAlarmState(b.alarm), 0);

    // Cooling: AUTO clears the mode bits; the hysteresis of MAX is 5.
    setPowerTableWord(7, 51);
    runOnce();
    EXPECT_EQ(peekReg(b.fanExp, 1) & b.maxMask, b.maxBits) << "within the hysteresis";
    setPowerTableWord(7, 49);
    runOnce();
    EXPECT_EQ(peekReg(b.fanExp, 1) & b.maxMask, 0) << "AUTO";

    // The inhibit byte keeps the alarm off.
    setFanAlarmInhibit(1);
    setPowerTableWord(7, 60);
    setPin(b.faultExp, 0, b.faultBit, true);
    for (int i = 0; i < 8; i++)
        runOnce();
    EXPECT_EQ(getAlarmState(b.alarm), 0);
}

const ExpBoard kExpBoards[] = {
    {"hpa-if2", 1, 0x24, 0x40, 0x44, 0x24, 0x80, 127, 6},
    {"hpa-if3", 2, 0x23, 0x01, 0x03, 0x23, 0x04, 127, 6},
    {"hpa-compact-sps", 4, 0x25, 0x80, 0xC0, 0x24, 0x10, 126, 6},
    {"hpa-wideband", 5, 0x23, 0x01, 0x03, 0x23, 0x04, 127, 6},
};
INSTANTIATE_TEST_SUITE_P(Models, ExpanderFans, ::testing::ValuesIn(kExpBoards),
                         [](const auto& info) { return "model" + std::to_string(info.param.model); });

class StandbyPwm : public FanControl {
protected:
    StandbyPwm() : FanControl("hpa-compact-sps") {}
};

TEST_F(StandbyPwm, Model4PulsesItsFansInStandBy)
{
    resetImage(4);
    setTxOnState(0);
    setPowerTableWord(7, 30);
    setPowerTableWord(9, 50);
    std::vector<int> toggles;
    std::vector<int> levels;
    uint8_t last = peekReg(0x25, 1) & 0x80;
    for (int ms = 0; ms < 1200; ms += 10) {
        clockAdvanceUs(10000);
        timeThread();
        SystemFanControl();
        uint8_t now = peekReg(0x25, 1) & 0x80;
        if (now != last) {
            toggles.push_back(ms);
            levels.push_back(now ? 1 : 0);
            last = now;
            EXPECT_EQ(peekReg(0x25, 1) & 0x40, 0) << "bit 6 cleared with each toggle";
        }
    }
    ASSERT_GE(toggles.size(), 6u);
    EXPECT_GE(toggles[0], 190);
    for (size_t i = 1; i < toggles.size(); i++) {
        int want = levels[i - 1] ? 60 : 140; // on for 60 ms, off for 140 ms
        int d = toggles[i] - toggles[i - 1];
        EXPECT_TRUE(d >= want && d <= want + 10) << "toggle " << i << ": " << d << " ms";
    }
    // Switching ON ends the simulation: the bands take over.
    setTxOnState(1);
    setPowerTableWord(7, 60);
    runOnce();
    runOnce();
    EXPECT_EQ(peekReg(0x25, 1) & 0xC0, 0x80) << "MAX";
}

} // namespace
