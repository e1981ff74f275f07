// Input switching on the virtual clock with settable input presence.
#include "Config/StrutturaDati.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/inputKeys.h"
#include "audio/audioMeasures.h"
#include "audio/inputSwitch.h"
#include "core/base/timeBase.h"
#include "platform/clock.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr const char* kToSecondary = "EVENT: InputSwitch: Input Secondary ---> OnAir";
constexpr const char* kToPrimary = "EVENT: InputSwitch: Input Primary ---> OnAir";

size_t countOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

class InputSwitching : public SandboxTest {
protected:
    InputSwitching() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        getSystemImage()->audio.frequencyDeviation = 75;
        // Primary: mono analog left (watches L_Mpx); backup input 5: mono
        // analog right (code 10, watches R_Aux).
        SystemImage* im = getSystemImage();
        im->input.outputConfiguration = 0;
        im->input.inputBackup = 5;
        im->input.secondaryInputCfg = 10;
        im->input.inputLeftLinePres = 1;
        im->input.inputRightLinePres = 1;
        im->audio.totAudioAlmThreshold = -20;
    }
    void mode(uint32_t m) { getSystemImage()->input.inputSwitchMode = m; }
    // One 250 ms step with the shared time base kept by the clock.
    void step()
    {
        clockAdvanceUs(250000);
        struct timespec now;
        clockGetTime(CLOCK_MONOTONIC_RAW, &now);
        setMonoTimeNow(now);
        InputSwitch();
    }
    void steps(int n)
    {
        for (int i = 0; i < n; i++)
            step();
    }
    uint32_t onAir() { return getOnAirInput(); }
};

TEST_F(InputSwitching, AutoSwitchesOnTheNinthFailingStepAndStaysOnTheSecondary)
{
    mode(1);
    step();
    EXPECT_EQ(onAir(), 0u);
    EXPECT_EQ(getOutputCfgCode(), 0u);
    EXPECT_EQ(getEventBit(76), 1);
    EXPECT_EQ(getEventBit(77), 1);

    getSystemImage()->input.inputLeftLinePres = 0;
    steps(8);
    EXPECT_EQ(onAir(), 0u);
    EXPECT_EQ(getEventBit(76), 0);
    step();
    EXPECT_EQ(onAir(), 1u);
    EXPECT_EQ(getOutputCfgCode(), 10u);
    EXPECT_EQ(getStandbyInputRoute(), 0u);
    EXPECT_EQ(countOf(eventLog(), kToSecondary), 1u);
    EXPECT_EQ(countOf(book(), kToSecondary), 1u);

    // Healthy again, Auto never returns by itself.
    getSystemImage()->input.inputLeftLinePres = 1;
    steps(200);
    EXPECT_EQ(onAir(), 1u);
    EXPECT_EQ(countOf(eventLog(), kToPrimary), 0u);
}

TEST_F(InputSwitching, AutoPrefReturnsAfterTheHoldOffAndTheSwapTime)
{
    mode(2);
    getSystemImage()->input.inputSwapTime = 10;
    getSystemImage()->audio.totAudioAlmEnable = 1;
    getSystemImage()->audio.totAudioAlmDelay = 4;
    step();
    getSystemImage()->input.inputLeftLinePres = 0;
    steps(9);
    ASSERT_EQ(onAir(), 1u);
    struct timespec switched = getInputSwitchStamp();
    EXPECT_NE(switched.tv_sec, 0);

    // Within 5 s of the switch the configuration deviations stay as they were.
    setPrimDeviation(1234);
    EXPECT_EQ(getPrimDeviation(), 0u);

    // The primary is back: armed once it has been healthy for 4 + 6 s since
    // the switch, it goes on air input_swap_time later.
    getSystemImage()->input.inputLeftLinePres = 1;
    steps(4 * 18 + 2); // 18.5 s
    EXPECT_EQ(onAir(), 1u);
    setPrimDeviation(1234);
    EXPECT_EQ(getPrimDeviation(), 1234u);
    steps(4 * 3); // 21.5 s
    EXPECT_EQ(onAir(), 0u);
    EXPECT_EQ(countOf(eventLog(), kToPrimary), 1u);
}

TEST_F(InputSwitching, BackupAbsentOrInAlarmBlocksTheSwitch)
{
    mode(1);
    step();
    getSystemImage()->input.inputLeftLinePres = 0;
    getSystemImage()->input.inputRightLinePres = 0;
    steps(30);
    EXPECT_EQ(onAir(), 0u);

    // Present, but its MPX level below the threshold with the alarm enabled.
    getSystemImage()->input.inputRightLinePres = 1;
    getSystemImage()->audio.totAudioAlmEnable = 1;
    setMeasuredMpxDeviationB(100);
    ASSERT_EQ(getAlarmInput(64), 1);
    steps(30);
    EXPECT_EQ(onAir(), 0u);
    // The alarm disabled: the switch goes ahead.
    getSystemImage()->audio.totAudioAlmEnable = 0;
    steps(9);
    EXPECT_EQ(onAir(), 1u);
}

TEST_F(InputSwitching, NoBackupReturnsToThePrimaryWithoutAnEventAndForcesManual)
{
    getSystemImage()->input.inputSelection = 1; // manual choice: secondary
    step();
    ASSERT_EQ(onAir(), 1u);
    mode(2);
    getSystemImage()->input.inputBackup = 0;
    step();
    EXPECT_EQ(onAir(), 0u);
    EXPECT_EQ(getInputSwitchMode(), 0u);
    EXPECT_EQ(getInputSelection(), 0u);
    EXPECT_EQ(countOf(eventLog(), "InputSwitch: Input"), 0u) << eventLog();

    // Manual: the selection decides on the next step, whatever the inputs.
    getSystemImage()->input.inputBackup = 5;
    getSystemImage()->input.inputRightLinePres = 0;
    getSystemImage()->input.inputSelection = 1;
    step();
    EXPECT_EQ(onAir(), 1u);
    EXPECT_EQ(countOf(eventLog(), kToSecondary), 1u);
}

TEST_F(InputSwitching, PresenceOfTheWatchedInputs)
{
    SystemImage* im = getSystemImage();
    im->input.inputLeftLinePres = 0;
    im->input.inputRightLinePres = 0;
    struct {
        uint32_t code, digAux, digital, aesEbu;
        uint8_t present;
    } cases[] = {
        {34, 0, 0, 0, 1}, {36, 0, 0, 0, 1}, // watch nothing
        {1, 1, 1, 0, 1},  {1, 1, 0, 1, 0},  // DIG/AUX set: the digital line
        {1, 0, 0, 1, 1},  {1, 0, 1, 0, 0},  // else the AES/EBU line
        {0, 0, 1, 1, 0},
    };
    for (auto c : cases) {
        SCOPED_TRACE(testing::Message() << c.code << " " << c.digAux << c.digital << c.aesEbu);
        im->input.outputConfiguration = c.code;
        im->input.matrixDigAux = c.digAux;
        im->input.inputDigitalLinePres = c.digital;
        im->input.inputPresWord1 = c.aesEbu;
        step();
        EXPECT_EQ(getEventBit(76), c.present);
    }
}

TEST_F(InputSwitching, TickRunsTheStepEvery250Ms)
{
    mode(1);
    auto tick = [](int64_t us) {
        clockAdvanceUs(us);
        struct timespec now;
        clockGetTime(CLOCK_MONOTONIC_RAW, &now);
        setMonoTimeNow(now);
        InputSwitchTick();
    };
    getSystemImage()->input.activeInput = 1;
    tick(0); // stamps only
    EXPECT_EQ(onAir(), 1u);
    tick(200000);
    EXPECT_EQ(onAir(), 1u);
    tick(60000); // the start-up selection puts the primary on air
    EXPECT_EQ(onAir(), 0u);
}

} // namespace
