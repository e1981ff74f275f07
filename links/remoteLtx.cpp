// Remote LTX link over UDP: an external transmitter logic reads and sets
// this unit's state with short datagrams. The process-data family ('X',
// 'Y') and the extended family ('h', 'i') each have their tables, status
// bytes with an unsolicited push, and write rows; the extended family also
// carries RadioText files. Values travel least significant byte first.
#include "links/remoteLtx.h"

#include "Config/StrutturaDati.h"
#include "Config/keyTable.h"
#include "Config/keys/alarmsKeys.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/gsmKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/mpxIpKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "Config/keys/unitKeys.h"
#include "Config/eventBitmaps.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandManager.h"
#include "comtab/comtab.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "links/serialChannels.h"
#include "links/tableResponder.h"
#include "platform/paths.h"
#include "power/powerManagement.h"
#include "power/powerSettings.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace {

constexpr int kRequestBytes = 536;
constexpr int kRadioTextMax = 520;
// The RadioText reply is the longest: 5 bytes of header and the text.
constexpr int kReplyBytes = 5 + kRadioTextMax;

struct State {
    // Serialises the link's use of the socket and its buffers between the
    // link thread and a RadioText send from another thread.
    std::mutex lock;
    uint8_t request[kRequestBytes] = {};
    int requestLen = 0;
    uint8_t reply[kReplyBytes] = {};
    int replyLen = 0;
    std::atomic<char> pdLetter{'Y'};
    std::atomic<char> extLetter{'i'};
    int fd = -1;
    uint8_t pdPushed[4] = {};
    uint8_t extPushed[2] = {};
    bool pdPush = false;
    bool extPush = false;
    std::atomic<uint8_t> extRdsFlag{0};
    std::atomic<uint8_t> extTa{0};
};

State& st()
{
    static State s;
    return s;
}

const UnitRegion& unit()
{
    return getSystemImage()->unit;
}

#define G(expr) []() -> uint32_t { return static_cast<uint32_t>(expr); }
#define K(Id) G(cfgGetElement(KEYROW(Id), 0))

// ---- Process-data family --------------------------------------------------

uint8_t a81()
{
    return getEventBit(81) || (getInputPresAlmEnable() == 1 && !getEventBit(76));
}

uint8_t a82()
{
    return getEventBit(82) || (getInputPresAlmEnable() == 1 && !getEventBit(77));
}

const StatusBit kPdStatus[] = {
    {1, 0, SB_EVENT, 1, 0, nullptr}, {1, 1, SB_FN, 0, 0, [] { return uint8_t(LogicaTx_GetTxStartRequest() == 1); }},
    {1, 2, SB_OR_EVENT, 4, 5, nullptr}, {1, 3, SB_EVENT, 3, 0, nullptr}, {1, 4, SB_EVENT, 18, 0, nullptr},
    {1, 5, SB_EVENT, 19, 0, nullptr},
    {1, 6, SB_FN, 0, 0, [] { return uint8_t(getStatusBitB(1) || getStatusBitB(3)); }},
    {1, 7, SB_FN, 0, 0, [] { return getStatusBitB(2); }},
    {2, 0, SB_EVENT, 13, 0, nullptr}, {2, 1, SB_EVENT, 14, 0, nullptr}, {2, 2, SB_EVENT, 9, 0, nullptr},
    {2, 3, SB_EVENT, 7, 0, nullptr},  {2, 4, SB_EVENT, 12, 0, nullptr}, {2, 5, SB_EVENT, 44, 0, nullptr},
    {2, 6, SB_EVENT, 54, 0, nullptr}, {2, 7, SB_EVENT, 11, 0, nullptr},
    {3, 0, SB_EVENT, 59, 0, nullptr}, {3, 2, SB_EVENT, 56, 0, nullptr}, {3, 3, SB_EVENT, 57, 0, nullptr},
    {3, 4, SB_EVENT, 58, 0, nullptr}, {3, 5, SB_EVENT, 52, 0, nullptr}, {3, 6, SB_EVENT, 53, 0, nullptr},
    {3, 7, SB_EVENT, 55, 0, nullptr},
    {4, 0, SB_NOT_EVENT, 76, 0, nullptr}, {4, 1, SB_NOT_EVENT, 77, 0, nullptr}, {4, 2, SB_FN, 0, 0, a81},
    {4, 3, SB_FN, 0, 0, a82}, {4, 4, SB_FN, 0, 0, [] { return uint8_t(readDbAreaCell(11, 17) == 1); }},
    {4, 6, SB_EVENT, 29, 0, nullptr}, {4, 7, SB_EVENT, 30, 0, nullptr},
};

const StatusBit kExtStatus[] = {
    {1, 0, SB_EVENT, 47, 0, nullptr}, {1, 1, SB_EVENT, 48, 0, nullptr}, {1, 2, SB_EVENT, 49, 0, nullptr},
    {1, 3, SB_EVENT, 50, 0, nullptr}, {1, 4, SB_EVENT, 51, 0, nullptr}, {1, 5, SB_EVENT, 60, 0, nullptr},
    {1, 6, SB_EVENT, 61, 0, nullptr}, {1, 7, SB_EVENT, 64, 0, nullptr},
    {2, 0, SB_EVENT, 65, 0, nullptr}, {2, 1, SB_EVENT, 66, 0, nullptr}, {2, 2, SB_EVENT, 67, 0, nullptr},
    {2, 3, SB_EVENT, 84, 0, nullptr}, {2, 4, SB_EVENT, 85, 0, nullptr},
};

int buildPdStatus(uint8_t* buf)
{
    TR_BuildStatus(kPdStatus, static_cast<int>(sizeof kPdStatus / sizeof kPdStatus[0]), buf, 4);
    return 4;
}

int buildExtStatus(uint8_t* buf)
{
    TR_BuildStatus(kExtStatus, static_cast<int>(sizeof kExtStatus / sizeof kExtStatus[0]), buf, 2);
    return 2;
}

const ElemGetter kPd1[10] = {G(unit().infoUT), nullptr, G(11), G(unit().infoFWV), G(unit().infoFWR),
                             G(unit().infoFWB), nullptr, G(unit().infoFWC), G(unit().infoFWE), nullptr};

const ElemGetter kPd3[18] = {
    K(OutputRFfrequency), G(getExciterNominalPower()), K(DriverPowerOffset), K(PowerOffsetFine),
    nullptr, G(getExciterLowPowerAlarmThreshold()), G(getExciterLowPowerWarningThreshold()), K(SWRFoldback),
    K(InputSwitchMode), K(InputSelection), K(InputSwapTime), G(11), nullptr, nullptr, nullptr, nullptr,
    K(SystemTimeSource), nullptr,
};

const ElemGetter kPd5[9] = {G(CMD_IsRunning(0)), G(CMD_IsRunning(1)), G(CMD_IsRunning(3)),
                            G(CMD_IsRunning(4)), G(CMD_IsRunning(5)), G(CMD_IsRunning(6)),
                            G(CMD_IsRunning(7)), G(CMD_IsRunning(15)), nullptr};

const ElemGetter kPd6[9] = {
    K(TemperatureOffset),         G(getTxForwardPower()),     G(getTxReflectedPower() / 10),
    G(getTxForwardPowerPercent()), G(getTxNominalPowerLinear()), G(getTxForwardPower() / 10),
    G(getTxReflectedPower()),      G(getDeratedPower()),      G(cfgGetElement(KEYROW(PowerTableWord), 7)),
};

const ElemGetter kPd10[6] = {K(Nplus1Mode),      G(LogicaTx_GetReserveConfigState()), G(CMD_IsRunning(8)),
                             G(CMD_IsRunning(8)), G(CMD_IsRunning(9)),             G(CMD_IsRunning(9))};

// The number written in `n` characters of the serial number from `at`; 0
// when they are not all digits.
uint32_t serialNumber(int at, int n)
{
    const uint8_t* s = getUnitInfo() + 14 + at;
    uint32_t v = 0;
    for (int i = 0; i < n; i++) {
        if (s[i] < '0' || s[i] > '9')
            return 0;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

int buildPd11(uint8_t* buf)
{
    const NetworkRegion& net = getSystemImage()->net;
    TR_PutWord(buf, 0, serialNumber(0, 4), 4, TO_HOST);
    TR_PutWord(buf, 4, serialNumber(4, 8), 4, TO_HOST);
    memcpy(buf + 8, net.rearMacActive, 4);
    memcpy(buf + 12, net.rearMacActive + 4, 2);
    TR_PutWord(buf, 16, getRearEthernetIPAddress(), 4, TO_HOST);
    TR_PutWord(buf, 20, getRearEthernetIPNetmask(), 4, TO_HOST);
    TR_PutWord(buf, 24, getRearEthernetIPGateway(), 4, TO_HOST);
    memcpy(buf + 28, net.frontMacActive, 4);
    memcpy(buf + 32, net.frontMacActive + 4, 2);
    TR_PutWord(buf, 36, getFrontEthernetIPAddress(), 4, TO_HOST);
    TR_PutWord(buf, 40, getFrontEthernetIPNetmask(), 4, TO_HOST);
    TR_PutWord(buf, 44, getFrontEthernetIPGateway(), 4, TO_HOST);
    TR_PutWord(buf, 48, static_cast<uint32_t>(getMaxPowerIndex()), 4, TO_HOST);
    TR_PutWord(buf, 52, static_cast<uint32_t>(getMinPowerIndex()), 4, TO_HOST);
    return 21;
}

const TableSpec kPdTables[] = {
    {1, 10, 4, TO_HOST, kPd1, nullptr, 4},
    {2, 4, 1, TO_HOST, nullptr, buildPdStatus, 0},
    {3, 18, 4, TO_HOST, kPd3, nullptr, 4},
    {5, 9, 1, TO_HOST, kPd5, nullptr, 1},
    {6, 9, 2, TO_HOST, kPd6, nullptr, 2},
    {10, 6, 1, TO_HOST, kPd10, nullptr, 1},
    {11, 21, 4, TO_HOST, nullptr, buildPd11, 0},
};

uint32_t externalCommand(uint8_t, uint8_t element, uint32_t)
{
    struct Row {
        const char* line;
        uint32_t element;
    } static const kRows[] = {
        {"[TaRN_FM] %sINFO: Local command from external LTX\n", 1},
        {"[TaRN_FM] %sINFO: Remote command from external LTX\n", 2},
        {"[TaRN_FM] %sINFO: ON command from external LTX\n", 3},
        {"[TaRN_FM] %sINFO: StandBy command from external LTX\n", 4},
        {"[TaRN_FM] %sINFO: Lockout reset from external LTX\n", 5},
        {"[TaRN_FM] %sINFO: Hard reset from external LTX\n", 6},
        {"[TaRN_FM] %sINFO: Soft reset from external LTX\n", 8},
        {"[TaRN_FM] %sINFO: Switch bank command  from external LTX\n", 11},
    };
    const Row& r = kRows[element - 1];
    bookLog(LVL_INFO, r.line, "");
    COMTAB_WriteElement(7, r.element, 1);
    return 0;
}

#define ROW(t, e, Id) {t, e, e, LW_ROW, 13, 0, 0, nullptr, nullptr, nullptr, &KEYROW(Id)}
#define ROW_S16(t, e, Id) {t, e, e, LW_ROW, 13, 0, 1, nullptr, nullptr, nullptr, &KEYROW(Id)}
#define FN(t, e, valid, set) {t, e, e, LW_KEY, 13, 0, 0, valid, set, nullptr, nullptr}
#define HAND(t, first, last, fn) {t, first, last, LW_HAND, 0, 0, 0, nullptr, nullptr, fn, nullptr}
#define CODE(t, first, last, c) {t, first, last, LW_CODE, c, 0, 0, nullptr, nullptr, nullptr, nullptr}
#define COMTAB(t, e, tt, te) {t, e, e, LW_COMTAB, kLwDropResult, tt, te, nullptr, nullptr, nullptr, nullptr}

const LinkWriteRow kPdWrites[] = {
    {3, 1, 1, LW_KEY, 13, 0, 0, nullptr, [](uint32_t v) { setOutputRFfrequency(v, 1); }, nullptr, nullptr},
    FN(3, 2, isValidExciterNominalPower, [](uint32_t v) { setExciterNominalPower(v, 1); }),
    ROW_S16(3, 3, DriverPowerOffset),
    ROW_S16(3, 4, PowerOffsetFine),
    // No derating-override setting exists in this system: refused.
    CODE(3, 5, 5, 13),
    FN(3, 6, isValidExciterLowPowerAlarmThreshold, setExciterLowPowerAlarmThreshold),
    FN(3, 7, isValidExciterLowPowerWarningThreshold, setExciterLowPowerWarningThreshold),
    ROW(3, 8, SWRFoldback),
    ROW(3, 9, InputSwitchMode),
    {3, 10, 10, LW_KEY, 13, 0, 0, [](uint32_t v) { return cfgIsValidRow(KEYROW(InputRx), v); },
     [](uint32_t v) { cfgSetElement(KEYROW(InputSelection), 0, v); }, nullptr, nullptr},
    ROW(3, 11, InputSwapTime),
    CODE(3, 12, 16, 13),
    ROW(3, 17, SystemTimeSource),
    CODE(3, 18, 18, 13),
    HAND(4, 1, 8, externalCommand),
    CODE(4, 9, 9, 13),
    CODE(4, 0, 0, 15),
    CODE(4, 10, 255, 15),
    COMTAB(10, 1, 15, 2),
    COMTAB(10, 3, 15, 5),
    COMTAB(10, 5, 15, 7),
    CODE(10, 0, 0, 15),
    CODE(10, 2, 2, 15),
    CODE(10, 4, 4, 15),
    CODE(10, 6, 255, 15),
    CODE(11, 0, 255, 15),
};

const uint8_t kPdWritable[] = {3};

// The change code of a reserve unit: a write that is not an operating
// command marks the reserve configuration as differing.
void pdAfterWrite(uint8_t table, uint8_t element)
{
    if (getNplus1Mode() != 1)
        return;
    bool operating = table == 4 || table == 10 ||
                     (table == 3 && (element == 9 || element == 10 || element == 12 || element == 16));
    int code = operating ? 0 : 1;
    printf("TAB=%d,EL=%d --> SetChange %d\n", table, element, code);
    fflush(stdout);
    if (code == 1)
        LogicaTx_SetReserveConfigMismatch(1);
}

const TableSet kPdSet = {kPdTables, static_cast<int>(sizeof kPdTables / sizeof kPdTables[0]), kPdWrites,
                         static_cast<int>(sizeof kPdWrites / sizeof kPdWrites[0]), kPdWritable, sizeof kPdWritable,
                         pdAfterWrite};

// ---- Extended family -------------------------------------------------------

const ElemGetter kExt1[10] = {G(1009), nullptr, G(11)};

const ElemGetter kExt3[42] = {
    K(ApOn), K(ApEqOn), K(ApCmpOn), K(VariableAudioEqualizerStatus), K(ClipperStatus), K(ClipperOrder),
    K(RdsExternalLevelOffset_dBu), K(LevelLeft_dBu), K(LevelRight_dBu), K(LevelRx_dBu), K(RdsExternalLevel_dBu),
    K(RdsInternalLevelPercentage), K(LevelPilotPercentage), K(ClipperDeviationLimiter), K(ClipperOvershoot),
    K(ClipperDecay), K(PreEnphasisEn), K(PreEnphasisMode), K(NCOOffsetFineFreq), K(FrequencyDeviation),
    K(LevelMpx_dBu), K(LevelLeft_dBFS), K(LevelRight_dBFS), K(ClipperProfile), G(st().extRdsFlag.load()),
    G(st().extTa.load()), K(InputRx), K(InputRxRds), nullptr, nullptr, K(AudioLeftTermination),
    K(AudioRightTerminationStatus), K(RdsTerminationStatus), K(OutputConfiguration), K(InputBackup),
    K(OutputCfgCode), K(InputPresAlmEnable), K(InputPresAlmThreshold), K(InputPresAlmDelay), K(InputBackupRds),
    K(PPSImpedance), K(NetMode),
};

const ElemGetter kExt4[16] = {
    K(TotAudioAlmEnable),   K(TotAudioAlmThreshold),   K(TotAudioAlmDelay),   K(AudioLeftAlmEnable),
    K(AudioLeftAlmThreshold), K(AudioLeftAlmDelay),    K(AudioRightAlmEnable), K(AudioRightAlmThreshold),
    K(AudioRightAlmDelay),  K(AudioAuxAlmEnable),      K(AudioAuxAlmThreshold), K(AudioAuxAlmDelay),
    K(AudioPilotAlmEnable), K(AudioPilotAlmThreshold), K(AudioPilotAlmDelay), G(getInputAlarmVsTxStatus() != 0),
};

const ElemGetter kExt5[17] = {
    K(AesEbuAlCode),          K(MeasuredMpxDeviation),  K(MeasuredLeftDeviation), K(MeasuredRightDeviation),
    K(MeasuredAuxDeviation),  K(MeasuredPilotDeviation), K(MeasuredMpxLevel_dB),  K(MeasuredLeftLevel_dB),
    K(MeasuredRightLevel_dB), K(MeasuredAuxLevel_dB),   K(MeasuredPilotLevel_dB), K(ClipperInAction),
};

const ElemGetter kExt6[18] = {
    K(UECPInterface), G(cfgGetElement(KEYROW(UECPSiteAddr), 1)), G(cfgGetElement(KEYROW(UECPEncoderAddr), 1)),
    K(CurrentRDSDSN), K(CustomPS), K(CustomPI), K(CustomDI), K(CustomTP), K(CustomTA), K(CustomMS), K(CustomCT),
    K(CustomPTY), K(CustomPTYN), K(CustomAF), K(CustomRT), K(UECPInterfaceBaudrate), K(EON), K(CustomECC),
};

const ElemGetter kExt7[15] = {
    K(TimeRef), K(FreqRef), K(TimeRefSource), K(FreqRefSource), K(InputDelay), K(AddedDelay), K(DelMeasState),
    K(PilPhOffs), K(InputDelayMeasReq), K(DelMeasOk), K(TestSigDelay), K(TestSigEna), nullptr, K(MuteFrefAbsent),
    K(MuteTrefAbsent),
};

const TableSpec kExtTables[] = {
    {1, 10, 4, TO_HOST, kExt1, nullptr, 4},
    {2, 2, 1, TO_HOST, nullptr, buildExtStatus, 0},
    {3, 42, 1, TO_HOST, kExt3, nullptr, 1},
    {4, 16, 4, TO_HOST, kExt4, nullptr, 4},
    {5, 17, 4, TO_HOST, kExt5, nullptr, 4},
    {6, 18, 2, TO_HOST, kExt6, nullptr, 2},
    {7, 15, 4, TO_HOST, kExt7, nullptr, 4},
};

uint32_t writeExtRdsFlag(uint8_t, uint8_t, uint32_t value)
{
    st().extRdsFlag = value != 0;
    setCurrentRDSDSN(value != 0 ? 5 : 1);
    return 0;
}

uint32_t writeExtTa(uint8_t, uint8_t, uint32_t value)
{
    if (isValidTA(value))
        st().extTa = static_cast<uint8_t>(value);
    return 0;
}

// A setter whose range the link gives: (lo, hi) checked, then the row's
// uniform setter.
template <const CfgKeyDesc* const* Row, int32_t Lo, int32_t Hi>
uint32_t ranged(uint8_t, uint8_t, uint32_t value)
{
    int32_t v = static_cast<int32_t>(value);
    if (v < Lo || v > Hi)
        return 13;
    cfgSetElement(*Row, 0, value);
    return 0;
}

uint32_t writeUecpSlot1(uint8_t, uint8_t element, uint32_t value)
{
    const CfgKeyDesc* row = element == 2 ? KEYROW(UECPSiteAddr) : KEYROW(UECPEncoderAddr);
    if (!cfgIsValidRow(row, value))
        return 13;
    cfgSetElement(row, 1, value);
    return 0;
}

uint32_t writeNcoLowByte(uint8_t, uint8_t, uint32_t value)
{
    uint32_t v = (cfgGetElement(KEYROW(NCOOffsetFineFreq), 0) & ~0xFFu) | (value & 0xFFu);
    if (!cfgIsValidRow(KEYROW(NCOOffsetFineFreq), v))
        return 13;
    cfgSetElement(KEYROW(NCOOffsetFineFreq), 0, v);
    return 0;
}

uint32_t writeInputItem(uint8_t, uint8_t element, uint32_t value)
{
    if (value > 7)
        return 13;
    cfgSetElement(element == 27 ? KEYROW(InputRx) : KEYROW(InputRxRds), 0, value);
    return 0;
}

#define NOCHECK(t, e, Id) {t, e, e, LW_KEY, 0, 0, 0, nullptr, [](uint32_t v) { cfgSetElement(KEYROW(Id), 0, v); }, \
                           nullptr, nullptr}

const LinkWriteRow kExtWrites[] = {
    ROW(3, 1, ApOn), ROW(3, 2, ApEqOn), ROW(3, 3, ApCmpOn), ROW(3, 4, VariableAudioEqualizerStatus),
    ROW(3, 5, ClipperStatus), ROW(3, 6, ClipperOrder), ROW_S16(3, 7, RdsExternalLevelOffset_dBu),
    ROW_S16(3, 8, LevelLeft_dBu), ROW_S16(3, 9, LevelRight_dBu), ROW_S16(3, 10, LevelRx_dBu),
    ROW_S16(3, 11, RdsExternalLevel_dBu), ROW(3, 12, RdsInternalLevelPercentage), ROW(3, 13, LevelPilotPercentage),
    ROW(3, 14, ClipperDeviationLimiter), ROW(3, 15, ClipperOvershoot), ROW(3, 16, ClipperDecay),
    ROW(3, 17, PreEnphasisEn), ROW(3, 18, PreEnphasisMode), HAND(3, 19, 19, writeNcoLowByte),
    ROW(3, 20, FrequencyDeviation), ROW_S16(3, 21, LevelMpx_dBu), ROW_S16(3, 22, LevelLeft_dBFS),
    ROW_S16(3, 23, LevelRight_dBFS), ROW(3, 24, ClipperProfile), HAND(3, 25, 25, writeExtRdsFlag),
    HAND(3, 26, 26, writeExtTa), HAND(3, 27, 28, writeInputItem), CODE(3, 29, 30, 13), CODE(3, 36, 36, 13),
    ROW(3, 31, AudioLeftTermination), ROW(3, 32, AudioRightTerminationStatus), ROW(3, 33, RdsTerminationStatus),
    ROW(3, 34, OutputConfiguration), ROW(3, 35, InputBackup), ROW(3, 37, InputPresAlmEnable),
    ROW(3, 40, InputBackupRds), ROW(3, 41, PPSImpedance), NOCHECK(3, 38, InputPresAlmThreshold),
    NOCHECK(3, 39, InputPresAlmDelay), NOCHECK(3, 42, NetMode),
    ROW(4, 1, TotAudioAlmEnable), ROW(4, 2, TotAudioAlmThreshold), ROW(4, 3, TotAudioAlmDelay),
    ROW(4, 4, AudioLeftAlmEnable), ROW(4, 5, AudioLeftAlmThreshold), ROW(4, 6, AudioLeftAlmDelay),
    ROW(4, 7, AudioRightAlmEnable), ROW(4, 8, AudioRightAlmThreshold), ROW(4, 9, AudioRightAlmDelay),
    ROW(4, 10, AudioAuxAlmEnable), ROW(4, 11, AudioAuxAlmThreshold), ROW(4, 12, AudioAuxAlmDelay),
    ROW(4, 13, AudioPilotAlmEnable), ROW(4, 14, AudioPilotAlmThreshold), ROW(4, 15, AudioPilotAlmDelay),
    ROW(4, 16, InputAlarmVsTxStatus),
    ROW(6, 1, UECPInterface), HAND(6, 2, 3, writeUecpSlot1), ROW(6, 4, CurrentRDSDSN), ROW(6, 5, CustomPS),
    ROW(6, 6, CustomPI), ROW(6, 7, CustomDI), ROW(6, 8, CustomTP), ROW(6, 9, CustomTA), ROW(6, 10, CustomMS),
    ROW(6, 11, CustomCT), ROW(6, 12, CustomPTY), ROW(6, 13, CustomPTYN), ROW(6, 14, CustomAF), ROW(6, 15, CustomRT),
    ROW(6, 16, UECPInterfaceBaudrate), ROW(6, 17, EON), ROW(6, 18, CustomECC),
    HAND(7, 1, 1, (ranged<&KEYROW(TimeRef), 0, 8>)), HAND(7, 2, 2, (ranged<&KEYROW(FreqRefSource), 0, 8>)),
    HAND(7, 5, 5, (ranged<&KEYROW(InputDelay), 0, 999999>)), HAND(7, 11, 11, (ranged<&KEYROW(TestSigDelay), 0, 999999>)),
    HAND(7, 6, 6, (ranged<&KEYROW(AddedDelay), 0, 4499999>)), HAND(7, 8, 8, (ranged<&KEYROW(PilPhOffs), -179, 179>)),
    HAND(7, 9, 9, (ranged<&KEYROW(InputDelayMeasReq), 0, 1>)), HAND(7, 12, 12, (ranged<&KEYROW(TestSigEna), 0, 1>)),
    HAND(7, 14, 14, (ranged<&KEYROW(MuteFrefAbsent), 0, 1>)), HAND(7, 15, 15, (ranged<&KEYROW(MuteTrefAbsent), 0, 1>)),
    CODE(7, 3, 4, 13), CODE(7, 7, 7, 13), CODE(7, 10, 10, 13), CODE(7, 13, 13, 13),
};

const uint8_t kExtWritable[] = {3, 4, 6, 7};

const TableSet kExtSet = {kExtTables, static_cast<int>(sizeof kExtTables / sizeof kExtTables[0]), kExtWrites,
                          static_cast<int>(sizeof kExtWrites / sizeof kExtWrites[0]), kExtWritable,
                          sizeof kExtWritable, nullptr};

// ---- Requests ----------------------------------------------------------------

struct Family {
    const TableSet* set;
    int statusBytes;
    int (*buildStatus)(uint8_t*);
    bool extended;
};

const Family kPd = {&kPdSet, 4, buildPdStatus, false};
const Family kExt = {&kExtSet, 2, buildExtStatus, true};

char linkLetter(const Family& f)
{
    return f.extended ? st().extLetter.load() : st().pdLetter.load();
}

void sendBytes(const uint8_t* bytes, int n)
{
    State& s = st();
    if (s.fd >= 0 && n > 0)
        send_msg_sk_udp(s.fd, bytes, n);
}

// The 11-byte status message of the family.
void statusMessage(const Family& f, const uint8_t* status, uint8_t* out)
{
    memset(out, 0, 11);
    out[0] = static_cast<uint8_t>(linkLetter(f));
    out[1] = 20;
    out[2] = 2;
    memcpy(out + 3, status, static_cast<size_t>(f.statusBytes));
}

void statusPush(const Family& f)
{
    State& s = st();
    if (!(f.extended ? s.extPush : s.pdPush))
        return;
    uint8_t now[4] = {};
    f.buildStatus(now);
    uint8_t* pushed = f.extended ? s.extPushed : s.pdPushed;
    bool differs = false;
    for (int i = 0; i < f.statusBytes && !differs; i++) {
        if (pushed[i] != now[i]) {
            differs = true;
            // The process data catch up one byte per request.
            if (!f.extended)
                pushed[i] = now[i];
        }
    }
    if (!differs)
        return;
    if (f.extended)
        memcpy(pushed, now, 2);
    uint8_t msg[11];
    statusMessage(f, now, msg);
    sendBytes(msg, 11);
}

void enablePush(const Family& f)
{
    (f.extended ? st().extPush : st().pdPush) = true;
}

uint32_t requestValue(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void putValue(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void radioTextPath(int dataSet, char* path, size_t size)
{
    snprintf(path, size, "/mnt/ubi0/conf/rds/rt_rds_%d", dataSet);
}

// Reads the RadioText of data set n into out as the 'R' message: its length,
// or 4 for the "no file" form.
int radioTextMessage(char letter, int n, uint8_t* out)
{
    out[0] = static_cast<uint8_t>(letter);
    out[1] = 'R';
    int fd = -1;
    if (n >= 1 && n <= 7) {
        char path[64];
        radioTextPath(n, path, sizeof path);
        fd = open(sysPath(path).c_str(), O_RDONLY);
    }
    if (fd < 0) {
        out[2] = 0;
        out[3] = 9;
        return 4;
    }
    ssize_t got = read(fd, out + 5, kRadioTextMax);
    close(fd);
    int len = got > 0 ? static_cast<int>(got) : 0;
    out[2] = static_cast<uint8_t>(n);
    out[3] = static_cast<uint8_t>(len >> 8);
    out[4] = static_cast<uint8_t>(len);
    return 5 + len;
}

// Command 65: writes the RadioText carried in the request; 0 or 10.
uint8_t radioTextWrite(const uint8_t* req, int received)
{
    int n = req[2];
    int len = (req[3] << 8) | req[4];
    if (n < 1 || n > 7 || 5 + len > received)
        return 10;
    char path[64];
    radioTextPath(n, path, sizeof path);
    int fd = open(sysPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 10;
    ssize_t put = len > 0 ? write(fd, req + 5, static_cast<size_t>(len)) : 0;
    int closed = close(fd);
    if (put != len || closed != 0)
        return 10;
    setRadioTextFlag(static_cast<uint32_t>(n - 1), 1);
    return 0;
}

void errorReply(uint8_t* reply, int* len)
{
    memset(reply, 0, 6);
    reply[1] = 128;
    putValue(reply + 2, 0xFFFFFFFFu);
    *len = 6;
}

void handle(const Family& f, int received)
{
    State& s = st();
    const uint8_t* req = s.request;
    uint8_t letter = req[0];
    uint8_t table = req[2];
    uint8_t element = req[3];
    statusPush(f);
    memset(s.reply, 0, sizeof s.reply);
    s.replyLen = 0;
    uint8_t* r = s.reply;
    switch (req[1]) {
    case 1: {
        uint8_t buf[kTableBufBytes];
        int count = 0;
        if (TR_BuildTable(f.set, table, &count, buf) != 0) {
            errorReply(r, &s.replyLen);
            break;
        }
        if (table == 2)
            enablePush(f);
        const TableSpec* t = nullptr;
        for (int i = 0; i < f.set->nTables; i++)
            if (f.set->tables[i].table == table)
                t = &f.set->tables[i];
        int size = t->count * t->width;
        r[0] = letter;
        r[1] = 17;
        r[2] = table;
        memcpy(r + 3, buf, static_cast<size_t>(size));
        s.replyLen = 3 + size;
        break;
    }
    case 2: {
        uint32_t v = 0;
        if (TR_ReadElement(f.set, table, element, &v) != 0) {
            errorReply(r, &s.replyLen);
            break;
        }
        r[0] = letter;
        r[1] = 17;
        r[2] = table;
        r[3] = element;
        putValue(r + 4, v);
        s.replyLen = 8;
        break;
    }
    case 3:
        if (TR_WriteElement(f.set, table, element, requestValue(req + 4)) != 0) {
            errorReply(r, &s.replyLen);
            break;
        }
        r[0] = letter;
        r[1] = 19;
        r[2] = table;
        r[3] = element;
        s.replyLen = 8;
        break;
    case 4: {
        uint8_t now[4] = {};
        f.buildStatus(now);
        statusMessage(f, now, r);
        s.replyLen = 11;
        enablePush(f);
        break;
    }
    case 5:
        TR_WriteElement(f.set, table, element, requestValue(req + 4));
        break;
    case 65:
        if (f.extended) {
            r[0] = letter;
            r[1] = 'Q';
            r[2] = radioTextWrite(req, received);
            s.replyLen = 3;
        }
        break;
    case 66:
        if (f.extended)
            s.replyLen = radioTextMessage(static_cast<char>(letter), req[2], r);
        break;
    default:
        break;
    }
    sendBytes(r, s.replyLen);
}

// Dispatches the request of n bytes on byte 0; 1 when a family took it.
int dispatch(int fd, int n)
{
    State& s = st();
    if (n <= 0)
        return 0;
    s.requestLen = n;
    uint8_t letter = s.request[0];
    const Family* f = nullptr;
    if (letter == 'X' || letter == 'Y')
        f = &kPd;
    else if ((letter == 'h' || letter == 'i') && getUnitVariant() == 11)
        f = &kExt;
    if (!f)
        return 0;
    s.fd = fd;
    handle(*f, n);
    return 1;
}

} // namespace

const TableSet* remoteLtxTableSet(int extended)
{
    return extended ? &kExtSet : &kPdSet;
}

int remoteLtxRecv(int fd)
{
    State& s = st();
    std::lock_guard<std::mutex> hold(s.lock);
    // A short datagram must not see the previous request's bytes.
    memset(s.request, 0, sizeof s.request);
    int n = recv_msg_sk_udp(fd, s.request, kRequestBytes, nullptr);
    return dispatch(fd, n);
}

int remoteLtxHandle(int fd, const uint8_t* bytes, int n)
{
    State& s = st();
    std::lock_guard<std::mutex> hold(s.lock);
    memset(s.request, 0, sizeof s.request);
    if (n > kRequestBytes)
        n = kRequestBytes;
    if (n > 0)
        memcpy(s.request, bytes, static_cast<size_t>(n));
    return dispatch(fd, n);
}

void remoteLtxSetLetters(int link)
{
    State& s = st();
    s.pdLetter = link == 1 ? 'X' : 'Y';
    s.extLetter = link == 1 ? 'h' : 'i';
}

int remoteLtxSendRadioText(int dataSet)
{
    State& s = st();
    // A buffer of its own: the link thread may be building a reply.
    uint8_t msg[kReplyBytes];
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.fd < 0 || dataSet < 1 || dataSet > 7)
        return 9;
    int len = radioTextMessage(s.extLetter.load(), dataSet, msg);
    if (len == 4)
        return 9;
    sendBytes(msg, len);
    return 0;
}

void remoteLtxResetForTest()
{
    State& s = st();
    std::lock_guard<std::mutex> hold(s.lock);
    s.fd = -1;
    s.pdPush = s.extPush = false;
    memset(s.pdPushed, 0, sizeof s.pdPushed);
    memset(s.extPushed, 0, sizeof s.extPushed);
}
