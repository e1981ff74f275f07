// Change-over link responder on tx_sr_3_ch: a change-over controller reads
// this unit's tables and writes a few settings over DCM frames with
// four-byte addresses. Bytes arrive in a receive ring; each tick takes one
// whole frame out of it and answers from the table rows below.
#include "links/changeOver.h"

#include "Config/StrutturaDati.h"
#include "Config/keys/inputKeys.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/networkKeys.h"
#include "alarms/logicaTx.h"
#include "alarms/logicaTxConfig.h"
#include "comtab/commandManager.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/ringBuf.h"
#include "links/dcm.h"
#include "links/serialChannels.h"
#include "links/tableResponder.h"
#include "power/powerManagement.h"
#include "power/powerSettings.h"

#include <atomic>
#include <cstdio>

namespace {

struct State {
    RingBuf ring{};
    uint8_t storage[512] = {};
    // The word a write of (11, 2) sets, read back as (1, 2) and (11, 2).
    std::atomic<uint32_t> coWord{0};
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

uint32_t u32(int32_t v)
{
    return static_cast<uint32_t>(v);
}

// Table 1: identity words.
const ElemGetter kTable1[9] = {
    []() -> uint32_t { return u32(unit().infoUT); },
    []() -> uint32_t { return st().coWord.load(); },
    []() -> uint32_t { return getFunctionalType(); },
    []() -> uint32_t { return unit().infoFWV; },
    []() -> uint32_t { return unit().infoFWR; },
    []() -> uint32_t { return unit().infoFWB; },
    nullptr,
    []() -> uint32_t { return unit().infoFWC; },
    []() -> uint32_t { return unit().infoFWE; },
};

// Table 5: start request, REMOTE flag, 0.
const ElemGetter kTable5[3] = {
    []() -> uint32_t { return LogicaTx_GetTxStartRequest(); },
    []() -> uint32_t { return LogicaTx_GetControlMode() != 1 ? 1u : 0u; },
    nullptr,
};

// Table 6: power words.
const ElemGetter kTable6[15] = {
    []() -> uint32_t { return u32(getTransmitterNominalPower()); },
    []() -> uint32_t { return getTxForwardPowerPercent(); },
    []() -> uint32_t { return getTxNominalPowerLinear(); },
    []() -> uint32_t { return uint32_t(getTransmitterLowPowerAlarmThreshold()); },
    []() -> uint32_t { return uint32_t(getTransmitterReflectedPowerAlarmThreshold()); },
    []() -> uint32_t { return uint32_t(getTransmitterLowPowerWarningThreshold()); },
    []() -> uint32_t { return uint32_t(getTransmitterReflectedPowerWarningThreshold()); },
    []() -> uint32_t { return getTxForwardPower() / 10; },
    []() -> uint32_t { return getTxReflectedPower() / 10; },
    []() -> uint32_t { return getTxForwardPower(); },
    []() -> uint32_t { return getTxReflectedPower(); },
    []() -> uint32_t { return getInputSwitchMode(); },
    []() -> uint32_t { return getInputSelection(); },
    nullptr,
    []() -> uint32_t { return u32(getDeratedPower()); },
};

const ElemGetter kTable10[1] = {
    []() -> uint32_t { return uint32_t(CMD_IsRunning(9)); },
};

// Table 11: logic words, each sent as its low byte.
const ElemGetter kTable11[7] = {
    []() -> uint32_t { return getExciterMode(); },
    []() -> uint32_t { return st().coWord.load(); },
    []() -> uint32_t { return getFunctionalType(); },
    []() -> uint32_t { return getNplus1Mode(); },
    []() -> uint32_t { return getAmplifierNumber(); },
    []() -> uint32_t { return 255u; },
    []() -> uint32_t { return getChangeOverSerialAddress(); },
};

const ElemGetter kTable13[2] = {
    []() -> uint32_t { return uint32_t(LogicaTx_GetReserveConfigState()); },
    []() -> uint32_t { return getNplus1MainsNumber(); },
};

uint8_t inputGroupIdle()
{
    return readDbAreaCell(11, 17) == 0;
}

// Status bits of table 4.
const StatusBit kStatus[] = {
    {1, 0, SB_EVENT, 6, 0, nullptr},  {1, 1, SB_EVENT, 12, 0, nullptr},  {1, 2, SB_EVENT, 13, 0, nullptr},
    {1, 3, SB_EVENT, 32, 0, nullptr}, {1, 4, SB_EVENT, 9, 0, nullptr},   {1, 5, SB_EVENT, 2, 0, nullptr},
    {1, 6, SB_NOT_EVENT, 1, 0, nullptr}, {1, 7, SB_EVENT, 28, 0, nullptr},
    {2, 1, SB_EVENT, 21, 0, nullptr}, {2, 2, SB_EVENT, 6, 0, nullptr},   {2, 3, SB_EVENT, 8, 0, nullptr},
    {2, 5, SB_EVENT, 15, 0, nullptr}, {2, 6, SB_OR_EVENT, 4, 5, nullptr}, {2, 7, SB_EVENT, 18, 0, nullptr},
    {3, 0, SB_EVENT, 19, 0, nullptr}, {3, 1, SB_EVENT, 57, 0, nullptr},  {3, 2, SB_EVENT, 58, 0, nullptr},
    {3, 3, SB_NOT_EVENT, 55, 0, nullptr}, {3, 5, SB_EVENT, 81, 0, nullptr}, {3, 6, SB_EVENT, 82, 0, nullptr},
    {3, 7, SB_FN, 0, 0, inputGroupIdle},
    {4, 2, SB_EVENT, 44, 0, nullptr}, {4, 3, SB_EVENT, 3, 0, nullptr},
};

int buildTable4(uint8_t* buf)
{
    TR_BuildStatus(kStatus, static_cast<int>(sizeof kStatus / sizeof kStatus[0]), buf, 4);
    return 9;
}

// Table 12 in the processor's order: the fourth word holds the low bytes of
// version words 3, 2 and 1 in its first three bytes (the fourth is 0).
int buildTable12(uint8_t* buf)
{
    const UnitRegion& u = unit();
    TR_PutWord(buf, 0, u.infoFWC, 4, TO_HOST);
    TR_PutWord(buf, 4, u.infoFWE, 4, TO_HOST);
    buf[12] = static_cast<uint8_t>(u.infoFWB);
    buf[13] = static_cast<uint8_t>(u.infoFWR);
    buf[14] = static_cast<uint8_t>(u.infoFWV);
    TR_PutWord(buf, 16, getRearEthernetIPAddress(), 4, TO_HOST);
    TR_PutWord(buf, 20, getRearEthernetIPNetmask(), 4, TO_HOST);
    TR_PutWord(buf, 24, getRearEthernetIPGateway(), 4, TO_HOST);
    return 7;
}

const TableSpec kTables[] = {
    {1, 9, 4, TO_MSB_FIRST, kTable1, nullptr, 4},
    {2, 24, 1, TO_MSB_FIRST, nullptr, nullptr, 1},
    {3, 255, 1, TO_MSB_FIRST, nullptr, nullptr, 4},
    {4, 9, 1, TO_MSB_FIRST, nullptr, buildTable4, 1},
    {5, 3, 1, TO_MSB_FIRST, kTable5, nullptr, 1},
    {6, 15, 4, TO_MSB_FIRST, kTable6, nullptr, 4},
    {9, 1, 1, TO_MSB_FIRST, nullptr, nullptr, 1},
    {10, 1, 1, TO_MSB_FIRST, kTable10, nullptr, 1},
    {11, 7, 1, TO_MSB_FIRST, kTable11, nullptr, 1},
    {12, 7, 4, TO_HOST, nullptr, buildTable12, 4},
    {13, 2, 1, TO_MSB_FIRST, kTable13, nullptr, 1},
};

// (5, 1): start, unless locked out; any other value stops.
uint32_t writeStartStop(uint8_t, uint8_t, uint32_t value)
{
    if (value == 1) {
        if (LogicaTx_GetLockoutState() == 1)
            return 13;
        CMD_Request(3, 1);
        return 0;
    }
    CMD_Request(4, 1);
    return 0;
}

uint32_t writeCoWord(uint8_t, uint8_t, uint32_t)
{
    st().coWord = 3;
    return 0;
}

int validSelection(uint32_t v)
{
    return isValidInputRx(v);
}

const LinkWriteRow kWrites[] = {
    {5, 1, 1, LW_HAND, 0, 0, 0, nullptr, nullptr, writeStartStop, nullptr},
    {5, 2, 2, LW_CODE, 15, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {5, 3, 3, LW_CMD, 0, 5, 0, nullptr, nullptr, nullptr, nullptr},
    {6, 1, 1, LW_KEY, 13, 0, 0, isValidTransmitterNominalPower, [](uint32_t v) { setTransmitterNominalPower(v, 1); },
     nullptr, nullptr},
    {6, 4, 4, LW_KEY, 13, 0, 0, isValidTransmitterLowPowerAlarmThreshold, setTransmitterLowPowerAlarmThreshold,
     nullptr, nullptr},
    {6, 5, 5, LW_KEY, 13, 0, 0, isValidTransmitterReflectedPowerAlarmThreshold,
     setTransmitterReflectedPowerAlarmThreshold, nullptr, nullptr},
    {6, 6, 6, LW_KEY, 13, 0, 0, isValidTransmitterLowPowerWarningThreshold, setTransmitterLowPowerWarningThreshold,
     nullptr, nullptr},
    {6, 7, 7, LW_KEY, 13, 0, 0, isValidTransmitterReflectedPowerWarningThreshold,
     setTransmitterReflectedPowerWarningThreshold, nullptr, nullptr},
    {6, 12, 12, LW_KEY, 13, 0, 0, [](uint32_t v) { return isValidInputSwitchMode(v); },
     [](uint32_t v) { setInputSwitchMode(v); }, nullptr, nullptr},
    {6, 13, 13, LW_KEY, 13, 0, 0, validSelection, [](uint32_t v) { setInputSelection(v); }, nullptr, nullptr},
    // No derating-override setting exists in this system: not writable.
    {6, 15, 15, LW_CODE, 15, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {6, 2, 3, LW_CODE, 15, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {6, 8, 11, LW_CODE, 15, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {9, 1, 1, LW_COMTAB, 0, 15, 7, nullptr, nullptr, nullptr, nullptr},
    {11, 2, 2, LW_HAND, 0, 0, 0, nullptr, nullptr, writeCoWord, nullptr},
    {11, 1, 1, LW_CODE, 15, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {11, 3, 7, LW_CODE, 15, 0, 0, nullptr, nullptr, nullptr, nullptr},
    {13, 1, 1, LW_COMTAB, 0, 15, 4, nullptr, nullptr, nullptr, nullptr},
    {13, 2, 2, LW_COMTAB, 0, 15, 3, nullptr, nullptr, nullptr, nullptr},
};

const uint8_t kWritable[] = {5, 6, 9, 11, 13};

const TableSet kSet = {kTables, static_cast<int>(sizeof kTables / sizeof kTables[0]), kWrites,
                       static_cast<int>(sizeof kWrites / sizeof kWrites[0]), kWritable, sizeof kWritable, nullptr};

} // namespace

const TableSet* changeOverTableSet()
{
    return &kSet;
}

void vrlChangeOverInit()
{
    State& s = st();
    logInfo("[TaRN_FM] %sINFO: VRL CHANGE OVER initialized\n", "");
    RingBuf_Init(&s.ring, s.storage, sizeof s.storage);
}

void vrlChangeOverConfigured()
{
    logInfo("[TaRN_FM] %sINFO: VRL CHANGE OVER configured\n", "");
}

int vrlChangeOverMsgRecv(int fd)
{
    uint8_t buf[kDcmFrameMax];
    int n = SC_recv_msg(fd, buf, sizeof buf, 0);
    if (n < 1 || n > kDcmFrameMax)
        return 0;
    return changeOverTakeBytes(buf, n);
}

int changeOverTakeBytes(const uint8_t* bytes, int n)
{
    State& s = st();
    if (s.ring.size == 0)
        RingBuf_Init(&s.ring, s.storage, sizeof s.storage);
    uint32_t space = RingBuf_Free(&s.ring);
    if (n < 1 || space <= static_cast<uint32_t>(n)) {
        printf("%s: Discard this frame (free_space %d)\n", "vrlChangeOverMsgRecv", static_cast<int>(space));
        fflush(stdout);
        return 0;
    }
    RingBuf_Write(&s.ring, bytes, static_cast<uint32_t>(n));
    return n;
}

int vrlChangeOverTic(int channel)
{
    State& s = st();
    if (s.ring.size == 0)
        return 9;
    DcmMsg req = {};
    int r = DCM_RecvMsgFromRing(channel, DCM_ADDR_4BYTE, getChangeOverSerialAddress(), &req, &s.ring);
    if (r != 0)
        return r;
    DcmMsg reply = {};
    r = TR_Serve(&kSet, &req, &reply, DCM_ADDR_4BYTE);
    if (r != 0)
        return r;
    // The link is alive: link state 1 and both supervision deadlines.
    LogicaTx_ChangeOverMessageSeen();
    DCM_Send(channel, &reply);
    return 0;
}
