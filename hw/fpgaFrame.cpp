// The FPGA control frame builder: working values from the configuration,
// the matrix levels, then one pass over the field table.
#include "hw/fpgaFrame.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "audio/inputRouting.h"
#include "core/base/gain2048.h"
#include "core/base/logs.h"
#include "core/base/timeBase.h"
#include "core/base/utils.h"
#include "platform/clock.h"

#include <cmath>
#include <cstring>

uint32_t FpgaControlFrame[FPGA_CONTROL_FRAME_WORDS];

const FpgaFrameField kFpgaFrameFields[] = {
#define FRAME_FIELD(word, lo, width, input, shift) {word, lo, width, FI_##input, shift},
#include "hw/fpgaFrameFields.def"
#undef FRAME_FIELD
};
const int kFpgaFrameFieldCount = sizeof kFpgaFrameFields / sizeof kFpgaFrameFields[0];

namespace {

struct FrameState {
    // Timed modulation-off.
    bool modOffStarted = false;
    struct timespec modOffStamp = {};
    // Start-up pulse: 1 in the second frame built after process start.
    uint8_t pulsePhase = 0;
    uint8_t pulseDone = 0;
};

FrameState& st()
{
    static FrameState s;
    return s;
}

long absSeconds(const struct timespec& a, const struct timespec& b)
{
    long d = static_cast<long>(a.tv_sec - b.tv_sec);
    return d < 0 ? -d : d;
}

int16_t dB(int16_t level, int16_t offset)
{
    return static_cast<int16_t>(convDbToGain2048(static_cast<int16_t>(level + offset)));
}

int16_t att(int16_t level, int16_t offset)
{
    return static_cast<int16_t>(convAttToGain2048(static_cast<int16_t>(level + offset)));
}

// A level times a factor, rounded half away from zero, kept to 16 bits.
void scale(int16_t* level, double factor)
{
    *level = static_cast<int16_t>(static_cast<int64_t>(roundHalfAway(*level * factor)));
}

void scalePilot(uint8_t* pilot)
{
    *pilot = static_cast<uint8_t>(static_cast<int64_t>(roundHalfAway(*pilot * 100.0 / 90.0)));
}

// The level times 100/81 rounded to single precision, then times k.
void scale81(int16_t* level, double k)
{
    float t = static_cast<float>(*level * 100.0 / 81.0);
    *level = static_cast<int16_t>(static_cast<int64_t>(roundHalfAway(t * k)));
}

// trunc(float(v x 75.0) x 0.01 + 0.5): the product held in single precision.
uint32_t percentOf75(uint32_t v)
{
    float product = static_cast<float>(v * 75.0);
    return static_cast<uint32_t>(product * 0.01 + 0.5);
}

} // namespace

uint8_t fpgaOutputGainByte(int16_t ddBu)
{
    if (ddBu == 0)
        return 57;
    // Stored values are unchecked: hold the byte to its range instead of
    // keeping the low bits of a gain above 255.
    double g = std::trunc(255.0 * pow(10.0, (ddBu - 130) / 200.0));
    return static_cast<uint8_t>(g < 0 ? 0 : g > 255 ? 255 : g);
}

int16_t Fpga_MatrixLevelMain(const uint32_t* r, const uint32_t* s)
{
    if (s[0] == 1) {
        if (r[2] == 1)
            return att(getLevelLeft_dBFS(), getLevelLeftOffset_dBFS());
        if (getInputLeftLinePres() == 1)
            return dB(getLevelMpx_dBu(), getLevelMpxOffset_dBu());
        return 0;
    }
    if (r[2] == 1)
        return att(getLevelLeft_dBFS(), getLevelLeftOffset_dBFS());
    if (r[0] == 2)
        return dB(getLevelMpx_dBu(), getLevelMpxOffset_dBu());
    return dB(getLevelLeft_dBu(), getLevelLeftOffset_dBu());
}

int16_t Fpga_MatrixLevelSecond(const uint32_t* r, const uint32_t* s)
{
    if (s[1] == 1) {
        if (r[2] == 1)
            return att(getLevelRight_dBFS(), getLevelRightOffset_dBFS());
        return dB(getRdsExternalLevel_dBu(), getRdsExternalLevelOffset_dBu());
    }
    if (r[2] == 1)
        return att(getLevelRight_dBFS(), getLevelRightOffset_dBFS());
    if (r[0] == 3)
        return dB(getLevelMpx2_dBu(), getLevelMpx2Offset_dBu());
    return dB(getLevelRight_dBu(), getLevelRightOffset_dBu());
}

int16_t Fpga_MatrixLevelDigital(const uint32_t* r, const uint32_t*)
{
    if (r[0] != 5)
        return dB(getRdsExternalLevel_dBu(), getRdsExternalLevelOffset_dBu());
    if (r[7] != 3)
        return dB(getLevelMpx2_dBu(), getLevelMpx2Offset_dBu());
    return dB(getLevelMpxDigOffset_dBFS(), 85);
}

void Fpga_ComputeInputMatrix(int16_t* lMpx, int16_t* rAux, int16_t* digAux, int16_t* backupL, int16_t* backupR)
{
    uint32_t e1[6] = {}, e2[6] = {}, r1[8] = {}, s1[4] = {}, r2[8] = {}, s2[4] = {};
    getMatrixEnableVector(getOutputCfgCode(), e1);
    getMatrixEnableVector(getStandbyInputRoute(), e2);
    getInputRoutingMap(getOutputCfgCode(), r1, s1);
    getInputRoutingMap(getStandbyInputRoute(), r2, s2);
    *lMpx = *rAux = *digAux = *backupL = *backupR = 0;
    if (e1[0] || r1[2])
        *lMpx = Fpga_MatrixLevelMain(r1, s1);
    if (e1[1] || r1[2] || e1[3] || e1[4])
        *rAux = Fpga_MatrixLevelSecond(r1, s1);
    if (e1[2] || e1[3] || e1[4])
        *digAux = Fpga_MatrixLevelDigital(r1, s1);
    if (e2[0] || r2[2])
        *backupL = Fpga_MatrixLevelMain(r2, s2);
    else if (e2[1])
        *backupL = Fpga_MatrixLevelSecond(r2, s2);
    else if (e2[2] || e2[3] || e2[4])
        *backupL = Fpga_MatrixLevelDigital(r2, s2);
    if (r2[2] || (e2[1] && e2[0]))
        *backupR = Fpga_MatrixLevelSecond(r2, s2);
}

void Fpga_AutoLevelScaleA(int16_t* lMpx, int16_t* rAux, int16_t* digAux, uint8_t* pilotCode, uint16_t*)
{
    double p = getLevelPilotPercentage() / 10.0, r = getRdsInternalLevelPercentage() / 10.0;
    double k = (100.0 - p - r) / 100.0;
    switch (getOutputCfgCode()) {
    case 2:
        scale(lMpx, (100.0 - p) / 90.0);
        break;
    case 4:
        scalePilot(pilotCode);
        scale81(lMpx, k);
        break;
    case 6:
        scalePilot(pilotCode);
        scale81(lMpx, k);
        scale(rAux, r / 10.0);
        break;
    case 22:
    case 23:
        scale(lMpx, (100.0 - p) / 90.0);
        scale(rAux, (100.0 - p) / 90.0);
        break;
    case 26:
    case 27:
        scalePilot(pilotCode);
        scale81(lMpx, k);
        scale81(rAux, k);
        break;
    case 29:
    case 51:
        scale(lMpx, (100.0 - r) / 90.0);
        break;
    case 30:
    case 31:
        scalePilot(pilotCode);
        scale81(lMpx, k);
        scale81(rAux, k);
        scale(digAux, r / 10.0);
        break;
    case 32:
    case 52:
        scale(lMpx, (100.0 - r) / 90.0);
        scale(rAux, r / 10.0);
        break;
    case 49:
    case 54:
        scale(digAux, (100.0 - r) / 90.0);
        break;
    case 61:
    case 62:
        scale(digAux, (100.0 - r) / 90.0);
        scale(rAux, r / 10.0);
        break;
    default:
        break;
    }
}

void Fpga_AutoLevelScaleB(int16_t* lMpx, int16_t* rAux, int16_t* digAux, uint8_t* pilotCode, uint16_t*)
{
    constexpr double k90 = 100.0 / 90.0;
    switch (getOutputCfgCode()) {
    case 2:
    case 29:
    case 51:
        scale(lMpx, k90);
        break;
    case 4:
        scalePilot(pilotCode);
        scale81(lMpx, 1.0);
        break;
    case 6:
        scalePilot(pilotCode);
        scale81(lMpx, 1.0);
        scale(rAux, 10.0);
        break;
    case 22:
    case 23:
        scale(lMpx, k90);
        scale(rAux, k90);
        break;
    case 26:
    case 27:
        scalePilot(pilotCode);
        scale81(lMpx, 1.0);
        scale81(rAux, 1.0);
        break;
    case 30:
    case 31:
        scalePilot(pilotCode);
        scale81(lMpx, 1.0);
        scale81(rAux, 1.0);
        scale(digAux, 10.0);
        break;
    case 32:
    case 52:
        scale(lMpx, k90);
        scale(rAux, 10.0);
        break;
    case 49:
    case 56:
    case 58:
    case 60:
        scale(digAux, k90);
        break;
    case 54:
        scale(rAux, k90);
        break;
    case 61:
    case 62:
        scale(digAux, k90);
        scale(rAux, 10.0);
        break;
    default:
        break;
    }
}

void Fpga_PackFrame(const uint32_t inputs[FPGA_FRAME_INPUT_COUNT], uint32_t* frame)
{
    memset(frame, 0, FPGA_CONTROL_FRAME_WORDS * sizeof frame[0]);
    for (const FpgaFrameField& f : kFpgaFrameFields) {
        uint32_t mask = (1u << f.width) - 1;
        frame[f.word] |= ((inputs[f.input] >> f.shift) & mask) << f.lo;
    }
}

int Fpga_PrepareConfig(uint8_t mute, uint8_t modulationOff, uint8_t, uint8_t)
{
    FrameState& s = st();
    uint32_t in[FPGA_FRAME_INPUT_COUNT] = {};

    // 1-2. Working values and the output gain bytes.
    uint32_t autoScale = getAutoLevelScale();
    uint8_t pilot = getPilotLevelCode();
    uint16_t rdsLevel = getRdsLevelCode();
    in[FI_kpH] = getKpH();
    in[FI_gainA] = fpgaOutputGainByte(getFpgaOutGainA_ddBu());
    in[FI_gainB] = fpgaOutputGainByte(getFpgaOutGainB_ddBu());

    // 3. Pre-emphasis gate: closed while both measured inputs are quiet.
    in[FI_preEmphasisGate] =
        getMeasuredLeftLevel_dB() < -46 && getMeasuredRightLevel_dB() < -46 ? 0 : getPreEnphasisEn();

    // 4. Matrix levels.
    int16_t lMpx, rAux, digAux, backupL, backupR;
    Fpga_ComputeInputMatrix(&lMpx, &rAux, &digAux, &backupL, &backupR);
    if (autoScale == 1)
        Fpga_AutoLevelScaleA(&lMpx, &rAux, &digAux, &pilot, &rdsLevel);
    else if (autoScale == 0)
        Fpga_AutoLevelScaleB(&lMpx, &rAux, &digAux, &pilot, &rdsLevel);
    setMtxLMpxLevel(lMpx);
    setMtxRAuxLevel(rAux);
    setMtxDigAuxLevel(digAux);
    setMtxBackupLLevel(backupL);
    setMtxBackupRLevel(backupR);

    // 5. Timed modulation-off.
    if (uint32_t duration = getModulationOffSec()) {
        lMpx = rAux = digAux = 0;
        pilot = 0;
        rdsLevel = 0;
        if (!s.modOffStarted) {
            clockGetTime(CLOCK_MONOTONIC_RAW, &s.modOffStamp);
            s.modOffStarted = true;
        }
        if (absSeconds(getMonoTimeNow(), s.modOffStamp) > static_cast<long>(duration)) {
            setModulationOffSec(0);
            s.modOffStarted = false;
        }
    } else {
        s.modOffStarted = false;
    }

    // 6. Deviation and limiter.
    uint32_t mpxChSrc = getMpxChSrc(), clipper = getClipperStatus();
    if (mpxChSrc == 4) {
        in[FI_limiterEnable] = clipper == 0 ? 1 : clipper;
        in[FI_deviationLimitCode] = clipper == 0 ? 110 : percentOf75(getRelativeDevLimit());
        in[FI_deviationCode] = percentOf75(getRelativeFreqDev());
    } else {
        in[FI_limiterEnable] = clipper == 0 ? (getNetMode() == 1 ? 0 : 1) : clipper;
        in[FI_deviationLimitCode] = clipper == 0 ? 110 : getClipperDevLimitCode();
        in[FI_deviationCode] = getFrequencyDeviation();
    }

    // 7. Synchronised network operation.
    if (getNetMode() == 1) {
        in[FI_addedDelaySamples] = getAddedDelaySamples();
        in[FI_addedDelayFine] = getAddedDelayFine();
        in[FI_inputDelay] = getInputDelayWord();
        in[FI_kpH] = 1;
        if (getSynchroCtrlFlag17() != 0) {
            in[FI_syncInputGate] = 1;
        } else {
            switch (getOutputCfgCode()) {
            case 0:
            case 25:
            case 48:
            case 50:
            case 53:
                in[FI_syncInputGate] = getEventBit(getActiveInput() != 0 ? 77 : 76) ? 0 : 1;
                break;
            default:
                break;
            }
        }
    }

    // 8. Test signal.
    if (getTestSigEna() == 1) {
        in[FI_preEmphasisGate] = 0;
        in[FI_addedDelaySamples] = 0;
        in[FI_addedDelayFine] = 0;
    }

    // 9. Self-shutdown.
    if (getSelfShutdownPending() != 0) {
        long elapsed = absSeconds(getMonoTimeNow(), getSelfShutdownStamp());
        if (elapsed > 60)
            in[FI_selfShutdownExpired] = 1;
        if (elapsed > 54)
            logInfo("WARNING: Self Shutdown in %d sec", static_cast<int>(60 - elapsed));
    }

    // 10. Modulation off for this frame.
    if (modulationOff) {
        lMpx = rAux = digAux = 0;
        pilot = 0;
        rdsLevel = 0;
    }

    // 11. The rest of the working values, then the frame in word order.
    for (uint32_t i = 0; i < 4; i++)
        in[FI_rdsWord0 + i] = getRdsFpgaBlockWord(i);
    in[FI_rdsLevel] = rdsLevel;
    in[FI_carrierOn] = (mute & 1) == 0;
    in[FI_one] = 1;
    in[FI_lMpxLevel] = static_cast<uint16_t>(lMpx);
    in[FI_fpgaResetPulseFlag] = getFpgaResetPulseFlag();
    in[FI_variableAudioEqualizerStatus] = getVariableAudioEqualizerStatus();
    in[FI_rAuxLevel] = static_cast<uint16_t>(rAux);
    in[FI_rdsCtrlWord] = getRdsCtrlWord();
    in[FI_preEnphasisMode] = getPreEnphasisMode();
    in[FI_fpgaW8LowByte] = getFpgaW8LowByte();
    in[FI_clipperOrder] = getClipperOrder();
    in[FI_audioLeftTermination] = getAudioLeftTermination();
    in[FI_audioRightTerminationStatus] = getAudioRightTerminationStatus();
    in[FI_rdsTerminationStatus] = getRdsTerminationStatus();
    in[FI_mpxChSrc] = mpxChSrc;
    in[FI_audioPllResetFlag] = getAudioPllResetFlag();
    in[FI_fpgaControlBFlag] = getFpgaControlBFlag();
    in[FI_fpgaW9LowByte] = getFpgaW9LowByte();
    in[FI_nBit] = getNBit();
    in[FI_nClock] = getNClock();
    in[FI_freqRefIs7] = getFreqRefSource() == 7;
    in[FI_forceDacLevel] = getForceDacLevel();
    in[FI_fpgaControlCFlag] = getFpgaControlCFlag();
    in[FI_fpgaW10Bit17Flag] = getFpgaW10Bit17Flag();
    in[FI_kp] = getKp();
    in[FI_ki] = getKi();
    in[FI_pilotLevel] = pilot;
    in[FI_audioOutFlagA] = getAudioOutFlagA();
    in[FI_audioOutFlagB] = getAudioOutFlagB();
    in[FI_digAuxLevel] = static_cast<uint16_t>(digAux);
    in[FI_inputCfg] = getInputCfg();
    in[FI_audioEqFlag] = getAudioEqFlag();
    in[FI_levelRxCode] = getLevelRxCode();
    in[FI_audioType] = getAudioType();
    in[FI_rdsCtrlFlag] = getRdsCtrlFlag();
    in[FI_auxControlFlag] = getAuxControlFlag();
    in[FI_clipperDecay] = getClipperDecay();
    in[FI_clipperOvershootCode] = getClipperOvershootCode();
    in[FI_nCOOffsetFineFreq] = getNCOOffsetFineFreq();
    in[FI_audioMono] = getAudioMono();
    in[FI_auxChSrc] = getAuxChSrc();
    in[FI_mpxOptionA] = getMpxOptionA();
    in[FI_mpxOptionB] = getMpxOptionB();
    in[FI_mpxOptionC] = getMpxOptionC();
    in[FI_fpgaReprogramFlag] = getFpgaReprogramFlag();
    in[FI_fpgaOutSelect] = getFpgaOutSelect();
    in[FI_inputRouteFlag] = getInputRouteFlag();
    in[FI_freqRefFpgaSource] = getFreqRefFpgaSource();
    in[FI_unitWord8] = getUnitWord8();
    in[FI_unitWord8NoHpaReset] = getUnitWord8() == 1 && getHpaResetActive() == 0;
    in[FI_timeRefFpgaSource] = getTimeRefFpgaSource();
    in[FI_freqRefSource6Flag] = getFreqRefSource6Flag();
    in[FI_delMeasCmd] = getDelMeasCmd();
    in[FI_testSigEnaCopy] = getTestSigEnaCopy();
    in[FI_fpgaSyncPulseFlag] = getFpgaSyncPulseFlag();
    in[FI_testSigDelayWord] = getTestSigDelayWord();
    in[FI_inputPresThresholdA] = getInputPresThresholdA();
    in[FI_inputPresThresholdB] = getInputPresThresholdB();
    in[FI_pilotPhaseWord] = getPilotPhaseWord();
    in[FI_inputPresThresholdC] = getInputPresThresholdC();
    in[FI_ncoNbitSel] = getNcoNbitSel();
    in[FI_freqDevDouble] = getFreqDevDouble();
    in[FI_rxFreqDevHalf] = getRxFreqDevHalf();
    in[FI_qmDeltaNum] = getQmDeltaNum();
    in[FI_fmRxInputSel] = getFmRxInputSel();
    in[FI_mpxDigIns] = getMpxDigIns();
    in[FI_inputRouteSelA] = getInputRouteSelA();
    in[FI_inputRouteFlagB] = getInputRouteFlagB();
    in[FI_backupLLevel] = static_cast<uint16_t>(backupL);
    in[FI_mpxChSrcIs4] = mpxChSrc == 4;
    in[FI_backupRLevel] = static_cast<uint16_t>(backupR);
    in[FI_synchroCtrlFlag18] = getSynchroCtrlFlag18();
    in[FI_fskSignTrigger] = getFskSignTrigger();

    // 12. Start-up pulse.
    in[FI_startupPulse] = s.pulsePhase & 1;
    if (s.pulseDone == 0) {
        s.pulsePhase++;
        s.pulseDone++;
    } else {
        s.pulsePhase = 0;
    }

    Fpga_PackFrame(in, FpgaControlFrame);
    return 0;
}

void setAesRxResetA(uint8_t on)
{
    setFpgaSyncPulseFlag(on);
}

void setAesRxResetB(uint8_t on)
{
    setFpgaReprogramFlag(on);
}
