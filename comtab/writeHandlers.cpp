// Write handlers of the key tables: the rows of comtab/gen/writeRows.inc
// run the element pattern; the functions below serve the elements with
// behaviour of their own.
#include "comtab/writeHandlers.h"

#include "Config/keyTable.h"
#include "Config/configCycle.h"
#include "Config/keys/audioKeys.h"
#include "Config/keys/audioProcessorKeys.h"
#include "Config/keys/factoryKeys.h"
#include "Config/keys/fpgaKeys.h"
#include "Config/keys/gsmKeys.h"
#include "Config/keys/hpaKeys.h"
#include "Config/keys/hwCodesKeys.h"
#include "Config/keys/unitKeys.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/networkKeys.h"
#include "Config/keys/rdsKeys.h"
#include "Config/keys/rfKeys.h"
#include "Config/keys/synchroKeys.h"
#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "alarms/alarmKeys.h"
#include "alarms/alarmObjects.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "audio/fmRxMonitor.h"
#include "audio/mpxOverIp.h"
#include "comtab/commandHandlers.h"
#include "comtab/commandTable.h"
#include "comtab/writeTable.h"
#include "links/remoteLtx.h"
#include "links/serialChannels.h"
#include "power/powerSettings.h"
#include "power/ampFm.h"

#include <cstdio>

namespace {

constexpr int kFirstDataSet = 21;
constexpr int kLastDataSet = 27;
constexpr uint32_t kSequenceBytes = 16;
constexpr int kFirstUsers = 53;
constexpr int kLastUsers = 54;
constexpr uint32_t kUserElements = 12;
constexpr uint32_t kUsersPerTable = 5;
constexpr uint32_t kNameElements = 64;

uint32_t HAND_5_11(int table, uint32_t element, uint32_t value);
uint32_t HAND_37(int table, uint32_t element, uint32_t value);
uint32_t HAND_46_param(int table, uint32_t element, uint32_t value);
uint32_t HAND_46_18(int table, uint32_t element, uint32_t value);
uint32_t HAND_46_threshold(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_5(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_19(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_24(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_44(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_45(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_51(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_52(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_53(int table, uint32_t element, uint32_t value);
uint32_t HAND_13_56(int table, uint32_t element, uint32_t value);
uint32_t HAND_20_slot1(int table, uint32_t element, uint32_t value);
uint32_t HAND_21_36(int table, uint32_t element, uint32_t value);
uint32_t HAND_21_sequence(int table, uint32_t element, uint32_t value);
uint32_t HAND_57_39(int table, uint32_t element, uint32_t value);
uint32_t HAND_57_42(int table, uint32_t element, uint32_t value);
uint32_t HAND_57_59(int table, uint32_t element, uint32_t value);
uint32_t HAND_57_60(int table, uint32_t element, uint32_t value);
uint32_t HAND_57_61(int table, uint32_t element, uint32_t value);
uint32_t HAND_presetName(int table, uint32_t element, uint32_t value);
uint32_t HAND_31_12(int table, uint32_t element, uint32_t value);
uint32_t HAND_31_13(int table, uint32_t element, uint32_t value);
uint32_t HAND_62_unit(int table, uint32_t element, uint32_t value);

#define WTABLE(t, code) {t, WK_TABLE, 0, 0, 1, 0, nullptr, W_WORD, I_NONE, code, 0, nullptr, nullptr, nullptr},
#define WCODE(t, first, last, code) {t, WK_CODE, first, last, 1, 0, nullptr, W_WORD, I_NONE, code, 0, nullptr, nullptr, nullptr},
// A parameter of the MPX-over-IP block, written at its width.
#define WGBE(t, e, width) {t, WK_HAND, e, e, 1, 0, nullptr, width, I_NONE, 0, 0, HAND_37, nullptr, nullptr},
#define WHAND(t, first, last, fn) {t, WK_HAND, first, last, 1, 0, nullptr, W_WORD, I_NONE, 0, 0, fn, nullptr, nullptr},
#define WKEY(t, first, last, step, base, Key, width, index, fail, flags)                                                \
    {t, WK_KEY, first, last, step, base, &KEYROW(Key), width, index, fail, flags, nullptr, nullptr, nullptr},
#define WFN(t, e, valid, set, width, fail, flags)                                                                      \
    {t, WK_FN, e, e, 1, 0, nullptr, width, I_NONE, fail, flags, nullptr, valid, [](uint32_t v) { set(v); }},
// A setter that takes an apply flag: a table write applies at once.
#define WFN_APPLY(t, e, valid, set, width, fail, flags)                                                                \
    {t, WK_FN, e, e, 1, 0, nullptr, width, I_NONE, fail, flags, nullptr, valid, [](uint32_t v) { set(v, 1); }},

const WriteRow kRows[] = {
#include "comtab/gen/writeRows.inc"
};

#undef WTABLE
#undef WCODE
#undef WHAND
#undef WGBE
#undef WKEY
#undef WFN
#undef WFN_APPLY

uint32_t narrow(uint8_t width, uint32_t v)
{
    switch (width) {
    case W_U8: return v & 0xffu;
    case W_U16: return v & 0xffffu;
    case W_NET32: return v; // the address keys hold network byte order too
    case W_S16: return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(v & 0xffffu)));
    default: return v;
    }
}

int rowTable(int table)
{
    if (table >= kFirstDataSet && table <= kLastDataSet)
        return kFirstDataSet;
    return table == kLastUsers ? kFirstUsers : table;
}

// The rows of the user tables number the twelve elements of one user.
uint32_t rowElement(int table, uint32_t element)
{
    if (rowTable(table) != kFirstUsers || element == 0)
        return element;
    return element > kUsersPerTable * kUserElements ? 0 : (element - 1) % kUserElements + 1;
}

uint32_t gsmUser(int table, uint32_t element)
{
    return (element - 1) / kUserElements + kUsersPerTable * static_cast<uint32_t>(table - kFirstUsers);
}

uint32_t keyIndex(const WriteRow& r, int table, uint32_t element)
{
    uint32_t run = (rowElement(table, element) - r.first) / r.step + r.base;
    switch (r.index) {
    case I_RUN: return run;
    case I_DATASET: return static_cast<uint32_t>(table - kFirstDataSet);
    case I_DATASET_RUN: return cfgPairIndex(*r.key, static_cast<uint32_t>(table - kFirstDataSet), run);
    case I_GSM_USER: return gsmUser(table, element);
    case I_GSM_USER_RUN: return cfgPairIndex(*r.key, gsmUser(table, element), run);
    default: return 0;
    }
}

uint32_t writeKey(const WriteRow& r, int table, uint32_t element, uint32_t value)
{
    const CfgKeyDesc* d = *r.key;
    uint32_t v = narrow(r.width, value);
    if (!(r.flags & F_NO_CHECK) && !cfgIsValidRow(d, v))
        return r.fail;
    // The RF DAC takes a table write at once: its setters reprogram the
    // device when the hardware-apply word is armed before the store.
    if (r.flags & F_DAC)
        setDacApplyEnable(1);
    if (r.flags & (F_MARK_COMMON | F_MARK_CMP | F_MARK_EQ))
        setApCommonModified(1);
    if (r.flags & F_MARK_CMP)
        setApCmpModified(1);
    if (r.flags & F_MARK_EQ)
        setApEqModified(1);
    cfgSetElement(d, keyIndex(r, table, element), v);
    return 0;
}

// The output frequency within the HPA's limits; every connected external
// amplifier is told the new frequency in whole MHz (their answers do not
// change the result).
uint32_t HAND_5_11(int, uint32_t, uint32_t value)
{
    if (value < getHpaMinFreq() || value > getHpaMaxFreq())
        return 11;
    setOutputRFfrequency(value, 1);
    uint32_t units = getAmplifierNumber();
    for (uint32_t u = 1; u <= units && u < EXT_AMP_LINK_SLOTS; u++)
        if (UnitSlot_IsConnected(u) == 1)
            AMP_FM_Write(u, 8, 9, static_cast<int32_t>(value / 1000000), 0);
    return 0;
}

// Exciter_Mode chooses how the serial channels 0 and 2 are used: both are
// opened again.
uint32_t HAND_13_5(int, uint32_t, uint32_t value)
{
    if (!isValidExciterMode(value))
        return 11;
    setExciterMode(value);
    COM_ReopenSerialChannel(0);
    COM_ReopenSerialChannel(2);
    return 0;
}

// The display's acknowledgement of a key press.
uint32_t HAND_13_19(int, uint32_t, uint32_t value)
{
    printf("reset MtxKeyPress to %lX\n", static_cast<unsigned long>(value));
    fflush(stdout);
    LogicaTx_SetKeyLockWord(value & 0xffffu);
    return 0;
}

// The APC voltage is left alone while the forward power is calibrated.
uint32_t HAND_13_24(int, uint32_t, uint32_t value)
{
    if (!isValidVapc(value))
        return 11;
    if (getFwdPowerCalibrated() != 0)
        return 0;
    setVoltageAPC(value, 1);
    return 0;
}

// Web logons, reported in the book log.
uint32_t HAND_13_44(int, uint32_t, uint32_t value)
{
    logWebUserLogonFrom(value);
    return 0;
}

uint32_t HAND_13_45(int, uint32_t element, uint32_t value)
{
    logWebUserLogon(element - 45, value);
    return 0;
}

uint32_t HAND_13_51(int, uint32_t, uint32_t value)
{
    LogicaTx_SetKeyMode(value);
    return 0;
}

// FSK identification: its enable (0 or 1), words 0 and 1 of the id, and its
// period (0 to 9), items of the FPGA frame without validators of their own.
uint32_t HAND_13_52(int, uint32_t, uint32_t value)
{
    uint32_t v = value & 0xffu;
    if (v > 1)
        return 11;
    setFSKSignEna(v);
    return 0;
}

uint32_t HAND_13_53(int, uint32_t element, uint32_t value)
{
    setFSKTxId(element - 53, value);
    return 0;
}

uint32_t HAND_13_56(int, uint32_t, uint32_t value)
{
    uint32_t v = value & 0xffu;
    if (v > 9)
        return 11;
    setFSKSignTimePeriod(v);
    return 0;
}

// A parameter's own client write; a parameter that is not there refuses.
template <class T>
int remoteSet(Param<T>* p, uint32_t v)
{
    if (!p || !p->remoteSet)
        return PARAM_OUT_OF_RANGE;
    return p->remoteSet(p, static_cast<T>(v));
}

// MPX-over-IP parameters: the parameter's own client write at its width;
// the result is 0 whatever it answers (also before the parameters exist).
uint32_t HAND_37(int table, uint32_t element, uint32_t value)
{
    const WriteRow* r = findWriteRow(table, element);
    uint32_t v = narrow(r->width, value);
    GbeParams* g = GBE_GetParams();
    if (!g)
        return 0;
    switch (element) {
    case 33: remoteSet(&g->configFlags, v); break;
    case 37: remoteSet(&g->ipAddr, v); break;
    case 38: remoteSet(&g->netMask, v); break;
    case 39: remoteSet(&g->gwAddr, v); break;
    case 40: remoteSet(&g->multicastGrp, v); break;
    case 41: remoteSet(&g->udpPort, v); break;
    case 42: remoteSet(&g->ttl, v); break;
    case 43: remoteSet(&g->latency, v); break;
    case 48: remoteSet(&g->txEnable, v); break;
    case 49: remoteSet(&g->txTsSource, v); break;
    case 50: remoteSet(&g->txMulticastEnable, v); break;
    case 51: remoteSet(&g->txDestIpAddr, v); break;
    case 52: remoteSet(&g->txMulticastGrp, v); break;
    case 53: remoteSet(&g->txDestMacHigh, v); break;
    case 54: remoteSet(&g->txDestMacLow, v); break;
    case 55: remoteSet(&g->txDestUdpPort, v); break;
    case 56: remoteSet(&g->txSrcUdpPort, v); break;
    case 58: remoteSet(&g->syncTimestampOffset, v); break;
    default: break;
    }
    return 0;
}

// FM receiver parameters: each checks its own range; a refusal gives 11.
uint32_t HAND_46_param(int, uint32_t element, uint32_t value)
{
    FmRxContext* c = fmRx_GetContext();
    int rc = PARAM_OK;
    switch (element) {
    case 1: rc = remoteSet(&c->frqNom, value); break;
    case 31: rc = remoteSet(&c->intermFrqOffset, static_cast<uint32_t>(static_cast<int8_t>(value & 0xffu))); break;
    case 33: rc = remoteSet(&c->preAmpMode, value & 0xffu); break;
    case 34: rc = remoteSet(&c->snrPresThd, value); break;
    case 35: rc = remoteSet(&c->rssiPresThd, value); break;
    default: rc = remoteSet(&c->xcLoad, value); break;
    }
    return rc < 0 ? 11 : 0;
}

// The receiver's command-table entry 22.
uint32_t HAND_46_18(int, uint32_t, uint32_t value)
{
    if (value > 2)
        return 11;
    setCommandRequest(22, value);
    return 0;
}

// Low thresholds of the receiver's alarms 0 (20) and 1 (21), the high
// threshold of alarm 2 (22); 0 also for an alarm without that threshold.
uint32_t HAND_46_threshold(int, uint32_t element, uint32_t value)
{
    Alarm* a = AlarmSet_GetAlarm(fmRx_GetContext()->alarms, element - 20);
    if (!a)
        return 0;
    ParamLong* low = nullptr;
    ParamLong* high = nullptr;
    Alarm_GetThresholds(a, &low, &high);
    ParamLong* p = element == 22 ? high : low;
    if (p)
        remoteSet(p, value);
    return 0;
}

// Slot 1's site (element 2) and encoder (element 3) addresses: writing one
// also enables it, as slot 1 has no enable element of its own.
uint32_t HAND_20_slot1(int, uint32_t element, uint32_t value)
{
    if (element == 2) {
        uint32_t v = value & 0xffffu;
        if (!isValidUECPSiteAddr(v))
            return 11;
        setUECPSiteAddr(1, v);
        setUECPSiteAddrEna(1, 1);
    } else {
        uint32_t v = value & 0xffu;
        if (!isValidUECPEncoderAddr(v))
            return 11;
        setUECPEncoderAddr(1, v);
        setUECPEncoderAddrEna(1, 1);
    }
    return 0;
}

// The RadioText flag; an exciter in mode 1 forwards the data set's
// RadioText to the remote logic.
uint32_t HAND_21_36(int table, uint32_t, uint32_t value)
{
    uint32_t v = value & 0xffu;
    if (!cfgIsValidRow(KEYROW(RadioTextFlag), v))
        return 11;
    uint32_t d = static_cast<uint32_t>(table - kFirstDataSet);
    setRadioTextFlag(d, v);
    if (getExciterMode() == 1)
        remoteLtxSendRadioText(static_cast<int>(d + 1));
    return 0;
}

uint32_t HAND_21_sequence(int, uint32_t, uint32_t)
{
    printf("\n\n\n[RDS] ATTENTION !!  Don't use SEND_long for 'RDS Sequence'; use SEND_String \n\n");
    fflush(stdout);
    return 0;
}

// Preset selection: the number is kept; an existing stored set is copied
// over the working settings (a number beyond the stored sets copies
// nothing), the set is the loaded one and not modified.
uint32_t HAND_57_39(int, uint32_t, uint32_t value)
{
    setApCmpSaveSet(value & 0xffu);
    setApCmpLoad(value & 0xffu);
    setApCmpModified(0);
    markConfigChanged(CONFIG_GROUP_AUDIO_PROCESSOR);
    return 0;
}

uint32_t HAND_57_42(int, uint32_t, uint32_t value)
{
    setApEqSaveSet(value & 0xffu);
    setApEqLoad(value & 0xffu);
    setApEqModified(0);
    markConfigChanged(CONFIG_GROUP_AUDIO_PROCESSOR);
    return 0;
}

// Save selectors: the working settings become stored set `value`.
uint32_t HAND_57_59(int, uint32_t, uint32_t value)
{
    saveApCommonSet(value & 0xffu);
    return 0;
}

uint32_t HAND_57_60(int, uint32_t, uint32_t value)
{
    saveApCmpSet(value & 0xffu);
    return 0;
}

// A common set loaded is a set not modified in any of its parts.
uint32_t HAND_57_61(int, uint32_t, uint32_t value)
{
    setApCommonLoad(value & 0xffu);
    setApCommonModified(0);
    setApEqModified(0);
    setApCmpModified(0);
    return 0;
}

// Preset names, four characters a word: element n is word n - 1 of the
// names of the common (59), equaliser (60) or compressor (61) sets.
uint32_t HAND_presetName(int table, uint32_t element, uint32_t value)
{
    if (element < 1 || element > kNameElements)
        return 1;
    uint32_t word = element - 1;
    if (table == 59)
        setApCommonName(word, value);
    else if (table == 60)
        setApEqName(word, value);
    else
        setApCmpName(word, value);
    return 0;
}

// Power supply 0: its output voltage and its output on or off, unchecked.
uint32_t HAND_31_12(int, uint32_t, uint32_t value)
{
    applyPsuVout(0, value);
    return 0;
}

uint32_t HAND_31_13(int, uint32_t, uint32_t value)
{
    setPsuOperationMode(0, static_cast<uint8_t>(value));
    return 0;
}

// External amplifier 1: elements 46 to 56 are its table-9 elements 1 to 11,
// element 58 its table-8 element 13; the unit's answer is the result.
uint32_t HAND_62_unit(int, uint32_t element, uint32_t value)
{
    int32_t v = static_cast<int32_t>(value);
    int32_t r = element == 58 ? AMP_FM_Write(1, 8, 13, v, 0) : AMP_FM_Write(1, 9, element - 45, v, 0);
    return static_cast<uint32_t>(r);
}

} // namespace

const WriteRow* writeRowsBegin()
{
    return kRows;
}

const WriteRow* writeRowsEnd()
{
    return kRows + sizeof kRows / sizeof kRows[0];
}

const WriteRow* findWriteRow(int table, uint32_t element)
{
    if (element > 0xffffu)
        return nullptr; // no table has elements that far
    int t = rowTable(table);
    if (t == kFirstUsers) {
        element = rowElement(table, element);
        if (element == 0)
            return nullptr;
    }
    const WriteRow* whole = nullptr;
    for (const WriteRow& r : kRows) {
        if (r.table != t)
            continue;
        if (r.kind == WK_TABLE) {
            whole = &r;
            continue;
        }
        if (element >= r.first && element <= r.last && (element - r.first) % r.step == 0)
            return &r;
    }
    return whole;
}

bool isHandlerTable(int table)
{
    int t = rowTable(table);
    for (const WriteRow& r : kRows)
        if (r.table == t)
            return true;
    return false;
}

uint32_t writeTableElement(int table, uint32_t element, uint32_t value)
{
    const WriteRow* r = findWriteRow(table, element);
    if (!r)
        return 1;
    switch (r->kind) {
    case WK_KEY: return writeKey(*r, table, element, value);
    case WK_HAND: return r->hand(table, element, value);
    case WK_FN: {
        uint32_t v = narrow(r->width, value);
        if (r->valid && !r->valid(v))
            return r->fail;
        if (r->flags & F_DAC)
            setDacApplyEnable(1);
        r->set(v);
        return 0;
    }
    default: return r->fail;
    }
}

uint32_t writeRdsSequenceBlock(int table, uint32_t element, const uint8_t* data, uint32_t length)
{
    if (element != 56 && element != 60)
        return 1;
    if (!data)
        return 11;
    uint32_t n = length < kSequenceBytes ? length : kSequenceBytes;
    uint8_t codes[kSequenceBytes];
    // Clients count the labelling codes from 1; 0 and 255 pass as they are.
    for (uint32_t i = 0; i < n; i++)
        codes[i] = data[i] >= 1 && data[i] <= 254 ? static_cast<uint8_t>(data[i] - 1) : data[i];
    setRdsSequence(static_cast<uint32_t>(table - kFirstDataSet), codes, n);
    return 0;
}

uint32_t writeFmRxAlarmBlock(uint32_t element, uint32_t word, uint32_t mask)
{
    if (element == 1)
        return 15;
    if (element != 2)
        return 1;
    AlarmSet_ApplyConfig(fmRx_GetContext()->alarms, word, mask);
    return 0;
}
