// Client of the RF-detector unit: the daemon is the master of the bus and
// polls the unit through the DCM request ring, one request at a time.
#include "links/rfDetector.h"

#include "alarms/logicaTx.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"
#include "core/base/utils.h"
#include "links/dcm.h"

#include <cstring>

namespace {

constexpr uint32_t kPollIntervalMs = 300;
constexpr uint32_t kResetHoldCs = 100;
constexpr uint8_t kCmdBlockRead = 4;
constexpr uint8_t kCmdBlockWrite = 5;
constexpr uint8_t kReplyDataLen = 2; // the two status bytes

// Read kinds: size kind and item count of each table's block.
struct Kind {
    uint32_t sizeType;
    uint8_t count;
};
constexpr Kind kKinds[5] = {{0, 0}, {DCM_SIZE_32, 9}, {DCM_SIZE_8, 2}, {DCM_SIZE_16, 6}, {DCM_SIZE_8, 1}};

struct State {
    RfDetecRecord record;
    RfLinkSlot slots[RF_DETEC_LINK_SLOTS];
};

State& st()
{
    static State s;
    return s;
}

void publish(uint32_t item, uint32_t value)
{
    setDbAreaCell(RF_DETEC_SECTION, item, value);
}

bool linked(uint8_t slot)
{
    if (slot >= RF_DETEC_LINK_SLOTS)
        return false;
    RfLinkSlot& s = st().slots[slot];
    s.state = UnitSlot_IsConnected(slot) ? 1 : 0;
    return s.state == 1;
}

RfDetecRecord* recordOf(uint8_t slot)
{
    return slot < RF_DETEC_LINK_SLOTS ? st().slots[slot].record : nullptr;
}

void clearKind(RfDetecRecord& r, int kind)
{
    switch (kind) {
    case 1:
        memset(r.identity, 0, sizeof r.identity);
        for (uint32_t i = 1; i <= 5; i++)
            publish(i, 0);
        break;
    case 2:
        r.status1 = 0;
        r.status2 = 0;
        r.alarm = 0;
        r.statusValid = 0;
        publish(6, 0);
        break;
    case 3:
        for (int16_t& m : r.measures)
            m = static_cast<int16_t>(0xFFFF);
        for (uint32_t i = 8; i <= 13; i++)
            publish(i, 0xFFFFFFFFu);
        r.measuresValid = 0;
        break;
    case 4:
        r.setting = -1;
        r.settingValid = 0;
        publish(7, 0xFFFFFFFFu);
        break;
    default:
        memset(r.written, 0, sizeof r.written);
        break;
    }
}

void storeStatus(RfDetecRecord& r, uint8_t status1, uint8_t status2)
{
    r.status1 = status1;
    r.status2 = status2;
    // After a reset the unit keeps reporting its old state for a while.
    if (r.suppress > 0) {
        r.status2 = static_cast<uint8_t>(r.status2 & ~0x04);
        r.suppress--;
    }
    r.alarm = (r.status1 & 0x2F) || (r.status2 & 0x04) ? 1 : 0;
    publish(6, r.status1 | static_cast<uint32_t>(r.status2) << 8);
    r.statusValid = 1;
}

// A block whose size kind or count is not its table's is ignored: it would
// fill the record from bytes the unit never sent.
void storeBlock(RfDetecRecord& r, const DcmMsg& reply)
{
    if (reply.accessType != DCM_TYPE_READ_BLOCK)
        return;
    const DcmReadBlock& b = reply.block;
    uint8_t kind = b.table;
    if (kind < 1 || kind > 4 || b.sizeType != kKinds[kind].sizeType || reply.count != kKinds[kind].count)
        return;
    const uint8_t* d = b.data;
    switch (kind) {
    case 1:
        memcpy(r.identity, d, sizeof r.identity);
        publish(1, d[0]);
        publish(2, static_cast<uint32_t>(d[3]) << 8 | d[4]);
        publish(3, getU32BE(d + 5));
        publish(4, d[9]);
        publish(5, d[23]);
        break;
    case 2:
        storeStatus(r, d[0], d[1]);
        break;
    case 3:
        for (int i = 0; i < RF_DETEC_MEASURES; i++) {
            r.measures[i] = static_cast<int16_t>(d[2 * i] << 8 | d[2 * i + 1]);
            publish(8 + static_cast<uint32_t>(i), static_cast<uint32_t>(static_cast<int32_t>(r.measures[i])));
        }
        r.measuresValid = 1;
        break;
    default:
        r.setting = d[0];
        publish(7, d[0]);
        r.settingValid = 1;
        break;
    }
}

void onSent()
{
    RfDetecRecord& r = st().record;
    r.pollDeadline = getDeadlineCs(r.pollInterval / 10);
}

// Queues one block request of the record's unit.
int queue(uint8_t slot, uint8_t command, uint32_t sizeType, uint8_t table, uint8_t element, const uint8_t* data)
{
    RfDetecRecord* r = recordOf(slot);
    if (!r)
        return -1;
    DcmRequest* req = DCM_NewRequest();
    if (!req)
        return -1;
    DcmMsg& m = req->msg;
    DMSG_Clear(&m);
    DMSG_SetAddrMode(&m, DCM_ADDR_1BYTE);
    DMSG_SetAddress(&m, r->address);
    DMSG_SetCommand(&m, command);
    DMSG_SetType(&m, DCM_TYPE_READ_BLOCK);
    uint8_t count = command == kCmdBlockRead ? kKinds[table].count : 1;
    if (DMSG_SetReadRequest(&m, sizeType, table, element, count, data) != 0)
        return -1;
    DMSG_SetDataLen(&m, kReplyDataLen);
    DMSG_SetState(&m, DCM_STATE_READY);
    req->replyCb = RF_DETEC_OnReply;
    req->expSlot = slot;
    req->channel = r->channel;
    req->sentCb = onSent;
    DCM_QueueRequest(req);
    r->pollDeadline = getDeadlineCs(r->pollInterval / 10);
    r->waiting++;
    return 0;
}

int writeTable4(uint8_t slot, RfDetecRecord& r, uint32_t element, uint32_t value, uint32_t checkOnly)
{
    if (element != 1)
        return -1;
    if (value > 1)
        return 11;
    if (checkOnly)
        return 0;
    r.setting = static_cast<int16_t>(value);
    publish(7, value);
    return RF_DETEC_SendWrite(slot, 4, 1, value);
}

int writeTable5(uint8_t slot, RfDetecRecord& r, uint32_t element, uint32_t value, uint32_t checkOnly)
{
    if (element < 1 || element > 6)
        return -1;
    if (value > 1)
        return 11;
    if (checkOnly)
        return 0;
    r.written[element - 1] = static_cast<uint8_t>(value);
    if (element != 3)
        return RF_DETEC_SendWrite(slot, 5, element, value);
    // The reset: the alarms it clears are not reported again until the unit
    // has had time to act on it.
    r.resetResult = RF_DETEC_RESET_SENT;
    r.status1 = static_cast<uint8_t>(r.status1 & ~0x01);
    r.status2 = static_cast<uint8_t>(r.status2 & ~0x04);
    r.suppress = 3;
    r.pollDeadline = getDeadlineCs(kResetHoldCs);
    int sent = RF_DETEC_SendWrite(slot, 5, element, value);
    r.resetResult = sent == 0 ? RF_DETEC_RESET_DONE : RF_DETEC_RESET_FAILED;
    return sent;
}

} // namespace

void RF_DETEC_Init()
{
    State& s = st();
    RfDetecRecord& r = s.record;
    r = RfDetecRecord{};
    for (int kind = 1; kind <= 5; kind++)
        clearKind(r, kind);
    r.alarm = 0;
    r.address = 0;
    r.slot = RF_DETEC_NO_SLOT;
    r.resetResult = RF_DETEC_RESET_NONE;
    r.channel = 0;
    r.pollDeadline = 0;
    r.pollInterval = kPollIntervalMs;
    r.waiting = 0;
    for (RfLinkSlot& l : s.slots)
        l = RfLinkSlot{};
}

int RF_DETEC_Bind(uint8_t slot)
{
    State& s = st();
    if (slot >= RF_DETEC_LINK_SLOTS)
        return -1;
    if (s.record.slot == slot)
        return 4;
    if (s.record.slot < RF_DETEC_LINK_SLOTS)
        s.slots[s.record.slot].record = nullptr;
    s.record.slot = slot;
    RfLinkSlot& l = s.slots[slot];
    l.record = &s.record;
    l.words[0] = 27;
    l.words[1] = 1;
    l.words[2] = 3;
    return 0;
}

int RF_DETEC_SetAddress(uint8_t slot, uint32_t address, uint32_t channel)
{
    RfDetecRecord* r = recordOf(slot);
    if (!r)
        return -1;
    r->address = address;
    r->channel = channel;
    return 0;
}

int RF_DETEC_Read(uint8_t slot, uint32_t kind, uint32_t element, int32_t* value)
{
    if (!linked(slot)) {
        *value = 0;
        return 0;
    }
    if (kind != 1 && kind != 2 && kind != 3 && kind != 4 && kind != 255)
        return 1;
    *value = -1;
    RfDetecRecord* r = recordOf(slot);
    if (!r)
        return 0;
    switch (kind) {
    case 2:
        if (!r->statusValid)
            break;
        if (element >= 1 && element <= 8)
            *value = r->status1 >> (element - 1) & 1;
        else if (element >= 9 && element <= 13)
            *value = r->status2 >> (element - 9) & 1;
        else if (element == 14)
            *value = (r->status1 & 0xC0) ? 1 : 0;
        else if (element == 15)
            *value = r->alarm ? 1 : 0;
        break;
    case 3:
        if (r->measuresValid && element >= 1 && element <= RF_DETEC_MEASURES)
            *value = r->measures[element - 1];
        break;
    case 4:
        if (r->settingValid && element == 1)
            *value = r->setting;
        break;
    case 255:
        if (element == 10) {
            *value = r->resetResult;
            if (r->resetResult == RF_DETEC_RESET_DONE || r->resetResult == RF_DETEC_RESET_FAILED)
                r->resetResult = RF_DETEC_RESET_NONE;
        }
        break;
    default:
        break; // the identity is read through DbPool
    }
    return 0;
}

int RF_DETEC_Write(uint8_t slot, uint32_t table, uint32_t element, uint32_t value, uint32_t checkOnly)
{
    int r;
    RfDetecRecord* rec = recordOf(slot);
    if (!linked(slot))
        r = 13;
    else if (!rec)
        r = -1;
    else if (table == 4)
        r = writeTable4(slot, *rec, element, value, checkOnly);
    else if (table == 5)
        r = writeTable5(slot, *rec, element, value, checkOnly);
    else
        r = -1;
    if (r != 0)
        logErr("RF_DETEC_Write [Tab %ld, Elem %ld, Value %ld] failed -- Error [%ld]\n", static_cast<long>(table),
               static_cast<long>(element), static_cast<long>(value), static_cast<long>(r));
    return r;
}

int RF_DETEC_GetData(uint8_t slot, uint32_t kind, uint8_t* out)
{
    if (!linked(slot)) {
        out[0] = 0;
        return 0;
    }
    RfDetecRecord* r = recordOf(slot);
    if (!r)
        return -1;
    switch (kind) {
    case 1:
        memcpy(out, r->identity, sizeof r->identity);
        return static_cast<int>(sizeof r->identity);
    case 3:
        memcpy(out, r->measures, sizeof r->measures);
        return static_cast<int>(sizeof r->measures);
    case 4:
        out[0] = static_cast<uint8_t>(r->setting);
        return 1;
    default:
        return 0;
    }
}

int RF_DETEC_SendRead(uint8_t slot, uint32_t kind)
{
    if (!recordOf(slot))
        return -1;
    if (kind < 1 || kind > 4)
        return -2;
    return queue(slot, kCmdBlockRead, kKinds[kind].sizeType, static_cast<uint8_t>(kind), 1, nullptr);
}

int RF_DETEC_SendWrite(uint8_t slot, uint32_t table, uint32_t element, uint32_t value)
{
    if (!recordOf(slot))
        return -1;
    uint32_t limit = table == 4 ? 1 : table == 5 ? 6 : table == 1 ? 9 : 0;
    if (limit == 0 || element < 1 || element > limit)
        return -2;
    uint8_t data[4];
    uint32_t sizeType = DCM_SIZE_8;
    data[0] = static_cast<uint8_t>(value);
    if (table == 1) {
        sizeType = DCM_SIZE_32;
        putU32BE(value, data);
    }
    return queue(slot, kCmdBlockWrite, sizeType, static_cast<uint8_t>(table), static_cast<uint8_t>(element), data);
}

int RF_DETEC_OnReply(uint8_t, DcmMsg reply)
{
    RfDetecRecord& r = st().record;
    if (r.waiting > 0)
        r.waiting--;
    switch (reply.command) {
    case 0x84:
        storeBlock(r, reply);
        break;
    case 0x89:
        storeStatus(r, reply.dataBlock[0], reply.dataBlock[1]);
        break;
    case 0x8C:
        storeBlock(r, reply);
        storeStatus(r, reply.dataBlock[0], reply.dataBlock[1]);
        break;
    default:
        break; // 0x81 an error, 0x83 and 0x8B accepted
    }
    return 0;
}

void RF_DETEC_PollTick()
{
    State& s = st();
    RfDetecRecord& r = s.record;
    uint8_t slot = r.slot;
    if (slot >= RF_DETEC_LINK_SLOTS)
        return;
    if (r.pollDeadline != 0 && checkDeadlineCs(0, r.pollDeadline, nullptr) == 0)
        return;
    if (r.waiting > 0) {
        r.waiting--;
        UnitSlot_SetDisconnected(slot);
    }
    r.pollDeadline = 0;
    if (!linked(slot)) {
        RF_DETEC_SendRead(slot, 1);
        r.identityPending = 1;
    } else if (r.identityPending) {
        s.slots[slot].identityWord = getU32BE(r.identity);
        RF_DETEC_Write(slot, 4, 1, 1, 0);
        r.identityPending = 0;
    } else if (r.step == 0) {
        if (RF_DETEC_SendRead(slot, 3) == 0)
            r.step = 1;
    } else if (RF_DETEC_SendRead(slot, 4) == 0) {
        r.step = 0;
    }
}

const RfDetecRecord* RF_DETEC_GetRecord()
{
    return &st().record;
}

const RfLinkSlot* RF_DETEC_GetLinkSlot(uint8_t slot)
{
    return slot < RF_DETEC_LINK_SLOTS ? &st().slots[slot] : nullptr;
}
