// The table responder engine: tables, status bits and writable elements are
// rows of the link modules; this file builds, reads, writes and answers.
#include "links/tableResponder.h"

#include "Config/eventBitmaps.h"
#include "Config/keyTable.h"
#include "comtab/commandManager.h"
#include "comtab/comtab.h"

#include <cstring>

namespace {

const TableSpec* findTable(const TableSet* set, uint8_t table)
{
    for (int i = 0; i < set->nTables; i++)
        if (set->tables[i].table == table)
            return &set->tables[i];
    return nullptr;
}

// A byte of the table buffer; positions beyond it read 0.
uint8_t bufByte(const uint8_t* buf, uint32_t at)
{
    return at < static_cast<uint32_t>(kTableBufBytes) ? buf[at] : 0;
}

// `width` bytes from `at` in memory order, as the processor reads them.
uint32_t bufHost(const uint8_t* buf, uint32_t at, uint8_t width)
{
    uint8_t b[4] = {};
    for (uint8_t i = 0; i < width && i < 4; i++)
        b[i] = bufByte(buf, at + i);
    if (width == 4) {
        uint32_t v;
        memcpy(&v, b, 4);
        return v;
    }
    if (width == 2) {
        uint16_t v;
        memcpy(&v, b, 2);
        return v;
    }
    return b[0];
}

uint8_t itemSize(uint32_t sizeType)
{
    switch (sizeType) {
    case DCM_SIZE_8: return 1;
    case DCM_SIZE_16: return 2;
    case DCM_SIZE_32: return 4;
    default: return 0;
    }
}

bool writable(const TableSet* set, uint8_t table)
{
    for (int i = 0; i < set->nWritable; i++)
        if (set->writable[i] == table)
            return true;
    return false;
}

void beginReply(DcmMsg* reply, const DcmMsg* req, uint32_t addrMode, uint8_t command, uint32_t type)
{
    DMSG_Clear(reply);
    DMSG_SetAddrMode(reply, addrMode);
    DMSG_SetAddress(reply, DMSG_GetAddress(req));
    DMSG_SetState(reply, DCM_STATE_BUILDING);
    DMSG_SetCommand(reply, command);
    DMSG_SetType(reply, type);
}

// Table 4's first 9 bytes as the reply's data block; false when table 4
// cannot be built.
bool attachStatus(const TableSet* set, DcmMsg* reply)
{
    uint8_t buf[kTableBufBytes];
    int count = 0;
    if (TR_BuildTable(set, 4, &count, buf) != 0)
        return false;
    DMSG_SetDataLen(reply, 9);
    DMSG_SetDataBlock(reply, buf);
    return true;
}

// The one-entry error reply 0x81 (size kind, table, element, code).
void errorReply(DcmMsg* reply, const DcmMsg* req, uint32_t addrMode, uint32_t sizeType, uint8_t table,
                uint8_t element, uint32_t code)
{
    beginReply(reply, req, addrMode, 0x81, DCM_TYPE_WRITE_LIST);
    DMSG_AddWriteElement(reply, sizeType, table, element, code);
}

void listRead(const TableSet* set, const DcmMsg* req, DcmMsg* reply, uint32_t addrMode)
{
    beginReply(reply, req, addrMode, 0x82, DCM_TYPE_WRITE_LIST);
    if (attachStatus(set, reply))
        DMSG_SetCommand(reply, 0x8A);
    for (int i = 0; i < req->count && i < kDcmListMax; i++) {
        const DcmWriteElem& e = req->list[i];
        uint32_t value = 0;
        if (TR_ReadElement(set, e.table, e.element, &value) != 0) {
            errorReply(reply, req, addrMode, e.sizeType, e.table, e.element, 5);
            return;
        }
        DMSG_AddWriteElement(reply, e.sizeType, e.table, e.element, value);
    }
}

void listWrite(const TableSet* set, const DcmMsg* req, DcmMsg* reply, uint32_t addrMode)
{
    beginReply(reply, req, addrMode, 0x81, DCM_TYPE_WRITE_LIST);
    bool failed = false;
    for (int i = 0; i < req->count && i < kDcmListMax; i++) {
        const DcmWriteElem& e = req->list[i];
        bool ok = TR_WriteElement(set, e.table, e.element, e.value) == 0;
        failed |= !ok;
        DMSG_AddWriteElement(reply, e.sizeType, e.table, e.element, ok ? 0 : 6);
    }
    if (failed)
        return;
    beginReply(reply, req, addrMode, 0x83, DCM_TYPE_WRITE_LIST);
    if (attachStatus(set, reply))
        DMSG_SetCommand(reply, 0x8B);
}

void blockRead(const TableSet* set, const DcmMsg* req, DcmMsg* reply, uint32_t addrMode)
{
    const DcmReadBlock& b = req->block;
    uint8_t buf[kTableBufBytes];
    int count = 0;
    uint8_t size = itemSize(b.sizeType);
    if (TR_BuildTable(set, b.table, &count, buf) != 0 || size == 0 || b.firstElem > count) {
        errorReply(reply, req, addrMode, b.sizeType, b.table, b.firstElem, 5);
        return;
    }
    int n = req->count;
    if (b.firstElem + n - 1 > count)
        n = count - b.firstElem + 1;
    if (n * size > kDcmBlockDataMax) {
        errorReply(reply, req, addrMode, b.sizeType, b.table, b.firstElem, 5);
        return;
    }
    uint8_t data[kDcmBlockDataMax] = {};
    uint32_t from = b.firstElem == 0 ? 0 : (b.firstElem - 1u) * size;
    for (int i = 0; i < n * size; i++)
        data[i] = bufByte(buf, from + static_cast<uint32_t>(i));
    beginReply(reply, req, addrMode, 0x84, DCM_TYPE_READ_BLOCK);
    DMSG_SetReadRequest(reply, b.sizeType, b.table, b.firstElem, static_cast<uint8_t>(n), data);
    if (b.table > 4 && attachStatus(set, reply))
        DMSG_SetCommand(reply, 0x8C);
}

void blockWrite(const TableSet* set, const DcmMsg* req, DcmMsg* reply, uint32_t addrMode)
{
    const DcmReadBlock& b = req->block;
    uint8_t size = itemSize(b.sizeType);
    if (size == 0) {
        errorReply(reply, req, addrMode, b.sizeType, b.table, b.firstElem, 6);
        return;
    }
    for (int i = 0; i < req->count; i++) {
        const uint8_t* p = b.data + i * size;
        uint32_t value = p[0];
        if (size == 2)
            value = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>((p[0] << 8) | p[1])));
        else if (size == 4)
            value = (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
        if (TR_WriteElement(set, b.table, static_cast<uint8_t>(b.firstElem + i), value) != 0) {
            errorReply(reply, req, addrMode, b.sizeType, b.table, b.firstElem, 6);
            return;
        }
    }
    beginReply(reply, req, addrMode, 0x83, DCM_TYPE_READ_BLOCK);
    reply->block.sizeType = b.sizeType;
    reply->block.table = b.table;
    reply->block.firstElem = b.firstElem;
    if (attachStatus(set, reply))
        DMSG_SetCommand(reply, 0x8B);
}

} // namespace

uint32_t TR_Swap32(uint32_t v)
{
    return __builtin_bswap32(v);
}

uint16_t TR_Swap16(uint16_t v)
{
    return __builtin_bswap16(v);
}

void TR_PutWord(uint8_t* buf, int at, uint32_t v, uint8_t width, uint8_t order)
{
    if (at < 0 || at + width > kTableBufBytes)
        return;
    if (width == 1) {
        buf[at] = static_cast<uint8_t>(v);
    } else if (width == 2) {
        uint16_t h = static_cast<uint16_t>(v);
        if (order == TO_MSB_FIRST)
            h = TR_Swap16(h);
        memcpy(buf + at, &h, 2);
    } else {
        if (order == TO_MSB_FIRST)
            v = TR_Swap32(v);
        memcpy(buf + at, &v, 4);
    }
}

void TR_BuildStatus(const StatusBit* rows, int n, uint8_t* out, int bytes)
{
    memset(out, 0, static_cast<size_t>(bytes));
    for (int i = 0; i < n; i++) {
        const StatusBit& r = rows[i];
        uint8_t on = 0;
        switch (r.kind) {
        case SB_EVENT: on = getEventBit(r.a); break;
        case SB_NOT_EVENT: on = !getEventBit(r.a); break;
        case SB_OR_EVENT: on = getEventBit(r.a) || getEventBit(r.b); break;
        case SB_ONE: on = 1; break;
        case SB_FN: on = r.fn ? r.fn() : 0; break;
        }
        if (on && r.byte >= 1 && r.byte <= bytes && r.bit < 8)
            out[r.byte - 1] |= static_cast<uint8_t>(1u << r.bit);
    }
}

int TR_BuildTable(const TableSet* set, uint8_t table, int* count, uint8_t* buf)
{
    memset(buf, 0, kTableBufBytes);
    const TableSpec* t = findTable(set, table);
    if (!t)
        return 9;
    int n = t->count;
    if (t->build) {
        n = t->build(buf);
    } else if (t->status) {
        TR_BuildStatus(t->status, t->nStatus, buf, t->statusBytes);
    } else if (t->elems) {
        for (int i = 0; i < t->count; i++)
            TR_PutWord(buf, i * t->width, t->elems[i] ? t->elems[i]() : 0, t->width, t->order);
    }
    *count = n;
    return n == t->count ? 0 : 14;
}

int TR_ReadElement(const TableSet* set, uint8_t table, uint8_t element, uint32_t* value)
{
    uint8_t buf[kTableBufBytes];
    int count = 0;
    const TableSpec* t = findTable(set, table);
    if (!t || t->listWidth == 0 || TR_BuildTable(set, table, &count, buf) != 0)
        return 1;
    if (element < 1 || element > count)
        return 1;
    *value = bufHost(buf, (element - 1u) * t->listWidth, t->listWidth);
    return 0;
}

uint32_t TR_WriteElement(const TableSet* set, uint8_t table, uint8_t element, uint32_t value)
{
    for (int i = 0; i < set->nWrites; i++) {
        const LinkWriteRow& r = set->writes[i];
        if (r.table != table || element < r.first || element > r.last)
            continue;
        uint32_t result = 0;
        switch (r.kind) {
        case LW_KEY:
            if (r.valid && !r.valid(value)) {
                result = r.code;
                break;
            }
            if (r.set)
                r.set(value);
            break;
        case LW_COMTAB: {
            uint32_t c = COMTAB_WriteElement(r.t, r.e, value);
            result = r.code == kLwDropResult ? 0 : c;
            break;
        }
        case LW_CMD:
            result = value == 1 ? static_cast<uint32_t>(CMD_Request(r.t, 1)) : 0;
            break;
        case LW_CODE: result = r.code; break;
        case LW_HAND: result = r.hand ? r.hand(table, element, value) : 0; break;
        case LW_ROW: {
            uint32_t v = r.e == 1 ? static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(value))) : value;
            if (!r.key || !cfgIsValidRow(*r.key, v)) {
                result = r.code;
                break;
            }
            cfgSetElement(*r.key, 0, v);
            break;
        }
        }
        if (result == 0 && set->afterWrite)
            set->afterWrite(table, element);
        return result;
    }
    if (!writable(set, table))
        return 1;
    if (set->afterWrite)
        set->afterWrite(table, element);
    return 0;
}

int TR_Serve(const TableSet* set, const DcmMsg* req, DcmMsg* reply, uint32_t addrMode)
{
    switch (req->command) {
    case 0:
    case 0x7F:
        return 9;
    case 2: listRead(set, req, reply, addrMode); break;
    case 3: listWrite(set, req, reply, addrMode); break;
    case 4: blockRead(set, req, reply, addrMode); break;
    case 5: blockWrite(set, req, reply, addrMode); break;
    default: return 17;
    }
    DMSG_SetState(reply, DCM_STATE_READY);
    return 0;
}
