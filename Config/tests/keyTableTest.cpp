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
#include <bit>
#include <cstring>
#include <map>
#include <optional>
#include <set>
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
    S16_IN_S32,     // "signed 16-bit value kept in a 32-bit word"
    U32_READ_BYTE,  // 32-bit word whose accessors use its low byte
    IPV4,           // 32-bit, network byte order, published in host order
    BYTES6,         // six bytes
    BYTES24,        // 24 bytes (modem texts)
    BYTES2,         // two bytes (a two-character code)
    TEXT256,        // a text of 256 bytes reached by address
    F32,            // single-precision float
    BYTES_BY_HAND,  // an item whose accessors are written by hand (tested with them)
};

// PLAIN: the value; MAC_WORDS: a big-endian word of bytes 0..3 and one of
// bytes 4..5; BYTES_SWAPPED: the value byte-swapped; BYTE_CELLS: a byte per
// cell; STORED: the word as written; X100, TRUNC: a float times 100 or as it
// is, truncated; NEGATED: 1 for 0, else 0.
enum CellForm : uint8_t { PLAIN, MAC_WORDS, BYTES_SWAPPED, BYTE_CELLS, X100, TRUNC, NEGATED, STORED };

// The cell of element 0; element b of a family is `step` items further on
// ("(57, 4b+1)").
struct KeyCell {
    uint8_t section;
    uint8_t item;
    uint8_t form = PLAIN;
    uint8_t step = 0;
    uint8_t elements = 0xff; // elements that have this cell (the first ones)
};

struct KeyRange {
    bool any = true;
    bool isSigned = false;
    int64_t lo = 0;
    int64_t hi = 0;
    bool whole = false; // the whole 32-bit value is tested, not just its width
    bool byOtherItems = false; // bounded by other items (tested with them)
};

constexpr KeyRange upTo(int64_t hi) { return {false, false, 0, hi}; }
constexpr KeyRange between(int64_t lo, int64_t hi) { return {false, lo < 0, lo, hi}; }
constexpr KeyRange wholeBetween(int64_t lo, int64_t hi) { return {false, false, lo, hi, true}; }
constexpr KeyRange anyValue() { return {}; }
constexpr KeyRange boundedByOtherItems() { return {false, true, 0, 0, false, true}; }

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
    uint16_t inner = 1;               // words per element of a two-level family
    std::vector<KeyCell> lastCells{}; // the last element's cells, where they do not step evenly
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
        {"VersionWord6", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TunableBpfPresent", nullptr, U32, 1, anyValue(), {}, {}, {}},
                {"VendorId", "vendor_id", U32_READ_BYTE, 1, upTo(4), {}, {0x2000}, {{16, 15, STORED}}},
        // Unit state, serial number, identity record bytes.
        {"UnitStateByte", nullptr, U8, 1, anyValue(), {}, {}, {{16, 1}}},
        {"ModeWord", nullptr, U32, 1, anyValue(), {}, {}, {{16, 2}}},
        {"UnitWord", nullptr, U32, 3, anyValue(), {}, {}, {{16, 4, PLAIN, 1}}},
        {"UnitVariant", nullptr, U8, 1, anyValue(), {}, {0x1}, {}},
        {"SerialNumberWord", nullptr, U32, 3, anyValue(), {}, {}, {{44, 9, PLAIN, 1}}},
        {"UartOverride", nullptr, BYTES_BY_HAND, 1, anyValue(), {}, {}, {}},
        {"SerialNumber", nullptr, BYTES_BY_HAND, 1, anyValue(), {}, {}, {}},
        {"UnitFlag", nullptr, U8, 1, wholeBetween(0, 1), {}, {}, {{13, 35}}},

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
        {"FrontMacActive", nullptr, BYTES6, 1, anyValue(), {}, {}, {{2, 13, BYTE_CELLS}, {18, 1, MAC_WORDS}}},
        {"RearMacActive", nullptr, BYTES6, 1, anyValue(), {}, {}, {{2, 19, BYTE_CELLS}, {18, 8, MAC_WORDS}}},
        // Ethernet switch and VLANs: no cells.
        {"EthernetSwitchConfig", "Ethernet_switch_config", U32, 1, between(1, 2), 0, {0x2000}, {}},
        {"EthernetSwitchConfigReq", nullptr, U32, 1, anyValue(), {}, {0x2000}, {}, true},
        {"CpuVlanId", "Cpu_vlan_id", U16, 1, wholeBetween(0, 4095), 0, {0x2000}, {}},
        {"GbeAVlanId", "Gbe_A_vlan_id", U16, 1, anyValue(), 0, {0x2000}, {}},
        {"GbeBVlanId", "Gbe_B_vlan_id", U16, 1, anyValue(), 0, {0x2000}, {}},

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
        {"ForceDacLevelSaved", nullptr, U16, 1, anyValue(), {}, {}, {}},
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
        // DAC, NCO and PLL keys, the telecommand extension, the manual fan level.
        {"Chan0GainNco", "Chan0Gain_NCO", U8, 1, anyValue(), 80, {0x8}, {{14, 1}}},
        {"ClkPCml", "ClkP_CML", U8, 1, upTo(15), 15, {0x8}, {{14, 2}}},
        {"PSign", "PSign", U8, 1, upTo(1), 0, {0x8}, {{14, 3}}},
        {"ClkNCml", "ClkN_CML", U8, 1, upTo(15), 15, {0x8}, {{14, 4}}},
        {"NSign", "NSign", U8, 1, upTo(1), 0, {0x8}, {{14, 5}}},
        {"NcoNbitSel", "NcoNbitSel", U8, 1, upTo(1), 0, {0x8}, {{14, 13}}},
        {"PllMode", "PllMode", U8, 1, upTo(6), 0, {0x8}, {{14, 14}}},
        {"PllModeVar", "PllModeVar", U8, 1, upTo(3), 0, {0x8}, {}},
        {"LtcChargePump", "LtcChargePump", U8, 1, upTo(7), 7, {0x8}, {{14, 15}}},
        {"FpgaOutFormat", "FpgaOutFormat", U8, 1, upTo(3), 2, {0x8}, {{14, 21}}},
        {"FpgaOutGainA_ddBu", "FpgaOutGainA_ddBu", S16, 1, between(-450, 130), 0, {0x8}, {{14, 16}}},
        {"FpgaOutGainB_ddBu", "FpgaOutGainB_ddBu", S16, 1, between(-450, 130), 0, {0x8}, {{14, 22}}},
        {"QmDeltaNum", "QmDeltaNum", U8, 1, upTo(7), 0, {0x8}, {{14, 17}}},
        {"TlcTlsExtended", "TlcTlsExtended", U8, 1, upTo(1), 0, {0x8}, {{16, 17}}},
        {"FanManualLevel", nullptr, U8, 1, upTo(100), {}, {}, {{16, 18}}},
        {"NumFan", nullptr, U32, 1, anyValue(), 3, {}, {}},
        {"FanAlarmInhibit", nullptr, U8, 1, anyValue(), {}, {}, {}},

        // Hardware codes and I2C status.
        {"PsuTypeCode", nullptr, U32_LOW_BYTE, 1, anyValue(), {}, {}, {{17, 19}}},
        {"I2cErrorCount", nullptr, U32, 1, anyValue(), {}, {}, {{13, 41}}},
        {"I2cFaultFlag", nullptr, U8, 1, anyValue(), {}, {}, {{13, 42}}},
        {"HpsCode", nullptr, U32, 1, anyValue(), {}, {}, {{17, 20}}},
        {"UnitWord8", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxoAes3Flag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TlcTlsExtDetected", nullptr, U32, 1, anyValue(), {}, {}, {}},
        // FM receiver status and web log-on (tested with their operations).
        {"FmRxStatus", nullptr, BYTES_BY_HAND, 1, anyValue(), {}, {}, {}},
        {"FmRxState", nullptr, U8, 1, anyValue(), {}, {}, {{46, 45}}, true},
        {"FmRxWord", nullptr, U32, 1, anyValue(), {}, {}, {{46, 50}}, true},
        {"FmRxCounter", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"FmRxSystem", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FmRxPresent", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FreqOffsetScale", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"WebLogonAddr", nullptr, BYTES_BY_HAND, 1, anyValue(), {}, {}, {}},
        {"WebUserName", nullptr, BYTES_BY_HAND, 4, anyValue(), {}, {}, {}},

        // Amplifier.
        {"HpaNomDrvPow", "HpaNomDrvPow", S16, 1, anyValue(), {}, {0x40000}, {}},
        {"HpaModelCode", nullptr, U32_LOW_BYTE, 1, anyValue(), {}, {}, {{17, 23}}},
        {"HpaDetected", nullptr, U8, 1, anyValue(), {}, {}, {{17, 16}}},
        {"HpaDisabled", nullptr, U8, 1, anyValue(), {}, {}, {{17, 17}}},
        {"VdetTarget", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"HpaDrvCurrConvFactor", "HpaDrvCurrConvFactor", U32, 1, anyValue(), {}, {0x80000}, {{17, 26}}},
        {"HpaPowerLimitHigh", nullptr, U32, 1, anyValue(), {}, {}, {{40, 14}}},
        {"HpaResetActive", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"HPSMngMode", "HPS_MngMode", U32, 1, anyValue(), 0, {0x40000}, {{17, 21}}},
        {"HpaRflPwrFilter", "Hpa_RflPwrFilter", S16, 1, anyValue(), {}, {0x40000}, {{17, 25}}},
        {"HpaRflPwrFilterStart", "Hpa_RflPwrFilterStart", S16, 1, anyValue(), {}, {0x40000}, {{17, 24}}},
        {"HpaMaxFreq", "HpaMaxFreq", U32, 1, anyValue(), {}, {}, {{17, 3}, {40, 12}}},
        {"HpaMinFreq", "HpaMinFreq", U32, 1, anyValue(), {}, {}, {{17, 2}, {40, 11}}},
        // Codes and words of the amplifier identification.
        {"CplSharedBus", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HwCodeByte", nullptr, BYTES_BY_HAND, 4, anyValue(), {}, {}, {}},
        {"HpaIdByte1", nullptr, U8, 1, anyValue(), {}, {}, {{17, 5}, {40, 4}}},
        {"HpaIdByte2", nullptr, U8, 1, anyValue(), {}, {}, {{17, 11}, {40, 6}}},
        {"HpaIdByte3", nullptr, U8, 1, anyValue(), {}, {}, {{17, 12}, {40, 7}}},
        {"HpaIdByte4", nullptr, U8, 1, anyValue(), {}, {}, {{17, 13}, {40, 8}}},
        {"HpaIdByte5", nullptr, U8, 1, anyValue(), {}, {}, {{17, 14}, {40, 9}}},
        {"HpaIdByte6", nullptr, U8, 1, anyValue(), {}, {}, {{17, 15}, {40, 10}}},
        {"HpaIdByte7", nullptr, U8, 1, anyValue(), {}, {}, {{17, 6}, {40, 5}}},
        {"HpaFreqNominalFlag", nullptr, U8, 1, anyValue(), {}, {}, {{17, 4}}},
        {"HpaByteE", nullptr, U8, 1, upTo(1), {}, {}, {{17, 18}}},
        {"HpaWordA", nullptr, U32, 1, anyValue(), {}, {}, {{40, 2}}},
        {"HpaWordB", nullptr, U32, 1, anyValue(), {}, {}, {{40, 3}}},
        {"HpaWordK", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaRflMode", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaStartFreq", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaYear", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaSerial", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaTypeWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ShelfParam1", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ShelfParam2", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ShelfParam3", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ShelfParam4", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RfEepromBlank", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RfBand", nullptr, U8, 1, anyValue(), {}, {}, {}},
        // Detector and table parameters.
        {"Vdet0Fwd", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"Vdet0Ref", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"NominalPower", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"RefNominalPower", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"K1MinPowerFwd", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"K1MinPowerRef", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"K2MinFreqFwd", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"K2MinFreqRef", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"K1TableSizeFwd", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"K2TableSizeFwd", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"K1TableSizeRef", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"K2TableSizeRef", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TableWordFwd", nullptr, U32, 2, anyValue(), {}, {}, {}},
        {"TableWordRef", nullptr, U32, 2, anyValue(), {}, {}, {}},
        {"TempTableSize", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"TempTableFirst", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"TableBuilderWord", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"DetectorCal", nullptr, F32, 3, anyValue(), {}, {}, {}},
        {"DetectorCalWord", nullptr, U16, 1, anyValue(), {}, {}, {}},
        // Power and frequency limits, words F..J, supplies, temperatures.
        {"HpaDefPowerDig", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"HpaDefPowerAn", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"HpaMinPowerDig", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"HpaMinPowerAn", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"HpaMaxPowerDig", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"HpaMaxPowerAn", nullptr, S32, 1, anyValue(), {}, {}, {}},
        {"HpaMinFreqDig", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaMaxFreqDig", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaMinFreqAn", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaMaxFreqAn", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaPowerLimitLow", nullptr, U32, 1, anyValue(), {}, {}, {{40, 47}}},
        {"HpaWordF", nullptr, U32, 1, anyValue(), {}, {}, {{40, 13}}},
        {"HpaWordG", nullptr, U32, 1, anyValue(), {}, {}, {{40, 15}}},
        {"HpaWordH", nullptr, U32, 1, anyValue(), {}, {}, {{40, 16}}},
        {"HpaWordI", nullptr, U32, 1, anyValue(), {}, {}, {{40, 17}}},
        {"HpaWordJ", nullptr, U32, 1, anyValue(), {}, {}, {{40, 18}}},
        {"PsuCount", nullptr, U32, 1, anyValue(), {}, {}, {{40, 19}}},
        {"PsuAvailableCount", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"HpsTypeCode", nullptr, U32, 1, anyValue(), {}, {}, {{17, 1}}},
        {"HpaCriticalTemp", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"HpaCriticalTempLow", nullptr, U32, 1, anyValue(), 70, {}, {{10, 3}}},
        {"HpaCriticalTempHigh", nullptr, U32, 1, anyValue(), 80, {}, {{10, 5}}},
        // Power-supply records 0..2: "A" cells in sections 31..33, "B" cells
        // in 34..36.
        {"PsuInterface", nullptr, U32, 3, anyValue(), {}, {}, {}},
        {"PsuType", nullptr, U32, 3, anyValue(), {}, {}, {{31, 1}}, false, 1, {{33, 1}}},
        {"PsuVoutSetpoint", nullptr, U32, 3, anyValue(), {}, {}, {{31, 12}}, false, 1, {{33, 12}}},
        {"HPSVoutNom", "HPS_VoutNom", U32, 3, anyValue(), {}, {0x80000}, {}},
        {"PsuShelfWord1", nullptr, U32, 3, anyValue(), {}, {}, {{31, 15}}, false, 1, {{33, 15}}},
        {"PsuShelfWord2", nullptr, U32, 3, anyValue(), {}, {}, {{31, 14}}, false, 1, {{33, 14}}},
        {"PsuOperationMode", nullptr, BYTES_BY_HAND, 3, anyValue(), {}, {}, {}},
        {"PsuStatus", nullptr, U32, 3, anyValue(), {}, {}, {{34, 16}}, false, 1, {{36, 16}}},
        {"PsuPresent", nullptr, U8, 3, anyValue(), {}, {}, {}},
        {"PsuShelfStatus", nullptr, U8, 3, anyValue(), {}, {}, {{34, 18}}, false, 1, {{36, 18}}},
        {"PsuEnabled", nullptr, U8, 3, anyValue(), {}, {}, {{34, 17}}, false, 1, {{36, 17}}},
        {"PsuOutputOff", nullptr, U8, 3, anyValue(), {}, {}, {}},
        {"PsuStatusByte", nullptr, BYTES_BY_HAND, 3, anyValue(), {}, {}, {}, false, 5},
        {"PsuReadingWord1", nullptr, U32, 3, anyValue(), {}, {}, {{34, 5}}, false, 1, {{36, 5}}},
        {"PsuReadingWord2", nullptr, U32, 3, anyValue(), {}, {}, {{34, 6}}, false, 1, {{36, 6}}},
        {"PsuVoutMeasured", nullptr, S32, 3, anyValue(), {}, {}, {{34, 7}}, false, 1, {{36, 7}}},
        {"PsuIoutMeasured", nullptr, S32, 3, anyValue(), {}, {}, {{34, 8}}, false, 1, {{36, 8}}},
        {"PsuPowerOut", nullptr, U32, 3, anyValue(), {}, {}, {{34, 9}}, false, 1, {{36, 9}}},
        {"PsuReading24", nullptr, U32, 3, anyValue(), {}, {}, {{34, 15}}, false, 1, {{36, 15}}},
        {"PsuReadingWord", nullptr, BYTES_BY_HAND, 3, anyValue(), {}, {}, {}, false, 4},
        {"PsuReadingByte", nullptr, U32, 3, anyValue(), {}, {}, {{34, 10}}, false, 1, {{36, 10}}},
        {"PsuShelfWord3", nullptr, U32, 3, anyValue(), {}, {}, {{34, 19}}, false, 1, {{36, 19}}},
        {"PsuPlatformInfo1", nullptr, BYTES_BY_HAND, 3, anyValue(), {}, {}, {}, false, 3},
        {"PsuPlatformInfo4", nullptr, BYTES_BY_HAND, 3, anyValue(), {}, {}, {}, false, 3},
        {"PsuPlatformInfo4Tail", nullptr, BYTES_BY_HAND, 3, anyValue(), {}, {}, {}},
        {"PsuIdentity", nullptr, BYTES_BY_HAND, 3, anyValue(), {}, {}, {}, false, 6},

        // RF.
        {"DriverPower", "driver_power", S16, 1, anyValue(), 300, {0x40000}, {{5, 6}}},
        {"DriverPowerOffset", "driver_power_offset", S16, 1, between(-30, 30), 0, {0x40000}, {{5, 9}}},
        {"PowerOffsetFine", "power_offset_fine", S16, 1, between(-10, 10), 0, {0x40000}, {{5, 10}}},
        {"PowerOffsetFirstFreq", "power_offset_first_freq", S16, 1, between(-30, 30), 0, {0x40000}, {{5, 17}}},
        {"PowerOffsetLastFreq", "power_offset_last_freq", S16, 1, between(-30, 30), 0, {0x40000}, {{5, 18}}},
        // The frequency and its offsets are marked (0x8000, 0x100000) only once
        // the hardware is ready (tested with the RF setters).
        {"OutputRFfrequency", "output_RFfrequency", U32, 1, anyValue(), 89500000, {}, {{5, 11}}},
        {"FrequencyOffset", "frequency_offset", S32, 1, between(-500, 500), {}, {}, {{5, 12}}},
        {"FrequencyCalibOffset", "frequency_calib_offset", S32, 1, between(-1000, 1000), {}, {}, {{14, 20}}},
        {"LastValidVdac", "last_valid_Vdac", U16, 1, anyValue(), 3000, {0x40000}, {}},
        {"LastValidHpsVout", "last_valid_HpsVout", U32, 1, anyValue(), 0, {0x40000}, {}},
        {"RestoreOffsetHpsVout", "restore_offset_HpsVout", U32, 1, anyValue(), 2000, {0x40000}, {{17, 22}}},
        {"HpaNomFwd", "HpaNomFwd", U16, 1, anyValue(), {}, {0x40000}, {}},
        {"HpaNomRef", "HpaNomRef", U16, 1, anyValue(), {}, {0x40000}, {}},
        {"PowerDynamicRange", "PowerDynamicRange", U16, 1, between(50, 120), 100, {0x40000}, {{5, 24}}},
        {"BoardOutputPower", "BoardOutputPower", S16, 1, between(-30, 30), {}, {0x40000}, {{5, 25}}},
        // RF status bytes.
        {"RfOutputState", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RfMuteState", nullptr, U8, 1, anyValue(), 0, {}, {}},
        {"RfMuteCopy", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RfByte1", nullptr, U8, 1, anyValue(), 1, {0x40000}, {}},
        {"ApcScale", nullptr, F32, 1, anyValue(), 0x44800000, {0x40000}, {}},
        {"RfByte2", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RfByte3", nullptr, U8, 1, anyValue(), 0, {0x40000}, {}},
        {"LockoutByte", nullptr, U8, 1, anyValue(), {}, {0x40000}, {}},
        {"LastValidRestoreRequest", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"AmpLockoutFlag", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"LinkRfByte", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RfLoopFlag", nullptr, U8, 1, anyValue(), 1, {0x40000}, {}},
        {"PowerCalCmd1", nullptr, U8, 1, anyValue(), {}, {}, {{13, 20}}},
        {"PowerCalCmd2", nullptr, U8, 1, anyValue(), {}, {}, {{13, 21}}},
        {"PowerCalCmd3", nullptr, U8, 1, anyValue(), {}, {}, {{13, 49}}},
        {"PowerCalCmd4", nullptr, U8, 1, anyValue(), {}, {}, {{13, 50}}},
        // Power calibration (the APC defaults with HPS code and type code 0).
        {"FwdPowerCalibrated", "FwdPowerCalibrated", U8, 1, anyValue(), {}, {0x40000}, {{13, 22}}},
        {"RefPowerCalibrated", "RefPowerCalibrated", U8, 1, anyValue(), {}, {0x40000}, {{13, 23}}},
        {"VoltageAPC", "VoltageAPC", U32, 1, anyValue(), {}, {}, {{13, 24}}},
        {"DefaultVoltageAPC", "DefaultVoltageAPC", U32, 1, anyValue(), 700, {0x40000}, {{13, 43}}},
        {"MaxVoltageAPC", "MaxVoltageAPC", U32, 1, anyValue(), 2500, {0x40000}, {{13, 57}}},
        {"RefPowerCalOffset", "RefPowerCalOffset", S16, 1, anyValue(), 0, {0x40000}, {{13, 28}}},
        {"RefPowerMeasOffset", "RefPowerMeasOffset", S16, 1, anyValue(), {}, {0x40000}, {{13, 37}}},
        {"FwdPowerMuteThd", "FwdPowerMuteThd", U16, 1, anyValue(), 10, {0x40000}, {{13, 38}}},
        {"RefPowerMode", nullptr, U8, 1, anyValue(), {}, {}, {{13, 39}}},
        {"PowerOffsetWord", nullptr, S16, 1, anyValue(), {}, {0x40000}, {}},
        {"LockoutCount", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"HpaByteP", nullptr, U8, 1, anyValue(), 1, {}, {}},
        {"HpaByteQ", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"HpaByteR", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FwdMeasFlagA", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"CalibrationDone", nullptr, U8, 1, anyValue(), 1, {}, {}},
        {"AlcEnabled", nullptr, U8, 1, anyValue(), 1, {}, {}},
        {"HpaFwdCorrection", nullptr, S16, 1, anyValue(), {}, {}, {}},
        {"FwdMeasFlagB", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"HpaWordAt", nullptr, S32, 28, anyValue(), {}, {}, {}},
        {"PowerTableWord", nullptr, U32, 16, anyValue(), {}, {}, {}},
        // Tunable band-pass filter: settings (table 56), derived words, fine
        // tables by band (defaults by band: element 0's here).
        {"TunBpfCoarseA", nullptr, U8, 1, wholeBetween(0, 7), {}, {}, {{56, 1}}},
        {"TunBpfFineA", nullptr, U16, 1, wholeBetween(0, 511), {}, {}, {{56, 2}}},
        {"TunBpfCoarseB", nullptr, U8, 1, wholeBetween(0, 7), {}, {}, {{56, 3}}},
        {"TunBpfFineB", nullptr, U16, 1, wholeBetween(0, 511), {}, {}, {{56, 4}}},
        {"TunBpfVeryFine", nullptr, U8, 1, wholeBetween(0, 31), {}, {}, {{56, 6}}},
        {"TunBpfByte5", nullptr, U8, 1, wholeBetween(0, 15), {}, {}, {}},
        {"TunBpfCapWord1", nullptr, U32, 1, anyValue(), {}, {}, {{56, 7}}},
        {"TunBpfDerived1", nullptr, U32, 1, anyValue(), {}, {}, {{56, 8}}},
        {"TunBpfCapWord2", nullptr, U32, 1, anyValue(), {}, {}, {{56, 9}}},
        {"TunBpfDerived2", nullptr, U32, 1, anyValue(), {}, {}, {{56, 10}}},
        {"TunBpfWord6", nullptr, U32, 1, anyValue(), {}, {}, {{56, 11}}},
        {"TunBpfDerived3", nullptr, U32, 1, anyValue(), {}, {}, {{56, 12}}},
        {"TunBpfCpPreFine", "TunBpf_CpPreFineFreq_88MHz", U16, 20, anyValue(), 140, {0x8}, {}},
        {"TunBpfCpPostFine", "TunBpf_CpPostFineFreq_88MHz", U16, 20, anyValue(), 140, {0x8}, {}},
        {"TunBpfCsVeryFine", "TunBpf_CsVeryFineFreq_88MHz", U8, 20, anyValue(), 31, {0x8}, {}},
        {"TunBpfOption", nullptr, U8, 1, anyValue(), {}, {}, {}},

        // Input: the output matrix's L/MPX select.
        {"MatrixLMpx", nullptr, U32, 1, anyValue(), {}, {}, {}},
        // Input: language and locale, input configurations, terminations, transport
        // stream, clipper; the routing and matrix words.
        {"Language", "language", BYTES2, 1, anyValue(), {}, {0x2000}, {}},
        {"Locale", "locale", BYTES2, 1, anyValue(), {}, {0x2000}, {}},
        // Code 62 puts the right input off, which marks the levels too.
        {"OutputConfiguration", "output_configuration", U32, 1, upTo(62), {}, {0x40, 0x100000, 0x20000}, {{11, 11}}},
        {"InputBackup", "input_backup", U32, 1, upTo(13), 0, {0x20}, {{11, 15}}},
        {"InputBackupRds", "input_backup_rds", U32, 1, upTo(2), {}, {0x20}, {{11, 21}}},
        {"InputRx", "input_rx", U32, 1, upTo(2), 1, {0x20}, {{11, 26}}},
        {"InputRxRds", "input_rx_rds", U32, 1, upTo(2), {}, {0x20}, {{11, 27}}},
        {"InputSwitchMode", "input_switch_mode", U32, 1, upTo(2), {}, {0x20}, {{11, 24}}},
        {"InputSelection", "input_selection", U32, 1, upTo(2), {}, {0x20}, {{11, 25}}},
        {"InputSwapTime", "input_swap_time", U32, 1, upTo(300), 30, {0x20}, {{11, 16}}},
        {"InputSelFromTlc", "input_sel_from_tlc", U8, 1, upTo(1), {}, {0x20}, {{11, 30}}},
        {"VariableAudioEqualizerStatus", "variable_audio_equalizer_status", U32, 1, upTo(1), {}, {0x20000}, {{9, 4}}},
        {"AudioLeftTermination", "audio_left_termination", U32, 1, upTo(1), {}, {0x20}, {{11, 7}}},
        {"AudioRightTerminationStatus", "audio_right_termination_status", U32, 1, upTo(1), {}, {0x20}, {{11, 8}}},
        {"RdsTerminationStatus", "rds_termination_status", U32, 1, upTo(1), {}, {0x20}, {{11, 9}}},
        {"MpxDigTermination", "mpx_dig_termination", U32, 1, upTo(1), {}, {0x20}, {{11, 28}}},
        {"InputAlarmVsTxStatus", "InputAlarmVsTxStatus", U8, 1, upTo(1), {}, {0x1}, {{11, 29}}},
        {"SIInsertion", "SI_insertion", U32, 1, anyValue(), {}, {0x1}, {}},
        {"PATInsertion", "PAT_insertion", U32, 1, anyValue(), {}, {0x1}, {}},
        {"PPSImpedance", "PPS_impedance", U32, 1, upTo(1), {}, {0x20}, {{11, 23}}},
        {"TSID", "TS_ID", U16, 1, anyValue(), {}, {0x1}, {}},
        {"TSRateOut", "TS_rate_out", U32, 1, anyValue(), {}, {0x1}, {}},
        {"ClipperStatus", "clipper_status", U32, 1, upTo(1), {}, {0x20000}, {{9, 5}}},
        {"ClipperOrder", "clipper_order", U32, 1, upTo(3), {}, {0x20000}, {{9, 6}}},
        {"ClipperDecay", "clipper_decay", U32, 1, upTo(3), {}, {0x20000}, {{9, 16}}},
        {"ClipperProfile", "clipper_profile", U32, 1, upTo(2), {}, {0x20000}, {{9, 24}}},
        {"OutputCfgCode", nullptr, U32, 1, anyValue(), {}, {}, {{11, 18}}},
        {"SecondaryInputCfg", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"StandbyInputRoute", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRouteSelA", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRouteFlagB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ActiveInput", nullptr, U32, 1, anyValue(), {}, {}, {{11, 17}}},
        {"MpxChSrc", nullptr, U32, 1, anyValue(), {}, {}, {{11, 1}}},
        {"AuxChSrc", nullptr, U32, 1, anyValue(), {}, {}, {{11, 2}}},
        {"InputCfg", nullptr, U32, 1, anyValue(), {}, {}, {{11, 14}}},
        {"AudioType", nullptr, U32, 1, anyValue(), {}, {}, {{11, 12}}},
        {"AudioMono", nullptr, U32, 1, anyValue(), {}, {}, {{11, 13}}},
        {"RouteWord5", nullptr, U32, 1, anyValue(), {}, {0x20000}, {}},
        {"MpxDigSrc", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MpxDigIns", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MatrixRAux", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MatrixDigAux", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MatrixConfig", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputLeftLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRightLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputDigitalLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputMpxDigLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputEthLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputRxLinePres", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresWord1", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresWord3", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresThresholdA", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresThresholdB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputPresThresholdC", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MtxLMpxLevel", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MtxRAuxLevel", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MtxDigAuxLevel", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MtxBackupLLevel", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MtxBackupRLevel", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"InputRouteFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AuxControlFlag", nullptr, U8, 1, anyValue(), {}, {0x1}, {}},
        {"AudioEqFlag", nullptr, U32, 1, upTo(1), 1, {0x20000}, {{9, 1}}},
        {"AudioOutFlagA", nullptr, U32, 1, upTo(1), {}, {0x40}, {{11, 5}}},
        {"AudioOutFlagB", nullptr, U32, 1, upTo(1), {}, {0x40}, {{11, 6}}},
        {"ClipperInAction", nullptr, U32, 1, anyValue(), {}, {}, {{10, 9}}},
        {"OutFifoAlm", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"GatedOutputCfg", nullptr, U32, 1, anyValue(), {}, {0x40}, {}},
        {"GatedOutput", nullptr, U32, 1, anyValue(), {}, {0x40}, {}},

        // MPX over IP: side settings, and (side, entry) records; no cells.
        {"RxEnable", "Rx_enable", U32, 2, anyValue(), 0, {0x1000}, {}, false, 4},
        {"RxAutoTransferProtocolStatus", "Rx_auto_transfer_protocol_status", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"RxTransferProtocol", "Rx_transfer_protocol", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"RxMulticastStatus", "Rx_multicast_status", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"RxIGMPVersion", "Rx_IGMP_version", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"RxMACMatch", "Rx_MAC_match", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"RxPingResponseStatus", "Rx_ping_response_status", U32, 2, anyValue(), {}, {0x1000}, {}},
        {"RxIPAddress", "Rx_IP_address", U32, 2, anyValue(), {}, {0x1000}, {}},
        {"RxNetmask", "Rx_netmask", U32, 2, anyValue(), 0xFFFFFF00, {0x1000}, {}},
        {"RxGroupAddress", "Rx_group_address", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"RxSourceAddress", "Rx_source_address", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"GbeGwIp", "Gbe_gw_ip", U32, 2, anyValue(), {}, {0x1000}, {}},
        {"RxPort", "Rx_port", U16, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"TxEnable", "Tx_enable", U32, 2, anyValue(), 0, {0x1000}, {}, false, 4},
        {"TxIPAddress", "Tx_IP_address", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"TxGroupAddress", "Tx_group_address", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"TxSourcePort", "Tx_source_port", U16, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"TxDestinationPort", "Tx_destination_port", U16, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"TxNumberOfPacketInEthernetPacket", "Tx_number_of_packet_in_ethernet_packet", U8, 2, anyValue(), 7, {0x1000}, {}, false, 4},
        {"TxMulticastStatus", "Tx_multicast_status", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"TxUseMulticastRouter", "Tx_use_multicast_router", U32, 2, anyValue(), {}, {0x1000}, {}, false, 4},
        {"TxTTL", "Tx_TTL", U8, 2, anyValue(), 10, {0x1000}, {}, false, 4},
        {"TxNextHop", nullptr, U32, 2, anyValue(), {}, {}, {}, false, 4},
        {"GbeSideStatus", nullptr, U32, 2, anyValue(), {}, {}, {}},
        {"GbeSideInUse", nullptr, U32, 2, anyValue(), {}, {}, {}},
        {"GbeBlockFitted", nullptr, U8, 1, anyValue(), {}, {}, {}},

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
        {"DacApplyEnable", nullptr, U32, 1, anyValue(), 0, {}, {}, true},
        {"MpxDigMaxDeltaClock", "MpxDig_MaxDeltaClock", U16, 1, anyValue(), 6, {0x20}, {{11, 31}}},
        // Time and clock sources, DNS and NTP, time zone, web timers. The
        // zone id is marked only once the hardware is ready.
        {"SystemTimeSource", "system_time_source", U32, 1, upTo(4), {}, {0x2000}, {{43, 11}}},
        {"DNSServerAddress", "DNS_server_address", BYTES_BY_HAND, 1, anyValue(), {}, {}, {}},
        {"NTPPollIval", "NTP_poll_ival", U32, 1, between(60, 1440), 60, {0x2000}, {{43, 16}}},
        {"SystemClockSource", "system_clock_source", U32, 1, upTo(3), {}, {0x1, 0x2000}, {{11, 10}, {43, 10}}, true},
        {"Uart1ConnSel", "UART1_connection_selection", U32, 1, anyValue(), 3, {0x1}, {}, true},
        {"Uart1ConnSelB", nullptr, U32, 1, anyValue(), 3, {0x1}, {}, true},
        {"SystemTimezoneID", "system_timezone_ID", U16, 1, anyValue(), 190, {}, {{43, 12}}},
        {"DaylightSavingTime", "daylight_saving", U32, 1, upTo(2), 0, {0x2000}, {{43, 15}}},
        {"MpxDigDebugMsgEna", "MpxDig_DebugMsgEna", U8, 1, anyValue(), {}, {0x20}, {{11, 32}}},
        {"WebsRefreshTime", "Webs_refresh_time", U8, 1, between(1, 60), 4, {0x2000}, {{43, 9}}},
        {"WebTimerErrorTimeout", "Web_timer_error_timeout", U16, 1, between(10, 255), 10, {0x2000}, {}},
        // Time synchronisation and GPS status.
        {"TimeSyncCapable", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"ClockInternal", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"ClockInternalB", nullptr, U32, 1, anyValue(), 0, {}, {}},
        {"NtpStepWord", nullptr, U32, 1, anyValue(), {}, {}, {}, true},
        {"TimeSyncState", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TimeSyncDone", nullptr, U32, 1, anyValue(), {}, {}, {{48, 2, NEGATED}}},
        {"TimeSyncFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TimeAuxWord", nullptr, U32, 1, anyValue(), {}, {}, {}, true},
        {"LastNtpSyncTime", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"GpsStatusWord", nullptr, U32, 1, anyValue(), {}, {}, {{48, 1}}},
        {"GpsStatusByte", nullptr, U8, 1, anyValue(), {}, {}, {{48, 3}}},
        {"GpsStatusFloat", nullptr, F32, 1, anyValue(), {}, {}, {{48, 4, TRUNC}}},
        {"GpsA1", nullptr, U16, 1, anyValue(), {}, {}, {{48, 5}}},
        {"GpsA2", nullptr, U16, 1, anyValue(), {}, {}, {{48, 6}}},
        {"GpsA3", nullptr, F32, 1, anyValue(), {}, {}, {{48, 7, X100}}},
        {"GpsA4", nullptr, U8, 1, anyValue(), {}, {}, {{48, 8}}},
        {"GpsB1", nullptr, U16, 1, anyValue(), {}, {}, {{48, 9}}},
        {"GpsB2", nullptr, U16, 1, anyValue(), {}, {}, {{48, 10}}},
        {"GpsB3", nullptr, F32, 1, anyValue(), {}, {}, {{48, 11, X100}}},
        {"GpsB4", nullptr, U8, 1, anyValue(), {}, {}, {{48, 12}}},
        {"GpsInfoRecord", nullptr, U32, 11, anyValue(), {}, {}, {}},
        {"MpxDigWord1", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MpxDigWord2", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MpxDigWord3", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MpxDigByte1", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"MpxDigByte2", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"MpxDigByte3", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"ActiveBank", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"RunningBank", nullptr, U8, 1, anyValue(), {}, {0x1}, {}},
        {"BankByte", nullptr, U8, 1, anyValue(), {}, {0x1}, {}},
        {"BankWord", nullptr, U32, 1, anyValue(), {}, {0x1}, {}},
        {"UpgradeSource", nullptr, U32, 1, anyValue(), {}, {}, {}},

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
        {"LevelMpx2_dBu", "level_mpx2_dBu", S16, 1, between(-120, 180), 120, {0x20000, 0x100000}, {{9, 46}}},
        // Levels and deviations.
        {"FpgaResetPulseFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaSyncPulseFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaReprogramFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AutoLevelScale", "auto_level_scale", U8, 1, upTo(1), {}, {0x20000}, {{9, 41}}},
        {"PilotCode", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"LevelPilotPercentage", "level_pilot_percentage", U8, 1, upTo(200), 100, {0x20000}, {{9, 13}}},
        {"PilotLevelCode", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"LevelReferenceAnl", "level_reference_anl", S16, 1, between(-120, 120), 120, {0x20000}, {{9, 44}}},
        {"LevelReferenceDig", "level_reference_dig", S16, 1, between(-240, 0), {}, {0x20000}, {{9, 45}}},
        {"PilotDevHz", "pilot_dev_hz", U32, 1, upTo(150000), 7500, {0x20000}, {{9, 42}}},
        {"RdsDevHz", "rds_dev_hz", U32, 1, upTo(150000), 7500, {0x20000}, {{9, 43}}},
        {"LevelLeft_dBu", "level_left_dBu", S16, 1, between(-120, 180), 120, {0x20000}, {{9, 8}}},
        {"LevelLeftOffset_dBu", "level_left_offset_dBu", S16, 1, between(-20, 20), {}, {0x20000}, {{9, 25}}},
        {"LevelRight_dBu", "level_right_dBu", S16, 1, between(-120, 180), 120, {0x20000}, {{9, 9}}},
        {"LevelRightOffset_dBu", "level_right_offset_dBu", S16, 1, between(-20, 20), {}, {0x20000}, {{9, 26}}},
        {"LevelLeft_dBFS", "level_left_dBFS", S16, 1, between(-240, 0), {}, {0x20000}, {{9, 22}}},
        {"LevelLeftOffset_dBFS", "level_left_offset_dBFS", S16, 1, between(-20, 20), {}, {0x20000}, {{9, 29}}},
        {"LevelRight_dBFS", "level_right_dBFS", S16, 1, between(-240, 0), {}, {0x20000}, {{9, 23}}},
        {"LevelRightOffset_dBFS", "level_right_offset_dBFS", S16, 1, between(-20, 20), {}, {0x20000}, {{9, 30}}},
        {"LevelRx_dBu", "level_rx_dBu", S16, 1, between(-120, 120), {}, {0x20000}, {{9, 10}}},
        {"LevelCodDigMpx_dBFS", "level_cod_dig_mpx_dBFS", S16, 1, between(-240, 0), {}, {0x20000}, {{9, 36}}},
        {"DigMpxGain", nullptr, U32, 1, anyValue(), std::bit_cast<uint32_t>(0.6095f), {}, {}},
        {"LevelMpxDigOffset_dBFS", "level_mpx_dig_offset_dBFS", S16, 1, between(-20, 20), {}, {0x20000}, {{9, 37}}},
        {"LevelRxOffset_dB", "level_rx_offset_dB", S16, 1, between(-50, 50), {}, {0x20000}, {{9, 38}}},
        {"LevelRxSnrOffset_dB", "level_rx_snr_offset_dB", S16, 1, between(-50, 50), {}, {0x20000}, {{9, 39}}},
        {"LevelWordA", nullptr, U16, 1, anyValue(), {}, {0x20000}, {}},
        {"RightChannelGain", nullptr, U16, 1, anyValue(), {}, {0x20000}, {}},
        {"LevelRxCode", nullptr, U16, 1, anyValue(), {}, {0x20000}, {}},
        {"PreEnphasisMode", "pre_enphasis_mode", U32, 1, upTo(1), {}, {0x20000}, {{9, 18}}},
        {"PreEnphasisEn", "pre_enphasis_en", U32, 1, upTo(1), 1, {0x20000}, {{9, 17}}},
        {"MpxOptionA", nullptr, U32, 1, upTo(1), 1, {0x20000}, {{9, 3}}},
        {"MpxOptionB", nullptr, U32, 1, upTo(1), 1, {0x20000}, {{9, 2}}},
        {"MpxOptionC", nullptr, U32, 1, upTo(1), {}, {0x20000}, {{9, 7}}},
        {"AudioInputAlarm", nullptr, U32, 1, anyValue(), {}, {}, {{10, 10}}},
        {"AesEbuAl", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AesEbuAlCode", nullptr, U32, 1, anyValue(), {}, {}, {{12, 1}}},
        {"AudioFilterErr", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ModulationOffSec", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqDevDouble", "freq_dev_double", U32, 1, upTo(1), {}, {0x20000}, {{9, 31}}},
        {"RxFreqDevHalf", "rx_freq_dev_half", U32, 1, upTo(1), {}, {0x20000}, {{9, 32}}},
        // Audio alarms.
        {"TotAudioAlmEnable", "TotAudio_AlmEnable", U8, 1, upTo(1), 1, {0x20}, {{19, 1}}},
        {"TotAudioAlmThreshold", "TotAudio_AlmThreshold", S16, 1, between(-80, -3), -20, {0x20}, {{19, 2}}},
        {"TotAudioAlmDelay", "TotAudio_AlmDelay", U16, 1, between(5, 300), 10, {0x20}, {{19, 3}}},
        {"AudioLeftAlmEnable", "AudioLeft_AlmEnable", U8, 1, upTo(1), 1, {0x20}, {{19, 4}}},
        {"AudioLeftAlmThreshold", "AudioLeft_AlmThreshold", S16, 1, between(-80, -3), -20, {0x20}, {{19, 5}}},
        {"AudioLeftAlmDelay", "AudioLeft_AlmDelay", U16, 1, between(5, 300), 10, {0x20}, {{19, 6}}},
        {"AudioRightAlmEnable", "AudioRight_AlmEnable", U8, 1, upTo(1), 1, {0x20}, {{19, 7}}},
        {"AudioRightAlmThreshold", "AudioRight_AlmThreshold", S16, 1, between(-80, -3), -20, {0x20}, {{19, 8}}},
        {"AudioRightAlmDelay", "AudioRight_AlmDelay", U16, 1, between(5, 300), 10, {0x20}, {{19, 9}}},
        {"AudioAuxAlmEnable", "AudioAux_AlmEnable", U8, 1, upTo(1), 1, {0x20}, {{19, 10}}},
        {"AudioAuxAlmThreshold", "AudioAux_AlmThreshold", S16, 1, between(-80, -3), -20, {0x20}, {{19, 11}}},
        {"AudioAuxAlmDelay", "AudioAux_AlmDelay", U16, 1, between(5, 300), 10, {0x20}, {{19, 12}}},
        {"AudioPilotAlmEnable", "AudioPilot_AlmEnable", U8, 1, upTo(1), 1, {0x20}, {{19, 13}}},
        {"AudioPilotAlmThreshold", "AudioPilot_AlmThreshold", S16, 1, between(-80, -3), -20, {0x20}, {{19, 14}}},
        {"AudioPilotAlmDelay", "AudioPilot_AlmDelay", U16, 1, between(5, 300), 10, {0x20}, {{19, 15}}},
        {"InputPresAlmThreshold", "InputPres_AlmThreshold", U32, 1, anyValue(), 4, {0x20}, {{11, 19}}},
        {"InputPresAlmDelay", "InputPres_AlmDelay", U16, 1, anyValue(), 10, {0x20}, {{11, 20}}},
        {"InputPresAlmEnable", "InputPres_AlmEnable", U8, 1, upTo(1), 1, {0x20}, {{11, 22}}},
        {"FmRxInputSel", nullptr, U32, 1, anyValue(), 3, {}, {}},

        // Synchronised operation, RDS levels and RDS status words.
        {"NetMode", "net_mode", U32, 1, anyValue(), {}, {0x10}, {{55, 1}}},
        {"FreqRef", "freq_ref", U32, 1, anyValue(), 1, {0x10}, {{55, 3}}},
        {"TimeRef", "time_ref", U32, 1, anyValue(), 1, {0x10}, {{55, 2}}},
        {"MuteFrefAbsent", "mute_fref_absent", U8, 1, anyValue(), {}, {0x10}, {{55, 15}}},
        {"MuteTrefAbsent", "mute_tref_absent", U8, 1, anyValue(), {}, {0x10}, {{55, 16}}},
        {"InputDelay", "input_delay", U32, 1, anyValue(), {}, {0x10}, {{55, 6}}},
        {"AddedDelay", "added_delay", U32, 1, anyValue(), {}, {0x10}, {{55, 7}}},
        {"PilPhOffs", "pil_ph_offs", U32, 1, anyValue(), {}, {0x10}, {{55, 9}}},
        {"TestSigEna", "test_sig_ena", U8, 1, anyValue(), {}, {0x10}, {{55, 13}}},
        {"TestSigDelay", "test_sig_delay", U32, 1, anyValue(), {}, {0x10}, {{55, 12}}},
        {"FreqRefSource", nullptr, U32, 1, anyValue(), {}, {}, {{55, 5}}},
        {"FreqRefFpgaSource", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqRefSource6Flag", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"TimeRefSource", nullptr, U32, 1, anyValue(), {}, {}, {{55, 4}}},
        {"TimeRefFpgaSource", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FreqRefLockFlag", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TimeRefLocked", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputDelayWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AddedDelayFine", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"AddedDelaySamples", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TotalDelay", nullptr, U32, 1, anyValue(), {}, {}, {{55, 8}}},
        {"PilotPhaseExtra", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"PilotPhaseWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"InputDelayMeasReq", nullptr, U32, 1, anyValue(), {}, {}, {{55, 10}}},
        {"DelMeasState", nullptr, U32, 1, anyValue(), {}, {}, {{55, 11}}},
        {"TestSigDelayWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"TestSigEnaCopy", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"DelMeasCmd", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"DelMeasOk", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"DelMeasBusy", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"DelMeasValue", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"SynchroCtrlFlag17", nullptr, U8, 1, anyValue(), {}, {}, {{55, 17}}},
        {"SynchroCtrlFlag18", nullptr, U8, 1, anyValue(), {}, {}, {{55, 18}}},
        {"RdsInternalLevelPercentage", "RdsInternalLevel_Percentage", U16, 1, upTo(1000), 100, {0x10000}, {{9, 12}}},
        {"RdsExternalLevel_dBu", "RdsExternal_level_dBu", S16, 1, between(-180, 180), 120, {0x10000}, {{9, 11}}},
        {"RdsExternalLevelOffset_dBu", "RdsExternal_level_offset_dBu", S16, 1, between(-20, 20), {}, {0x10000}, {{9, 27}}},
        {"RdsExternalGain", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"RdsFifoAlmostFullFpga", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsFifoStatusB", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsFifoStatusC", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsFifoFree", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsOutputEnable", nullptr, U8, 1, anyValue(), {}, {0x10000}, {}},
        {"RdsCtrlFlag", nullptr, U8, 1, anyValue(), {}, {0x10000}, {}},
        {"RdsCtrlWord", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RdsLevelCode", nullptr, U16, 1, anyValue(), 2048, {}, {}},
        {"RdsFpgaBlockWord", nullptr, U16, 4, anyValue(), {}, {}, {}},

        // RDS common settings and UECP slots 1..10 (element 0 is slot 1).
        {"UECPInterface", "UECP_Interface", U32, 1, upTo(1), 0, {0x10000, 0x1}, {{20, 1}}},
        {"UECPInterfaceBaudrate", "UECP_InterfaceBaudrate", U32, 1, upTo(9), 1, {0x10000}, {{20, 16}}},
        {"UECPEncoderAddr", "UECP_Encoder_addr_1", U8, 10, upTo(63), 0, {0x10000}, {{20, 3}}, false, 1, {{20, 42}}},
        {"UECPEncoderAddrEna", "UECP_Encoder_addr_1_ena", U8, 10, anyValue(), 1, {0x10000}, {}, false, 1, {{20, 41}}},
        {"UECPSiteAddr", "UECP_Site_addr_1", U16, 10, upTo(1023), 0, {0x10000}, {{20, 2}}, false, 1, {{20, 54}}},
        {"UECPSiteAddrEna", "UECP_Site_addr_1_ena", U8, 10, anyValue(), 1, {0x10000}, {}, false, 1, {{20, 53}}},
        {"UECPEncoderAddrLegacy", "UECP_Encoder_addr", U8, 1, anyValue(), {}, {0x10000}, {{20, 3}}},
        {"UECPSiteAddrLegacy", "UECP_Site_addr", U16, 1, anyValue(), {}, {0x10000}, {{20, 2}}},
        {"UECPRegAddrEna", "UECP_Reg_addr_ena", U8, 1, anyValue(), {}, {0x10000}, {{20, 19}}},
        {"UECPRegionAddr", "UECP_Region_addr", U16, 1, anyValue(), {}, {0x10000}, {{20, 20}}},
        {"UECPSectAddrEna", "UECP_Sect_addr_ena", U8, 1, anyValue(), {}, {0x10000}, {{20, 21}}},
        {"UECPSectorAddr", "UECP_Sector_addr", U16, 1, anyValue(), {}, {0x10000}, {{20, 22}}},
        {"UECPAreaAddrEna", "UECP_area_addr_ena", U8, 1, anyValue(), {}, {0x10000}, {{20, 23}}},
        {"UECPAreaAddr", "UECP_Area_addr", U16, 1, anyValue(), {}, {0x10000}, {{20, 24}}},
        {"EON", "EON", U32, 1, upTo(1), 0, {0x10000}, {{20, 17}}},
        {"TaFromTlc", nullptr, U32, 1, anyValue(), 1, {0x10000}, {}},
        {"CustomPS", "CustomPS", U32, 1, upTo(1), 1, {0x10000}, {{20, 5}}},
        {"CustomPI", "CustomPI", U32, 1, upTo(1), 1, {0x10000}, {{20, 6}}},
        {"CustomDI", "CustomDI", U32, 1, upTo(1), 1, {0x10000}, {{20, 7}}},
        {"CustomTP", "CustomTP", U32, 1, upTo(1), 1, {0x10000}, {{20, 8}}},
        {"CustomTA", "CustomTA", U32, 1, upTo(1), 1, {0x10000}, {{20, 9}}},
        {"CustomMS", "CustomMS", U32, 1, upTo(1), 1, {0x10000}, {{20, 10}}},
        {"CustomCT", "CustomCT", U32, 1, upTo(1), 1, {0x10000}, {{20, 11}}},
        {"CustomPTY", "CustomPTY", U32, 1, upTo(1), 1, {0x10000}, {{20, 12}}},
        {"CustomPTYN", "CustomPTYN", U32, 1, upTo(1), 1, {0x10000}, {{20, 13}}},
        {"CustomAF", "CustomAF", U32, 1, upTo(1), 1, {0x10000}, {{20, 14}}},
        {"CustomRT", "CustomRT", U32, 1, upTo(1), 0, {0x10000}, {{20, 15}}},
        {"CustomECC", "CustomECC", U32, 1, upTo(1), 1, {0x10000}, {{20, 18}}},
        {"CustomLanguage", "CustomLanguage", U32, 1, upTo(1), 1, {0x10000}, {{20, 60}}},
        {"CurrentRDSDSN", "Current_RDS_DSN", U8, 1, between(1, 7), 1, {0x10000}, {{20, 4}}},
        {"StandbyRDSDSN", "Standby_RDS_DSN", U8, 1, between(1, 7), 1, {0x10000}, {}},
        {"RegionalDSFromTLC", "RegionalDS_FromTLC", U8, 1, upTo(1), 0, {0x10000}, {{20, 61}}},
        {"RegionalDSN", "RegionalDSN", U8, 1, between(1, 7), 5, {0x10000}, {{20, 62}}},

        // RDS data sets 0..6 in sections 21..27; texts of two words, the
        // first character most significant.
        {"DataSetName", "DataSetName_1", U32, 7, anyValue(), 0x7461726e, {0x10000}, {{21, 37}}, false, 2, {{27, 38}}},
        {"DSN", "DSN", U8, 7, between(1, 253), 1, {0x10000}, {{21, 1}}, false, 1, {{27, 1}}},
        {"PSN", "PSN", U8, 7, anyValue(), 1, {0x10000}, {{21, 2}}, false, 1, {{27, 2}}},
        {"PST", "PST", U32, 7, upTo(1), 0, {0x10000}, {{21, 3}}, false, 1, {{27, 3}}},
        {"StaticPS0", "StaticPS0_1", U32, 7, anyValue(), 0x7461726e, {0x10000}, {{21, 4}}, false, 2, {{27, 5}}},
        {"DynPSFreq", "DynPS_Freq", U8, 7, between(2, 10), 2, {0x10000}, {{21, 6}}, false, 1, {{27, 6}}},
        {"DynPS1", "DynPS1_1", U32, 7, anyValue(), 0x72616469, {0x10000}, {{21, 7}}, false, 2, {{27, 8}}},
        {"DynPS2", "DynPS2_1", U32, 7, anyValue(), 0x72616469, {0x10000}, {{21, 9}}, false, 2, {{27, 10}}},
        {"DynPS3", "DynPS3_1", U32, 7, anyValue(), 0x72616469, {0x10000}, {{21, 11}}, false, 2, {{27, 12}}},
        {"DynPS4", "DynPS4_1", U32, 7, anyValue(), 0x72616469, {0x10000}, {{21, 13}}, false, 2, {{27, 14}}},
        {"DynPS5", "DynPS5_1", U32, 7, anyValue(), 0x72616469, {0x10000}, {{21, 15}}, false, 2, {{27, 16}}},
        {"PI", "PI", U16, 7, anyValue(), 0x5201, {0x10000}, {{21, 17}}, false, 1, {{27, 17}}},
        {"PIN", "PIN", U16, 7, anyValue(), 2048, {0x10000}, {{21, 18}}, false, 1, {{27, 18}}},
        {"DI", "DI", U8, 7, upTo(15), 1, {0x10000}, {{21, 19}}, false, 1, {{27, 19}}},
        {"TP", "TP", U32, 7, upTo(1), 0, {0x10000}, {{21, 20}}, false, 1, {{27, 20}}},
        {"TA", "TA", U32, 7, upTo(1), 0, {0x10000}, {{21, 21}}, false, 1, {{27, 21}}},
        {"MS", "MS", U32, 7, upTo(1), 1, {0x10000}, {{21, 22}}, false, 1, {{27, 22}}},
        {"CT", "CT", U32, 7, upTo(1), 1, {0x10000}, {{21, 23}}, false, 1, {{27, 23}}},
        {"PTY", "PTY", U8, 7, upTo(31), 11, {0x10000}, {{21, 24}}, false, 1, {{27, 24}}},
        {"PTYName", "PTY_Name_1", U32, 7, anyValue(), 0, {0x10000}, {{21, 25}}, false, 2, {{27, 26}}},
        {"AFN", "AFN", U8, 7, upTo(25), 0, {0x10000}, {{21, 27}}, false, 1, {{27, 27}}},
        {"AFL", "AFL_1", U32, 7, anyValue(), 0, {0x10000}, {{21, 28}}, false, 7, {{27, 34}}},
        {"AFM", "AFM", U32, 7, upTo(1), 0, {0x10000}, {{21, 35}}, false, 1, {{27, 35}}},
        {"RadioTextFlag", nullptr, U8, 7, upTo(1), 1, {0x10000}, {{21, 36}}, false, 1, {{27, 36}}},
        {"LSN", "LSN", U16, 7, upTo(4095), 0, {0x10000}, {{21, 39}}, false, 1, {{27, 39}}},
        {"LA", "LA", U8, 7, upTo(1), 0, {0x10000}, {{21, 40}}, false, 1, {{27, 40}}},
        {"EGI", "EGI", U8, 7, upTo(1), 0, {0x10000}, {{21, 41}}, false, 1, {{27, 41}}},
        {"ILS", "ILS", U8, 7, upTo(1), 0, {0x10000}, {{21, 42}}, false, 1, {{27, 42}}},
        {"DataSetEONText", "EON_1", U32, 7, upTo(7), 0, {0x10000}, {{21, 43}}, false, 6, {{27, 48}}},
        {"DataSetEONCount", nullptr, U8, 7, anyValue(), {}, {0x10000}, {}},
        {"ECC", "ECC", U8, 7, anyValue(), 224, {0x10000}, {{21, 50}}, false, 1, {{27, 50}}},
        {"LanguageCode", "LanguageCode", U8, 7, anyValue(), 21, {0x10000}, {{21, 51}}, false, 1, {{27, 51}}},
        {"TF", "TF", U8, 7, anyValue(), 1, {0x10000}, {{21, 52}}, false, 1, {{27, 52}}},
        {"RdsSequenceEnable", "DSn1_RDS_Sequence_Enable", U8, 7, anyValue(), 0, {0x10000}, {{21, 55}}, false, 1, {{27, 55}}},
        // The four parts of the group sequence: the cell holds the first code in
        // the top byte, the part the first code lowest.
        {"RdsSequenceEntry", "DSn1_RDS_Sequence_P1", U32, 7, anyValue(), 0xffffffff, {}, {{21, 56, BYTES_SWAPPED}}, true, 4,
         {{27, 59, BYTES_SWAPPED}}},
        {"RTABFlagMode", "RT_AB_FlagMode", U8, 7, upTo(2), 0, {0x10000}, {{21, 64}}, false, 1, {{27, 64}}},
        // The texts as the XML file writes them whole: the two words of the record.
        {"DataSetNameText", "DataSetName", U32, 7, anyValue(), {}, {}, {}, false, 2},
        {"StaticPS0Text", "Static_PS0", U32, 7, anyValue(), {}, {}, {}, false, 2},
        {"DynPS1Text", "Dynamic_PS1", U32, 7, anyValue(), {}, {}, {}, false, 2},
        {"DynPS2Text", "Dynamic_PS2", U32, 7, anyValue(), {}, {}, {}, false, 2},
        {"DynPS3Text", "Dynamic_PS3", U32, 7, anyValue(), {}, {}, {}, false, 2},
        {"DynPS4Text", "Dynamic_PS4", U32, 7, anyValue(), {}, {}, {}, false, 2},
        {"DynPS5Text", "Dynamic_PS5", U32, 7, anyValue(), {}, {}, {}, false, 2},


        // GSM: common keys, modem status, alarm-enable table, user slots.
        {"GSMPinEna", "GSM_PinEna", U32, 1, anyValue(), {}, {0x200}, {{51, 2}}},
        {"GSMRoamingEna", "GSM_RoamingEna", U32, 1, anyValue(), {}, {0x200}, {{51, 18}}},
        {"GSMSmsAlarmsEna", "GSM_SmsAlarmsEna", U32, 1, anyValue(), {}, {0x200}, {{51, 1}}},
        {"GSMSmsAlarmsTimerEna", "GSM_SmsAlarmsTimerEna", U32, 1, anyValue(), {}, {0x200}, {}},
        {"GSMSmsAlarmsTimerPeriod", "GSM_SmsAlarmsTimerPeriod", U32, 1, anyValue(), {}, {0x200}, {}},
        {"GSMSmsAlarmsTimerStart", "GSM_SmsAlarmsTimerStart", U32, 1, anyValue(), {}, {0x200}, {}},
        {"GSMPin", "GSM_Pin_1", U32, 2, anyValue(), {}, {0x200}, {{51, 3, PLAIN, 1}}},
        {"GSMPuk", "GSM_Puk_1", U32, 2, anyValue(), {}, {0x200}, {{51, 16, PLAIN, 1}}},
        {"GsmPinChanged", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"GSMMaxSmsHour", "GSM_MaxSmsHour", U32, 1, anyValue(), 100, {0x200}, {{51, 5}}},
        {"GSMMaxSmsDay", "GSM_MaxSmsDay", U32, 1, anyValue(), 1000, {0x200}, {{51, 6}}},
        {"GsmSendReq", nullptr, U8, 1, anyValue(), {}, {0x200}, {{51, 7}}},
        {"GSMTestSmsDestPrefix", "GSM_TestSmsDestPrefix", U16, 1, anyValue(), {}, {0x200}, {{51, 8}}},
        {"GSMTestSmsDestNr", "GSM_TestSmsDestNr", U32, 1, anyValue(), {}, {0x200}, {{51, 9}}},
        {"GSMTxLabel", "GSM_TxLabel_1", U32, 5, anyValue(), {}, {0x200}, {{51, 10, PLAIN, 1}}},
        {"GSMCopyToAllUsr", "GSM_CopyToAllUsr", U8, 1, anyValue(), {}, {0x200}, {{51, 15}}},
        {"GSMAdminSmsSupervisorEna", "GSM_AdminSmsSupervisorEna", U8, 1, anyValue(), 1, {0x200}, {{51, 19}}},
        {"GsmModemState", nullptr, U8, 1, anyValue(), 0, {}, {{52, 12}}},
        {"GsmNetTime", nullptr, BYTES24, 1, anyValue(), {}, {}, {}},
        {"GsmModemId", nullptr, BYTES24, 1, anyValue(), {}, {}, {}},
        {"GsmSimId", nullptr, BYTES24, 1, anyValue(), {}, {}, {}},
        // Published as six big-endian words into (52,1)..(52,6), on every call.
        {"GsmOperatorName", nullptr, BYTES24, 1, anyValue(), {}, {}, {}, true},
        {"GsmStatusWord", nullptr, U32, 1, anyValue(), 0, {}, {{52, 7}}},
        {"GsmRegistration", nullptr, U8, 1, anyValue(), 0, {}, {{52, 8}}},
        {"GsmSignalQuality", nullptr, U8, 1, anyValue(), 99, {}, {{52, 9}}},
        {"GsmUserAlarmEna", nullptr, U32, 288, anyValue(), {}, {}, {}, true, 10},
        {"GSMCntSentSmsHour", "GSM_CntSentSmsHour", U32, 1, anyValue(), {}, {0x200}, {{52, 10}}, true},
        {"GSMCntSentSmsDay", "GSM_CntSentSmsDay", U32, 1, anyValue(), {}, {0x200}, {{52, 11}}, true},
        {"GSMLastTimeSentSms", "GSM_LastTimeSentSms", U32, 1, anyValue(), {}, {0x200}, {}},
        // GSM users 0..4 in section 53, 5..9 in 54, twelve cells each.
        {"PhoneDestPrefix", "PhoneDestPrefix", U16, 10, anyValue(), {}, {0x200}, {{53, 1}}, false, 1, {{54, 49}}},
        {"PhoneDestNr", "PhoneDestNr", U32, 10, anyValue(), {}, {0x200}, {{53, 2}}, false, 1, {{54, 50}}},
        {"AlarmEnaBitmask", "AlarmEnaBitmask_1", U32, 10, anyValue(), {}, {0x200}, {{53, 3}}, false, 10, {{54, 60}}},

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
        {"ApLimGainSel", "ap_lim_gain_sel", U8, 1, anyValue(), {}, {0x200000}, {{57, 47}}},
        {"ApLimPostCpr", "ap_lim_post_cpr", U8, 1, anyValue(), {}, {0x200000}, {{57, 46}}},
        {"ApEqPostCpr", "ap_eq_post_cpr", U8, 1, anyValue(), {}, {0x200000}, {{57, 57}}},
        {"ApLimLev", "ap_lim_lev", U8, 1, anyValue(), 1, {0x200000}, {{57, 58}}},
        {"ApCommonLoad", "ap_common_load", U8, 1, anyValue(), {}, {0x200000}, {{57, 61}}},
        {"ApCommonModified", "ap_common_modified", U8, 1, anyValue(), {}, {0x200000}, {{57, 62}}},
        {"ApEqLoad", "ap_eq_load", U8, 1, anyValue(), {}, {0x200000}, {{57, 43}}},
        {"ApEqModified", "ap_eq_modified", U8, 1, anyValue(), {}, {0x200000}, {{57, 44}}},
        {"ApCmpLoad", "ap_cmp_load", U8, 1, anyValue(), {}, {0x200000}, {{57, 40}}},
        {"ApCmpModified", "ap_cmp_modified", U8, 1, anyValue(), {}, {0x200000}, {{57, 41}}},
        {"ApEqGain", "ap_eq_gain", S16_IN_S32, 1, anyValue(), {}, {0x200000}, {{58, 1}}},
        // Band 6 has no cells of its own: the table checks bands 0 and 6 and the
        // cells of band 0.
        {"ApEqFreqC", "ap_eq_freq_c_0", U32, 7, anyValue(), {}, {0x200000}, {{58, 2, PLAIN, 3, 6}}},
        {"ApEqBandGain", "ap_eq_gain_0", U32, 7, anyValue(), {}, {0x200000}, {{58, 3, PLAIN, 3, 6}}},
        {"ApEqQFactor", "ap_eq_q_factor_0", U32, 7, anyValue(), {}, {0x200000}, {{58, 4, PLAIN, 3, 6}}},
        {"ApEqLlShelving", "ap_eq_ll_shelving", U8, 1, anyValue(), {}, {0x200000}, {{58, 20}}},
        {"ApEqHShelving", "ap_eq_h_shelving", U8, 1, anyValue(), {}, {0x200000}, {{58, 21}}},
        {"ApCommonName", "ap_common_name", U32, 10, anyValue(), {}, {}, {}, false, 4},
        {"ApEqName", "ap_eq_name", U32, 14, anyValue(), {}, {}, {}, false, 4},
        {"ApCmpName", "ap_cmp_name", U32, 14, anyValue(), {}, {}, {}, false, 4},
        {"ApStatus", nullptr, S16, 5, anyValue(), {}, {}, {}},
        {"ApCmpSaveSet", nullptr, U8, 1, anyValue(), {}, {}, {{57, 39}}},
        {"ApEqSaveSet", nullptr, U8, 1, anyValue(), {}, {}, {{57, 42}}},
        {"ApCommonSaveSet", nullptr, U8, 1, anyValue(), {}, {}, {{57, 60}}},
        {"ApByte45", nullptr, U8, 1, anyValue(), {}, {}, {{57, 45}}},
        {"ApByte49", nullptr, U8, 1, anyValue(), {}, {}, {{57, 49}}},
        {"ApByte48", nullptr, U8, 1, anyValue(), {}, {}, {{57, 48}}},
        {"ApByte50", nullptr, U8, 1, anyValue(), {}, {}, {{57, 50}}},
        {"ApByte56", nullptr, U8, 1, anyValue(), {}, {}, {{57, 56}}},
        {"ApLimByte", nullptr, U8, 1, anyValue(), 31, {}, {{57, 59}}},
        {"ApWord23", nullptr, U32, 1, anyValue(), {}, {}, {{58, 23}}},
        {"ApWord24", nullptr, U32, 1, anyValue(), {}, {}, {{58, 24}}},
        {"ApEconOn", "ap_econ_on", U8, 1, anyValue(), {}, {0x40}, {{58, 25}}},
        {"ApEconReference", "ap_econ_reference", U8, 1, anyValue(), {}, {0x40}, {{58, 26}}},
        {"ApEconRatio", "ap_econ_ratio", U8, 1, anyValue(), {}, {0x40}, {{58, 27}}},

        // FPGA region: control-frame inputs and status-block items.
        {"AesEbuSel", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ClipperDevLimitCode", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"NCOOffsetFineFreq", "NCO_offset_fine_freq", U16, 1, upTo(511), 0, {0x40000}, {{9, 19}}},
        {"FpgaOutSelect", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"RfLoopStatusFlag", nullptr, U32, 1, anyValue(), {}, {0x40000}, {}},
        {"MeasuredMpxLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredLeftLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredRightLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredAuxLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredPilotLevelRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"BackupLFreqDevRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"BackupRFreqDevRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredFmDeviationRaw", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"MeasuredMpxDeviationB", nullptr, U32, 1, anyValue(), {}, {}, {{12, 12}}},
        {"MeasuredLeftLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 8}}},
        {"MeasuredRightLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 9}}},
        {"MeasuredFmDeviation", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"MeasuredPilotDeviation", nullptr, U32, 1, anyValue(), {}, {}, {{12, 6}}},
        {"MeasuredMpxDeviation", nullptr, U32, 1, anyValue(), {}, {}, {{12, 2}}},
        {"MeasuredMpxLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 7}}},
        {"MeasuredLeftDeviation", nullptr, U32, 1, anyValue(), {}, {}, {{12, 3}}},
        {"MeasuredRightDeviation", nullptr, U32, 1, anyValue(), {}, {}, {{12, 4}}},
        {"MeasuredAuxDeviation", nullptr, U32, 1, anyValue(), {}, {}, {{12, 5}}},
        {"MeasuredAuxLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 10}}},
        {"MeasuredPilotLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 11}}},
        {"MeasuredMpxLevelB_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 13}}},
        {"PrimDeviation", nullptr, U32, 1, anyValue(), {}, {}, {{12, 14}}},
        {"PrimLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 15}}},
        {"SecDeviation", nullptr, U32, 1, anyValue(), {}, {}, {{12, 16}}},
        {"SecLevel_dB", nullptr, S16, 1, anyValue(), {}, {}, {{12, 17}}},
        {"BackupLFreqDev", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"BackupRFreqDev", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"BackupLFreqDevHz", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"BackupRFreqDevHz", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"FpgaVerMajor", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaVerMinor", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaVerRevision", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaBank1Std", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaBank2Std", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaMute", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"FpgaBank3Std", nullptr, U8, 1, anyValue(), {}, {}, {}},

        // Transmitter-logic region.
        {"FunctionalType", "Functional_type", U32, 1, between(1, 11), 11, {0x2000}, {{3, 3}}},
        {"AmplifierNumber", "Amplifier_number", U8, 1, upTo(4), {}, {0x2000}, {{3, 5}}},
        {"AmplifierType", "Amplifier_type", U32, 1, between(21000, 21999), {}, {0x2000}, {{3, 6}}},
        {"MultiAmplifierTransmitter", "Multi_amplifier_transmitter", U32, 1, upTo(1), {}, {0x2000}, {{3, 8}}},
        {"LocalTimeEnable", "local_time_enable", U8, 1, upTo(1), {}, {0x8}, {{13, 36}}},
        {"LocalMaxTime", "local_max_time", U8, 1, between(1, 24), 1, {0x2000}, {{13, 6}}},
        {"RetryBeforeLockout", "Retry_Before_Lockout", U8, 1, between(1, 10), 3, {0x2000}, {{5, 13}}},
        {"WaitBeforeRetry", "Wait_Before_Retry", U8, 1, anyValue(), 15, {0x2000}, {{5, 14}}},
        {"LockoutProcTime", "Lockout_Proc_Time", U16, 1, anyValue(), 60, {0x2000}, {{5, 15}}},
        {"SWRFoldback", "SWR_Foldback", U8, 1, upTo(1), {}, {0x2000}, {{5, 20}}},
        {"EnableCustomExtAmpRefPower", "Enable_Custom_Ext_Amp_Ref_Power", U32, 1, upTo(1), {}, {0x2000}, {{13, 4}}},
        {"ExciterMode", "Exciter_Mode", U32, 1, upTo(2), {}, {0x2000}, {{13, 5}}},
        {"SelectWrite", "Select_Write", U32, 1, anyValue(), {}, {0x2000}, {{13, 9}}},
        {"TLCType", "TLC_Type", U32, 1, upTo(1), {}, {0x2000}, {{13, 10}}},
        {"ControlSerialAddress", "Control_Serial_Address", U8, 1, anyValue(), {}, {0x2000}, {{13, 14}}},
        {"ExternalAmplifierVoltageSupply", "External_amplifier_voltage_supply", U16, 1, between(200, 510), {}, {0x2000}, {{13, 16}}},
        {"ChangeOverConnectionTimeout", "ChangeOver_Connection_Timeout", U8, 1, anyValue(), 20, {0x2000}, {{13, 17}}},
        {"LTXConnectionTimeout", "LTX_Connection_Timeout", U8, 1, between(5, 60), 20, {0x2000}, {{13, 34}}},
        {"TemperatureOffset", "Temperature_Offset", S32, 1, between(-100, 100), {}, {0x2000}, {{13, 18}}},
        {"LocalFromChangeOver", "local_from_change_over", U32, 1, upTo(1), {}, {0x8}, {{13, 40}}},
        {"FSKSignEna", "FSK_SignEna", U8, 1, upTo(1), 0, {0x2000}, {{13, 52}}},
        {"FSKTxId", "FSK_TxId_1", U32, 2, anyValue(), 0x5441524E, {0x2000}, {{13, 53, PLAIN, 1}}},
        {"FSKSignTimeStart", "FSK_SignTimeStart", U32, 1, anyValue(), 0, {0x2000}, {{13, 55}}},
        // Power region: the nominal powers and the mirrored thresholds set
        // other rows too and are tested with them (powerSettingsTest).
        {"TransmitterNominalPower", "Transmitter_nominal_power", BYTES_BY_HAND, 1, boundedByOtherItems(), {}, {0x2000}, {{5, 1}}},
        {"TxMaxNomPower", "Tx_Max_Nom_Power", S16, 1, boundedByOtherItems(), {}, {0x2000}, {{5, 22}}},
        {"TxNominalPowerLinear", nullptr, U32, 1, upTo(60000000), {}, {0x2000}, {{5, 19}}},
        {"TransmitterLowPowerAlarmThreshold", "Transmitter_low_power_alarm_threshold", BYTES_BY_HAND, 1, between(1, 100), {}, {0x2000}, {{5, 2}}},
        {"TransmitterReflectedPowerAlarmThreshold", "Transmitter_reflected_power_alarm_threshold", U16, 1, between(70, 170), {}, {0x2000}, {{5, 3}}},
        {"TransmitterLowPowerWarningThreshold", "Transmitter_low_power_warning_threshold", BYTES_BY_HAND, 1, between(1, 100), {}, {0x2000}, {{5, 4}}},
        {"TransmitterReflectedPowerWarningThreshold", "Transmitter_reflected_power_warning_threshold", U16, 1, between(70, 200), {}, {0x2000}, {{5, 5}}},
        {"ExciterNominalPower", "Exciter_nominal_power", BYTES_BY_HAND, 1, boundedByOtherItems(), {}, {0x2000}, {}},
        {"ExciterNominalPowerLinear", nullptr, U32, 1, anyValue(), {}, {}, {}},
        {"ExciterLowPowerAlarmThreshold", "Exciter_low_power_alarm_threshold", BYTES_BY_HAND, 1, between(1, 100), {}, {0x2000}, {{5, 7}}},
        {"ExciterLowPowerWarningThreshold", "Exciter_low_power_warning_threshold", BYTES_BY_HAND, 1, between(1, 100), {}, {0x2000}, {{5, 8}}},
        {"ExternalAmplifierReferencePower", "External_amplifier_reference_power", U32, 1, between(1, 0xffffffffLL), {}, {0x2000}, {{13, 3}}},
        {"DeratingOverride", nullptr, U16, 1, upTo(999), {}, {0x2000}, {{5, 16}}},
        {"TransmitterPowerUpTime", "Transmitter_PowerUp_Time", U32, 1, between(1, 300), {}, {0x2000}, {{5, 23}}},
        {"PwrDeratingFactor", "Pwr_Derating_Factor", U16, 1, upTo(60), {}, {0x2000}, {{13, 26}}},
        // Its setter re-applies the derated driver power, which marks the RF
        // power group when the driver power moves.
        {"PwrDeratingEnable", "Pwr_Derating_Enable", U8, 1, upTo(1), {}, {0x2000, 0x40000}, {{13, 25}}},
        {"TemperatureDeratingActive", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"PwrDeratingTemperature", "Pwr_Derating_Temperature", U8, 1, upTo(80), {}, {0x2000}, {{13, 27}, {10, 4}}},
        {"PwrProgDeratingEnable", "Pwr_Prog_Derating_Enable", U8, 1, upTo(1), {}, {0x2000}, {{13, 29}}},
        {"PwrProgDeratingFactor", "Pwr_Prog_Derating_Factor", U16, 1, upTo(60), {}, {0x2000}, {{13, 30}}},
        {"PwrProgDeratingTimeStart", "Pwr_Prog_Derating_TimeStart", U16, 1, upTo(1440), {}, {0x2000}, {{13, 31}}},
        {"PwrProgDeratingTimeStop", "Pwr_Prog_Derating_TimeStop", U16, 1, upTo(1440), {}, {0x2000}, {{13, 32}}},
        {"PwrProgDeratingDayWeek", "Pwr_Prog_Derating_DayWeek", U8, 1, upTo(127), {}, {0x2000}, {{13, 33}}},
        {"AdaptiveReflectedLimit", nullptr, U8, 1, anyValue(), {}, {}, {}},
        {"SwrDerating", nullptr, U16, 1, anyValue(), {}, {}, {}},
        {"TxLowPowerConsiderDerating", "Tx_Low_Power_Consider_Derating", U8, 1, anyValue(), {}, {0x2000}, {{5, 21}}},
        {"FSKSignTimePeriod", "FSK_SignTimePeriod", U8, 1, upTo(9), 0, {0x2000}, {{13, 56}}},
        {"ChangeOverSerialAddress", "Change_Over_Serial_Address", U8, 1, between(1, 255), 10, {0x2000}, {{15, 1}}},
        {"Nplus1Mode", "Nplus1_mode", U32, 1, upTo(1), 0, {0x2000}, {{15, 2}}},
        {"Nplus1MainsNumber", "Nplus1_mains_number", U8, 1, between(1, 8), 4, {0x2000}, {{15, 3}}},
        {"Nplus1HwAddressing", "Nplus1_hw_addressing", U32, 1, upTo(1), {}, {0x2000}, {{15, 9}}},
        {"Nplus1CoExtension", "Nplus1_co_extension", U8, 1, upTo(1), {}, {0x2000}, {{15, 10}}},
        {"Nplus1CoDisableTlc", "Nplus1_co_disable_tlc", U8, 1, upTo(1), {}, {0x2000}, {{15, 11}}},
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
    case S16_IN_S32:
    case U32_LOW_16: return 0xffff;
    default: return 0xffffffffu;
    }
}

// What the getter gives for a value written.
uint32_t readBack(KeyWidth w, uint32_t v)
{
    switch (w) {
    case S16:
    case S16_IN_S32: return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v)));
    case U32_READ_BYTE: return v & 0xff;
    default: return v & widthMask(w);
    }
}

// A value the key accepts that differs from zero and from the default; for
// words that keep or read only their low byte, one with higher bits too.
uint32_t probeValue(const KeyFacts& p)
{
    if (!p.range.any && !p.range.byOtherItems) {
        // The upper edge, or the lower one where the upper is the zeroed value.
        uint32_t hi = static_cast<uint32_t>(p.range.hi != 0 ? p.range.hi : p.range.lo);
        return p.width == U32_LOW_BYTE || p.width == U32_READ_BYTE ? hi + 0x100 : hi;
    }
    switch (p.width) {
    case U8: return 0xa5;
    case U16: return 0xbeef;
    case S16: return static_cast<uint32_t>(-3);
    case U32_LOW_BYTE: return 0x15a;
    case U32_LOW_16: return 0x2beef;
    case IPV4: return htonl(0xc0a80102);
    case F32: return std::bit_cast<uint32_t>(12.5f);
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
        // The time-zone setters apply through the core's service: here one
        // that always succeeds.
        registerLocalTimeOffset([](uint32_t, uint32_t) { return 0; });
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
            EXPECT_STREQ(cfgElementName(d, d->indexBase), p.element);
        else
            EXPECT_EQ(cfgElementName(d, d->indexBase), nullptr);
        EXPECT_EQ(d->at.count, p.count);
        EXPECT_EQ(d->at.inner, p.inner);
        switch (p.width) {
        case U8: EXPECT_EQ(d->at.size, 1); break;
        case U16:
        case S16: EXPECT_EQ(d->at.size, 2); break;
        case BYTES6: EXPECT_EQ(d->at.size, 6); break;
        case BYTES24: EXPECT_EQ(d->at.size, 24); break;
        case BYTES2: EXPECT_EQ(d->at.size, 2); break;
        case TEXT256: EXPECT_EQ(d->at.size, 257); break; // 256 characters and a terminator
        case BYTES_BY_HAND: break;
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
        if (p.range.byOtherItems)
            continue;
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
        if (mask != 0xffffffffu && !p.range.whole) {
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
        if (p.width == BYTES6 || p.width == BYTES24 || p.width == BYTES2 || p.width == TEXT256 ||
            p.width == BYTES_BY_HAND)
            continue;
        uint32_t probe = probeValue(p);
        cfgSetElement(d, d->indexBase, probe);
        cfgApplyDefault(d);
        uint32_t want = p.def ? readBack(p.width, static_cast<uint32_t>(*p.def)) : readBack(p.width, probe);
        EXPECT_EQ(cfgGetElement(d, d->indexBase), want);
    }
}

// Rows whose setters also store and publish other rows' items (a partner
// key, the routing and matrix words, a loaded set): after them, the other
// rows' cells hold what those setters published.
bool publishesOtherRows(const std::string& id)
{
    static const std::set<std::string> ids = {
        "LevelPilotPercentage", "PilotDevHz",     "RdsDevHz",     "RdsInternalLevelPercentage",
        "InputDelay",           "AddedDelay",     "OutputConfiguration", "InputBackup",
        "InputBackupRds",       "ClipperProfile", "MpxChSrc",     "ApCommonLoad",
        "ApEqLoad",             "ApCmpLoad"};
    return ids.count(id) != 0;
}

TEST_F(KeyTableTest, EveryRowStoresPublishesAndMarksOnceAndNotAgainForTheSameValue)
{
    std::map<Cell, uint32_t> expectedCells;
    std::vector<uint8_t> before(sizeof(SystemImage)), after(sizeof(SystemImage));

    for (const KeyFacts& p : documentedKeys()) {
        SCOPED_TRACE(p.id);
        const CfgKeyDesc* d = row(p.id);
        ASSERT_NE(d, nullptr);
        if (p.width == TEXT256 || p.width == BYTES_BY_HAND)
            continue;
        // The first and the last element, by the accessor's index (a
        // two-level family by its flat index).
        uint32_t last = p.count * p.inner - 1u;
        std::vector<uint32_t> elements = {0};
        if (last > 0)
            elements.push_back(last);
        for (uint32_t e : elements) {
            uint32_t i = e + (p.inner > 1 ? 0 : d->indexBase);
            SCOPED_TRACE(e);
            const uint8_t mac[6] = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
            const bool bytes = p.width == BYTES6 || p.width == BYTES24 || p.width == BYTES2;
            const size_t nBytes = p.width == BYTES2 ? 2 : 6;
            uint32_t v = probeValue(p);
            clearChangeWords();
            if (bytes) {
                cfgSetBytes(d, i, mac, nBytes);
                uint8_t back[32] = {};
                cfgGetBytes(d, i, back);
                EXPECT_EQ(memcmp(back, mac, nBytes), 0);
            } else {
                cfgSetElement(d, i, v);
                EXPECT_EQ(cfgGetElement(d, i), readBack(p.width, v));
            }

            uint32_t groups = 0;
            for (uint32_t g : p.groups)
                groups |= g;
            EXPECT_EQ(getConfigChanged(), groups);
            EXPECT_EQ(getConfigLocked(), groups ? 2 : 0);
            const std::vector<KeyCell>& cellsOf = e > 0 && !p.lastCells.empty() ? p.lastCells : p.cells;
            auto cellOfElement = [e, &p](const KeyCell& c) {
                return p.lastCells.empty() ? Cell{c.section, c.item + c.step * e} : Cell{c.section, c.item};
            };
            // A cell only the first elements of a family have.
            auto hasCell = [e](const KeyCell& c) { return e < c.elements; };
            if (publishesOtherRows(p.id)) {
                for (auto& [at, want] : expectedCells)
                    want = readDbAreaCell(at.first, at.second);
            }
            for (const KeyCell& c : cellsOf) {
                if (!hasCell(c))
                    continue;
                if (c.form == BYTES_SWAPPED) {
                    expectedCells[cellOfElement(c)] = __builtin_bswap32(readBack(p.width, v));
                } else if (c.form == MAC_WORDS) {
                    expectedCells[{c.section, c.item}] = 0x02112233u;
                    expectedCells[{c.section, c.item + 1u}] = 0x4455u;
                } else if (c.form == BYTE_CELLS) {
                    for (uint32_t k = 0; k < 6; k++)
                        expectedCells[{c.section, c.item + k}] = mac[k];
                } else if (c.form == X100) {
                    expectedCells[cellOfElement(c)] = 1250;
                } else if (c.form == TRUNC) {
                    expectedCells[cellOfElement(c)] = 12;
                } else if (c.form == STORED) {
                    expectedCells[cellOfElement(c)] = v;
                } else if (c.form == NEGATED) {
                    expectedCells[cellOfElement(c)] = readBack(p.width, v) == 0 ? 1 : 0;
                } else {
                    expectedCells[cellOfElement(c)] = cellValue(p, readBack(p.width, v));
                }
            }
            for (const auto& [at, want] : expectedCells)
                EXPECT_EQ(readDbAreaCell(at.first, at.second), want) << at.first << "," << at.second;
            if (p.storesAlways)
                continue;

            // The same value again: nothing published, marked or run.
            for (const KeyCell& c : cellsOf) {
                if (hasCell(c))
                    setDbAreaCell(cellOfElement(c).first, cellOfElement(c).second, 0xdeadbeef);
            }
            clearChangeWords();
            memcpy(before.data(), getSystemImage(), before.size());
            if (bytes)
                cfgSetBytes(d, i, mac, nBytes);
            else
                cfgSetElement(d, i, v);
            memcpy(after.data(), getSystemImage(), after.size());
            EXPECT_EQ(before, after) << "a hook or a store ran for an unchanged value";
            EXPECT_EQ(getConfigChanged(), 0u);
            EXPECT_EQ(getConfigLocked(), 0);
            for (const KeyCell& c : cellsOf) {
                if (!hasCell(c))
                    continue;
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
