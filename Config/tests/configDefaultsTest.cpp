// The default configuration: what the image, DbPool and the change words
// hold after it, the preset tables against the values they were taken from,
// and the log gate that opens only at its end.
#include "Config/StrutturaDati.h"
#include "Config/configCycle.h"
#include "Config/configDefaults.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/apPresets.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class ConfigDefaultsTest : public SandboxTest {
protected:
    ConfigDefaultsTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        logEnabled = 0; // as at start-up
        runInitSystemImage();
    }

    static const AudioProcessorBlock& ap() { return getSystemImage()->ap; }
};

TEST_F(ConfigDefaultsTest, ChangeWordsAndTheLogGateAtItsEnd)
{
    EXPECT_EQ(getConfigChanged(), 0x2cf8ffu);
    EXPECT_EQ(getConfigLocked(), 2);
    EXPECT_EQ(logEnabled, 1);
    EXPECT_EQ(book().find("Set default configuration"), std::string::npos) << "written while the gate was closed";
    logInfo("after");
    EXPECT_NE(book().find("after"), std::string::npos);
}

TEST_F(ConfigDefaultsTest, KeysHoldTheirDefaultsAndAnotherProcessSeesThem)
{
    EXPECT_EQ(getOutputRFfrequency(), 89500000u);
    EXPECT_EQ(getDriverPower(), 300);
    EXPECT_EQ(getFrequencyDeviation(), 75);
    EXPECT_EQ(getInputBackup(), 0u);
    EXPECT_EQ(getRdsLevelCode(), 2048);
    EXPECT_EQ(getRdsInternalLevelPercentage(), 93);
    EXPECT_EQ(getRestoreOffsetHpsVout(), 2000u);
    EXPECT_EQ(getApcScale(), 1024.0f);
    EXPECT_EQ(getFwdPowerMuteThd(), 10);
    EXPECT_EQ(getUECPSiteAddrEna(1), 1);
    EXPECT_EQ(getUECPEncoderAddrEna(1), 1);
    EXPECT_EQ(getUECPSiteAddrEna(2), 0);
    EXPECT_EQ(getUECPEncoderAddrEna(10), 0);
    EXPECT_EQ(getTunBpfCpPostFine(19), 15);
    for (uint32_t id : {43u, 61u, 46u})
        EXPECT_EQ(getAlarmInput(id), 1) << id;

    // Data set 3: PI 0x5201 + 3 and its texts, two words each, the first
    // character most significant.
    EXPECT_EQ(getPI(3), 0x5204);
    EXPECT_EQ(getStaticPS0(3, 0), 0x7461726eu); // "tarn"
    EXPECT_EQ(getStaticPS0(3, 1), 0x2076726cu); // " vrl"
    EXPECT_EQ(getDynPS1(3, 0), 0x72616469u);    // "radi"
    EXPECT_EQ(getDynPS1(3, 1), 0x6f312020u);    // "o1  "

    std::vector<std::pair<uint32_t, uint32_t>> cells = {{5, 11}, {24, 17}, {43, 12}, {42, 8}, {42, 41}};
    for (uint32_t item = 9; item <= 40; item++)
        cells.push_back({42, item});
    std::vector<uint32_t> v;
    ASSERT_EQ(readDbPoolCellsInChild(cells, &v), 0);
    EXPECT_EQ(v[0], 89500000u);
    EXPECT_EQ(v[1], 0x5204u);
    EXPECT_EQ(v[2], 190u);
    EXPECT_EQ(v[3], 0u);
    EXPECT_EQ(v[4], 0u);
    for (size_t k = 5; k < v.size(); k++)
        EXPECT_EQ(v[k], 0x7fffffffu) << cells[k].second;

    const UnitRegion& u = getSystemImage()->unit;
    EXPECT_EQ(u.infoUT, 41);
    EXPECT_EQ(u.infoFM, 11);
    EXPECT_EQ(u.infoFWCS, 0xffffffffu);
    EXPECT_EQ(u.unitWords[1], 23u);
}

TEST_F(ConfigDefaultsTest, TheMigrationAfterTheDefaultsRaisesTheMpxClockTolerance)
{
    EXPECT_EQ(readDbAreaCell(11, 31), 6u);
    applyConfigStepwise();
    std::vector<uint32_t> v;
    ASSERT_EQ(readDbPoolCellsInChild({{11, 31}}, &v), 0);
    EXPECT_EQ(v[0], 50u);
}

TEST_F(ConfigDefaultsTest, DataSetsComeFromThePresetsWorkingSetFirst)
{
    // Equalizer data set 2 is preset 1; 10 is preset 0.
    const ApEqSet& eq2 = ap().eq[2];
    const uint32_t freq1[] = {60, 170, 800, 2500, 8000, 10000};
    const int32_t gain1[] = {10, 0, 40, 40, 30, 50};
    const uint32_t q1[] = {150, 150, 70, 70, 100, 100};
    for (int b = 0; b < 6; b++) {
        EXPECT_EQ(eq2.band[b].freqC, freq1[b]) << b;
        EXPECT_EQ(static_cast<int32_t>(eq2.band[b].gain), gain1[b]) << b;
        EXPECT_EQ(eq2.band[b].qFactor, q1[b]) << b;
    }
    EXPECT_EQ(eq2.band[6].freqC, 0u);
    EXPECT_EQ(eq2.llShelving, 1);
    EXPECT_EQ(eq2.hShelving, 1);
    EXPECT_EQ(ap().eq[6].band[5].gain, static_cast<uint32_t>(-40)) << "preset 5";
    EXPECT_EQ(ap().eq[10].band[0].qFactor, 25u);
    EXPECT_EQ(ap().eq[10].llShelving, 0);

    // Compressor data set 6 is preset 5, set 9 is preset 8 (as preset 0).
    const ApCmpSet& cmp6 = ap().cmp[6];
    const int32_t th5[] = {-180, -210, -230, -240, -280};
    for (int b = 0; b < 5; b++) {
        EXPECT_EQ(cmp6.band[b].logTh, th5[b]) << b;
        EXPECT_EQ(cmp6.band[b].logKw, 180u);
        EXPECT_EQ(cmp6.band[b].linRt, 3000u);
        EXPECT_EQ(cmp6.band[b].minGainDec, 1u);
        EXPECT_EQ(cmp6.smoothing[b].attack, 5000u);
        EXPECT_EQ(cmp6.smoothing[b].release, 150000u);
    }
    EXPECT_EQ(cmp6.gainLogRef[0], -60);
    EXPECT_EQ(ap().cmp[9].band[4].linRt, 100u);
    EXPECT_EQ(ap().cmp[9].smoothing[0].attack, 1000000u);
    EXPECT_EQ(ap().cmp[9].band[0].logTh, 0);

    // Common data set 5 is common preset 4; set 6 is common preset 0.
    const ApCommonSet& c5 = ap().common[5];
    const uint8_t want5[] = {1, 1, 1, 7, 1, 1, 0, 1, 0, 4, 0, 4};
    const uint8_t got5[] = {c5.on,         c5.eqOn,           c5.cmpOn,  c5.limGainSel,
                            c5.limPostCpr, c5.eqPostCpr,      c5.limLev, c5.commonLoad,
                            c5.commonModified, c5.eqLoad,     c5.eqModified, c5.cmpLoad};
    EXPECT_EQ(std::vector<uint8_t>(got5, got5 + 12), std::vector<uint8_t>(want5, want5 + 12));
    EXPECT_EQ(ap().common[4].limLev, 5) << "common preset 3";
    EXPECT_EQ(ap().common[6].on, 0);
    EXPECT_EQ(ap().common[6].limLev, 1);
}

TEST_F(ConfigDefaultsTest, GeneratedPresetTablesHoldTheDocumentedValues)
{
    EXPECT_EQ(kApEqPresets[2].freq[0], 100);
    EXPECT_EQ(kApEqPresets[2].gain[5], 60);
    EXPECT_EQ(kApEqPresets[3].q[4], 150);
    EXPECT_EQ(kApEqPresets[3].shelvingLow, 0);
    EXPECT_EQ(kApEqPresets[3].shelvingHigh, 1);
    EXPECT_EQ(kApEqPresets[8].freq[4], 3600);
    EXPECT_EQ(kApCmpPresets[4].threshold[3], -210);
    EXPECT_EQ(kApCmpPresets[4].gainRef[0], -60);
    EXPECT_EQ(kApCmpPresets[2].knee, 80);
    EXPECT_EQ(kApCmpPresets[7].ratio, 100);
    EXPECT_EQ(kApCmpPresets[7].release, 1000000);
    const uint8_t common3[12] = {1, 1, 1, 7, 1, 1, 5, 1, 0, 3, 0, 3};
    EXPECT_EQ(memcmp(kApCommonPresets[3], common3, 12), 0);
    EXPECT_EQ(kApEqBandDefaultFreq[3], 1300);
    EXPECT_EQ(AP_EQ_BAND_DEFAULT_Q, 25);
}

} // namespace
