// The telecommand poll and the amplifier lockout: the interlock debounce,
// the lockout input held off after an ON change, the re-tries of each
// family, and a trip of the simulated amplifier's reflected comparator.
#include "power/ampLockout.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "core/mainLoop.h"
#include "hw/spiConverters.h"
#include "power/ampMeasuresOsk.h"
#include "power/fanControl.h"
#include "power/rfLoopOsk.h"
#include "sim/simModels.h"
#include "sim/simPlant.h"
#include "testing/sandboxTest.h"

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

// The first-family board with a plain converter in place of the plant, so
// that the lockout and interlock lines are the test's alone (the plant sets
// them from its comparators whenever its converter is read).
std::string quietDetectorProfile()
{
    std::string p = profileText("hpa-osk");
    size_t at = p.find("spi 2 hpaplant");
    p.replace(at, p.find('\n', at) - at, "spi 2 shift name=AD7476 reply=0x00,0x00");
    return p;
}

class AmpLockout : public SandboxTest {
protected:
    explicit AmpLockout(const std::string& profile = quietDetectorProfile())
        : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK, profile)
    {
    }
    void SetUp() override
    {
        SandboxTest::SetUp();
        resetImage();
    }
    static void resetImage()
    {
        rfLoopOskResetForTest();
        ampMeasuresOskResetForTest();
        ampLockoutResetForTest();
        fanControlResetForTest();
        mainLoopResetForTest();
        setAmpFamily(0);
        setHpaModelCode(0);
        setHpaDetected(1);
        setHpaDisabled(0);
        setHpsCode(0);
        setTxOnState(0);
        setRfOutputEvent(0);
        setIntAmpLockoutResetRequest(0);
        setAmpLockoutFlag(0);
        rfMuteState = 0;
        setFpgaMute(0);
        for (uint32_t id : {47u, 48u, 101u, 120u, 128u})
            setAlarmState(id, 0);
        setInterlock(true);
        setAmpliMute(false);
    }
    static void setPin(uint16_t addr, uint8_t reg, uint8_t bit, bool on)
    {
        SimModel* m = simModelOf(simFindDevice(SIM_BUS_I2C1, addr));
        uint8_t v = 0;
        m->peek(reg, &v, 1);
        v = static_cast<uint8_t>(on ? v | bit : v & ~bit);
        m->poke(reg, &v, 1);
    }
    // The status word: interlock on 0x20 port 0 bit 0, AmpliMute on 0x26
    // port 1 bit 0.
    static void setInterlock(bool closed) { setPin(0x20, 0, 0x01, closed); }
    static void setAmpliMute(bool on) { setPin(0x26, 1, 0x01, on); }

    // Main-loop turns of 1 ms: the telecommand poll, then the RF step.
    void run(int ms)
    {
        for (int i = 0; i < ms; i++, nowMs++) {
            if (nowMs % 10 == 0)
                timeThread();
            pollTlcTask();
            rfControlLoopTick();
            clockSleepUs(1000);
        }
    }
    // One trip of the lockout line and its return.
    void trip()
    {
        setAmpliMute(true);
        run(400);
        setAmpliMute(false);
        run(400);
    }
    int nowMs = 0;
};

TEST_F(AmpLockout, ThreeRetriesThenLockoutForFirstAndThirdFamilies)
{
    setTxOnState(1);
    run(3000);
    for (int n = 1; n <= 3; n++) {
        trip();
        EXPECT_EQ(getAmpLockoutRetryCount(), n);
        EXPECT_EQ(getTxOnState(), 1) << "a re-try keeps the transmitter ON";
        EXPECT_EQ(getAlarmState(128), 0);
    }
    std::string b = book();
    for (int n = 1; n <= 3; n++)
        EXPECT_EQ(count(b, "ERR: Lockout Re-try #" + std::to_string(n) + "\n"), 1u) << n;

    setAmpliMute(true);
    run(200);
    EXPECT_EQ(getAlarmState(120), 1);
    EXPECT_EQ(getAlarmState(128), 1) << "the fourth trip locks out";
    EXPECT_EQ(getAlarmState(47), 1) << "alarm 48 is clear";
    EXPECT_EQ(getTxOnState(), 0);
    EXPECT_EQ(getAmpLockoutFlag(), 0) << "model 0 does not set the lockout output";
    EXPECT_EQ(count(book(), "Lockout Re-try #4"), 0u);

    // The operator's lockout reset clears the lockout and the count.
    setIntAmpLockoutResetRequest(1);
    run(100);
    EXPECT_EQ(getAlarmState(128), 0);
    EXPECT_EQ(getAmpLockoutRetryCount(), 0);
    EXPECT_EQ(getIntAmpLockoutResetRequest(), 0);
}

TEST_F(AmpLockout, LockoutByFamilyAndModelOnTheEdge)
{
    // AmpliLockoutManage alone, the lockout input driven by hand.
    struct Case {
        uint32_t family, model, hpsCode;
        uint8_t alarm48;
        int tripsToLockout;
        uint8_t alarm47, flag;
    } cases[] = {
        {1, 3, 1, 0, 1, 1, 1}, // second family: the first trip, HPS code 1 sets the output
        {1, 4, 3, 0, 1, 0, 0},
        {0, 1, 0, 0, 4, 1, 1}, // model 1 sets the lockout output
        {2, 5, 0, 1, 4, 0, 0}, // alarm 48 keeps 47 off
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("family " + std::to_string(c.family) + " model " + std::to_string(c.model));
        resetImage();
        setAmpFamily(c.family);
        setHpaModelCode(c.model);
        setHpsCode(c.hpsCode);
        setAlarmState(48, c.alarm48);
        setTxOnState(1);
        AmpliLockoutManage();
        int trips = 0;
        while (getAlarmState(128) == 0 && trips < 6) {
            setAlarmState(120, 1);
            AmpliLockoutManage();
            AmpliLockoutManage(); // no edge: nothing more
            trips++;
            if (getAlarmState(128))
                break;
            setAlarmState(120, 0);
            AmpliLockoutManage();
        }
        EXPECT_EQ(trips, c.tripsToLockout);
        EXPECT_EQ(getTxOnState(), 0);
        EXPECT_EQ(getAlarmState(47), c.alarm47);
        EXPECT_EQ(getAmpLockoutFlag(), c.flag);
        // The line's return clears the alarms at the next call.
        setAlarmState(120, 0);
        AmpliLockoutManage();
        EXPECT_EQ(getAlarmState(128), 0);
        EXPECT_EQ(getAlarmState(47), 0);
    }
}

TEST_F(AmpLockout, RetryCountKeptUntilThePowerLocksOrTheTransmitterSwitchesOn)
{
    setTxOnState(1);
    run(3000);
    trip();
    trip();
    EXPECT_EQ(getAmpLockoutRetryCount(), 2) << "the line returned without a lock in between";
    setRfOutputEvent(1);
    run(100);
    EXPECT_EQ(getAmpLockoutRetryCount(), 0) << "the power locked";

    trip();
    EXPECT_EQ(getAmpLockoutRetryCount(), 1);
    setTxOnState(0);
    run(100);
    setTxOnState(1);
    run(100);
    EXPECT_EQ(getAmpLockoutRetryCount(), 0) << "switched ON";
}

TEST_F(AmpLockout, TripJustAfterAnOnChangeIsNotSeen)
{
    run(3000);
    setAmpliMute(true);
    setTxOnState(1);
    run(900);
    EXPECT_EQ(getAlarmState(120), 0) << "within the first second after ON";
    run(1300);
    EXPECT_EQ(getAlarmState(120), 1);
    EXPECT_EQ(getAmpLockoutRetryCount(), 1);
}

TEST_F(AmpLockout, InterlockNeedsTwoEqualReadings)
{
    // Polls taken past the 100 ms cache of the status word, so that each
    // poll reads the pins.
    auto poll = [] {
        clockAdvanceUs(120000);
        timeThread();
        return PollingTLC();
    };
    poll();
    poll();
    EXPECT_EQ(getAlarmState(101), 0);
    setInterlock(false);
    EXPECT_EQ(poll() & 1, 0);
    setInterlock(true);
    poll();
    EXPECT_EQ(getAlarmState(101), 0) << "one open reading";
    setInterlock(false);
    poll();
    poll();
    EXPECT_EQ(getAlarmState(101), 1);
    setInterlock(true);
    poll();
    EXPECT_EQ(getAlarmState(101), 1);
    poll();
    EXPECT_EQ(getAlarmState(101), 0);
}

class AmpLockoutOnThePlant : public AmpLockout {
protected:
    AmpLockoutOnThePlant() : AmpLockout(profileText("hpa-osk")) {}
};

TEST_F(AmpLockoutOnThePlant, ReflectedComparatorTripAssertsTheLockoutLine)
{
    // The loop's measure reads the forward detector, which moves the plant
    // and its comparators.
    setVdetTarget(2500);
    setTxOnState(1);
    run(3000);
    ASSERT_EQ(simPlantSet("tau", "1e9"), 0);
    // Arm the reflected comparator at twice the reflected count's scale.
    uint32_t ref = 0;
    for (auto& [k, v] : simPlantQuantities())
        if (k == "ref_count")
            ref = static_cast<uint32_t>(std::stoul(v));
    ASSERT_GT(ref, 0u);
    setDacOutput(static_cast<uint16_t>(std::min<uint32_t>(ref * 32, 65535)), 2);
    run(500);
    EXPECT_EQ(getAlarmState(120), 0);

    ASSERT_EQ(simPlantSet("rl", "3"), 0);
    run(500);
    EXPECT_NE(getTlcStatusWord() & 0x100, 0) << "AmpliMute";
    EXPECT_EQ(getAlarmState(120), 1);
    EXPECT_EQ(count(book(), "Lockout Re-try #1"), 1u);
    EXPECT_EQ(getVdacAttCurr(), 3000) << "the loop resets on the lockout input";
}

} // namespace
