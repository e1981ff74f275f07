// The audio keys' setters with behaviour of their own: the digital MPX gain
// and MPX source words in the FPGA window, the input configurations and the
// output matrix, synchronised operation, the audio-processor sets and the
// audio alarms.
#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/system.h"
#include "Config/keys/systemKeys.h"
#include "audio/conversions.h"
#include "comtab/dbPool.h"
#include "hw/fpgaWindows.h"
#include "audio/audioProcessor.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

namespace {

constexpr uint64_t kDigMpxGainWord = 0xFF3003FC;
constexpr uint64_t kMpxDigSrcWord = 0xFF200084;

// The writes to the audio-processor windows since `mark`.
std::vector<SimApWrite> apWritesSince(uint32_t mark)
{
    std::vector<SimApWrite> out(kSimApLogSize);
    out.resize(static_cast<size_t>(simFpgaApLog(mark, out.data(), kSimApLogSize)));
    return out;
}

// The stage (type field) of the last control word written, -1 for none.
int lastStage(const std::vector<SimApWrite>& w)
{
    for (auto it = w.rbegin(); it != w.rend(); ++it)
        if (it->window == AP_WIN_CONTROL)
            return static_cast<int>(it->value >> 1 & 7);
    return -1;
}

uint32_t physWord(uint64_t phys)
{
    uint32_t v = 0xDEADDEAD;
    simFpgaRead(phys, &v);
    return v;
}

class AudioKeys : public SandboxTest {
protected:
    AudioKeys() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        clearConfigChanged();
        clearConfigLocked();
    }
    static std::string captureStdout(void (*fn)(uint32_t), uint32_t v)
    {
        testing::internal::CaptureStdout();
        fn(v);
        return testing::internal::GetCapturedStdout();
    }
};

// ---- Levels ----------------------------------------------------------------

TEST_F(AudioKeys, DigitalMpxGainGoesToTheFpgaOnceTheHardwareIsReadyAndOnlyWhenItChanged)
{
    ASSERT_EQ(initAxi(), 0);
    ASSERT_EQ(simFpgaWrite(kDigMpxGainWord, 0), 0);
    setLevelCodDigMpx_dBFS(static_cast<uint32_t>(-20));
    EXPECT_EQ(physWord(kDigMpxGainWord), 0u) << "written before the hardware was ready";
    EXPECT_EQ(getLevelCodDigMpx_dBFS(), -20);
    EXPECT_EQ(getDigMpxGain(), convDb200ToLinear(-23));
    EXPECT_EQ(readDbAreaCell(9, 36), static_cast<uint32_t>(-20));

    setHwReady(1);
    setLevelCodDigMpx_dBFS(static_cast<uint32_t>(-20)); // unchanged value: written all the same
    uint32_t want = std::bit_cast<uint32_t>(convDb200ToLinear(-23));
    EXPECT_EQ(physWord(kDigMpxGainWord), want);
    // The same gain again is not written again.
    ASSERT_EQ(simFpgaWrite(kDigMpxGainWord, 0x1234), 0);
    setLevelCodDigMpx_dBFS(static_cast<uint32_t>(-20));
    EXPECT_EQ(physWord(kDigMpxGainWord), 0x1234u);
    // Another gain is; the start-up re-apply writes the level's gain back.
    setDigMpxGain(0.5f);
    EXPECT_EQ(physWord(kDigMpxGainWord), std::bit_cast<uint32_t>(0.5f));
    reapplyLevelOnFlag();
    EXPECT_EQ(physWord(kDigMpxGainWord), want);
    closeAxi();
}

TEST_F(AudioKeys, MpxDigitalSourceWritesTwiceItsValueToTheFpga)
{
    ASSERT_EQ(initAxi(), 0);
    setMpxDigSrc(2);
    EXPECT_EQ(physWord(kMpxDigSrcWord), 4u);
    closeAxi();
}

TEST_F(AudioKeys, DeviationKeysKeepTheirPartnersAndPublishTheirCellsInOrder)
{
    setFrequencyDeviation(75);
    setRdsDevHz(0);
    EXPECT_EQ(getRdsInternalLevelPercentage(), convDivByDeviation(0));
    setRdsDevHz(7500);
    EXPECT_EQ(getRdsInternalLevelPercentage(), convDivByDeviation(7500));
    EXPECT_EQ(getRdsLevelCode(), convPercentToCode2194(convDivByDeviation(7500)));
    EXPECT_EQ(readDbAreaCell(9, 43), 7500u);
    EXPECT_EQ(readDbAreaCell(9, 12), convDivByDeviation(7500));

    clearConfigChanged();
    setRdsInternalLevelPercentage(50);
    EXPECT_EQ(getRdsDevHz(), convMulByDeviation(50));
    EXPECT_EQ(readDbAreaCell(9, 43), convMulByDeviation(50));
    EXPECT_EQ(getConfigChanged(), 0x10000u);
    // The level code sets the percentage, and publishes nothing.
    setRdsLevelCode(2048);
    EXPECT_EQ(getRdsInternalLevelPercentage(), 93);
    EXPECT_EQ(readDbAreaCell(9, 12), 50u);

    // The pilot: code and output code (gated by the audio output flags).
    setLevelPilotPercentage(100);
    EXPECT_EQ(getPilotCode(), 133);
    EXPECT_EQ(getPilotDevHz(), convMulByDeviation(100));
    EXPECT_EQ(getPilotLevelCode(), 0);
    setAudioOutFlagB(1);
    EXPECT_EQ(getPilotLevelCode(), 133);
    setPilotDevHz(15000);
    EXPECT_EQ(getLevelPilotPercentage(), convDivByDeviation(15000));
    EXPECT_EQ(readDbAreaCell(9, 13), convDivByDeviation(15000));
    EXPECT_EQ(getPilotLevelCode(), convPercentToCode133(convDivByDeviation(15000)));
    setPilotCode(133);
    EXPECT_EQ(getLevelPilotPercentage(), 100);
    EXPECT_EQ(isValidLevelPilotPercentage(201), 0);

    // The receiver gain follows its level.
    setLevelRx_dBu(static_cast<uint32_t>(-20));
    EXPECT_EQ(getLevelRxCode(), convDbToGain2048(-20));
}

TEST_F(AudioKeys, AesEbuCodeThreeCountsOnlyWithTheAlarmAndAlarmInputsFollowTheirWords)
{
    setAesEbuAlCode(3);
    EXPECT_EQ(getAesEbuAlCode(), 0u);
    setAesEbuAl(1);
    EXPECT_EQ(getAlarmInput(53), 1);
    setAesEbuAlCode(3);
    EXPECT_EQ(getAesEbuAlCode(), 3u);
    EXPECT_EQ(readDbAreaCell(12, 1), 3u);
    setAudioInputAlarm(0x101);
    EXPECT_EQ(getAlarmInput(39), 1);
    EXPECT_EQ(readDbAreaCell(10, 10), 0x101u);
    setAudioFilterErr(1);
    EXPECT_EQ(getAlarmInput(60), 1);
    setClipperInAction(1);
    EXPECT_EQ(getAlarmInput(52), 1);
    setOutFifoAlm(1);
    EXPECT_EQ(getAlarmInput(49), 1);
}

TEST_F(AudioKeys, RightChannelGainIsZeroWhileTheRightInputIsOff)
{
    setLevelRight_dBu(100);
    updateRightChannelGain();
    EXPECT_EQ(getRightChannelGain(), convDbToGain2048(100));
    setRouteWord5(1);
    EXPECT_EQ(getRightChannelGain(), 0);
}

// ---- Input configurations and the output matrix ---------------------------

TEST_F(AudioKeys, PrimaryConfigurationIsLoggedPutOnAirAndTheMatrixWrittenEachTime)
{
    setHwReady(1);
    std::string out = captureStdout(setOutputConfiguration, 22);
    EXPECT_EQ(count(book(), "Input Primary: Stereo_Analog"), 1u);
    EXPECT_EQ(count(eventLog(), "Input Primary: Stereo_Analog"), 1u);
    EXPECT_NE(out.find("set output cfg 22\n"), std::string::npos) << out;
    EXPECT_NE(out.find("L/MPX=0 | R/AUX=0 | DIG/AUX=0 [mtx_cfg=0x0]\n"), std::string::npos) << out;
    EXPECT_EQ(getOutputConfiguration(), 22u);
    EXPECT_EQ(getOutputCfgCode(), 22u);
    EXPECT_EQ(getAudioType(), 1u);
    EXPECT_EQ(readDbAreaCell(11, 11), 22u);
    EXPECT_EQ(readDbAreaCell(11, 18), 22u);
    EXPECT_EQ(getConfigChanged() & (0x40u | 0x100000u), 0x40u | 0x100000u);

    // The same code again: only the matrix line.
    out = captureStdout(setOutputCfg, 22);
    EXPECT_EQ(out, "L/MPX=0 | R/AUX=0 | DIG/AUX=0 [mtx_cfg=0x0]\n");

    // Routing words of another code, in force; the RDS input byte follows
    // the AUX source.
    captureStdout(setOutputConfiguration, 61);
    EXPECT_EQ(getMpxChSrc(), 5u);
    EXPECT_EQ(getAuxChSrc(), 3u);
    EXPECT_EQ(getMpxDigSrc(), 1u);
    EXPECT_EQ(getMpxDigIns(), 3u);
    EXPECT_EQ(getRouteWord5(), 1u);
    EXPECT_EQ(getMatrixRAux(), 1u);
    EXPECT_EQ(getMatrixDigAux(), 0u);
    EXPECT_EQ(getRdsOutputEnable(), 0);
    captureStdout(setOutputConfiguration, 26);
    EXPECT_EQ(getRdsOutputEnable(), 1);

    captureStdout(setOutputConfiguration, 63);
    EXPECT_EQ(count(book(), "Input Primary: Disabled"), 1u);
    EXPECT_EQ(count(eventLog(), "Input Primary: Disabled"), 1u);
}

TEST_F(AudioKeys, ConfigurationNotOnAirIsHeldAsTheStandbyRouting)
{
    setActiveInput(1); // the secondary is on air
    std::string out = captureStdout(setOutputConfiguration, 23);
    EXPECT_EQ(out.find("set output cfg"), std::string::npos) << out;
    EXPECT_EQ(getStandbyInputRoute(), 23u);
    EXPECT_EQ(getInputRouteSelA(), 2u); // the digital input
    EXPECT_EQ(getInputRouteFlagB(), 1u);
    EXPECT_EQ(getOutputCfgCode(), 0u);

    // The secondary is on air: its configuration goes to setOutputCfg.
    out = captureStdout(setSecondaryInputCfg, 24);
    EXPECT_NE(out.find("set output cfg 24"), std::string::npos);
    EXPECT_EQ(count(book(), "Input Secondary: Stereo_RxAudio"), 1u);
    EXPECT_EQ(getSecondaryConfiguration(), 24u);
    EXPECT_EQ(getOnAirInput(), 1u);
}

TEST_F(AudioKeys, BackupInputBecomesTheSecondaryConfiguration)
{
    setInputBackup(3);
    EXPECT_EQ(getSecondaryInputCfg(), 23u);
    EXPECT_EQ(readDbAreaCell(11, 15), 3u);
    setInputBackupRds(2);
    EXPECT_EQ(getSecondaryInputCfg(), 31u);
    EXPECT_EQ(count(book(), "Input Secondary: Stereo_Digital_RdsExt"), 1u);
    // The defaults' two calls leave no backup.
    setInputBackup(14);
    setInputBackup(0);
    EXPECT_EQ(getInputBackup(), 0u);
    EXPECT_EQ(getSecondaryInputCfg(), 63u);
}

TEST_F(AudioKeys, SwitchModeIsLoggedAndTheReceiverInputMirrored)
{
    setInputSwitchMode(2);
    EXPECT_EQ(count(book(), "InputSwitchMode: AutoPref"), 1u);
    EXPECT_EQ(count(eventLog(), "InputSwitchMode: AutoPref"), 1u);
    setInputSwitchMode(2);
    EXPECT_EQ(count(book(), "InputSwitchMode"), 1u);
    setInputRx(2);
    EXPECT_EQ(getInputRouteFlag(), 2u);
}

TEST_F(AudioKeys, ClipperProfileSetsItsClipperKeys)
{
    setClipperDeviationLimiter(75);
    setClipperProfile(1);
    EXPECT_EQ(getClipperOrder(), 1u);
    EXPECT_EQ(getClipperOvershoot(), 3);
    EXPECT_EQ(getClipperDecay(), 1u);
    setClipperProfile(2);
    EXPECT_EQ(getClipperOrder(), 0u);
    EXPECT_EQ(getClipperDecay(), 1u);
    EXPECT_EQ(readDbAreaCell(9, 24), 2u);
}

TEST_F(AudioKeys, LanguageAndLocaleKeepTwoCharactersAndDefaultWhenEmpty)
{
    char code[2];
    getLanguage(code);
    EXPECT_EQ(std::string(code, 2), "en");
    getLocale(code);
    EXPECT_EQ(std::string(code, 2), "us");
    clearConfigChanged();
    setLanguage("es");
    getLanguage(code);
    EXPECT_EQ(std::string(code, 2), "es");
    EXPECT_EQ(getConfigChanged(), 0x2000u);
    setLocale("i\0");   // no second character: ignored
    setLanguage(nullptr);
    getLocale(code);
    EXPECT_EQ(std::string(code, 2), "us");
}

TEST_F(AudioKeys, TransportRateConvertsKilobitsAndTheGatedOutputNeedsLockedPlls)
{
    setTSRateKbps(1000);
    EXPECT_EQ(getTSRateOut(), 3295u);
    EXPECT_EQ(getTSRateKbps(), 999);
    // While GPS or PPS time is being synchronised there is no rate.
    for (uint32_t source : {1u, 2u, 3u}) {
        setSystemTimeSource(source);
        setTimeSyncFlag(1);
        EXPECT_EQ(getTSRateKbps(), source == 3 ? 999 : 0) << source;
        setTimeSyncFlag(0);
        EXPECT_EQ(getTSRateKbps(), 999) << source;
    }

    setGatedOutputCfg(1);
    EXPECT_EQ(getGatedOutput(), 0u); // nothing locked
    setPllRfLocked(1);
    setPllAudioLocked(1);
    setAudioVcxoValidSt(1);
    evaluateGatedOutput();
    EXPECT_EQ(getGatedOutput(), 1u);
    setMpxChSrc(4); // the FM receiver: its PLL must be locked too
    evaluateGatedOutput();
    EXPECT_EQ(getGatedOutput(), 0u);
    setFmRecvPllLock(1);
    evaluateGatedOutput();
    EXPECT_EQ(getGatedOutput(), 1u);
    setOutFifoAlm(1);
    EXPECT_EQ(getGatedOutput(), 0u);
}

// ---- Synchronised operation -------------------------------------------------

TEST_F(AudioKeys, DelaysAreSplitAndTotalledAsAnotherProcessReadsThem)
{
    setAddedDelay(1000);
    EXPECT_EQ(getAddedDelaySamples(), 21u);
    EXPECT_EQ(getAddedDelayFine(), 46u);
    EXPECT_EQ(getPilotPhaseExtra(), 665u);
    EXPECT_EQ(getPilotPhaseWord(), convDegToPhaseWord(665 % 360));
    // The split is recomputed on every call, also for the same value.
    setAddedDelaySamples(0);
    setAddedDelay(1000);
    EXPECT_EQ(getAddedDelaySamples(), 21u);

    setInputDelay(20000);
    EXPECT_EQ(getInputDelayWord(), 16383u);
    EXPECT_EQ(getTotalDelay(), 29660u + 1000u);
    std::vector<uint32_t> seen;
    ASSERT_EQ(readDbPoolCellsInChild({{55, 6}, {55, 7}, {55, 8}}, &seen), 0);
    EXPECT_EQ(seen, (std::vector<uint32_t>{20000, 1000, 30660}));

    setPilPhOffs(100);
    EXPECT_EQ(getPilotPhaseWord(), convDegToPhaseWord((100 + 665) % 360));
    setTestSigDelay(1000);
    EXPECT_EQ(getTestSigDelayWord(), convHzToFtw(1000));
    setTestSigEna(1);
    EXPECT_EQ(getTestSigEnaCopy(), 1);
}

TEST_F(AudioKeys, NetworkModeTakesTheFrequencyReferenceOffFiveFirst)
{
    setFreqRef(5);
    clearConfigChanged();
    setDbAreaCell(55, 3, 0);
    setNetMode(1);
    EXPECT_EQ(getFreqRef(), 1u);
    EXPECT_EQ(readDbAreaCell(55, 3), 1u);
    EXPECT_EQ(readDbAreaCell(55, 1), 1u);
    EXPECT_EQ(getConfigChanged(), 0x10u);
    // Another reference is kept.
    setNetMode(0);
    setFreqRef(3);
    setNetMode(1);
    EXPECT_EQ(getFreqRef(), 3u);
}

TEST_F(AudioKeys, FrequencyReferenceSourceRoutesToTheFpgaWords)
{
    setFreqRefSource(3);
    EXPECT_EQ(getFreqRefFpgaSource(), 3u);
    EXPECT_EQ(readDbAreaCell(55, 5), 3u);
    setFreqRefSource(5);
    EXPECT_EQ(getFreqRefFpgaSource(), 0u);
    setAddedDelay(1000);
    setFreqRefSource(6);
    EXPECT_EQ(getFreqRefSource6Flag(), 1);
    EXPECT_EQ(getFreqRefFpgaSource(), 0u); // kept
    EXPECT_EQ(getTimeRef(), 8u);
    EXPECT_EQ(getTimeRefSource(), 6u);
    EXPECT_EQ(getTimeRefFpgaSource(), 6u);
    EXPECT_EQ(getPilotPhaseExtra(), 0u);
    EXPECT_EQ(readDbAreaCell(55, 2), 8u);
    setFreqRefSource(7);
    EXPECT_EQ(getFreqRefSource6Flag(), 0);

    setTimeRefLocked(2);
    EXPECT_EQ(getAlarmInput(46), 1);
    setTimeRefLocked(1);
    EXPECT_EQ(getAlarmInput(46), 0);
    const uint16_t words[4] = {1, 2, 3, 4};
    setRdsGroupBlocks(words);
    EXPECT_EQ(getRdsGroupBlock(3), 4);
    EXPECT_EQ(getRdsFpgaBlockWord(256 + 1), 2);
    EXPECT_EQ(getRdsFpgaBlockWord(4), 0);
}

// ---- Audio processor ---------------------------------------------------------

TEST_F(AudioKeys, ValueSettersWriteTheirStagesInTheirRowsOrder)
{
    ASSERT_EQ(initAxi(), 0);
    uint32_t mark = simFpgaApWrites();
    setApCmpOn(1);
    std::vector<SimApWrite> w = apWritesSince(mark);
    // Five strobed compressor frames (five writes each), then the control word.
    ASSERT_EQ(w.size(), 26u);
    EXPECT_EQ(w[0].value >> 1 & 7, AP_STAGE_CMPR);
    EXPECT_EQ(w[25].window, AP_WIN_CONTROL);
    EXPECT_EQ(w[25].value, 1u << 11);
    EXPECT_EQ(getConfigChanged(), 0x200000u);

    mark = simFpgaApWrites();
    setApCmpLogTh(2, 1234);
    w = apWritesSince(mark);
    ASSERT_EQ(w.size(), 25u);
    EXPECT_EQ(w[10 + 2].window, AP_WIN_WORD1); // band 2's word 1
    EXPECT_EQ(w[12].value & 0xFFFF, static_cast<uint16_t>(apGainLog2S(1234)));
    EXPECT_EQ(readDbAreaCell(57, 4 * 2 + 1), 1234u);

    // The same value writes nothing; a band beyond the family is refused.
    mark = simFpgaApWrites();
    setApCmpOn(1);
    setApCmpLogTh(5, 1);
    setApEqFreqC(7, 1);
    EXPECT_EQ(simFpgaApWrites(), mark);
    EXPECT_STREQ(getApCmpLogThKey(9), "ap_cmp_log_th_n");
    EXPECT_STREQ(getApCmpLogThKey(5), "ap_cmp_log_th_5");
    EXPECT_STREQ(getApEqFreqCKey(6), "ap_eq_freq_c_6");
    EXPECT_STREQ(getApEqFreqCKey(7), "ap_eq_freq_c_n");

    // Equalizer band 6 is stored and written, but leaves the shelving cells.
    setDbAreaCell(58, 20, 0xdead);
    setApEqFreqC(6, 5000);
    EXPECT_EQ(getApEqFreqC(6), 5000u);
    w = apWritesSince(mark);
    EXPECT_EQ(w.size(), 31u * 3);
    EXPECT_EQ(lastStage(w), static_cast<int>(AP_STAGE_EQUA));
    EXPECT_EQ(readDbAreaCell(58, 20), 0xdeadu);
    setApEqFreqC(5, 4000);
    EXPECT_EQ(readDbAreaCell(58, 17), 4000u);
}

TEST_F(AudioKeys, SavesAndLoadsOfStoredSets)
{
    ASSERT_EQ(initAxi(), 0);
    setApCmpLinRt(0, 300);
    saveApCmpSet(2);
    EXPECT_EQ(readDbAreaCell(57, 39), 2u);
    EXPECT_EQ(readDbAreaCell(57, 40), 2u);
    EXPECT_EQ(readDbAreaCell(57, 41), 0u);
    EXPECT_EQ(getSystemImage()->ap.cmp[3].band[0].linRt, 300u);

    // Loading the loaded, unmodified set does nothing.
    uint32_t mark = simFpgaApWrites();
    setDbAreaCell(57, 2, 0);
    setApCmpLoad(2);
    EXPECT_EQ(simFpgaApWrites(), mark);
    EXPECT_EQ(readDbAreaCell(57, 2), 0u);
    // Modified, it is loaded again.
    setApCmpLinRt(0, 500);
    setApCmpModified(1);
    mark = simFpgaApWrites();
    setApCmpLoad(2);
    EXPECT_EQ(getApCmpLinRt(0), 300u);
    EXPECT_EQ(readDbAreaCell(57, 2), 300u);
    EXPECT_EQ(getApCmpModified(), 0);
    // Compressor, time constants and limiter: 5, 5 and 3 strobed frames.
    std::vector<SimApWrite> w = apWritesSince(mark);
    ASSERT_EQ(w.size(), 13u * 5);
    EXPECT_EQ(w[0].value >> 1 & 7, AP_STAGE_CMPR);
    EXPECT_EQ(w[25].value >> 1 & 7, AP_STAGE_SMOO);
    EXPECT_EQ(w[50].value >> 1 & 7, AP_STAGE_GREF);

    // A set beyond the stored ones: only the save-set number.
    saveApEqSet(13);
    EXPECT_EQ(readDbAreaCell(57, 42), 13u);
    EXPECT_EQ(getApEqLoad(), 0);

    // A common set loads the equalizer and compressor sets it names first,
    // and keeps their modified items.
    setApEqGain(0x1fffa); // the low 16 bits, signed
    EXPECT_EQ(getApEqGain(), -6);
    EXPECT_EQ(readDbAreaCell(58, 1), static_cast<uint32_t>(-6));
    setApEqGain(7);
    saveApEqSet(4);
    setApOn(1);
    getSystemImage()->ap.common[0].eqLoad = 4;
    getSystemImage()->ap.common[0].cmpLoad = 2;
    saveApCommonSet(1);
    setApOn(0);
    setApEqGain(0);
    setApEqModified(1);
    setApCmpModified(1);
    setApCommonModified(1);
    setApCommonLoad(1);
    EXPECT_EQ(getApOn(), 1);
    EXPECT_EQ(getApEqGain(), 7);
    EXPECT_EQ(getApCommonLoad(), 1);
    EXPECT_EQ(getApEqModified(), 1);
    EXPECT_EQ(getApCmpModified(), 1);
    EXPECT_EQ(lastStage(apWritesSince(0)), static_cast<int>(AP_STAGE_CMPR));
    EXPECT_EQ(physWord(0xFF200B88) & 1, 1u); // ap_on in the control word
    // Beyond the stored common sets nothing is read.
    setApCommonLoad(200);
    EXPECT_EQ(getApCommonLoad(), 200);
    EXPECT_EQ(getApOn(), 1);
}

TEST_F(AudioKeys, SetNamesAreWordsWithAByteOrderCopy)
{
    setApEqName(4 * 2 + 1, 0x41424344);
    EXPECT_EQ(getApEqName(9), 0x41424344u);
    EXPECT_EQ(readDbAreaCell(60, 10), 0x41424344u);
    EXPECT_EQ(memcmp(getSystemImage()->ap.eq[3].nameBytes + 4, "ABCD", 4), 0);
    EXPECT_EQ(getConfigChanged(), 0x200000u);
    // Beyond the stored sets: nothing.
    std::vector<uint8_t> before(sizeof(SystemImage));
    memcpy(before.data(), getSystemImage(), before.size());
    setApCommonName(4 * 9, 1);
    setApCmpName(4 * 13 + 2, 1);
    EXPECT_EQ(memcmp(before.data(), getSystemImage(), before.size()), 0);
    EXPECT_EQ(getApCommonName(4 * 9), 0u);
}

TEST_F(AudioKeys, EconomyModeIsPushedWithTheBlock)
{
    ASSERT_EQ(initAxi(), 0);
    testing::internal::CaptureStdout();
    setApEconOn(1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Config/StrutturaDati set_ap_econ_on 4721: val:1\n");
    EXPECT_EQ(readDbAreaCell(58, 25), 1u);
    // The economy word follows the RF output event bit.
    EXPECT_EQ(physWord(0xFF200B98), 0u);
    setEventBit(1, 54);
    setApEconReference(3);
    EXPECT_EQ(physWord(0xFF200B98), 1u | 3u << 1);
    EXPECT_EQ(getConfigChanged(), 0x40u);
    setApEconRatio(2);
    testing::internal::CaptureStdout();
    set_ap_econ_default();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(getApEconOn(), 0);
    EXPECT_EQ(getApEconRatio(), 0);
    EXPECT_EQ(physWord(0xFF200B98), 0u);

    // A repeater has no economy mode: the request stores 0, says nothing and
    // pushes the word with the mode off.
    setApEconOn(1);
    setApEconReference(3);
    ASSERT_EQ(physWord(0xFF200B98), 1u | 3u << 1);
    setFunctionalType(10, 0);
    testing::internal::CaptureStdout();
    setApEconOn(1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(getApEconOn(), 0);
    EXPECT_EQ(physWord(0xFF200B98), 3u << 1);
}

// ---- Audio alarms ----------------------------------------------------------------

TEST_F(AudioKeys, AlarmRangesAndEnableLines)
{
    struct Case {
        int (*valid)(uint32_t);
        int32_t value;
        int ok;
    };
    const Case cases[] = {
        {isValidAudioLeftAlmThreshold, -3, 1},  {isValidAudioLeftAlmThreshold, -2, 0},
        {isValidAudioLeftAlmThreshold, -80, 1}, {isValidAudioLeftAlmThreshold, -81, 0},
        {isValidTotAudioAlmDelay, 4, 0},        {isValidTotAudioAlmDelay, 5, 1},
        {isValidTotAudioAlmDelay, 300, 1},      {isValidTotAudioAlmDelay, 301, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.valid(static_cast<uint32_t>(c.value)), c.ok) << c.value;

    setAudioLeftAlmEnable(1);
    EXPECT_EQ(count(book(), "Audio Left Alarm: Enable"), 1u);
    EXPECT_EQ(count(eventLog(), "Audio Left Alarm: Enable"), 1u);
    setAudioLeftAlmEnable(1);
    setAudioPilotAlmEnable(1);
    setTotAudioAlmEnable(0); // unchanged
    EXPECT_EQ(count(book(), "Alarm: "), 1u);
    setInputPresAlmEnable(1);
    setInputPresAlmEnable(0);
    EXPECT_EQ(count(eventLog(), "Input Presence Alarm: Disable"), 1u);

    setInputPresAlmThreshold(7);
    EXPECT_EQ(getInputPresThresholdA(), 7u);
    EXPECT_EQ(getInputPresThresholdB(), 7u);
    EXPECT_EQ(getInputPresThresholdC(), 7u);
    EXPECT_EQ(readDbAreaCell(11, 19), 7u);
}

} // namespace
