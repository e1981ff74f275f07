// Audio level measures: conversions to Hz and dB, the channels the code on
// air does not carry, the raw alarms, the deviations of the two
// configurations and their cells.
#include "Config/StrutturaDati.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/inputKeys.h"
#include "audio/audioMeasures.h"
#include "comtab/dbPool.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class AudioMeasures : public SandboxTest {
protected:
    AudioMeasures() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        SystemImage* im = getSystemImage();
        im->audio.frequencyDeviation = 75;
        im->audio.rdsDevHz = 7500;
        for (int16_t* t : {&im->audio.totAudioAlmThreshold, &im->audio.audioLeftAlmThreshold,
                           &im->audio.audioRightAlmThreshold, &im->audio.audioAuxAlmThreshold,
                           &im->audio.audioPilotAlmThreshold})
            *t = -20;
        im->input.outputCfgCode = 22; // stereo analog: every channel measured
    }
    static int32_t cellS(uint8_t s, uint8_t i) { return static_cast<int32_t>(readDbAreaCell(s, i)); }
};

TEST_F(AudioMeasures, MpxReadingToHzDbCellsAndAlarm)
{
    setMeasuredMpxLevelRaw(19200);
    EXPECT_EQ(getMeasuredMpxDeviation(), 75000u);
    EXPECT_EQ(getMeasuredMpxLevel_dB(), 0);
    EXPECT_EQ(readDbAreaCell(12, 2), 75000u);
    EXPECT_EQ(cellS(12, 7), 0);
    EXPECT_EQ(getAlarmInput(54), 0);
    // The primary is on air: its deviation is the MPX less the auxiliary.
    EXPECT_EQ(getPrimDeviation(), 75000u);
    EXPECT_EQ(readDbAreaCell(12, 14), 75000u);

    // A reading of 0: no deviation, -180 dB, the alarm raised.
    setMeasuredMpxLevelRaw(0);
    EXPECT_EQ(getMeasuredMpxDeviation(), 0u);
    EXPECT_EQ(cellS(12, 7), -180);
    EXPECT_EQ(getAlarmInput(54), 1);
    // 10 % of the nominal deviation is -20 dB: not below the threshold.
    setMeasuredMpxLevelRaw(1920);
    EXPECT_EQ(getMeasuredMpxLevel_dB(), -20);
    EXPECT_EQ(getAlarmInput(54), 0);
}

TEST_F(AudioMeasures, AudioChannelsAgainstTheirReferenceAndTheCodesWithoutThem)
{
    // Left at 90 % with AuxChSrc 0, right at 81 % with it set: both 0 dB.
    setMeasuredLeftLevelRaw(17280);
    EXPECT_EQ(getMeasuredLeftDeviation(), 67500u);
    EXPECT_EQ(getMeasuredLeftLevel_dB(), 0);
    getSystemImage()->input.auxChSrc = 1;
    setMeasuredRightLevelRaw(15552);
    EXPECT_EQ(getMeasuredRightDeviation(), 60750u);
    EXPECT_EQ(getMeasuredRightLevel_dB(), 0);
    EXPECT_EQ(cellS(12, 9), 0);

    // A low right channel raises 57.
    setMeasuredRightLevelRaw(100);
    EXPECT_EQ(getAlarmInput(57), 1);

    struct {
        uint32_t code;
        bool leftForced, rightForced;
    } cases[] = {{25, true, true}, {0, false, true}, {6, false, true}, {48, true, true}, {22, false, false}};
    for (auto c : cases) {
        SCOPED_TRACE(c.code);
        getSystemImage()->input.outputCfgCode = c.code;
        setAlarmInput(56, 1);
        setAlarmInput(57, 1);
        setMeasuredLeftLevelRaw(c.code + 50);
        setMeasuredRightLevelRaw(c.code + 50);
        EXPECT_EQ(getMeasuredLeftDeviation() == 0 && getMeasuredLeftLevel_dB() == -180 && getAlarmInput(56) == 0,
                  c.leftForced);
        EXPECT_EQ(getMeasuredRightDeviation() == 0 && getMeasuredRightLevel_dB() == -180 && getAlarmInput(57) == 0,
                  c.rightForced);
    }
    EXPECT_EQ(readDbAreaCell(12, 3), getMeasuredLeftDeviation());
}

TEST_F(AudioMeasures, OnAirDeviationNeverWrapsBelowZero)
{
    getSystemImage()->fpga.measuredAuxDeviation = 80000;
    setMeasuredMpxLevelRaw(19200);
    EXPECT_EQ(getPrimDeviation(), 0u);
    EXPECT_EQ(readDbAreaCell(12, 14), 0u);
    getSystemImage()->fpga.measuredAuxDeviation = 5000;
    setMeasuredMpxLevelRaw(19200); // unchanged reading: the on-air deviation still follows
    EXPECT_EQ(getPrimDeviation(), 70000u);
    EXPECT_EQ(getPrimLevel_dB(), -1);

    // The secondary on air takes the MPX; the backup MPX goes to the primary.
    getSystemImage()->input.activeInput = 1;
    setMeasuredMpxDeviationB(75000);
    EXPECT_EQ(readDbAreaCell(12, 12), 75000u);
    EXPECT_EQ(cellS(12, 13), 0);
    EXPECT_EQ(getAlarmInput(64), 0);
    EXPECT_EQ(getPrimDeviation(), 75000u);
    setMeasuredMpxLevelRaw(0);
    EXPECT_EQ(getSecDeviation(), 0u);
    setMeasuredMpxDeviationB(0);
    EXPECT_EQ(getAlarmInput(64), 1);
}

TEST_F(AudioMeasures, AuxiliaryPilotAndReceiverPaths)
{
    // Raw path: the auxiliary against rds_dev_hz (7500 Hz is 0 dB).
    getSystemImage()->input.outputCfgCode = 26;
    setMeasuredAuxLevelRaw(1920);
    EXPECT_EQ(getMeasuredAuxDeviation(), 7500u);
    EXPECT_EQ(getMeasuredAuxLevel_dB(), 0);
    EXPECT_EQ(readDbAreaCell(12, 5), 7500u);
    // A code without an auxiliary channel forces it quiet.
    getSystemImage()->input.outputCfgCode = 22;
    setAlarmInput(55, 1);
    setMeasuredAuxLevelRaw(1920);
    EXPECT_EQ(getMeasuredAuxDeviation(), 0u);
    EXPECT_EQ(cellS(12, 10), -180);
    EXPECT_EQ(getAlarmInput(55), 0);

    // Direct setters of the receiver path: 0.1 of the nominal deviation.
    setMeasuredAuxDeviation(750);
    EXPECT_EQ(getMeasuredAuxLevel_dB(), -20);
    setMeasuredPilotDeviation(7500);
    EXPECT_EQ(getMeasuredPilotLevel_dB(), 0);
    EXPECT_EQ(readDbAreaCell(12, 6), 7500u);
    EXPECT_EQ(cellS(12, 11), 0);
    setMeasuredPilotLevelRaw(19);
    EXPECT_EQ(getMeasuredPilotDeviation(), 74u);
    EXPECT_EQ(getAlarmInput(58), 1);
    setMeasuredMpxDeviation(37500);
    EXPECT_EQ(getMeasuredMpxLevel_dB(), -6);
    setMeasuredFmDeviationRaw(5201);
    EXPECT_EQ(getMeasuredFmDeviation(), 74996u);
}

} // namespace
