// External amplifiers on the units' serial bus.
#include "power/ampFm.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/logicaTxKeys.h"
#include "Config/keys/rfKeys.h"
#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/rfMute.h"
#include "core/base/utils.h"
#include "hw/smallDevices.h"
#include "links/dcm.h"
#include "power/powerSettings.h"

#include <cmath>
#include <cstring>

namespace {

constexpr uint32_t kRequestPeriodMs = 800;
constexpr uint8_t kRetries = 3;
constexpr uint8_t kCmdRead = 4;
constexpr uint8_t kCmdWrite = 5;
constexpr uint8_t kStatusBytes = 3;
constexpr uint32_t kSectionBase = 61;
constexpr uint32_t kNoValue = 0xFFFFFFFFu;

constexpr uint16_t kEventAmpKnown = 68;
constexpr uint16_t kEventAmpConflict = 69;
constexpr uint16_t kEventAmpAlarm = 87;
constexpr uint16_t kEventAmpWarning = 88;

// Reply command codes.
constexpr uint8_t kReplyError = 129;
constexpr uint8_t kReplyWriteAck = 131;
constexpr uint8_t kReplyBlock = 132;
constexpr uint8_t kReplyListStatus = 137;
constexpr uint8_t kReplyAckStatus = 139;
constexpr uint8_t kReplyBlockStatus = 140;

// Request shape of each table: item width (DCM size type) and the number of
// elements a read asks for.
struct TableShape {
    uint8_t table;
    uint32_t sizeType;
    uint8_t count;
};
constexpr TableShape kShapes[] = {
    {1, DCM_SIZE_8, 25}, {2, DCM_SIZE_8, 3},   {3, DCM_SIZE_16, 26}, {4, DCM_SIZE_8, 2},
    {5, DCM_SIZE_8, 7},  {8, DCM_SIZE_32, 14}, {9, DCM_SIZE_32, 11},
};

const TableShape* shapeOf(uint32_t table)
{
    for (const TableShape& s : kShapes)
        if (s.table == table)
            return &s;
    return nullptr;
}

// Our amplifier models. An identity is accepted when its model code lies in
// the block EXT_AMP_MODEL_FIRST .. EXT_AMP_MODEL_FIRST + EXT_AMP_MODEL_COUNT
// - 1 (21000 to 21999, the range of Amplifier_type too). Within it, the
// configuration variant: 21100 and 21101 give variant 2 (the two models the
// automatic configuration names), 21200 variant 1, every other code 0.
struct VariantRow {
    uint32_t model;
    uint32_t variant;
    const char* name;
};
constexpr VariantRow kVariants[] = {
    {EXT_AMP_MODEL_FIRST + 100, 2, "TX-A"},
    {EXT_AMP_MODEL_FIRST + 101, 2, "TX-B"},
    {EXT_AMP_MODEL_FIRST + 200, 1, nullptr},
};

bool modelAccepted(uint32_t model)
{
    return model >= EXT_AMP_MODEL_FIRST && model - EXT_AMP_MODEL_FIRST < EXT_AMP_MODEL_COUNT;
}

// Value ranges of the writable elements of tables 8 and 9 (15: read only).
struct WriteRange {
    uint8_t table;
    uint8_t element;
    int32_t low;
    int32_t high;
};
constexpr WriteRange kRanges[] = {
    {8, 8, 200, 510},  {8, 9, 87, 108},  {8, 13, 1, 10000}, {9, 1, 0, 255},   {9, 2, 5, 90},  {9, 3, -30, 30},
    {9, 4, -100, 100}, {9, 5, 5, 90},    {9, 6, -30, 30},   {9, 7, -100, 100}, {9, 8, 0, 2},  {9, 9, 0, 255},
    {9, 10, 1, 254},   {9, 11, 0, 1},
};

const WriteRange* rangeOf(uint32_t table, uint32_t element)
{
    for (const WriteRange& r : kRanges)
        if (r.table == table && r.element == element)
            return &r;
    return nullptr;
}

// Status bits whose edges are logged.
struct StatusBit {
    uint8_t byte;
    uint8_t mask;
    const char* kind;
    const char* text;
};
constexpr StatusBit kStatusBits[] = {
    {0, 0x04, "ALM", "Low Volt"},    {0, 0x08, "ALM", "Aux Volt"},  {0, 0x10, "ALM", "Int Volt"},
    {0, 0x20, "ALM", "PSU"},         {0, 0x40, "ALM", "Temperature"}, {0, 0x80, "ALM", "Over Volt"},
    {1, 0x01, "ALM", "RF Temp"},     {1, 0x02, "WRN", "FAN"},       {1, 0x08, "WRN", "Temperature"},
    {2, 0x04, "ALM", "Freq"},        {2, 0x10, "WRN", "PSU"},       {2, 0x20, "WRN", "LOCKOUT"},
};

// Table 3 elements kept in the record and published (item = element + 6).
constexpr uint8_t kTable3Elements[] = {1, 2, 6, 7, 8, 9, 10, 11, 12, 13, 16, 17, 18, 19, 21, 24};

bool isTable3Element(uint32_t e)
{
    for (uint8_t k : kTable3Elements)
        if (k == e)
            return true;
    return false;
}

struct State {
    ExtAmpRecord records[EXT_AMP_RECORDS];
    ExtAmpLink links[EXT_AMP_LINK_SLOTS];
    uint32_t count;
    uint32_t rrIndex;
    uint32_t deadline; // hundredths; 0: due
    uint32_t periodMs;
    uint32_t variant;
};

State& st()
{
    static State s;
    return s;
}

ExtAmpRecord* recordOf(uint32_t slot)
{
    if (slot >= EXT_AMP_LINK_SLOTS)
        return nullptr;
    return st().links[slot].record;
}

bool connected(uint32_t slot)
{
    return UnitSlot_IsConnected(slot) == 1;
}

void publish(const ExtAmpRecord& r, uint32_t item, uint32_t value)
{
    // The fourth record's section lies beyond the cell grid: it publishes
    // nothing (its values stay readable through AMP_FM_ReadElem).
    if (kSectionBase + r.number > 64)
        return;
    setDbAreaCell(kSectionBase + r.number, item, value);
}

void resetStatus(ExtAmpRecord& r)
{
    r.s0 = r.s1 = r.s2 = 0;
    r.statusValid = 0;
    publish(r, 6, kNoValue);
}

void resetTable3(ExtAmpRecord& r)
{
    for (int16_t& v : r.table3)
        v = -1;
    r.table3Valid = 0;
    for (uint8_t e : kTable3Elements)
        publish(r, e + 6u, kNoValue);
    publish(r, 44, kNoValue);
    publish(r, 45, kNoValue);
}

void resetTable4(ExtAmpRecord& r)
{
    r.table4Byte = 0xFF;
    r.table4Word = kNoValue;
    r.table4Valid = 0;
    publish(r, 57, kNoValue);
}

void resetTable5(ExtAmpRecord& r)
{
    for (uint32_t& v : r.table5)
        v = kNoValue;
}

void resetTable8(ExtAmpRecord& r)
{
    for (uint32_t& v : r.table8)
        v = kNoValue;
    r.table8Valid = 0;
    for (uint32_t i = 31; i <= 43; i++)
        publish(r, i, kNoValue);
    publish(r, 58, kNoValue);
}

void resetRecord(ExtAmpRecord& r, uint8_t number)
{
    r = ExtAmpRecord{};
    r.number = number;
    r.slot = EXT_AMP_NO_SLOT;
    r.address = 0xFF;
    r.retries = kRetries;
    for (uint32_t& v : r.table1)
        v = kNoValue;
    for (uint32_t i = 1; i <= 5; i++)
        publish(r, i, kNoValue);
    resetStatus(r);
    resetTable3(r);
    resetTable4(r);
    resetTable5(r);
    resetTable8(r);
    for (uint32_t& v : r.table9)
        v = kNoValue;
    for (uint32_t i = 46; i <= 56; i++)
        publish(r, i, kNoValue);
}

// The alarm and warning summary of a record, and event bits 87 and 88.
void updateSummary(ExtAmpRecord& r)
{
    uint8_t alarm = 0, warning = 0;
    if (getAmplifierNumber() != 0) {
        alarm = !connected(r.slot) || r.s0 != 0 || (r.s1 & 0x01) || (r.s1 & 0x20) || !(r.s1 & 0x10) ||
                (r.s2 & 0x01) || (r.s2 & 0x04);
        warning = (r.s1 & 0x08) || (r.s2 & 0x70);
    }
    r.alarmSummary = alarm;
    r.warningSummary = warning;
    setEventBit(alarm, kEventAmpAlarm);
    setEventBit(!alarm && warning, kEventAmpWarning);
}

void logStatusEdges(ExtAmpRecord& r)
{
    const uint8_t now[3] = {r.s0, r.s1, r.s2};
    if (connected(r.slot)) {
        for (const StatusBit& b : kStatusBits) {
            bool set = now[b.byte] & b.mask;
            if (set == static_cast<bool>(r.loggedStatus[b.byte] & b.mask))
                continue;
            if (set)
                logEvent("EXT_AMP: %s  %-26s <--- In\n", b.kind, b.text);
            else
                logEvent("EXT_AMP: %s  %-26s ---> Out\n", b.kind, b.text);
        }
    }
    memcpy(r.loggedStatus, now, sizeof now);
}

void storeStatus(ExtAmpRecord& r, const uint8_t* b)
{
    r.s0 = b[0];
    r.s1 = b[1];
    r.s2 = b[2];
    logStatusEdges(r);
    updateSummary(r);
    publish(r, 6, r.s0 | static_cast<uint32_t>(r.s1) << 8 | static_cast<uint32_t>(r.s2) << 16);
    r.statusValid = 1;
}

int16_t be16(const uint8_t* p)
{
    return static_cast<int16_t>(p[0] << 8 | p[1]);
}

void afterIdentity(ExtAmpRecord& r);

// A block whose table, size type or item count is not the one asked for is
// ignored: it would fill the record from bytes the unit never sent.
void storeBlock(ExtAmpRecord& r, const DcmMsg& reply)
{
    if (reply.accessType != DCM_TYPE_READ_BLOCK)
        return;
    const DcmReadBlock& b = reply.block;
    const TableShape* shape = shapeOf(b.table);
    if (!shape || b.table == 5 || b.sizeType != shape->sizeType || reply.count != shape->count || b.firstElem != 1)
        return;
    const uint8_t* d = b.data;
    switch (b.table) {
    case 1:
        r.table1[0] = d[0];
        for (int i = 1; i <= 4; i++)
            r.table1[i] = d[i];
        r.table1[5] = static_cast<uint32_t>(d[23]) | static_cast<uint32_t>(d[24]) << 8; // as received
        r.table1[6] = getU32(d + 5);                                                 // as received
        r.table1[7] = 0;
        r.table1[8] = d[9];
        publish(r, 1, d[0]);
        publish(r, 2, static_cast<uint32_t>(d[3]) << 8 | d[4]);
        publish(r, 3, r.table1[6]);
        publish(r, 4, d[9]);
        publish(r, 5, r.table1[5]);
        break;
    case 2:
        storeStatus(r, d);
        break;
    case 3:
        for (int e = 1; e <= 26; e++) {
            int16_t v = be16(d + 2 * (e - 1));
            r.table3[e - 1] = e == 6 ? static_cast<int16_t>(v / 10) : v;
        }
        for (uint8_t e : kTable3Elements)
            publish(r, e + 6u, static_cast<uint32_t>(static_cast<int32_t>(r.table3[e - 1])));
        publish(r, 44, static_cast<uint32_t>(static_cast<int32_t>(be16(d + 2))));
        publish(r, 45, static_cast<uint32_t>(static_cast<int32_t>(be16(d + 2))));
        r.table3Valid = 1;
        break;
    case 4:
        r.table4Byte = d[0];
        r.table4Word = d[1];
        publish(r, 57, r.table4Word);
        r.table4Valid = 1;
        break;
    case 8:
        for (int i = 0; i < 14; i++) {
            r.table8[i] = getU32BE(d + 4 * i);
            publish(r, i < 13 ? 31u + i : 58u, r.table8[i]);
        }
        r.table8Valid = 1;
        afterIdentity(r);
        break;
    case 9:
        for (int i = 0; i < 11; i++) {
            r.table9[i] = getU32BE(d + 4 * i);
            publish(r, 46u + i, r.table9[i]);
        }
        break;
    default:
        break;
    }
}

// Queues one request to the slot's unit: 0; -1 no record or no free
// request; -2 an unknown table or an element beyond the table.
int sendRequest(uint32_t slot, bool write, uint32_t table, uint32_t element, uint32_t value)
{
    ExtAmpRecord* r = recordOf(slot);
    if (!r)
        return -1;
    const TableShape* shape = shapeOf(table);
    if (!shape || (write && (element < 1 || element > shape->count)))
        return -2;
    DcmRequest* req = DCM_NewRequest();
    if (!req)
        return -1;
    DcmMsg& m = req->msg;
    DMSG_Clear(&m);
    DMSG_SetState(&m, DCM_STATE_BUILDING);
    DMSG_SetAddrMode(&m, DCM_ADDR_1BYTE);
    DMSG_SetDataLen(&m, kStatusBytes);
    DMSG_SetAddress(&m, r->address);
    DMSG_SetCommand(&m, write ? kCmdWrite : kCmdRead);
    DMSG_SetType(&m, DCM_TYPE_READ_BLOCK);
    uint8_t data[4] = {};
    int rc;
    if (write) {
        if (shape->sizeType == DCM_SIZE_32)
            putU32BE(value, data);
        else if (shape->sizeType == DCM_SIZE_16) {
            data[0] = static_cast<uint8_t>(value >> 8);
            data[1] = static_cast<uint8_t>(value);
        } else {
            data[0] = static_cast<uint8_t>(value);
        }
        rc = DMSG_SetReadRequest(&m, shape->sizeType, static_cast<uint8_t>(table), static_cast<uint8_t>(element), 1,
                                 data);
    } else {
        rc = DMSG_SetReadRequest(&m, shape->sizeType, static_cast<uint8_t>(table), 1, shape->count, nullptr);
    }
    if (rc != 0) {
        // The slot taken from the ring is left invalid: the sender passes it.
        DMSG_Clear(&m);
        return -2;
    }
    DMSG_SetState(&m, DCM_STATE_READY);
    req->replyCb = AMP_FM_OnReply;
    req->expSlot = static_cast<uint8_t>(slot);
    req->channel = r->channel;
    req->sentCb = nullptr;
    DCM_QueueRequest(req);
    State& s = st();
    s.deadline = getDeadlineCs(s.periodMs / 10);
    r->unanswered++;
    return 0;
}

int writeTable4(uint32_t slot, ExtAmpRecord& r, uint32_t element, int32_t value, uint32_t checkOnly)
{
    if (element == 1) {
        if (value < 8 || value > 11)
            return 11;
        if (checkOnly)
            return 0;
        r.table4Byte = static_cast<uint8_t>(value);
    } else if (element == 2) {
        if (value < 0 || value > 1)
            return 11;
        if (checkOnly)
            return 0;
        r.table4Word = static_cast<uint32_t>(value);
        publish(r, 57, r.table4Word);
    } else {
        return -1;
    }
    return sendRequest(slot, true, 4, element, static_cast<uint32_t>(value));
}

int writeTable5(uint32_t slot, ExtAmpRecord& r, uint32_t element, int32_t value, uint32_t checkOnly)
{
    if (element < 1 || element > 7)
        return -1;
    if (value < 0 || value > 1)
        return 11;
    if (checkOnly)
        return 0;
    r.table5[element - 1] = static_cast<uint32_t>(value);
    if (element != 3)
        return sendRequest(slot, true, 5, element, static_cast<uint32_t>(value));
    r.commandState = EXT_AMP_CMD_SENDING;
    int sent = sendRequest(slot, true, 5, element, static_cast<uint32_t>(value));
    r.commandState = sent == 0 ? EXT_AMP_CMD_DONE : EXT_AMP_CMD_FAILED;
    return sent;
}

int writeTable8or9(uint32_t slot, ExtAmpRecord& r, uint32_t table, uint32_t element, int32_t value,
                   uint32_t checkOnly)
{
    if (!r.known)
        return 9;
    const WriteRange* range = rangeOf(table, element);
    if (!range)
        return 15;
    if (value < range->low || value > range->high)
        return 11;
    if (checkOnly)
        return 0;
    uint32_t sent = static_cast<uint32_t>(value);
    if (table == 8) {
        r.table8[element - 1] = sent;
        publish(r, element == 13 ? 58u : 30u + element, sent);
        if (element == 8)
            sent *= 10; // the unit takes tenths of a volt
    } else {
        r.table9[element - 1] = sent;
        publish(r, 45u + element, sent);
    }
    return sendRequest(slot, true, table, element, sent);
}

// The output frequency in whole MHz, rounded to the nearest.
uint32_t outputMhz()
{
    return static_cast<uint32_t>((static_cast<uint64_t>(getOutputRFfrequency()) + 500000) / 1000000);
}

void sendSupplyVoltage(ExtAmpRecord& r)
{
    uint32_t v = getExternalAmplifierVoltageSupply();
    if (r.table8[9] != 0 && r.table8[9] != kNoValue && r.table8[7] != v) {
        AMP_FM_Write(r.slot, 8, 8, static_cast<int32_t>(v), 0);
        logInfo("EXT_AMP: Send Vpsu %ld\n", static_cast<long>(v));
    }
}

// 1 configured, 0 a conflict with another connected amplifier.
int autoConfigure(ExtAmpRecord& r)
{
    State& s = st();
    uint32_t f = outputMhz();
    uint32_t model = r.table8[2];
    s.variant = 0;
    for (const VariantRow& v : kVariants) {
        if (v.model != model)
            continue;
        s.variant = v.variant;
        if (v.name)
            logInfo("EXT_AMP: Auto Configuration %s [%ld]\n", v.name, static_cast<long>(model));
    }
    s.links[r.slot].kind = r.table1[0];
    setExternalAmplifierReferencePower(r.table8[5]);
    uint32_t n = getAmplifierNumber();
    for (uint32_t i = 0; i < n && i < EXT_AMP_RECORDS; i++) {
        const ExtAmpRecord& o = s.records[i];
        if (&o == &r || o.slot == EXT_AMP_NO_SLOT || !connected(o.slot) || !o.known)
            continue;
        if (connected(r.slot) && o.table8[2] != model) {
            LogicaTx_SetLockoutState(1);
            setEventBit(1, kEventAmpConflict);
            return 0;
        }
    }
    if (r.table8[8] != f)
        AMP_FM_Write(r.slot, 8, 9, static_cast<int32_t>(f), 0);
    sendSupplyVoltage(r);
    if (LogicaTx_GetControlMode() == 0)
        AMP_FM_Write(r.slot, 5, 5, 1, 0);
    else
        AMP_FM_Write(r.slot, 5, 4, 1, 0);
    AMP_FM_Write(r.slot, 4, 2, 1, 0);
    setAmplifierCommandBits(0x20, rfMuteState.load() == 1);
    return 1;
}

void manualConfigure(ExtAmpRecord& r)
{
    State& s = st();
    logInfo("EXT_AMP: Manual Configuration\n");
    r.table8[2] = getAmplifierType();
    s.variant = 1;
    setExternalAmplifierReferencePower(3000);
    s.links[r.slot].kind = r.table1[0];
    r.table8[3] = 88;
    r.table8[4] = 108;
    uint32_t ref = getExternalAmplifierReferencePower();
    r.table8[5] = ref;
    r.table8[6] = ref;
    r.table8[7] = 50;
    r.table8[0] = 0;
    r.table8[1] = 0;
    AMP_FM_Write(r.slot, 8, 9, static_cast<int32_t>(outputMhz()), 0);
    sendSupplyVoltage(r);
    setEnableCustomExtAmpRefPower(1);
    r.configured = 1;
}

// After an identity reply of an amplifier not configured yet.
void afterIdentity(ExtAmpRecord& r)
{
    if (r.configured)
        return;
    uint32_t model = r.table8[2];
    if (!modelAccepted(model)) {
        logInfo("EXT_AMP: Found new amp %ld [unknown code]\n", static_cast<long>(model));
        logInfo("EXT_AMP: Found %ld unknown code\n", static_cast<long>(model));
        logInfo("EXT_AMP: SN %ld%ld\n", static_cast<long>(r.table8[0]), static_cast<long>(r.table8[1]));
        logInfo("EXT_AMP: MinFreq %ld, MaxFreq %ld\n", static_cast<long>(r.table8[3]), static_cast<long>(r.table8[4]));
        logInfo("EXT_AMP: NomPower %ld W [DIG]\n", static_cast<long>(r.table8[5]));
        logInfo("EXT_AMP: Vpsu %ld V [DIG]\n", static_cast<long>(r.table8[7]));
        r.known = 0;
        setEventBit(0, kEventAmpKnown);
        return;
    }
    if (!r.known) {
        logInfo("EXT_AMP: Found new amp %ld\n", static_cast<long>(model));
        r.known = 1;
        setEventBit(1, kEventAmpKnown);
    }
    if (connected(r.slot)) {
        logInfo("EXT_AMP: Connected...try to configure\n");
        r.configured = autoConfigure(r) == 1;
    }
}

// One request of the read sequence; the step moves on only when it was
// queued.
void readSequenceStep(ExtAmpRecord& r)
{
    static constexpr uint8_t kSequence[] = {3, 8, 3, 1, 3, 4, 9};
    if (r.readStep >= sizeof kSequence) {
        r.readStep = 0;
        return;
    }
    if (sendRequest(r.slot, false, kSequence[r.readStep], 1, 0) != 0)
        return;
    if (r.readStep == 5)
        r.readStep = r.table8[13] == 1 ? 6 : 0;
    else if (r.readStep == 6)
        r.readStep = 0;
    else
        r.readStep++;
}

void pollRecord(ExtAmpRecord& r)
{
    uint32_t slot = r.slot;
    if (r.unanswered > 0) {
        r.unanswered--;
        UnitSlot_SetDisconnected(slot);
    }
    if (!connected(slot)) {
        sendRequest(slot, false, 8, 1, 0);
        r.configured = 0;
        r.known = 0;
        r.retries = kRetries;
        resetStatus(r);
        resetTable3(r);
        resetTable4(r);
        resetTable5(r);
        resetTable8(r);
        updateSummary(r);
        return;
    }
    if (!r.configured) {
        if (r.retries == 0) {
            manualConfigure(r);
        } else {
            sendRequest(slot, false, 8, 1, 0);
            r.retries--;
        }
        return;
    }
    readSequenceStep(r);
    int32_t freqAlarm = -1;
    if (AMP_FM_ReadElem(slot, 2, 19, &freqAlarm) == 0 && freqAlarm == 1)
        AMP_FM_Write(slot, 8, 9, static_cast<int32_t>(outputMhz()), 0);
}

} // namespace

void AMP_FM_ResetAll()
{
    State& s = st();
    for (int i = 0; i < EXT_AMP_RECORDS; i++)
        resetRecord(s.records[i], static_cast<uint8_t>(i + 1));
    for (ExtAmpLink& l : s.links)
        l = ExtAmpLink{};
    s.count = 0;
    s.rrIndex = 0;
    s.deadline = 0;
    s.periodMs = kRequestPeriodMs;
    s.variant = 0;
    setEventBit(1, kEventAmpKnown);
    setEventBit(0, kEventAmpConflict);
}

int AMP_FM_Register(uint32_t slot, ExtAmpRecord** record, uint32_t context)
{
    State& s = st();
    if (s.count >= EXT_AMP_RECORDS || slot < 1 || slot >= EXT_AMP_LINK_SLOTS)
        return -1;
    for (uint32_t i = 0; i < s.count; i++)
        if (s.records[i].slot == slot)
            return 4;
    ExtAmpRecord& r = s.records[s.count];
    r.slot = static_cast<uint8_t>(slot);
    r.number = static_cast<uint8_t>(s.count + 1);
    r.context = context;
    ExtAmpLink& l = s.links[slot];
    l.kind = EXT_AMP_UNIT_KIND;
    l.record = &r;
    l.modes[0] = 1;
    l.modes[1] = 3;
    l.context = context;
    s.count++;
    if (record)
        *record = &r;
    return 0;
}

int AMP_FM_SetAddress(uint32_t slot, uint32_t address, uint32_t context)
{
    ExtAmpRecord* r = recordOf(slot);
    if (!r)
        return -1;
    r->address = static_cast<uint8_t>(address);
    r->channel = context;
    return 0;
}

uint32_t AMP_FM_GetAddress(uint32_t slot)
{
    ExtAmpRecord* r = recordOf(slot);
    return r ? r->address : 0xFF;
}

int AMP_FM_ConfigureNow(uint32_t slot)
{
    ExtAmpRecord* r = recordOf(slot);
    if (!r)
        return 0;
    r->configured = autoConfigure(*r) == 1;
    return r->configured;
}

int AMP_FM_ReadElem(uint32_t slot, uint32_t table, uint32_t element, int32_t* value)
{
    *value = -1;
    if (table != 1 && table != 2 && table != 3 && table != 4 && table != 8 && table != 9 && table != 255)
        return 1;
    ExtAmpRecord* r = recordOf(slot);
    if (!r)
        return table == 1 ? -1 : 9;
    switch (table) {
    case 1:
        if (element >= 1 && element <= 5)
            *value = static_cast<int32_t>(r->table1[element - 1]);
        else if (element >= 6 && element <= 9)
            *value = static_cast<int32_t>(r->table1[6] >> (8 * (9 - element)) & 0xFF);
        else if (element == 10)
            *value = static_cast<int32_t>(r->table1[8]);
        else if (element == 24)
            *value = static_cast<int32_t>(r->table1[5] >> 8 & 0xFF);
        else if (element == 25)
            *value = static_cast<int32_t>(r->table1[5] & 0xFF);
        else
            return 1;
        return 0;
    case 2: {
        if (!r->statusValid)
            return 9;
        int bit;
        if (element >= 1 && element <= 7)
            bit = r->s0 >> (element - 1) & 1;
        else if (element == 10 || element == 12 || element == 14 || element == 15 || element == 16)
            bit = r->s1 >> (element - 9) & 1;
        else if (element == 13)
            bit = !(r->s1 & 0x10);
        else if (element >= 17 && element <= 19)
            bit = r->s2 >> (element - 17) & 1;
        else if (element >= 21 && element <= 23)
            bit = r->s2 >> (element - 17) & 1;
        else
            return 1;
        *value = bit;
        return 0;
    }
    case 3:
        if (!r->table3Valid)
            return 9;
        if (element == 44 || element == 45)
            *value = r->table3[1];
        else if (isTable3Element(element))
            *value = r->table3[element - 1];
        else
            return 1;
        return 0;
    case 4:
        if (!r->table4Valid)
            return 9;
        if (element == 1)
            *value = r->table4Byte;
        else if (element == 2)
            *value = static_cast<int32_t>(r->table4Word);
        else
            return 1;
        return 0;
    case 8:
        if (element < 1 || element > 14)
            return 1;
        *value = static_cast<int32_t>(r->table8[element - 1]);
        return 0;
    case 9:
        if (element < 1 || element > 11)
            return 1;
        *value = static_cast<int32_t>(r->table9[element - 1]);
        return 0;
    default:
        if (element != 255)
            return 1;
        *value = static_cast<int32_t>(r->commandState);
        if (r->commandState == EXT_AMP_CMD_DONE || r->commandState == EXT_AMP_CMD_FAILED)
            r->commandState = EXT_AMP_CMD_IDLE;
        return 0;
    }
}

int AMP_FM_Write(uint32_t slot, uint32_t table, uint32_t element, int32_t value, uint32_t checkOnly)
{
    if (!connected(slot)) {
        logErr("Slot: %d: Write failed -- unit DISCONNECTED\n", static_cast<int>(slot));
        return 13;
    }
    ExtAmpRecord* r = recordOf(slot);
    int rc;
    if (table != 4 && table != 5 && table != 8 && table != 9) {
        logErr("AMP_FM_Write failed -- Table %ld not found\n", static_cast<long>(table));
        return -1;
    }
    if (!r)
        rc = -1;
    else if (table == 4)
        rc = writeTable4(slot, *r, element, value, checkOnly);
    else if (table == 5)
        rc = writeTable5(slot, *r, element, value, checkOnly);
    else
        rc = writeTable8or9(slot, *r, table, element, value, checkOnly);
    if (rc != 0)
        logErr("AMP_FM_Write [Tab %ld, Elem %ld, Value %ld] failed -- Error [%ld]\n", static_cast<long>(table),
               static_cast<long>(element), static_cast<long>(value), static_cast<long>(rc));
    return rc;
}

void AMP_FM_Poll()
{
    State& s = st();
    if (s.count == 0)
        return;
    if (s.deadline != 0 && checkDeadlineCs(0, s.deadline, nullptr) == 0)
        return;
    s.deadline = 0;
    if (s.rrIndex >= s.count)
        s.rrIndex = 0;
    ExtAmpRecord& r = s.records[s.rrIndex];
    if (r.slot != EXT_AMP_NO_SLOT)
        pollRecord(r);
    s.rrIndex = (s.rrIndex + 1) % s.count;
}

int AMP_FM_CopyTable(uint32_t slot, uint32_t table, uint8_t* buffer)
{
    ExtAmpRecord* r = recordOf(slot);
    if (!r)
        return -1;
    switch (table) {
    case 1:
        memcpy(buffer, r->table1, sizeof r->table1);
        return static_cast<int>(sizeof r->table1);
    case 3:
        memcpy(buffer, r->table3, sizeof r->table3);
        return static_cast<int>(sizeof r->table3);
    case 4:
        buffer[0] = r->table4Byte;
        buffer[1] = static_cast<uint8_t>(r->table4Word);
        return 2;
    case 8:
        memcpy(buffer, r->table8, sizeof r->table8);
        return static_cast<int>(sizeof r->table8);
    default:
        return 0;
    }
}

int AMP_FM_OnReply(uint8_t slot, DcmMsg reply)
{
    ExtAmpRecord* r = recordOf(slot);
    if (!r)
        return -2;
    if (r->unanswered > 0)
        r->unanswered--;
    switch (reply.command) {
    case kReplyError:
        return -4;
    case kReplyWriteAck:
        // The acknowledgement's status byte sits in the block it decodes to.
        return reply.block.data[0] != 0 ? -4 : 0;
    case kReplyBlock:
        storeBlock(*r, reply);
        return 0;
    case kReplyListStatus:
        storeStatus(*r, reply.dataBlock);
        return -4;
    case kReplyAckStatus:
        // The decoder refuses a non-zero status byte, so a reply that gets
        // here carries none.
        storeStatus(*r, reply.dataBlock);
        return 0;
    case kReplyBlockStatus:
        storeBlock(*r, reply);
        storeStatus(*r, reply.dataBlock);
        return 0;
    default:
        return -2;
    }
}

void AMP_FM_OnTimeout(uint8_t)
{
    State& s = st();
    s.deadline = getDeadlineCs(s.periodMs / 10);
}

const ExtAmpRecord* AMP_FM_GetRecord(uint32_t slot)
{
    return recordOf(slot);
}

const ExtAmpLink* AMP_FM_GetLink(uint32_t slot)
{
    return slot < EXT_AMP_LINK_SLOTS ? &st().links[slot] : nullptr;
}

uint32_t AMP_FM_GetConfigVariant()
{
    return st().variant;
}
