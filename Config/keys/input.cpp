// The input region's hand-written operations: language and locale, the input
// configurations and the routing and output-matrix words they drive.
#include "Config/keys/inputKeys.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/system.h"
#include "Config/keys/systemKeys.h"
#include "audio/audioProcessor.h"
#include "audio/inputRouting.h"
#include "audio/secondCore.h"
#include "core/base/logs.h"
#include "hw/boardIo.h"
#include "hw/fpgaWindows.h"

#include <cstdio>

namespace {

// FPGA region of the digital MPX source word.
constexpr uint8_t kMpxDigSrcRegion = 8;
// The digital MPX source that needs no audio-core reset.
constexpr uint32_t kMpxDigSrcNoReset = 3;
// The FM receiver as MPX or AUX source.
constexpr uint32_t kSourceFmReceiver = 4;
constexpr double kTsRateFactor = 3.2958984375;

const char* const kSwitchModes[] = {"Manual", "Auto", "AutoPref"};

InputRegion& input()
{
    return getSystemImage()->input;
}

bool hwReady()
{
    return getHwReady() == 1;
}

// Stores a changed two-character code and marks its group (the code has no
// cell to publish).
void storeCode(const CfgKeyDesc* row, uint8_t* field, const char* code)
{
    field[0] = static_cast<uint8_t>(code[0]);
    field[1] = static_cast<uint8_t>(code[1]);
    cfgMark(row);
}

void readCode(uint8_t* field, const char* fallback, char* out)
{
    if (field[0] == 0 && field[1] == 0) {
        field[0] = static_cast<uint8_t>(fallback[0]);
        field[1] = static_cast<uint8_t>(fallback[1]);
    }
    out[0] = static_cast<char>(field[0]);
    out[1] = static_cast<char>(field[1]);
}

void logInputCfg(const char* which, uint32_t code)
{
    const char* name = code < INPUT_CFG_COUNT ? getInputCfgName(code) : "Disabled";
    logInfo("Input %s: %s", which, name);
    eventLogOnly(LVL_INFO, "Input %s: %s", which, name);
}

// The four matrix words through their setters.
void applyMatrixWords(const uint32_t matrix[MATRIX_WORDS])
{
    setMatrixLMpx(matrix[MATRIX_L_MPX]);
    setMatrixRAux(matrix[MATRIX_R_AUX]);
    setMatrixDigAux(matrix[MATRIX_DIG_AUX]);
    setMatrixConfig(matrix[MATRIX_PORT_CFG]);
}

// The routing and matrix vectors in force, read back from their words, so
// that the words a code does not write keep their values.
void currentVectors(uint32_t routing[ROUTE_WORDS], uint32_t matrix[MATRIX_WORDS])
{
    routing[ROUTE_MPX_CH_SRC] = getMpxChSrc();
    routing[ROUTE_AUX_CH_SRC] = getAuxChSrc();
    routing[ROUTE_AES_EBU_SEL] = getInputCfg();
    routing[ROUTE_AUDIO_TYPE] = getAudioType();
    routing[ROUTE_AUDIO_MONO] = getAudioMono();
    routing[ROUTE_RIGHT_INPUT_OFF] = getRouteWord5();
    routing[ROUTE_MPX_DIG_SRC] = getMpxDigSrc();
    routing[ROUTE_MPX_DIG_INS] = getMpxDigIns();
    matrix[MATRIX_L_MPX] = getMatrixLMpx();
    matrix[MATRIX_R_AUX] = getMatrixRAux();
    matrix[MATRIX_DIG_AUX] = getMatrixDigAux();
    matrix[MATRIX_PORT_CFG] = input().matrixConfig;
}

// The configuration that is not on air: its standby routing and its MPX
// digital source word.
void holdAsStandby(uint32_t code)
{
    applyInputRouting(code);
    uint32_t routing[ROUTE_WORDS], matrix[MATRIX_WORDS];
    currentVectors(routing, matrix);
    getInputRoutingMap(code, routing, matrix);
    setMpxDigSrc(routing[ROUTE_MPX_DIG_SRC]);
}

// The backup input translated into the secondary configuration, with the
// matrix selects of its code.
void retranslateBackup()
{
    uint32_t code = getInputMatrixCode(getInputBackup(), getInputBackupRds());
    setSecondaryInputCfg(code);
    uint32_t routing[ROUTE_WORDS], matrix[MATRIX_WORDS];
    currentVectors(routing, matrix);
    getInputRoutingMap(code, routing, matrix);
    setMatrixLMpx(matrix[MATRIX_L_MPX]);
    setMatrixRAux(matrix[MATRIX_R_AUX]);
    setMatrixDigAux(matrix[MATRIX_DIG_AUX]);
}

bool locked(int32_t v)
{
    return (v & 1) != 0;
}

} // namespace

// ---- Language and locale ----

void setLanguage(const char* code)
{
    if (code == nullptr)
        return;
    uint8_t* f = input().language;
    if (f[0] != static_cast<uint8_t>(code[0]) || f[1] != static_cast<uint8_t>(code[1]))
        storeCode(KEYROW(Language), f, code);
}

void setLocale(const char* code)
{
    if (code == nullptr || code[1] == 0)
        return;
    uint8_t* f = input().locale;
    if (f[0] != static_cast<uint8_t>(code[0]) || f[1] != static_cast<uint8_t>(code[1]))
        storeCode(KEYROW(Locale), f, code);
}

void getLanguage(char* out)
{
    readCode(input().language, "en", out);
}

void getLocale(char* out)
{
    readCode(input().locale, "us", out);
}

// ---- Input configurations ----

void setOutputConfiguration(uint32_t code)
{
    const CfgKeyDesc* row = KEYROW(OutputConfiguration);
    if (cfgStore(row, 0, code) != 1)
        return;
    cfgPublish(row, 0);
    logInputCfg("Primary", code);
    if (getActiveInput() != 0)
        holdAsStandby(code);
    else
        setOutputCfg(code);
    cfgMark(row);
}

void cfgHandSet_OutputConfiguration(uint32_t, uint32_t v)
{
    setOutputConfiguration(v);
}

void setSecondaryInputCfg(uint32_t code)
{
    if (cfgStore(KEYROW(SecondaryInputCfg), 0, code) != 1)
        return;
    logInputCfg("Secondary", code);
    if (getActiveInput() != 1)
        holdAsStandby(code);
    else
        setOutputCfg(code);
}

void setOutputCfg(uint32_t code)
{
    const CfgKeyDesc* row = KEYROW(OutputCfgCode);
    if (getOutputCfgCode() != code) {
        printf("set output cfg %u\n", code);
        uint32_t routing[ROUTE_WORDS], matrix[MATRIX_WORDS];
        currentVectors(routing, matrix);
        getInputRoutingMap(code, routing, matrix);
        cfgStore(row, 0, code);
        setMpxChSrc(routing[ROUTE_MPX_CH_SRC]);
        setMpxDigIns(routing[ROUTE_MPX_DIG_INS]);
        setMpxDigSrc(routing[ROUTE_MPX_DIG_SRC]);
        setAuxChSrc(routing[ROUTE_AUX_CH_SRC]);
        setInputCfg(routing[ROUTE_AES_EBU_SEL]);
        setAudioType(routing[ROUTE_AUDIO_TYPE]);
        setAudioMono(routing[ROUTE_AUDIO_MONO]);
        setRouteWord5(routing[ROUTE_RIGHT_INPUT_OFF]);
        setRdsOutputEnable(routing[ROUTE_AUX_CH_SRC] == 1 ? 1 : 0);
        applyMatrixWords(matrix);
        cfgPublish(row, 0);
    }
    if (hwReady())
        applyOutputMatrix();
}

void applyInputRouting(uint32_t code)
{
    if (cfgStore(KEYROW(StandbyInputRoute), 0, code) == 1) {
        uint32_t flags[INPUT_FLAGS] = {};
        getMatrixEnableVector(code, flags);
        setInputRouteSelA(getMatrixSelector(flags));
        setInputRouteFlagB(isSpecialInputCode(code));
        uint32_t routing[ROUTE_WORDS], matrix[MATRIX_WORDS];
        currentVectors(routing, matrix);
        getInputRoutingMap(code, routing, matrix);
        applyMatrixWords(matrix);
    }
    if (hwReady())
        applyOutputMatrix();
}

void applyOutputMatrix()
{
    uint32_t l = getMatrixLMpx() & 1, r = getMatrixRAux() & 1, d = getMatrixDigAux() & 1;
    uint32_t code = l | r << 1 | d << 2;
    printf("L/MPX=%u | R/AUX=%u | DIG/AUX=%u [mtx_cfg=0x%X]\n", l, r, d, code);
    writeOutputMatrixHw(static_cast<uint8_t>(code));
}

void setInputBackup(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(InputBackup);
    if (cfgStore(row, 0, v) == 1) {
        retranslateBackup();
        cfgPublish(row, 0);
        cfgMark(row);
    }
    if (hwReady())
        applyOutputMatrix();
}

void cfgHandSet_InputBackup(uint32_t, uint32_t v)
{
    setInputBackup(v);
}

void setInputBackupRds(uint32_t v)
{
    const CfgKeyDesc* row = KEYROW(InputBackupRds);
    if (cfgStore(row, 0, v) != 1)
        return;
    if (getInputBackup() != 0) {
        retranslateBackup();
        if (hwReady())
            applyOutputMatrix();
    }
    cfgPublish(row, 0);
    cfgMark(row);
}

void cfgHandSet_InputBackupRds(uint32_t, uint32_t v)
{
    setInputBackupRds(v);
}

// ---- Other operations ----

void setTSRateKbps(uint32_t kbps)
{
    setTSRateOut(static_cast<uint32_t>(kbps * kTsRateFactor));
    markConfigChanged(CONFIG_GROUP_MISC);
}

uint16_t getTSRateKbps()
{
    // No rate while the time is being synchronised from GPS or PPS.
    uint32_t source = getSystemTimeSource();
    if ((source == 1 || source == 2) && getTimeSyncFlag() == 1)
        return 0;
    return static_cast<uint16_t>(static_cast<uint32_t>(getTSRateOut() / kTsRateFactor));
}

void setAudioCoreRunning(uint32_t on)
{
    if (on != 0) {
        AMP_StartBareMetal(1);
        AMP_PulseFpgaReset();
    } else {
        AMP_StartBareMetal(0);
    }
}

void evaluateGatedOutput()
{
    uint32_t result = getGatedOutputCfg();
    if (getOutFifoAlm() == 1 || !locked(getPllRfLocked()) || !locked(getPllAudioLocked()) ||
        !locked(getAudioVcxoValidSt())) {
        result = 0;
    } else if ((getMpxChSrc() == kSourceFmReceiver || getAuxChSrc() == kSourceFmReceiver) &&
               !locked(getFmRecvPllLock())) {
        result = 0;
    }
    setGatedOutput(result);
}

// ---- Hooks of the rows ----

void copyInputRx(uint32_t, uint32_t value, uint32_t)
{
    setInputRouteFlag(value);
}

void logInputSwitchMode(uint32_t, uint32_t value, uint32_t)
{
    const char* mode = value < 3 ? kSwitchModes[value] : "Auto";
    logInfo("InputSwitchMode: %s", mode);
    eventLogOnly(LVL_INFO, "InputSwitchMode: %s", mode);
}

void applyAudioLeftTerm(uint32_t, uint32_t value, uint32_t)
{
    setAudioLeftTerm(static_cast<uint8_t>(value));
}

void applyAudioRightTerm(uint32_t, uint32_t value, uint32_t)
{
    setAudioRightTerm(static_cast<uint8_t>(value));
}

void applyRdsTerm(uint32_t, uint32_t value, uint32_t)
{
    setAudioRdsTerm(static_cast<uint8_t>(value));
}

void applyMpxDigTerm(uint32_t, uint32_t value, uint32_t)
{
    setMpxDigTerm(static_cast<uint8_t>(value));
}

void applyPpsTerm(uint32_t, uint32_t value, uint32_t)
{
    setPpsTerm(static_cast<uint8_t>(value));
}

void applyClipperProfile(uint32_t, uint32_t value, uint32_t)
{
    if (value == 1) {
        setClipperOrder(1);
        setClipperOvershoot(3);
        setClipperDecay(1);
    } else if (value == 2) {
        setClipperOrder(0);
    }
}

void pushCommonStage(uint32_t, uint32_t, uint32_t)
{
    AP_SetCommonStage(getSystemImage()->ap);
}

void publishCommonSwitches(uint32_t, uint32_t, uint32_t)
{
    dbUpdateApOn();
    dbUpdateApEqOn();
    dbUpdateApCmpOn();
    dbUpdateApLimGainSel();
}

void reapplyLevels(uint32_t, uint32_t, uint32_t)
{
    reapplyLevelOnFlag();
}

void rightInputChanged(uint32_t, uint32_t, uint32_t)
{
    updateRightChannelGain();
    if (hwReady())
        AP_SetEqualizer(getSystemImage()->ap);
}

void mpxDigSrcChanged(uint32_t, uint32_t value, uint32_t)
{
    uint32_t word = value * 2;
    fpgaWriteWords(&word, 1, 2, kMpxDigSrcRegion, 0);
    if (hwReady() && value != kMpxDigSrcNoReset)
        AMP_PulseFpgaReset();
}

void applyMatrixDigAux(uint32_t, uint32_t value, uint32_t)
{
    setAesEbuRdsSel((value & 1) == 0 ? 1 : 0);
    setTsAesEbuSel(0);
}

void applyMatrixConfig(uint32_t, uint32_t value, uint32_t)
{
    configOutputMatrixHw(static_cast<uint8_t>(value & 255));
}

void outFlagChanged(uint32_t, uint32_t, uint32_t)
{
    updatePilotOutputCode();
}

void evaluateGatedOutputHook(uint32_t, uint32_t, uint32_t)
{
    evaluateGatedOutput();
}
