// The default configuration: every item of the system image gets its factory
// default, through its setter wherever it has one (so that it is published
// and marked), before the EEPROM record and the XML files are read.
#include "Config/configDefaults.h"

#include "Config/keys/apPresets.h"
#include "Config/configCycle.h"
#include "Config/keyTable.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/gsmKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/mpxIpKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "audio/byteOrder.h"
#include "audio/fmRxMonitor.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"

#include <cstring>

namespace {

// FWC of the information string: the unit's part number.
constexpr uint32_t kPartNumber = 0;

constexpr int kRdsDataSets = 7;
constexpr int kUecpSlots = 10;
constexpr int kAlterSeqGroups = 32;

void unitDefaults()
{
    UnitRegion& u = getSystemImage()->unit;
    u.infoUT = 41;
    u.infoST = 1;
    u.infoFM = 11;
    u.infoFWV = 2;
    u.infoFWR = 0;
    u.infoFWB = 2;
    u.infoFWC = kPartNumber;
    u.infoFWE = 0;
    u.infoFWCS = 0xffffffffu;
    u.unitWords[0] = 2;
    u.unitWords[1] = 23;
    u.unitWords[2] = 10;
}

void networkAndFactoryDefaults()
{
    NetworkRegion& n = getSystemImage()->net;
    memset(getUnitInfo() + 14, 0, 12);
    memset(n.frontMacActive, 0, sizeof n.frontMacActive);
    memset(n.rearMacActive, 0, sizeof n.rearMacActive);
    memset(n.port0AddrActive, 0, sizeof n.port0AddrActive);
    memset(n.port1AddrActive, 0, sizeof n.port1AddrActive);
    setChan0GainNco(80);
    setClkPCml(15);
    setPSign(0);
    setClkNCml(15);
    setNSign(0);
    setQmDeltaNum(0);
    setRefPowerCalOffset(0);
    setNcoNbitSel(0);
    setPllMode(0);
    setLtcChargePump(7);
    setFpgaOutGainA_ddBu(0);
    setFpgaOutGainB_ddBu(0);
    setFpgaOutFormat(2);
}

void clockingDefaults()
{
    setNCOOffsetFineFreq(0);
    setClockingByteA(10);
    setClockingByteB(3);
    setNBit(5);
    setNClock(10);
    setKi(1);
    setKp(2);
    setKpH(0);
    setForceDacLevel(32768, 0);
}

void rfDefaults()
{
    setRfMuteState(0);
    setDriverPower(300, 0);
    setDriverPowerOffset(0);
    setPowerOffsetFine(0);
    setPowerOffsetFirstFreq(0);
    setPowerOffsetLastFreq(0);
    setPowerDynamicRange(100);
    setOutputRFfrequency(89500000, 0);
    setRfByte1(1);
    setApcScale(1024.0f);
    setLastValidVdac(3000);
    setNCOOffsetFineFreq(0);
    setRfByte3(0);
    setRfLoopFlag(1);
    setHpaByteP(1);
    setFwdPowerMuteThd(10);
    setHPSMngMode(0);
    setRestoreOffsetHpsVout(2000);
    setHpaCriticalTempLow(70);
    setHpaCriticalTempHigh(80);
}

void audioAlarmDefaults(void (*enable)(uint32_t), void (*threshold)(uint32_t), void (*delay)(uint32_t))
{
    enable(1);
    threshold(static_cast<uint32_t>(-20));
    delay(10);
}

void inputDefaults()
{
    setAudioLeftTermination(0);
    setAudioRightTerminationStatus(0);
    setRdsTerminationStatus(0);
    setPPSImpedance(0);
    setInputSwapTime(30);
    setInputBackup(14);
    setInputBackup(0);
    setInputPresAlmEnable(1);
    setInputPresAlmDelay(10);
    setInputPresAlmThreshold(4);
    setInputRx(1);
    setInputRxRds(0);
    setFmRxInputSel(3);
    setMpxDigMaxDeltaClock(6);
    audioAlarmDefaults(setTotAudioAlmEnable, setTotAudioAlmThreshold, setTotAudioAlmDelay);
    audioAlarmDefaults(setAudioLeftAlmEnable, setAudioLeftAlmThreshold, setAudioLeftAlmDelay);
    audioAlarmDefaults(setAudioRightAlmEnable, setAudioRightAlmThreshold, setAudioRightAlmDelay);
    audioAlarmDefaults(setAudioAuxAlmEnable, setAudioAuxAlmThreshold, setAudioAuxAlmDelay);
    audioAlarmDefaults(setAudioPilotAlmEnable, setAudioPilotAlmThreshold, setAudioPilotAlmDelay);
    for (uint32_t side = 0; side < MPXIP_SIDES; side++) {
        setRxNetmask(side, 0xFFFFFF00u);
        for (uint32_t e = 0; e < MPXIP_ENTRIES; e++)
            setRxEnable(side, e, 0);
    }
}

void levelDefaults()
{
    setPreEnphasisEn(1);
    setAudioEqFlag(1);
    setMpxOptionA(1);
    setMpxOptionB(1);
    setAutoLevelScale(0);
    setLevelReferenceAnl(120);
    setLevelReferenceDig(0);
    setRdsDevHz(7500);
    setPilotDevHz(7500);
    setLevelPilotPercentage(100);
    setLevelLeft_dBFS(0);
    setLevelLeftOffset_dBFS(0);
    setLevelRight_dBFS(0);
    setLevelRightOffset_dBFS(0);
    setLevelLeft_dBu(120);
    setLevelLeftOffset_dBu(0);
    setLevelRight_dBu(120);
    setLevelRightOffset_dBu(0);
    setLevelMpx_dBu(120);
    setLevelMpx2_dBu(120);
    setLevelMpxOffset_dBu(0);
    setLevelMpx2Offset_dBu(0);
    setLevelCodDigMpx_dBFS(0);
    cfgApplyDefault(KEYROW(DigMpxGain)); // 0.6095
    setLevelMpxDigOffset_dBFS(0);
    setLevelRxOffset_dB(0);
    setLevelRxSnrOffset_dB(0);
    setRdsExternalLevel_dBu(120);
    setRdsExternalLevelOffset_dBu(0);
    setRdsInternalLevelPercentage(100);
    setClipperOvershoot(2);
    setClipperDeviationLimiter(75);
    setClipperOrder(0);
}

void outputDefaults()
{
    setFrequencyDeviation(75);
    setRelativeFreqDev(100);
    setRelativeDevLimit(100);
    setAudioOutFlagA(0);
    setAudioOutFlagB(0);
    setOutputCfg(22);
    for (uint32_t side = 0; side < MPXIP_SIDES; side++) {
        for (uint32_t e = 0; e < MPXIP_ENTRIES; e++) {
            setTxEnable(side, e, 0);
            setTxNumberOfPacketInEthernetPacket(side, e, 7);
            setTxTTL(side, e, 10);
        }
    }
    // The band-pass fine tables, band by band.
    cfgApplyDefault(KEYROW(TunBpfCpPreFine));
    cfgApplyDefault(KEYROW(TunBpfCpPostFine));
    cfgApplyDefault(KEYROW(TunBpfCsVeryFine));
}

void rdsDefaults()
{
    setUECPInterface(0);
    setUECPInterfaceBaudrate(1);
    for (uint32_t slot = 1; slot <= kUecpSlots; slot++) {
        setUECPSiteAddrEna(slot, slot == 1 ? 1 : 0);
        setUECPEncoderAddrEna(slot, slot == 1 ? 1 : 0);
        setUECPSiteAddr(slot, 0);
        setUECPEncoderAddr(slot, 0);
    }
    setCurrentRDSDSN(1);
    setStandbyRDSDSN(1);
    setRegionalDSN(5);
    setEON(0);
    setTaFromTlc(1);
    setCustomPS(1);
    setCustomPI(1);
    setCustomDI(1);
    setCustomTP(1);
    setCustomTA(1);
    setCustomMS(1);
    setCustomCT(1);
    setCustomPTY(1);
    setCustomPTYN(1);
    setCustomAF(1);
    setCustomRT(0);
    setCustomECC(1);
    setCustomLanguage(1);
    // The data sets: their rows' defaults (DSN and PSN d + 1, PI 0x5201 + d,
    // the texts "tarn dsn", "tarn vrl" and "radio1  " .. "radio5  ").
    const CfgKeyDesc* const dataSetRows[] = {
        KEYROW(DSN),    KEYROW(DataSetName), KEYROW(PSN),  KEYROW(PST),  KEYROW(StaticPS0),
        KEYROW(DynPS1), KEYROW(DynPS2),      KEYROW(DynPS3), KEYROW(DynPS4), KEYROW(DynPS5),
        KEYROW(DynPSFreq), KEYROW(PI),       KEYROW(PIN),  KEYROW(DI),   KEYROW(TP),
        KEYROW(TA),     KEYROW(MS),          KEYROW(CT),   KEYROW(PTY),  KEYROW(AFM),
        KEYROW(AFN),    KEYROW(TF),          KEYROW(RadioTextFlag), KEYROW(LSN), KEYROW(LA),
        KEYROW(EGI),    KEYROW(ILS),         KEYROW(ECC),  KEYROW(LanguageCode),
    };
    for (const CfgKeyDesc* row : dataSetRows)
        cfgApplyDefault(row);
    for (uint32_t d = 0; d < kRdsDataSets; d++) {
        for (uint32_t p = 0; p < 4; p++)
            setRdsSequenceEntry(d, p, 0xffffffffu);
        for (uint32_t g = 0; g < kAlterSeqGroups; g++) {
            setRdsAlterSeqEntry(d, g, 0, 0xffffffffu);
            setRdsAlterSeqEntry(d, g, 1, 0xffffffffu);
        }
        for (uint32_t k : {2u, 28u}) {
            setRdsVarCodeSeqEntry(d, k, 0, 0xffffffffu);
            setRdsVarCodeSeqEntry(d, k, 1, 0xffffffffu);
        }
        for (uint32_t e = 0; e < 6; e++)
            setDataSetEONText(d, e, 0);
    }
}

void gsmDefaults()
{
    setGSMSmsAlarmsEna(0);
    setGSMPinEna(0);
    setGSMRoamingEna(0);
    setGSMPin(0, 0);
    setGSMPin(0, 0);
    setGSMMaxSmsDay(1000);
    setGSMMaxSmsHour(100);
    setGSMAdminSmsSupervisorEna(1);
    cfgApplyDefault(KEYROW(GsmOperatorName)); // "NO SERVICE"
    setGsmRegistration(0);
    setGsmSignalQuality(99);
}

template <class Set>
void publishNames(Set* sets, uint32_t count, uint8_t section)
{
    // Stored set n (the working set comes first) has cells 4n + 1 .. 4n + 4.
    for (uint32_t n = 0; n + 1 < count; n++) {
        Set& set = sets[n + 1];
        unpackU32x4BE(set.nameBytes, set.name);
        for (uint32_t k = 0; k < 4; k++)
            setDbAreaCell(section, 4 * n + k + 1, set.name[k]);
    }
}

void audioProcessorDefaults()
{
    set_ap_econ_default();
    for (uint32_t b = 0; b < AP_CMP_BANDS; b++) {
        setApCmpLogTh(b, 0);
        setApCmpLinRt(b, 100);
        setApCmpLogKw(b, 0);
        setApCmpMinGainDec(b, 0);
        setApGainLogRef(b, 0);
        setApSmoothingNRelease(b, 1000000);
        setApSmoothingNAttack(b, 1000000);
    }
    setApLimLev(1);
    setApLimByte(31);
    setApEqGain(0);
    for (uint32_t b = 0; b < AP_PRESET_EQ_BANDS; b++) {
        setApEqFreqC(b, static_cast<uint32_t>(kApEqBandDefaultFreq[b]));
        setApEqQFactor(b, AP_EQ_BAND_DEFAULT_Q);
        setApEqBandGain(b, 0);
    }

    // Data sets (the working set first) from the presets: 2..9 from presets
    // 1..8 and the others from preset 0; common sets 2..5 from common
    // presets 1..4.
    AudioProcessorBlock& ap = getSystemImage()->ap;
    for (int s = 0; s < AP_CMP_SETS; s++) {
        const ApCmpPreset& p = kApCmpPresets[s >= 2 && s <= 9 ? s - 1 : 0];
        ApCmpSet& set = ap.cmp[s];
        set = {};
        for (int b = 0; b < AP_CMP_BANDS; b++) {
            set.band[b].logTh = p.threshold[b];
            set.band[b].logKw = static_cast<uint32_t>(p.knee) & 0xffffu;
            set.band[b].linRt = static_cast<uint32_t>(p.ratio);
            set.band[b].minGainDec = static_cast<uint32_t>(p.minGainDec) & 0xffu;
            set.smoothing[b].attack = static_cast<uint32_t>(p.attack);
            set.smoothing[b].release = static_cast<uint32_t>(p.release);
            set.gainLogRef[b] = static_cast<int16_t>(p.gainRef[b]);
        }
    }
    for (int s = 0; s < AP_EQ_SETS; s++) {
        const ApEqPreset& p = kApEqPresets[s >= 2 && s <= 9 ? s - 1 : 0];
        ApEqSet& set = ap.eq[s];
        set = {};
        for (int b = 0; b < AP_PRESET_EQ_BANDS; b++) {
            set.band[b].freqC = static_cast<uint32_t>(p.freq[b]);
            set.band[b].gain = static_cast<uint32_t>(p.gain[b]);
            set.band[b].qFactor = static_cast<uint32_t>(p.q[b]);
        }
        set.llShelving = p.shelvingLow;
        set.hShelving = p.shelvingHigh;
    }
    for (int s = 0; s < AP_COMMON_SETS; s++) {
        const uint8_t* p = kApCommonPresets[s >= 2 && s <= 5 ? s - 1 : 0];
        ApCommonSet& set = ap.common[s];
        set = {};
        set.on = p[0];
        set.eqOn = p[1];
        set.cmpOn = p[2];
        set.limGainSel = p[3];
        set.limPostCpr = p[4];
        set.eqPostCpr = p[5];
        set.limLev = p[6];
        set.commonLoad = p[7];
        set.commonModified = p[8];
        set.eqLoad = p[9];
        set.eqModified = p[10];
        set.cmpLoad = p[11];
    }
    publishNames(ap.common, AP_COMMON_SETS, 59);
    publishNames(ap.eq, AP_EQ_SETS, 60);
    publishNames(ap.cmp, AP_CMP_SETS, 61);
}

void systemDefaults()
{
    setUartOverride(0);
    setUart1ConnSel(3);
    setUart1ConnSelB(3);
    setWebsRefreshTime(4);
    setWebTimerErrorTimeout(10);
    setSystemTimezoneID(190);
    setNTPPollIval(60);
    setDaylightSavingTime(0);
    cfgApplyDefault(KEYROW(UpgradeParam));
}

} // namespace

void initSystemImage()
{
    logInfo("initSystemImage -- Set default configuration");
    unitDefaults();
    networkAndFactoryDefaults();
    clockingDefaults();
    rfDefaults();
    inputDefaults();
    levelDefaults();
    outputDefaults();
    setNetMode(0);
    setFreqRef(1);
    setTimeRef(1);
    setRdsLevelCode(2048);
    rdsDefaults();
    gsmDefaults();
    audioProcessorDefaults();
    systemDefaults();
    setAlarmInput(43, 1);
    setAlarmInput(61, 1);
    setAlarmInput(46, 1);
    fmRx_Init();
    for (uint32_t item = 9; item <= 40; item++)
        setDbAreaCell(42, item, DB_NO_VALUE);
    markAllConfigChanged();
    logEnabled = 1;
}

void runInitSystemImage()
{
    initSystemImage();
}
