// The first family's measures on the simulated amplifier, virtual clock:
// the settling runs after RF comes on, forward power within 0.1 dB of the
// plant's, the percentages and their snap to 100 %, the classes without a
// reflected detector, the current, and the temperature from its table, read
// by another process in DbPool.
#include "power/ampMeasuresOsk.h"

#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/rfKeys.h"
#include "core/base/rfMute.h"
#include "core/base/timeBase.h"
#include "power/hpaDetect.h"
#include "power/powerCalibration.h"
#include "sim/simPlant.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <cmath>
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

int32_t word(uint32_t i)
{
    return static_cast<int32_t>(getPowerTableWord(i));
}

class OskMeasures : public SandboxTest {
protected:
    OskMeasures() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK, profileText("hpa-osk")) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        detectHpaSystem();
        initHpa();
        ASSERT_EQ(getHpaDetected(), 1);
        setDriverPowerQuiet(300);
        setOutputRFfrequency(98000000, 0);
        calcDetectorCalibration(0);
        ampMeasuresOskResetForTest();
        rfMuteState = 0;
        setTxOnState(0);
        setRfOutputEvent(0);
        ASSERT_EQ(simPlantSet("tau", "1e9"), 0);
    }
    void TearDown() override
    {
        simPlantSet("power", "off");
        SandboxTest::TearDown();
    }
    // One run of the power measure, 30 ms after the last.
    static void run()
    {
        clockAdvanceUs(30000);
        timeThread();
        ForwardReflectedPowerMeasure(30000);
    }
    static void runOn(int n)
    {
        for (int i = 0; i < n; i++)
            run();
    }
    static void forcePower(double dbm)
    {
        char v[32];
        snprintf(v, sizeof v, "%.2f", dbm);
        ASSERT_EQ(simPlantSet("power", v), 0);
    }
};

TEST_F(OskMeasures, FourthRunAfterRfOnPublishesThePlantsPower)
{
    forcePower(30.5);
    run();
    EXPECT_EQ(word(1), 0) << "RF off";
    EXPECT_EQ(word(4), 0);
    setTxOnState(1);
    for (int i = 1; i <= 3; i++) {
        run();
        EXPECT_EQ(word(1), 0) << "settling run " << i;
        EXPECT_EQ(word(2), 0);
    }
    EXPECT_GT(word(0), 0) << "the raw forward count is published on every run";
    run();
    EXPECT_NEAR(word(1), 305, 1);
    // The measure keeps its period: a call before 30 ms does nothing.
    forcePower(33.0);
    ForwardReflectedPowerMeasure(30000);
    EXPECT_NEAR(word(1), 305, 1);
    run();
    EXPECT_NEAR(word(1), 330, 1);
    EXPECT_EQ(static_cast<uint32_t>(word(2)), static_cast<uint32_t>(std::pow(10.0, word(1) / 100.0) * 100));

    // Muted: the off words and the settling starts again.
    rfMuteState = 1;
    run();
    EXPECT_EQ(word(1), 0);
    EXPECT_EQ(word(3), 0);
    rfMuteState = 0;
    runOn(3);
    EXPECT_EQ(word(1), 0);
    run();
    EXPECT_NEAR(word(1), 330, 1);
}

TEST_F(OskMeasures, PercentOfNominalAndTheSnapTo100WhileLocked)
{
    setTxOnState(1);
    setRfOutputEvent(1);
    struct Case {
        double dbm;
        int32_t fwd;
        uint32_t lin, pct;
    } cases[] = {
        // Measured in 0.1 dB steps: 29.7 dBm is 93.3 % (snapped), 30.3 dBm
        // 107.2 % (kept) around the [93, 106) band; 29.6 dBm, 91.2 %, kept.
        {29.75, 300, 100000, 100},
        {30.35, 303, 107151, 107},
        {29.65, 296, 91201, 91},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dbm);
        forcePower(c.dbm);
        runOn(5);
        EXPECT_EQ(word(1), c.fwd);
        EXPECT_EQ(static_cast<uint32_t>(word(2)), c.lin);
        EXPECT_EQ(static_cast<uint32_t>(word(3)), c.pct);
    }

    // 40.0 dBm nominal is 1,000,000 x 0.01 mW; 3 dB below is 50 %.
    setRfOutputEvent(0);
    setDriverPowerQuiet(400);
    calcDetectorCalibration(0);
    forcePower(37.0);
    runOn(2);
    EXPECT_EQ(word(1), 370);
    EXPECT_EQ(static_cast<uint32_t>(word(2)), 501187u);
    EXPECT_EQ(static_cast<uint32_t>(word(3)), 50u);
    setRfOutputEvent(1);
    forcePower(40.0);
    runOn(2);
    EXPECT_EQ(static_cast<uint32_t>(word(2)), 1000000u);
}

TEST_F(OskMeasures, ReflectedWordsByPowerClassAndFloor)
{
    setTxOnState(1);
    forcePower(30.0);
    ASSERT_EQ(simPlantSet("rl", "10"), 0);
    runOn(5);
    // Class 0 below its filter start (35.0 dBm): the floor is the reflected
    // table's start + 1 dB, 7 dBm; 20 dBm reflected is above it.
    EXPECT_NEAR(word(4), 200, 1);
    EXPECT_GT(word(5), 0);
    EXPECT_GT(word(6), 0);
    ASSERT_EQ(simPlantSet("rl", "25"), 0);
    runOn(2);
    EXPECT_EQ(word(4), 0) << "5 dBm is below the floor";
    EXPECT_EQ(word(5), 0);

    for (uint32_t powerClass : {6u, 17u, 1u}) {
        SCOPED_TRACE(powerClass);
        setHpaPowerClass(powerClass);
        ASSERT_EQ(simPlantSet("rl", "10"), 0);
        runOn(2);
        EXPECT_EQ(word(4), -600);
        EXPECT_EQ(word(5), 0);
        setTxOnState(0);
        run();
        EXPECT_EQ(word(4), -600);
        EXPECT_EQ(word(1), powerClass == 1 ? 0 : -600);
        setTxOnState(1);
        runOn(4);
    }
}

TEST_F(OskMeasures, CurrentOfTheClassesWithACurrentChannel)
{
    setHpaPowerClass(0);
    setPowerTableWord(10, 77);
    run();
    EXPECT_EQ(word(10), 77) << "no current channel";
    forcePower(46.0);
    setTxOnState(1);
    for (uint32_t powerClass : {3u, 13u}) {
        SCOPED_TRACE(powerClass);
        setHpaPowerClass(powerClass);
        run();
        uint32_t raw = 0;
        for (auto& [k, v] : simPlantQuantities())
            if (k == "current_count")
                raw = static_cast<uint32_t>(std::stoul(v));
        ASSERT_GT(raw, 100u);
        EXPECT_EQ(static_cast<uint32_t>(word(10)),
                  powerClass == 13 ? static_cast<uint32_t>(raw * 3.3 / 819.0 + 0.5) : raw * 50 / 768);
    }
}

TEST_F(OskMeasures, TemperatureEveryFiveSecondsFromTheTable)
{
    ASSERT_EQ(simPlantSet("temp", "66"), 0);
    ASSERT_EQ(simPlantSet("ambient", "66"), 0);
    setPowerTableWord(7, 0);
    timeThread();
    AmpliTemperatureMeasure();
    for (int s = 1; s <= 5; s++) {
        clockAdvanceUs(1000000);
        timeThread();
        AmpliTemperatureMeasure();
        if (s < 5) {
            EXPECT_EQ(word(7), 0) << "after " << s << " s";
        }
    }
    EXPECT_EQ(word(7), 66);
    std::vector<uint32_t> cells;
    ASSERT_EQ(readDbPoolCellsInChild({{10, 2}}, &cells), 0);
    EXPECT_EQ(cells[0], 66u);

    // Colder than the table's first point: its temperature, -20 degrees.
    ASSERT_EQ(simPlantSet("temp", "-40"), 0);
    ASSERT_EQ(simPlantSet("ambient", "-40"), 0);
    for (int s = 0; s < 6; s++) {
        clockAdvanceUs(1000000);
        timeThread();
        AmpliTemperatureMeasure();
    }
    EXPECT_EQ(word(7), -20);
}

} // namespace
