// Slave link responder on tx_sr_1_ch: an external transmitter logic reads
// this unit's tables and sets its audio, RDS, power and command items over
// DCM frames with one-byte addresses, answered by the table responder from
// the rows below. The 10 ms TA step carries the TA the external logic set
// into the current RDS data set.
#include "links/slaveLink.h"

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
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandManager.h"
#include "comtab/comtab.h"
#include "core/base/logs.h"
#include "links/dcm.h"
#include "links/tableResponder.h"
#include "power/powerManagement.h"
#include "power/powerSettings.h"

#include <atomic>
#include <cstring>

namespace {

struct State {
    std::atomic<uint8_t> slaveRdsFlag{0};
    std::atomic<uint8_t> taFromTlc{0};
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

const ElemGetter kTable1[9] = {
    G(unit().infoUT), nullptr, G(11), G(unit().infoFWV), G(unit().infoFWR),
    G(unit().infoFWB), nullptr, G(unit().infoFWC), G(unit().infoFWE),
};

// Table 2: the serial number, then the front and the rear port MAC address.
int buildTable2(uint8_t* buf)
{
    memcpy(buf, getUnitInfo() + 14, 12);
    memcpy(buf + 12, getSystemImage()->net.frontMacActive, 6);
    memcpy(buf + 18, getSystemImage()->net.rearMacActive, 6);
    return 24;
}

const ElemGetter kTable5[22] = {
    G(LogicaTx_GetTxStartRequest()),
    G(LogicaTx_GetControlMode() != 1),
    K(SWRFoldback),
    K(VariableAudioEqualizerStatus),
    K(ClipperStatus),
    K(ClipperOrder),
    K(LevelLeft_dBu),
    K(LevelRight_dBu),
    K(LevelRx_dBu),
    K(RdsExternalLevel_dBu),
    K(RdsInternalLevelPercentage),
    K(LevelPilotPercentage),
    K(ClipperOvershoot),
    K(ClipperDecay),
    K(PreEnphasisEn),
    K(PreEnphasisMode),
    K(LevelMpx_dBu),
    K(LevelLeft_dBFS),
    K(LevelRight_dBFS),
    G(st().slaveRdsFlag.load()),
    G(st().taFromTlc.load()),
    K(ClipperProfile),
};

const ElemGetter kTable6[9] = {
    K(OutputRFfrequency),
    G(getExciterNominalPower()),
    K(DriverPowerOffset),
    K(PowerOffsetFine),
    nullptr, // no derating-override setting exists in this system
    G(getExciterLowPowerAlarmThreshold()),
    G(getExciterLowPowerWarningThreshold()),
    G(getExternalAmplifierReferencePower()),
    K(AmplifierType),
};

const ElemGetter kTable7[15] = {
    K(TemperatureOffset),
    G(getTxForwardPower()),
    G(getTxReflectedPower() / 10),
    G(getTxForwardPowerPercent()),
    G(getTxNominalPowerLinear()),
    G(getTxForwardPower() / 10),
    G(getTxReflectedPower()),
    G(cfgGetElement(KEYROW(PowerTableWord), 7)),
    G(getMaxPowerIndex()),
    G(getMinPowerIndex()),
    G(getDeratedPower()),
    G(cfgGetElement(KEYROW(PowerTableWord), 10)),
    K(ClipperInAction),
    K(FrequencyDeviation),
    G(getDeratedPower()),
};

const ElemGetter kTable8[19] = {
    K(AudioLeftTermination), K(AudioRightTerminationStatus), K(RdsTerminationStatus), K(OutputCfgCode),
    K(TotAudioAlmEnable),    K(TotAudioAlmThreshold),        K(TotAudioAlmDelay),     K(AudioLeftAlmEnable),
    K(AudioLeftAlmThreshold), K(AudioLeftAlmDelay),          K(AudioRightAlmEnable),  K(AudioRightAlmThreshold),
    K(AudioRightAlmDelay),   K(AudioAuxAlmEnable),           K(AudioAuxAlmThreshold), K(AudioAuxAlmDelay),
    K(AudioPilotAlmEnable),  K(AudioPilotAlmThreshold),      K(AudioPilotAlmDelay),
};

const ElemGetter kTable9[12] = {
    K(AesEbuAlCode),          K(MeasuredMpxDeviation),  K(MeasuredLeftDeviation), K(MeasuredRightDeviation),
    K(MeasuredAuxDeviation),  K(MeasuredPilotDeviation), K(MeasuredMpxLevel_dB),  K(MeasuredLeftLevel_dB),
    K(MeasuredRightLevel_dB), K(MeasuredAuxLevel_dB),   K(MeasuredPilotLevel_dB), K(CurrentRDSDSN),
};

// The command manager publishes no requested flag of its own yet: a slot
// reads as requested while it runs.
const ElemGetter kTable10[6] = {
    K(Nplus1Mode), G(LogicaTx_GetReserveConfigState()), G(CMD_IsRunning(8)), G(CMD_IsRunning(8)),
    G(CMD_IsRunning(9)), G(CMD_IsRunning(9)),
};

const ElemGetter kTable11[4] = {
    G(CMD_IsRunning(6)),
    G(CMD_IsRunning(6)),
    G(CMD_IsRunning(5)),
    G(CMD_IsRunning(5)),
};

const StatusBit kStatus[] = {
    {1, 0, SB_NOT_EVENT, 1, 0, nullptr}, {1, 1, SB_EVENT, 2, 0, nullptr},  {1, 2, SB_EVENT, 54, 0, nullptr},
    {1, 3, SB_EVENT, 12, 0, nullptr},    {1, 4, SB_EVENT, 18, 0, nullptr}, {1, 5, SB_EVENT, 19, 0, nullptr},
    {1, 6, SB_EVENT, 59, 0, nullptr},    {1, 7, SB_EVENT, 31, 0, nullptr},
    {2, 0, SB_NOT_EVENT, 56, 0, nullptr}, {2, 1, SB_NOT_EVENT, 57, 0, nullptr}, {2, 2, SB_EVENT, 58, 0, nullptr},
    {2, 3, SB_EVENT, 52, 0, nullptr},    {2, 4, SB_EVENT, 53, 0, nullptr}, {2, 5, SB_EVENT, 55, 0, nullptr},
    {2, 6, SB_EVENT, 29, 0, nullptr},    {2, 7, SB_EVENT, 30, 0, nullptr},
    {3, 0, SB_EVENT, 44, 0, nullptr},    {3, 2, SB_EVENT, 64, 0, nullptr}, {3, 3, SB_EVENT, 65, 0, nullptr},
    {3, 4, SB_EVENT, 60, 0, nullptr},    {3, 5, SB_EVENT, 61, 0, nullptr}, {3, 6, SB_EVENT, 70, 0, nullptr},
    {3, 7, SB_EVENT, 7, 0, nullptr},
    {4, 0, SB_EVENT, 13, 0, nullptr},    {4, 1, SB_EVENT, 67, 0, nullptr},
};

int buildTable4(uint8_t* buf)
{
    TR_BuildStatus(kStatus, static_cast<int>(sizeof kStatus / sizeof kStatus[0]), buf, 4);
    return 9;
}

const TableSpec kTables[] = {
    {1, 9, 4, TO_MSB_FIRST, kTable1, nullptr, 4},
    {2, 24, 1, TO_MSB_FIRST, nullptr, buildTable2, 1},
    {3, 255, 1, TO_MSB_FIRST, nullptr, nullptr, 4},
    {4, 9, 1, TO_MSB_FIRST, nullptr, buildTable4, 0},
    {5, 22, 2, TO_MSB_FIRST, kTable5, nullptr, 1},
    {6, 9, 4, TO_MSB_FIRST, kTable6, nullptr, 4},
    {7, 15, 2, TO_MSB_FIRST, kTable7, nullptr, 2},
    {8, 19, 2, TO_MSB_FIRST, kTable8, nullptr, 1},
    {9, 12, 4, TO_MSB_FIRST, kTable9, nullptr, 0},
    {10, 6, 1, TO_MSB_FIRST, kTable10, nullptr, 0},
    {11, 4, 1, TO_MSB_FIRST, kTable11, nullptr, 0},
};

// (5, 1): start unless locked out, else stop.
uint32_t writeStartStop(uint8_t, uint8_t, uint32_t value)
{
    if (value == 1) {
        if (LogicaTx_GetLockoutState() == 1)
            return 13;
        logInfo("[TaRN_FM] %sINFO: CMD_AVVIO from external LTX\n", "");
        CMD_Request(3, 1);
        return 0;
    }
    logInfo("[TaRN_FM] %sINFO: CMD_ARRESTO from external LTX\n", "");
    CMD_Request(4, 1);
    return 0;
}

// (5, 2): LOCAL on a value other than 1 while REMOTE, REMOTE on 1 while LOCAL.
uint32_t writeControlMode(uint8_t, uint8_t, uint32_t value)
{
    uint8_t mode = LogicaTx_GetControlMode();
    if (value != 1 && mode == 0) {
        logInfo("[TaRN_FM] %sINFO: CMD_CNTR_LOCALE from external LTX\n", "");
        CMD_Request(0, 1);
        LogicaTx_SetLocalMode(1);
    } else if (value == 1 && mode == 1) {
        logInfo("[TaRN_FM] %sINFO: CMD_CNTR_REMOTO from external LTX\n", "");
        CMD_Request(1, 1);
        LogicaTx_SetLocalMode(0);
    }
    return 0;
}

uint32_t writeRdsFlag(uint8_t, uint8_t, uint32_t value)
{
    st().slaveRdsFlag = value != 0;
    setCurrentRDSDSN(value != 0 ? 5 : 1);
    return 0;
}

uint32_t writeTa(uint8_t, uint8_t, uint32_t value)
{
    if (isValidTA(value))
        st().taFromTlc = static_cast<uint8_t>(value);
    return 0;
}

uint32_t writeLockoutReset(uint8_t, uint8_t, uint32_t value)
{
    logInfo("[TaRN_FM] %sINFO: Lockout Reset from external LTX\n", "");
    COMTAB_WriteElement(7, 5, value);
    return 0;
}

#define ROW(t, e, Id) {t, e, e, LW_ROW, 13, 0, 0, nullptr, nullptr, nullptr, &KEYROW(Id)}
#define ROW_S16(t, e, Id) {t, e, e, LW_ROW, 13, 0, 1, nullptr, nullptr, nullptr, &KEYROW(Id)}
#define FN(t, e, valid, set) {t, e, e, LW_KEY, 13, 0, 0, valid, set, nullptr, nullptr}
#define HAND(t, e, fn) {t, e, e, LW_HAND, 0, 0, 0, nullptr, nullptr, fn, nullptr}
#define CODE(t, first, last, c) {t, first, last, LW_CODE, c, 0, 0, nullptr, nullptr, nullptr, nullptr}
#define COMTAB(t, e, tt, te) {t, e, e, LW_COMTAB, kLwDropResult, tt, te, nullptr, nullptr, nullptr, nullptr}

const LinkWriteRow kWrites[] = {
    HAND(5, 1, writeStartStop),
    HAND(5, 2, writeControlMode),
    ROW(5, 3, SWRFoldback),
    ROW(5, 4, VariableAudioEqualizerStatus),
    ROW(5, 5, ClipperStatus),
    ROW(5, 6, ClipperOrder),
    ROW_S16(5, 7, LevelLeft_dBu),
    ROW_S16(5, 8, LevelRight_dBu),
    ROW_S16(5, 9, LevelRx_dBu),
    ROW_S16(5, 10, RdsExternalLevel_dBu),
    ROW_S16(5, 11, RdsExternalLevelOffset_dBu),
    ROW(5, 12, RdsInternalLevelPercentage),
    ROW(5, 13, ClipperOvershoot),
    ROW(5, 14, ClipperDecay),
    ROW(5, 15, PreEnphasisEn),
    ROW(5, 16, PreEnphasisMode),
    ROW_S16(5, 17, LevelMpx_dBu),
    CODE(5, 18, 19, 0),
    HAND(5, 20, writeRdsFlag),
    HAND(5, 21, writeTa),
    ROW(5, 22, ClipperProfile),
    {6, 1, 1, LW_KEY, 13, 0, 0, nullptr, [](uint32_t v) { setOutputRFfrequency(v, 1); }, nullptr, nullptr},
    FN(6, 2, isValidExciterNominalPower, [](uint32_t v) { setExciterNominalPower(v, 1); }),
    ROW_S16(6, 3, DriverPowerOffset),
    ROW_S16(6, 4, PowerOffsetFine),
    // No derating-override setting exists in this system: not writable.
    CODE(6, 5, 5, 15),
    FN(6, 6, isValidExciterLowPowerAlarmThreshold, setExciterLowPowerAlarmThreshold),
    FN(6, 7, isValidExciterLowPowerWarningThreshold, setExciterLowPowerWarningThreshold),
    FN(6, 8, isValidExternalAmplifierReferencePower, setExternalAmplifierReferencePower),
    ROW(6, 9, AmplifierType),
    ROW(8, 1, AudioLeftTermination),
    ROW(8, 2, AudioRightTerminationStatus),
    ROW(8, 3, RdsTerminationStatus),
    ROW(8, 4, OutputConfiguration),
    ROW(8, 5, TotAudioAlmEnable),
    ROW(8, 6, TotAudioAlmThreshold),
    ROW(8, 7, TotAudioAlmDelay),
    ROW(8, 8, AudioLeftAlmEnable),
    ROW(8, 9, AudioLeftAlmThreshold),
    ROW(8, 10, AudioLeftAlmDelay),
    ROW(8, 11, AudioRightAlmEnable),
    ROW(8, 12, AudioRightAlmThreshold),
    ROW(8, 13, AudioRightAlmDelay),
    ROW(8, 14, AudioAuxAlmEnable),
    ROW(8, 15, AudioAuxAlmThreshold),
    ROW(8, 16, AudioAuxAlmDelay),
    ROW(8, 17, AudioPilotAlmEnable),
    ROW(8, 18, AudioPilotAlmThreshold),
    ROW(8, 19, AudioPilotAlmDelay),
    COMTAB(10, 1, 15, 2),
    COMTAB(10, 3, 15, 5),
    COMTAB(10, 5, 15, 7),
    CODE(10, 2, 2, 15),
    CODE(10, 4, 4, 15),
    CODE(10, 6, 255, 15),
    CODE(10, 0, 0, 15),
    COMTAB(11, 1, 7, 6),
    HAND(11, 3, writeLockoutReset),
    CODE(11, 0, 0, 15),
    CODE(11, 2, 2, 15),
    CODE(11, 4, 255, 15),
};

const uint8_t kWritable[] = {5, 6, 8};

const TableSet kSet = {kTables, static_cast<int>(sizeof kTables / sizeof kTables[0]), kWrites,
                       static_cast<int>(sizeof kWrites / sizeof kWrites[0]), kWritable, sizeof kWritable, nullptr};

} // namespace

const TableSet* slaveTableSet()
{
    return &kSet;
}

int vrlSlaveServe(int channel, const DcmMsg* req)
{
    DcmMsg reply = {};
    int r = TR_Serve(&kSet, req, &reply, DCM_ADDR_1BYTE);
    if (r != 0)
        return r;
    return DCM_Send(channel, &reply);
}

void vrlSlaveTick(int channel)
{
    DcmMsg req = {};
    if (DCM_RecvMsg(channel, DCM_ADDR_1BYTE, LogicaTx_GetOwnLinkAddress(), &req) != 0)
        return;
    vrlSlaveServe(channel, &req);
}

void vrlSlaveInitialized()
{
    logInfo("[TaRN_FM] %sINFO: VRL SLAVE initialized\n", "");
}

void vrlSlaveConfigured()
{
    logInfo("[TaRN_FM] %sINFO: VRL SLAVE configured\n", "");
}

void vrlSlaveTic()
{
    if (getTaSource() != 1 || getCustomTA() != 0)
        return;
    // A data set number outside 1 to 7 names no data set.
    uint32_t dsn = getCurrentRDSDSN();
    if (dsn < 1 || dsn > 7)
        return;
    uint32_t d = dsn - 1;
    uint8_t ta = st().taFromTlc.load();
    if (getTA(d) != ta) {
        DEBUG_PRINT(DBG_RDS, "TA from TLC: %d - Set to DS%d\n", ta, static_cast<int>(d));
        setTA(d, ta);
    }
}
