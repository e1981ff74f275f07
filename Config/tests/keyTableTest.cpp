// The key table: every row against the values its key is documented with
// (element name, width, default, range edges, change groups, DbPool cells),
// the element name rules, and the rows whose setters have behaviour of their
// own.
#include "Config/keys/keyIds.h"

#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/unitKeys.h"
#include "comtab/dbPool.h"
#include "testing/dbPoolReader.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

// ---- The documented values of every key ---------------------------------------
//
// Written by hand from the key descriptions, independent of the rows: a wrong
// element name, width, default, range, group or cell in a row makes the table
// tests below fail.

// How a value is held, in the words of the key descriptions.
enum KeyWidth : uint8_t {
    U8,             // byte
    U16,            // 16-bit
    S16,            // signed 16-bit
    U32,            // 32-bit
    S32,            // signed 32-bit word
    U32_LOW_BYTE,   // "32-bit holding v & 255", "32-bit (low byte kept)", "a byte in a 32-bit word"
    U32_LOW_16,     // "the low 16 bits of a 32-bit word"
    U32_READ_BYTE,  // 32-bit word whose accessors use its low byte
    IPV4,           // 32-bit, network byte order, published in host order
    BYTES6,         // six bytes
    TEXT256,        // a text of 256 bytes reached by address
};

enum CellForm : uint8_t { PLAIN, MAC_WORDS };

// The cell of element 0; element b of a family is `step` items further on
// ("(57, 4b+1)").
struct KeyCell {
    uint8_t section;
    uint8_t item;
    uint8_t form = PLAIN;
    uint8_t step = 0;
};

struct KeyRange {
    bool any = true;
    bool isSigned = false;
    int64_t lo = 0;
    int64_t hi = 0;
};

constexpr KeyRange upTo(int64_t hi) { return {false, false, 0, hi}; }
constexpr KeyRange between(int64_t lo, int64_t hi) { return {false, lo < 0, lo, hi}; }
constexpr KeyRange anyValue() { return {}; }

struct KeyFacts {
    const char* id;      // accessor stem: get<id>, set<id>
    const char* element; // XML element; nullptr for a status item
    KeyWidth width;
    uint16_t count;      // elements of an indexed family, 1 for an item
    KeyRange range;
    std::optional<int64_t> def;
    std::vector<uint32_t> groups;
    std::vector<KeyCell> cells;
    bool storesAlways = false;
};

const std::vector<KeyFacts>& documentedKeys()
{
    static const std::vector<KeyFacts> v = {
        // Unit region: the data-format word, version words, vendor id.
        {"VrlDataFormat", "VrlDataFormat", U32, 1, anyValue(), {}, {0x2000}, {}},
        {"VersionWord1", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionWord2", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionWord3", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionWord4", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionWord5", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionRef1", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionRef2", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionRef3", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionRef4", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VersionRef5", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VendorId", "vendor_id", U32_READ_BYTE, 1, upTo(4), {}, {0x2000}, {{16, 15}}},

        // Network: front and rear Ethernet ports.
        {"FrontEthernetIPAddress", "front_Ethernet_IP_address", IPV4, 1, anyValue(), {}, {0x2000}, {{18, 3}}},
        {"FrontEthernetIPNetmask", "front_Ethernet_IP_netmask", IPV4, 1, anyValue(), {}, {0x2000}, {{18, 4}}},
        {"FrontEthernetIPGateway", "front_Ethernet_IP_gateway", IPV4, 1, anyValue(), {}, {0x2000}, {{18, 5}}},
        {"FrontEthernetIPOldGateway", nullptr, IPV4, 1, anyValue(), {}, {}, {}},
        {"RearEthernetIPAddress", "rear_Ethernet_IP_address", IPV4, 1, anyValue(), {}, {0x2000}, {{18, 10}}},
        {"RearEthernetIPNetmask", "rear_Ethernet_IP_netmask", IPV4, 1, anyValue(), {}, {0x2000}, {{18, 11}}},
        {"RearEthernetIPGateway", "rear_Ethernet_IP_gateway", IPV4, 1, anyValue(), {}, {0x2000}, {{18, 12}}},
        {"RearEthernetIPOldGateway", nullptr, IPV4, 1, anyValue(), {}, {}, {}},
        {"RearEthernetAutoneg", "rear_Ethernet_Autoneg", U8, 1, anyValue(), {}, {0x2000}, {{18, 15}}},
        {"RearEthernetDuplex", "rear_Ethernet_Duplex", U8, 1, anyValue(), {}, {0x2000}, {{18, 16}}},
        {"RearEthernetSpeed", "rear_Ethernet_Speed", U8, 1, anyValue(), {}, {0x2000}, {{18, 17}}},
        // The network port address of the unit record: a big-endian word and
        // the last two bytes, into (37,5)-(37,6) and (44,19)-(44,20).
        {"NetworkPortAddress", nullptr, BYTES6, 1, anyValue(), {}, {}, {{37, 5, MAC_WORDS}, {44, 19, MAC_WORDS}}},

        // Clock loop, RF DAC level, audio DAC words.
        {"ClockingByteA", nullptr, U8, 1, anyValue(), 10, {0x10}, {{14, 6}}},
        {"ClockingByteB", nullptr, U8, 1, anyValue(), 3, {0x10}, {{14, 7}}},
        {"NClock", "n_clock", U8, 1, anyValue(), 10, {0x10}, {{14, 8}}},
        {"NBit", "n_bit", U8, 1, anyValue(), 5, {0x10}, {{14, 9}}},
        {"Ki", "Ki", U8, 1, anyValue(), 1, {0x10}, {{14, 10}}},
        {"Kp", "Kp", U8, 1, anyValue(), 2, {0x10}, {{14, 11}}},
        {"KpH", "KpH", U8, 1, anyValue(), 0, {0x10}, {{14, 12}}},
        {"DacLevelMode", "DacLevelMode", U32_LOW_BYTE, 1, upTo(1), {}, {0x10}, {{14, 18}}},
        {"FpgaControlCFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ForceDacLevel", "force_dac_level", U16, 1, anyValue(), 32768, {0x10}, {{14, 19}}},
        {"AudioDacResetWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioDacModeWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        // Two status bytes and five words without publish, and the 16-bit
        // status value.
        {"FskSignBusy", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FskSignTrigger", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"AudioPllResetFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaControlBFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaW10Bit17Flag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaW8LowByte", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaW9LowByte", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"IntegrOut", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"ExtOutputStageFitted", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"PllRfLocked", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"PllAudioLocked", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"AudioVcxoValidSt", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"FreqRefLocked", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"Ocxo100MhzLocked", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"FmRecvPllLock", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"AuxPllLocked", nullptr, S32, 1, anyValue(), {}, {}, {}},

        // Hardware codes and I2C status.
        {"PsuTypeCode", nullptr, U32_LOW_BYTE, 1, anyValue(), {}, {}, {{17, 19}}},
        {"I2cErrorCount", nullptr, U32, 1, anyValue(), {}, {}, {{13, 41}}},
        {"I2cFaultFlag", nullptr, U8, 1, anyValue(), {}, {}, {{13, 42}}},

        // Amplifier.
        {"HpaNomDrvPow", "HpaNomDrvPow", S16, 1, anyValue(), {}, {0x40000}, {}},
        {"HpaModelCode", nullptr, U32_LOW_BYTE, 1, anyValue(), {}, {}, {{17, 23}}},
        {"HpaDetected", nullptr, U8, 1, anyValue(), {}, {}, {{17, 16}}},
        {"HpaDisabled", nullptr, U8, 1, anyValue(), {}, {}, {{17, 17}}},
        {"HpaDrvCurrConvFactor", "HpaDrvCurrConvFactor", U32, 1, anyValue(), {}, {0x80000}, {{17, 26}}},

        // RF.
        {"OutputRFfrequency", "output_RFfrequency", U32, 1, anyValue(), 89500000, {0x8000, 0x100000}, {{5, 11}}},
        {"LastValidVdac", "last_valid_Vdac", U16, 1, anyValue(), 3000, {0x40000}, {}},
        {"LastValidHpsVout", "last_valid_HpsVout", U32, 1, anyValue(), 0, {0x40000}, {}},

        // Input: the output matrix's L/MPX select.
        {"MatrixLMpx", nullptr, U32, 1, anyValue(), {}, {}, {}},

        // System status fields.
        {"HwReady", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaStatusFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"NoExtPps", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"NoExt10MHz", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"NoExt19kHzSinus", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"NoExt19kHzSqWave", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RefEventWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"LinkEventWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"UsbKeyMounted", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"BoardInputA", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"BoardInputB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"SelfShutdownPending", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MdevProcState", nullptr, U32, 1, anyValue(), {}, {}, {}, true},
        {"NtpProcState", nullptr, U32, 1, anyValue(), {}, {}, {}, true},
        {"RefMaskWord", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"RefStateWord", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"RefValid", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MaskedFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"UpgradeRequest", nullptr, U32, 1, anyValue(), {}, {}, {{49, 1}, {50, 2}}},
        {"UpgradeParam", nullptr, U32, 1, anyValue(), 1, {}, {{50, 1}}},
        {"UpgradeStep", nullptr, U32, 1, anyValue(), {}, {}, {{49, 11}, {50, 10}}},
        {"UpgradeProgress", nullptr, U8, 1, anyValue(), {}, {}, {{50, 11}}},
        {"PortWord", nullptr, U32, 2, anyValue(), {}, {}, {}},
        {"StandardType", "standard_type", U32, 1, anyValue(), {}, {0x40}, {}},
        {"NtpDateError", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"NTPNameServer", "NTP_name_server", TEXT256, 1, anyValue(), {}, {}, {}},
        {"MpxDigMaxDeltaClock", "MpxDig_MaxDeltaClock", U16, 1, anyValue(), 6, {0x20}, {{11, 31}}},

        // Audio: deviation, clipper, output levels.
        {"FrequencyDeviation", "frequency_deviation", U8, 1, upTo(110), 75, {0x10, 0x100000}, {{9, 20}}},
        {"RelativeFreqDev", "relative_freq_dev", U8, 1, upTo(147), 100, {0x40}, {{9, 33}}},
        {"RelativeDevLimit", "relative_dev_limit", U8, 1, upTo(147), 100, {0x40}, {{9, 34}}},
        {"ClipperDeviationLimiter", "clipper_deviation_limiter", U8, 1, upTo(110), 75, {0x20000}, {{9, 14}}},
        {"ClipperEffectiveLimiter", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"ClipperOvershootCode", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"ClipperLimitedFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ClipperOvershoot", "clipper_overshoot", U16, 1, upTo(110), 2, {0x20000}, {{9, 15}}},
        {"LevelMpx_dBu", "level_mpx_dBu", S16, 1, between(-120, 180), 120, {0x20000, 0x100000}, {{9, 21}}},
        {"LevelMpxOffset_dBu", "level_mpx_offset_dBu", S16, 1, between(-20, 20), 0, {0x20000, 0x100000},
         {{9, 28}}},
        {"LevelMpx2Offset_dBu", "level_mpx2_offset_dBu", S16, 1, between(-20, 20), 0, {0x20000, 0x100000},
         {{9, 40}}},

        // Alarm tables: a byte per alarm id 0..168, and the summaries.
        {"AlarmInput", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmState", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmField0", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmField1", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmField3", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmField4", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmField5", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmField6", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmField7", nullptr, U8, 169, anyValue(), {}, {}, {}},
        {"AlarmSummary", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"WarningSummary", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FailSummary", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"Flag6Summary", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"Flag7Summary", nullptr, U8, 1, anyValue(), {}, {}, {}},

        // Audio processor: the common switches and the compressor bands 0..4
        // of the working sets; no validators.
        {"ApOn", "ap_on", U8, 1, anyValue(), {}, {0x200000}, {{57, 36}}},
        {"ApEqOn", "ap_eq_on", U8, 1, anyValue(), {}, {0x200000}, {{57, 37}}},
        {"ApCmpOn", "ap_cmp_on", U8, 1, anyValue(), {}, {0x200000}, {{57, 38}}},
        {"ApCmpLogTh", "ap_cmp_log_th_0", S32, 5, anyValue(), 0, {0x200000}, {{57, 1, PLAIN, 4}}},
        {"ApCmpLogKw", "ap_cmp_log_kw_0", U32_LOW_16, 5, anyValue(), 0, {0x200000}, {{57, 3, PLAIN, 4}}},
        {"ApCmpLinRt", "ap_cmp_lin_rt_0", U32, 5, anyValue(), 100, {0x200000}, {{57, 2, PLAIN, 4}}},
        {"ApCmpMinGainDec", "ap_cmp_min_gain_dec_0", U32_LOW_BYTE, 5, anyValue(), 0, {0x200000},
         {{57, 4, PLAIN, 4}}},
        {"ApSmoothingNAttack", "ap_smoothing_n_attack_0", U32, 5, anyValue(), 1000000, {0x200000},
         {{57, 21, PLAIN, 2}}},
        {"ApSmoothingNRelease", "ap_smoothing_n_release_0", U32, 5, anyValue(), 1000000, {0x200000},
         {{57, 22, PLAIN, 2}}},
        {"ApGainLogRef", "ap_gain_log_ref_0", S16, 5, anyValue(), 0, {0x200000}, {{57, 31, PLAIN, 1}}},

        // FPGA region: control-frame inputs and status-block items.
        {"OutputCfgCode", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"StandbyInputRoute", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ActiveInput", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxChSrc", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AuxChSrc", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AesEbuSel", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioType", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioMono", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxDigSrc", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxDigIns", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputBackup", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AutoLevelScale", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"PilotLevelCode", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RdsLevelCode", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"LevelPilotPercentage", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"RdsInternalLevelPercentage", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"LevelLeft_dBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelLeftOffset_dBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelRight_dBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelRightOffset_dBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelLeft_dBFS", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelLeftOffset_dBFS", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelRight_dBFS", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelRightOffset_dBFS", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelMpx2_dBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"LevelMpxDigOffset_dBFS", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"RdsExternalLevel_dBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"RdsExternalLevelOffset_dBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"FpgaOutGainA_ddBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"FpgaOutGainB_ddBu", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"PreEnphasisEn", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"PreEnphasisMode", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"VariableAudioEqualizerStatus", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ModulationOffSec", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ClipperStatus", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ClipperDevLimitCode", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ClipperOrder", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ClipperDecay", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"NetMode", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AddedDelaySamples", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AddedDelayFine", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputDelayWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"SynchroCtrlFlag17", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"SynchroCtrlFlag18", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TestSigEna", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TestSigEnaCopy", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TestSigDelayWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsCtrlWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsCtrlFlag", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"AuxControlFlag", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"AudioLeftTermination", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioRightTerminationStatus", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsTerminationStatus", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqRefSource", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqRefFpgaSource", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqRefSource6Flag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TimeRefFpgaSource", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioOutFlagA", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioOutFlagB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputCfg", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioEqFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"LevelRxCode", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"NCOOffsetFineFreq", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MpxOptionA", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxOptionB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxOptionC", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaReprogramFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaOutSelect", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRouteFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRouteFlagB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRouteSelA", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"UnitWord8", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaResetActive", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"DelMeasCmd", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresThresholdA", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresThresholdB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresThresholdC", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"PilotPhaseWord", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"NcoNbitSel", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqDevDouble", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RxFreqDevHalf", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"QmDeltaNum", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FmRxInputSel", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresAlmDelay", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxDigDebugMsgEna", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FSKSignEna", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FSKSignTimeStart", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FSKSignTimePeriod", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaResetPulseFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaSyncPulseFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MtxLMpxLevel", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"MtxRAuxLevel", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"MtxDigAuxLevel", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"MtxBackupLLevel", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"MtxBackupRLevel", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"AudioFilterErr", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsFifoStatusB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsFifoStatusC", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"DelMeasOk", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"DelMeasBusy", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"DelMeasValue", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TimeRefLocked", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AudioInputAlarm", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AesEbuAlCode", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AesEbuAl", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ClipperInAction", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"OutFifoAlm", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RfLoopStatusFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqRefLockFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsFifoAlmostFullFpga", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsFifoFree", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputLeftLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRightLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputDigitalLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresWord1", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputMpxDigLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputEthLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MeasuredMpxLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredLeftLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredRightLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredAuxLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredPilotLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"BackupLFreqDevRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"BackupRFreqDevRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredFmDeviationRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredMpxDeviationB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxDigWord1", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MpxDigWord2", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MpxDigWord3", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MpxDigByte1", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"MpxDigByte2", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"MpxDigByte3", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"MeasuredLeftLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"MeasuredRightLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"MeasuredFmDeviation", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MeasuredPilotDeviation", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaVerMajor", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaVerMinor", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaVerRevision", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaBank1Std", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaBank2Std", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaBank3Std", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RdsFpgaBlockWord", nullptr, U16, 4, anyValue(), {}, {}, {}},
        {"ActiveBank", nullptr, U8, 1, anyValue(), {}, {}, {}},
    };
    return v;
}

// The bits a value of this width keeps and tests.
uint32_t widthMask(KeyWidth w)
{
    switch (w) {
    case U8:
    case U32_LOW_BYTE:
    case U32_READ_BYTE: return 0xff;
    case U16:
    case S16:
    case U32_LOW_16: return 0xffff;
    default: return 0xffffffffu;
    }
}

// What the getter gives for a value written.
uint32_t readBack(KeyWidth w, uint32_t v)
{
    switch (w) {
    case S16: return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
    case U32_READ_BYTE: return v & 0xff;
    default: return v & widthMask(w);
    }
}

// A value the key accepts that differs from zero and from the default; for
// words that keep or read only their low byte, one with higher bits too.
uint32_t probeValue(const KeyFacts& p)
{
    if (!p.range.any) {
        uint32_t hi = static_cast<uint32_t>(p.range.hi);
        return p.width == U32_LOW_BYTE || p.width == U32_READ_BYTE ? hi + 0x100 : hi;
    }
    switch (p.width) {
    case U8: return 0xa5;
    case U16: return 0xbeef;
    case S16: return static_cast<uint32_t>(-3);
    case U32_LOW_BYTE: return 0x15a;
    case U32_LOW_16: return 0x2beef;
    case IPV4: return htonl(0xc0a80102);
    default: return 0x12345678;
    }
}

uint32_t cellValue(const KeyFacts& p, uint32_t got)
{
    return p.width == IPV4 ? ntohl(got) : got;
}

class KeyTableTest : public SandboxTest {
protected:
    KeyTableTest() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        // Each test starts from the zeroed image, as the process does.
        memset(getSystemImage(), 0, sizeof(SystemImage));
        memset(getUnitInfo(), 0, UNIT_INFO_BYTES);
    }
    static void clearChangeWords()
    {
        clearConfigChanged();
        clearConfigLocked();
    }
    static const CfgKeyDesc* row(const char* id)
    {
        for (const CfgKeyDesc& d : cfgKeyTable) {
            if (strcmp(d.id, id) == 0)
                return &d;
        }
        return nullptr;
    }
};

using Cell = std::pair<uint32_t, uint32_t>;

TEST_F(KeyTableTest, EveryRowIsDocumentedAndEveryDocumentedKeyHasARow)
{
    std::map<std::string, int> listed;
    for (const KeyFacts& p : documentedKeys())
        listed[p.id]++;
    for (const CfgKeyDesc& d : cfgKeyTable)
        EXPECT_EQ(listed[d.id], 1) << d.id << ": a row the documented table does not list once";
    for (const KeyFacts& p : documentedKeys())
        EXPECT_NE(row(p.id), nullptr) << p.id << ": listed, but no row";
}

TEST_F(KeyTableTest, EveryRowHasItsElementNameWidthAndCount)
{
    for (const KeyFacts& p : documentedKeys()) {
        SCOPED_TRACE(p.id);
        const CfgKeyDesc* d = row(p.id);
        ASSERT_NE(d, nullptr);
        if (p.element)
            EXPECT_STREQ(cfgElementName(d, 0), p.element);
        else
            EXPECT_EQ(cfgElementName(d, 0), nullptr);
        EXPECT_EQ(d->at.count, p.count);
        switch (p.width) {
        case U8: EXPECT_EQ(d->at.size, 1); break;
        case U16:
        case S16: EXPECT_EQ(d->at.size, 2); break;
        case BYTES6: EXPECT_EQ(d->at.size, 6); break;
        case TEXT256: EXPECT_EQ(d->at.size, 256); break;
        default: EXPECT_EQ(d->at.size, 4); break;
        }
    }
    EXPECT_STREQ(getNTPNameServerKey(), "NTP_name_server");
    EXPECT_EQ(getNTPNameServer(), getSystemImage()->sys.ntpNameServer);
}

TEST_F(KeyTableTest, ValidatorsAcceptTheirRangeEdgesAndNothingBeyond)
{
    for (const KeyFacts& p : documentedKeys()) {
        SCOPED_TRACE(p.id);
        const CfgKeyDesc* d = row(p.id);
        ASSERT_NE(d, nullptr);
        if (p.range.any) {
            for (uint32_t v : {0u, 1u, 0x7fffffffu, 0xffffffffu})
                EXPECT_EQ(cfgIsValidRow(d, v), 1) << v;
            continue;
        }
        uint32_t mask = widthMask(p.width);
        uint32_t lo = static_cast<uint32_t>(p.range.lo);
        uint32_t hi = static_cast<uint32_t>(p.range.hi);
        EXPECT_EQ(cfgIsValidRow(d, lo), 1);
        EXPECT_EQ(cfgIsValidRow(d, hi), 1);
        EXPECT_EQ(cfgIsValidRow(d, hi + 1), 0);
        if (p.range.lo > 0 || p.range.isSigned) {
            EXPECT_EQ(cfgIsValidRow(d, lo - 1), 0);
        }
        // Only the value's width is tested: the same values with other high
        // bits pass and fail alike.
        if (mask != 0xffffffffu) {
            EXPECT_EQ(cfgIsValidRow(d, (hi & mask) + mask + 1), 1);
            EXPECT_EQ(cfgIsValidRow(d, ((hi + 1) & mask) + mask + 1), 0);
            if (p.range.isSigned) {
                EXPECT_EQ(cfgIsValidRow(d, lo & mask), 1);
                EXPECT_EQ(cfgIsValidRow(d, (lo - 1) & mask), 0);
            }
        }
    }
    // The named validators are the rows'.
    EXPECT_EQ(isValidFrequencyDeviation(366), 1); // low byte 110
    EXPECT_EQ(isValidFrequencyDeviation(111), 0);
    EXPECT_EQ(isValidRelativeFreqDev(147), 1);
    EXPECT_EQ(isValidRelativeDevLimit(148), 0);
    EXPECT_EQ(isValidDacLevelMode(0x101), 1);
    EXPECT_EQ(isValidDacLevelMode(2), 0);
    EXPECT_EQ(isValidClipperDeviationLimiter(111), 0);
    EXPECT_EQ(isValidVendorId(259), 1);
    EXPECT_EQ(isValidLevelMpxOffset_dBu(static_cast<uint32_t>(-21)), 0);
}

TEST_F(KeyTableTest, DefaultsAreTheDocumentedOnesAndOnlyRowsWithADefaultApplyOne)
{
    for (const KeyFacts& p : documentedKeys()) {
        SCOPED_TRACE(p.id);
        const CfgKeyDesc* d = row(p.id);
        ASSERT_NE(d, nullptr);
        if (p.width == BYTES6 || p.width == TEXT256)
            continue;
        uint32_t probe = probeValue(p);
        cfgSetElement(d, d->indexBase, probe);
        cfgApplyDefault(d);
        uint32_t want = p.def ? readBack(p.width, static_cast<uint32_t>(*p.def)) : readBack(p.width, probe);
        EXPECT_EQ(cfgGetElement(d, d->indexBase), want);
    }
}

TEST_F(KeyTableTest, EveryRowStoresPublishesAndMarksOnceAndNotAgainForTheSameValue)
{
    std::map<Cell, uint32_t> expectedCells;
    std::vector<uint8_t> before(sizeof(SystemImage)), after(sizeof(SystemImage));

    for (const KeyFacts& p : documentedKeys()) {
        SCOPED_TRACE(p.id);
        const CfgKeyDesc* d = row(p.id);
        ASSERT_NE(d, nullptr);
        if (p.width == TEXT256)
            continue;
        std::vector<uint32_t> elements = {0};
        if (p.count > 1)
            elements.push_back(p.count - 1u);
        for (uint32_t i : elements) {
            SCOPED_TRACE(i);
            const uint8_t mac[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
            uint32_t v = probeValue(p);
            clearChangeWords();
            if (p.width == BYTES6) {
                cfgSetBytes(d, i, mac, sizeof mac);
                uint8_t back[6] = {};
                cfgGetBytes(d, i, back);
                EXPECT_EQ(memcmp(back, mac, 6), 0);
            } else {
                cfgSetElement(d, i, v);
                EXPECT_EQ(cfgGetElement(d, i), readBack(p.width, v));
            }

            uint32_t groups = 0;
            for (uint32_t g : p.groups)
                groups |= g;
            EXPECT_EQ(getConfigChanged(), groups);
            EXPECT_EQ(getConfigLocked(), groups ? 2 : 0);
            auto cellOfElement = [i](const KeyCell& c) { return Cell{c.section, c.item + c.step * i}; };
            for (const KeyCell& c : p.cells) {
                if (c.form == MAC_WORDS) {
                    expectedCells[{c.section, c.item}] = 0x02112233u;
                    expectedCells[{c.section, c.item + 1u}] = 0x4455u;
                } else {
                    expectedCells[cellOfElement(c)] = cellValue(p, readBack(p.width, v));
                }
            }
            for (const auto& [at, want] : expectedCells)
                EXPECT_EQ(readDbAreaCell(at.first, at.second), want) << at.first << "," << at.second;
            if (p.storesAlways)
                continue;

            // The same value again: nothing published, marked or run.
            for (const KeyCell& c : p.cells)
                setDbAreaCell(cellOfElement(c).first, cellOfElement(c).second, 0xdeadbeef);
            clearChangeWords();
            memcpy(before.data(), getSystemImage(), before.size());
            if (p.width == BYTES6)
                cfgSetBytes(d, i, mac, sizeof mac);
            else
                cfgSetElement(d, i, v);
            memcpy(after.data(), getSystemImage(), after.size());
            EXPECT_EQ(before, after) << "a hook or a store ran for an unchanged value";
            EXPECT_EQ(getConfigChanged(), 0u);
            EXPECT_EQ(getConfigLocked(), 0);
            for (const KeyCell& c : p.cells) {
                auto [section, item] = cellOfElement(c);
                EXPECT_EQ(readDbAreaCell(section, item), 0xdeadbeef);
                setDbAreaCell(section, item, expectedCells[{section, item}]);
            }
        }
    }

    // What every row published, as another process reads it.
    std::vector<Cell> cells;
    for (const auto& e : expectedCells)
        cells.push_back(e.first);
    std::vector<uint32_t> seen;
    ASSERT_EQ(readDbPoolCellsInChild(cells, &seen), 0);
    for (size_t n = 0; n < cells.size(); n++)
        EXPECT_EQ(seen[n], expectedCells[cells[n]]) << "cell (" << cells[n].first << ", " << cells[n].second << ")";
}

TEST_F(KeyTableTest, ElementNamesFollowTheirRowsRule)
{
    EXPECT_STREQ(getFrontEthernetIPGatewayKey(), "front_Ethernet_IP_gateway");
    EXPECT_STREQ(getRearEthernetAutonegKey(), "rear_Ethernet_Autoneg");
    EXPECT_STREQ(getNClockKey(), "n_clock");
    EXPECT_STREQ(getForceDacLevelKey(), "force_dac_level");
    EXPECT_STREQ(getVrlDataFormatKey(), "VrlDataFormat");
    EXPECT_STREQ(getStandardTypeKey(), "standard_type");
    EXPECT_STREQ(getApCmpLogThKey(9), "ap_cmp_log_th_n");
    EXPECT_STREQ(getApCmpLogThKey(5), "ap_cmp_log_th_5");
    EXPECT_STREQ(getApGainLogRefKey(6), "ap_gain_log_ref_n");
    // A literal name is the same for every index.
    EXPECT_EQ(cfgElementName(row("NClock"), 300), row("NClock")->name);

    // The numbered and formatted rules, as the families of later sections use them.
    struct Case {
        CfgKeyDesc d;
        uint32_t index;
        const char* name;
    };
    const Case cases[] = {
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 0, "ap_cmp_log_th_0"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 5, "ap_cmp_log_th_5"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 6, "ap_cmp_log_th_n"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 9, "ap_cmp_log_th_n"},
        {{.nameRule = NAME_NUMBERED, .name = "ap_cmp_log_th", .lastCase = 5}, 256 + 3, "ap_cmp_log_th_3"},
        // Counted from 1 over a 0-based index.
        {{.nameRule = NAME_NUMBERED, .name = "GSM_TxLabel", .lastCase = 4, .nameBase = 1}, 0, "GSM_TxLabel_1"},
        {{.nameRule = NAME_NUMBERED, .name = "GSM_TxLabel", .lastCase = 4, .nameBase = 1}, 4, "GSM_TxLabel_5"},
        {{.nameRule = NAME_NUMBERED, .name = "GSM_TxLabel", .lastCase = 4, .nameBase = 1}, 5, "GSM_TxLabel_n"},
        // Indexed by a number that starts at 1: index 0 has no numbered case.
        {{.nameRule = NAME_NUMBERED, .name = "UECP_Site", .firstCase = 1, .lastCase = 10}, 0, "UECP_Site_n"},
        {{.nameRule = NAME_NUMBERED, .name = "UECP_Site", .firstCase = 1, .lastCase = 10}, 10, "UECP_Site_10"},
        // Another name for the other indexes.
        {{.nameRule = NAME_NUMBERED, .name = "UECP_Site_addr", .firstCase = 1, .lastCase = 10, .nameOther = ""},
         11, ""},
        {{.nameRule = NAME_NUMBERED, .name = "EON", .lastCase = 5, .nameBase = 1, .nameOther = "EON_INVALID"}, 6,
         "EON_INVALID"},
        {{.nameRule = NAME_FORMAT, .name = "DSn%u_PI", .nameBase = 1}, 6, "DSn7_PI"},
        {{.nameRule = NAME_FORMAT, .name = "DSn%u_RDS_Sequence_P%u", .nameBase = 1, .innerBase = 1, .at = {.inner = 16}},
         2 * 16 + 3, "DSn3_RDS_Sequence_P4"},
        {{.nameRule = NAME_FORMAT, .name = "DSn%u_RDS_LabellingCode_Var%u", .nameBase = 1, .at = {.inner = 4}}, 5,
         "DSn2_RDS_LabellingCode_Var1"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(cfgElementName(&c.d, c.index), c.name) << c.d.name << " " << c.index;

    // Names built into buffers stay valid for a few more names.
    const char* a = cfgElementName(&cases[0].d, 1);
    const char* b = cfgElementName(&cases[5].d, 2);
    EXPECT_STREQ(a, "ap_cmp_log_th_1");
    EXPECT_STREQ(b, "GSM_TxLabel_3");
}

TEST_F(KeyTableTest, IndexedFamiliesUseTheLowByteAndRefuseIndexesBeyondTheirCount)
{
    setAlarmInput(256 + 7, 1); // addresses id 7
    EXPECT_EQ(getAlarmInput(7), 1);
    EXPECT_EQ(getAlarmInput(256 + 7), 1);

    std::vector<uint8_t> before(sizeof(SystemImage)), after(sizeof(SystemImage));
    memcpy(before.data(), getSystemImage(), before.size());
    setAlarmInput(169, 1);
    setAlarmState(200, 1);
    setAlarmField0(255, 1);
    setAlarmField7(169, 1);
    memcpy(after.data(), getSystemImage(), after.size());
    EXPECT_EQ(before, after) << "a refused index wrote into the image";
    EXPECT_EQ(getAlarmInput(169), 0);
    EXPECT_EQ(getAlarmField0(255), 0);

    // The last id is a real element, and the flag bytes land in their record.
    setAlarmField5(168, 1);
    setAlarmField0(34, 1);
    EXPECT_EQ(getSystemImage()->alarm.flags[168].warning, 1);
    EXPECT_EQ(getSystemImage()->alarm.flags[34].mute, 1);
    EXPECT_EQ(getAlarmField3(34), 0);
}

TEST_F(KeyTableTest, NamedPublishersCopyTheStoredValueIntoTheirCells)
{
    setFrontEthernetIPAddress(htonl(0xc0a80102));
    setUpgradeRequest(2);
    setForceDacLevel(0x8001, 0);
    for (auto [s, i] : {std::pair{18, 3}, {49, 1}, {50, 2}, {14, 19}})
        setDbAreaCell(s, i, 0xdeadbeef);
    dbUpdateFrontEthernetIPAddress();
    dbUpdateCommandRequest(); // the upgrade request under its command-plane name
    dbUpdateForceDacLevel();
    EXPECT_EQ(readDbAreaCell(18, 3), 0xc0a80102u);
    EXPECT_EQ(readDbAreaCell(49, 1), 2u);
    EXPECT_EQ(readDbAreaCell(50, 2), 2u);
    EXPECT_EQ(readDbAreaCell(14, 19), 0x8001u);
    EXPECT_EQ(getConfigChanged(), 0x2000u | 0x10u); // publishing marks nothing

    // Rows without a cell have an empty publisher.
    setStandardType(7);
    dbUpdateStandardType();
    dbUpdateAlarmInput(3);
    int published = 0;
    for (uint32_t s = 1; s <= 64; s++) {
        for (uint32_t i = 1; i <= 64; i++)
            published += readDbAreaCell(s, i) != 0;
    }
    EXPECT_EQ(published, 4);
}

TEST_F(KeyTableTest, GatewaysKeepThePreviousGatewayOnlyOnAChange)
{
    setFrontEthernetIPGateway(htonl(0x0a000001));
    setFrontEthernetIPGateway(htonl(0x0a0000fe));
    EXPECT_EQ(getFrontEthernetIPOldGateway(), htonl(0x0a000001));
    setFrontEthernetIPGateway(htonl(0x0a0000fe));
    EXPECT_EQ(getFrontEthernetIPOldGateway(), htonl(0x0a000001));
    EXPECT_EQ(readDbAreaCell(18, 5), 0x0a0000feu);

    setRearEthernetIPGateway(htonl(0xc0a80001));
    setRearEthernetIPGateway(htonl(0xc0a800fe));
    EXPECT_EQ(getRearEthernetIPOldGateway(), htonl(0xc0a80001));
    EXPECT_EQ(getFrontEthernetIPOldGateway(), htonl(0x0a000001));
}

TEST_F(KeyTableTest, FrequencyDeviationMarksItsTwoGroupsAndDefaultsComeFromTheRows)
{
    setFrequencyDeviation(366); // only the low byte is kept
    EXPECT_EQ(getFrequencyDeviation(), 110);
    EXPECT_EQ(getConfigChanged(), 0x10u | 0x100000u);

    for (const CfgKeyDesc& d : cfgKeyTable)
        cfgApplyDefault(&d);
    EXPECT_EQ(getNClock(), 10);
    EXPECT_EQ(getNBit(), 5);
    EXPECT_EQ(getKi(), 1);
    EXPECT_EQ(getKp(), 2);
    EXPECT_EQ(getKpH(), 0);
    EXPECT_EQ(getFrequencyDeviation(), 75);
    EXPECT_EQ(getRelativeFreqDev(), 100);
    EXPECT_EQ(getClipperDeviationLimiter(), 75);
    EXPECT_EQ(getForceDacLevel(), 32768);
    EXPECT_EQ(getClockingByteA(), 10);
    EXPECT_EQ(getClockingByteB(), 3);
    EXPECT_EQ(readDbAreaCell(14, 6), 10u);
    EXPECT_EQ(readDbAreaCell(14, 19), 32768u);
}

TEST_F(KeyTableTest, ClipperLimiterRefusesAbove110AndDerivesItsSettings)
{
    EXPECT_EQ(setClipperDeviationLimiter(111), 0); // also from an XML file
    cfgSetElement(cfgKeyDesc(KEY_ClipperDeviationLimiter), 0, 111);
    EXPECT_EQ(getClipperDeviationLimiter(), 0);
    EXPECT_EQ(getConfigChanged(), 0u);

    EXPECT_EQ(setClipperDeviationLimiter(110), 1);
    EXPECT_EQ(getClipperDeviationLimiter(), 110);
    EXPECT_EQ(getClipperEffectiveLimiter(), 110);
    EXPECT_EQ(readDbAreaCell(9, 14), 110u);
    EXPECT_EQ(getConfigChanged(), 0x20000u);
    EXPECT_EQ(setClipperDeviationLimiter(110), 1);

    // scale(x) = trunc(min(x, 8) * 2047 / 8 + 0.5) over the low 16 bits.
    const uint32_t in[] = {0, 1, 2, 4, 7, 8, 9, 0x10000 + 1};
    const uint16_t out[] = {0, 256, 512, 1024, 1791, 2047, 2047, 256};
    for (size_t n = 0; n < sizeof in / sizeof in[0]; n++)
        EXPECT_EQ(clipperScale(in[n]), out[n]) << in[n];
}

TEST_F(KeyTableTest, ClipperOvershootRefusesAbove110AndRecomputesTheOvershootCode)
{
    setClipperDeviationLimiter(100);
    EXPECT_EQ(setClipperOvershoot(111), 0);
    EXPECT_EQ(getClipperOvershoot(), 0);
    EXPECT_EQ(setClipperOvershoot(4), 1);
    EXPECT_EQ(getClipperOvershoot(), 4);
    EXPECT_EQ(getClipperOvershootCode(), clipperScale(4));
    EXPECT_EQ(readDbAreaCell(9, 15), 4u);
    // 110 with an overshoot beyond what the limiter leaves: the code of the
    // room left, and the limited flag.
    EXPECT_EQ(setClipperOvershoot(20), 1);
    EXPECT_EQ(getClipperOvershootCode(), clipperScale(10));
    EXPECT_EQ(getClipperLimitedFlag(), 1u);
}

TEST_F(KeyTableTest, LockStatesAndStatusFieldsRaiseTheirAlarmInputsAndEvents)
{
    struct Case {
        void (*set)(uint32_t);
        uint8_t alarm;
    };
    const Case locks[] = {{setPllRfLocked, 41},   {setPllAudioLocked, 40},     {setAudioVcxoValidSt, 42},
                          {setFreqRefLocked, 43}, {setOcxo100MhzLocked, 61}, {setFmRecvPllLock, 51},
                          {setBoardInputA, 105}};
    for (const Case& c : locks) {
        SCOPED_TRACE(static_cast<int>(c.alarm));
        c.set(2); // bit 0 clear: not locked
        EXPECT_EQ(getAlarmInput(c.alarm), 1);
        c.set(3);
        EXPECT_EQ(getAlarmInput(c.alarm), 0);
    }
    // Two lock states share alarm 51: the last store decides.
    setFmRecvPllLock(0);
    EXPECT_EQ(getAlarmInput(51), 1);
    setAuxPllLocked(1);
    EXPECT_EQ(getAlarmInput(51), 0);

    setNoExt10MHz(1);
    setNoExt19kHzSinus(1);
    setNoExt19kHzSqWave(1);
    EXPECT_EQ(getAlarmInput(95) + getAlarmInput(96) + getAlarmInput(97), 3);
    setNoExtPps(1);
    setFpgaStatusFlag(1);
    EXPECT_EQ(getAlarmInput(94), 1);
    EXPECT_EQ(getAlarmInput(93), 1);
    EXPECT_EQ(getRefValid(), 0u); // mask and state words are 0

    setRefEventWord(0x101); // low byte 1
    setLinkEventWord(1);
    setUsbKeyMounted(1);
    EXPECT_EQ(getEventBit(59) + getEventBit(25) + getEventBit(63), 3);
    setUsbKeyMounted(0);
    EXPECT_EQ(getEventBit(63), 0);
    setNtpDateError(1);
    EXPECT_EQ(getEventBit(71), 1);
    setNtpDateError(0);
    EXPECT_EQ(getEventBit(71), 0);

    // The other names of these setters reach the same items.
    setExtRefPresent(0);
    EXPECT_EQ(getEventBit(59), 0);
    AlarmInputTable(7, 1);
    EXPECT_EQ(getAlarmInput(7), 1);
    setUpgradeState(4);
    EXPECT_EQ(getUpgradeStep(), 4u);
    EXPECT_EQ(readDbAreaCell(49, 11), 4u);
    EXPECT_EQ(readDbAreaCell(50, 10), 4u);
}

TEST_F(KeyTableTest, HpaModelCodeSetsTheConversionFactorOfTheModelsThatHaveOne)
{
    const std::pair<uint32_t, uint32_t> cases[] = {{3, 660}, {4, 3230}, {5, 250}};
    for (auto [model, factor] : cases) {
        setHpaModelCode(model);
        EXPECT_EQ(getHpaDrvCurrConvFactor(), factor);
        EXPECT_EQ(readDbAreaCell(17, 26), factor);
    }
    EXPECT_EQ(getConfigChanged(), 0x80000u);
    setHpaModelCode(7);
    EXPECT_EQ(getHpaModelCode(), 7u);
    EXPECT_EQ(getHpaDrvCurrConvFactor(), 250u);
}

TEST_F(KeyTableTest, AmplifierFamilyAndFlagsAnswerToTheirOtherNames)
{
    setAmpFamily(0x102); // only the low byte is kept
    EXPECT_EQ(getPsuTypeCode(), 2u);
    EXPECT_EQ(getAmpFamily(), 2u);
    EXPECT_EQ(readDbAreaCell(17, 19), 2u);
    setHpaByteA(1);
    setHpaByteD(1);
    EXPECT_EQ(getHpaDetected(), 1);
    EXPECT_EQ(getHpaDisabled(), 1);
    EXPECT_EQ(readDbAreaCell(17, 16), 1u);
    EXPECT_EQ(readDbAreaCell(17, 17), 1u);
    EXPECT_EQ(getConfigChanged(), 0u); // status items mark no group
}

TEST_F(KeyTableTest, AlarmStateRangesWorkStrictlyBetweenTheirBounds)
{
    for (uint32_t id = 0; id < ALARM_ID_COUNT; id++)
        setAlarmInput(id, 1);
    copyAlarmInputsToStates(10, 14);
    EXPECT_EQ(getAlarmState(10), 0);
    EXPECT_EQ(getAlarmState(11) + getAlarmState(12) + getAlarmState(13), 3);
    EXPECT_EQ(getAlarmState(14), 0);
    copyAlarmInputsToStates(160, 500); // stops at the last id
    EXPECT_EQ(getAlarmState(168), 1);
    clearAlarmStates(11, 13);
    EXPECT_EQ(getAlarmState(11), 1);
    EXPECT_EQ(getAlarmState(12), 0);
    EXPECT_EQ(getAlarmState(13), 1);
}

} // namespace
