// DCM messages: the setters, the frame encoder, the receive state machine
// and the decoder.
#include "links/dcmMsg.h"

#include <cstring>

namespace {

enum RxState { RX_HUNT, RX_ADDRESS, RX_COMMAND, RX_BODY, RX_END };

struct State {
    // Receive state machine.
    RxState rx = RX_HUNT;
    bool escape = false;
    int addrBytes = 0;
    uint8_t command = 0;
    uint16_t stored = 0;
    uint8_t body[kDcmFrameMax] = {};
    uint16_t bodyLen = 0;
    uint8_t checksum = 0;
};

State& st()
{
    static State s;
    return s;
}

bool isDelimiter(uint8_t b)
{
    return b == kDcmStart || b == kDcmEscape || b == kDcmEnd;
}

bool isReserved(uint8_t b)
{
    return b >= 0x64 && b <= 0x69;
}

uint32_t itemSize(uint32_t sizeType)
{
    switch (sizeType) {
    case DCM_SIZE_8:
        return 1;
    case DCM_SIZE_16:
        return 2;
    case DCM_SIZE_32:
        return 4;
    default:
        return 0;
    }
}

bool isBlockCommand(uint8_t c)
{
    return c == 4 || c == 5 || c == 132 || c == 140;
}

bool isListCommand(uint8_t c)
{
    return c == 2 || c == 3 || c == 129 || c == 130 || c == 137 || c == 138;
}

bool hasBody(uint8_t c)
{
    return c == 0 || c == 127 || c == 128 || c == 131 || c == 136 || c == 139 || isBlockCommand(c) ||
           isListCommand(c);
}

bool carriesDataBlock(uint8_t c)
{
    return c == 136 || c == 137 || c == 138 || c == 139 || c == 140;
}

// The unescaped body of a command, as the encoder sends it.
struct RawBody {
    uint8_t bytes[2 * kDcmFrameMax];
    int len = 0;
    void put(uint8_t b)
    {
        bytes[len++] = b;
    }
};

void putList(const DcmMsg* m, bool values, bool oneByteValues, RawBody* out)
{
    out->put(m->count);
    for (int i = 0; i < m->count; i++) {
        const DcmWriteElem& e = m->list[i];
        out->put(e.table);
        out->put(static_cast<uint8_t>(e.element * 4 + e.sizeType));
        if (!values)
            continue;
        uint32_t n = oneByteValues ? 1 : itemSize(e.sizeType);
        for (uint32_t k = 0; k < n; k++)
            out->put(static_cast<uint8_t>(e.value >> (8 * k)));
    }
}

void putBlock(const DcmMsg* m, bool data, RawBody* out)
{
    out->put(m->count);
    out->put(m->block.table);
    out->put(static_cast<uint8_t>(m->block.firstElem * 4 + m->block.sizeType));
    if (!data)
        return;
    uint32_t n = m->count * itemSize(m->block.sizeType);
    for (uint32_t k = 0; k < n; k++)
        out->put(m->block.data[k]);
}

void putDataBlock(const DcmMsg* m, RawBody* out)
{
    for (int k = 0; k < m->dataLen; k++)
        out->put(m->dataBlock[k]);
}

// Everything a refused frame leaves: an empty message (the address mode
// stays, as the state machine set it).
void clearAll(DcmMsg* m)
{
    DMSG_Clear(m);
    memset(&m->block, 0, sizeof m->block);
    memset(m->list, 0, sizeof m->list);
}

// Reads a list (count, then table, element byte and value bytes per element)
// from the start of the body; `*pos` ends after it. 0, 17 for a layout that
// does not fit, -7 for a size type other than 1 to 3.
int readList(DcmMsg* m, const uint8_t* b, int n, bool values, bool oneByteValues, int* pos)
{
    if (n < 1)
        return 17;
    int count = b[0];
    if (count > kDcmListMax)
        return 17;
    int p = 1;
    for (int i = 0; i < count; i++) {
        if (n - p < 2)
            return 17;
        DcmWriteElem& e = m->list[i];
        e.table = b[p];
        e.element = static_cast<uint8_t>(b[p + 1] >> 2);
        e.sizeType = b[p + 1] & 3u;
        p += 2;
        if (itemSize(e.sizeType) == 0)
            return -7;
        e.value = 0;
        if (!values)
            continue;
        int vs = oneByteValues ? 1 : static_cast<int>(itemSize(e.sizeType));
        if (n - p < vs)
            return 17;
        for (int k = 0; k < vs; k++)
            e.value |= static_cast<uint32_t>(b[p + k]) << (8 * k);
        p += vs;
    }
    m->accessType = DCM_TYPE_WRITE_LIST;
    m->count = static_cast<uint8_t>(count);
    *pos = p;
    return 0;
}

// Reads a block (count, table, first element byte, then the items when
// `data`); 17 when the body is shorter than that.
int readBlock(DcmMsg* m, const uint8_t* b, int n, bool data, int* pos)
{
    if (n < 3)
        return 17;
    m->accessType = DCM_TYPE_READ_BLOCK;
    m->count = b[0];
    m->block.table = b[1];
    m->block.firstElem = static_cast<uint8_t>(b[2] >> 2);
    m->block.sizeType = b[2] & 3u;
    int p = 3;
    if (data) {
        int items = static_cast<int>(m->count * itemSize(m->block.sizeType));
        if (n - p < items)
            return 17;
        memcpy(m->block.data, b + p, static_cast<size_t>(items));
        p += items;
    }
    *pos = p;
    return 0;
}

// The data block that closes the body: exactly the expected length.
int readDataBlock(DcmMsg* m, const uint8_t* b, int n, int pos)
{
    if (m->dataLen > kDcmDataBlockMax || n - pos != m->dataLen)
        return 17;
    memcpy(m->dataBlock, b + pos, m->dataLen);
    return 0;
}

// A status byte that must be 0, kept as a one-item block of bytes.
int readStatus(DcmMsg* m, const uint8_t* b, int n)
{
    if (n < 1 || b[0] != 0)
        return 17;
    m->accessType = DCM_TYPE_READ_BLOCK;
    m->block.sizeType = DCM_SIZE_8;
    m->count = 1;
    m->block.data[0] = b[0];
    return 0;
}

// Body decoder: 0, or the code that the decoder adds to 100.
int decodeBody(DcmMsg* m, const uint8_t* b, int n)
{
    int pos = 0;
    int r;
    switch (m->command) {
    case 0:
    case 128:
        if (n != 0)
            return 17;
        m->accessType = DCM_TYPE_READ_BLOCK;
        return 0;
    case 2:
        r = readList(m, b, n, false, false, &pos);
        return r ? r : (pos == n ? 0 : 17);
    case 3:
    case 129:
    case 130:
        r = readList(m, b, n, true, m->command == 129, &pos);
        return r ? r : (pos == n ? 0 : 17);
    case 137:
    case 138:
        r = readList(m, b, n, true, m->command == 137, &pos);
        return r ? r : readDataBlock(m, b, n, pos);
    case 4:
        r = readBlock(m, b, n, false, &pos);
        return r ? r : (pos == n ? 0 : 17);
    case 5:
    case 132:
        r = readBlock(m, b, n, true, &pos);
        return r ? r : (pos == n ? 0 : 17);
    case 140:
        r = readBlock(m, b, n, true, &pos);
        return r ? r : readDataBlock(m, b, n, pos);
    case 127:
        return 9;
    case 131:
        return n == 1 ? readStatus(m, b, n) : 17;
    case 139:
        r = readStatus(m, b, n);
        return r ? r : readDataBlock(m, b, n, 1);
    case 136:
        if (n > m->dataLen || n > kDcmDataBlockMax)
            return 17;
        memcpy(m->dataBlock, b, static_cast<size_t>(n));
        m->dataLen = static_cast<uint8_t>(n);
        return 0;
    default:
        return 17;
    }
}

void storeBodyByte(uint8_t byte)
{
    State& s = st();
    if (s.stored >= kDcmFrameMax) {
        // Longer than any frame: not a frame of ours.
        s.rx = RX_HUNT;
        return;
    }
    s.body[s.stored++] = byte;
}

void startAddress(DcmMsg* msg)
{
    State& s = st();
    s.rx = RX_ADDRESS;
    s.escape = false;
    s.addrBytes = 0;
    msg->address = 0;
}

} // namespace

int DMSG_Clear(DcmMsg* msg)
{
    msg->state = DCM_STATE_INVALID;
    msg->address = 0;
    msg->command = 0;
    memset(msg->dataBlock, 0, sizeof msg->dataBlock);
    msg->dataLen = 0;
    msg->count = 0;
    msg->accessType = 0;
    return 0;
}

int DMSG_SetAddrMode(DcmMsg* msg, uint32_t mode)
{
    msg->addrMode = mode;
    return 0;
}

int DMSG_SetState(DcmMsg* msg, uint32_t state)
{
    msg->state = state;
    return 0;
}

int DMSG_SetAddress(DcmMsg* msg, uint32_t address)
{
    msg->address = address;
    return 0;
}

int DMSG_SetCommand(DcmMsg* msg, uint8_t command)
{
    msg->command = command;
    return 0;
}

int DMSG_SetType(DcmMsg* msg, uint32_t accessType)
{
    msg->accessType = accessType;
    return 0;
}

int DMSG_SetDataLen(DcmMsg* msg, uint8_t len)
{
    if (len > kDcmDataBlockMax)
        return -1;
    msg->dataLen = len;
    return 0;
}

int DMSG_SetDataBlock(DcmMsg* msg, const uint8_t* data)
{
    memcpy(msg->dataBlock, data, msg->dataLen);
    return 0;
}

int DMSG_GetDataBlock(const DcmMsg* msg, uint8_t* out)
{
    memcpy(out, msg->dataBlock, msg->dataLen);
    return 0;
}

int DMSG_AddWriteElement(DcmMsg* msg, uint32_t sizeType, uint8_t table, uint8_t element, uint32_t value)
{
    if (msg->accessType != DCM_TYPE_WRITE_LIST)
        return -9;
    if (msg->count >= kDcmListMax)
        return -11;
    DcmWriteElem& e = msg->list[msg->count++];
    e.sizeType = sizeType;
    e.table = table;
    e.element = element;
    e.value = value;
    return 0;
}

int DMSG_SetReadRequest(DcmMsg* msg, uint32_t sizeType, uint8_t table, uint8_t firstElem, uint8_t count,
                        const uint8_t* data)
{
    if (msg->accessType != DCM_TYPE_READ_BLOCK)
        return -9;
    if (msg->count != 0 || itemSize(sizeType) == 0)
        return -11;
    uint32_t size = count * itemSize(sizeType);
    if (size > kDcmBlockDataMax)
        return -21;
    msg->block.sizeType = sizeType;
    msg->block.table = table;
    msg->block.firstElem = firstElem;
    msg->count = count;
    if (data && size)
        memcpy(msg->block.data, data, size);
    return 0;
}

uint32_t DMSG_GetAddress(const DcmMsg* msg)
{
    return msg->address;
}

uint8_t DMSG_FrameGetCommand(const DcmMsg* msg)
{
    return msg->command;
}

int DMSG_FromMsgToFrame(DcmMsg* msg, DcmFrameBuf* frame)
{
    if (msg->state != DCM_STATE_READY)
        return -1;
    uint8_t addr = static_cast<uint8_t>(msg->address);
    uint8_t cmd = msg->command;
    if (isDelimiter(addr) || isDelimiter(cmd) || isReserved(cmd) || cmd == 1)
        return -2;
    // The three upper bytes of a four-byte address travel unescaped too: a
    // delimiter among them would make a frame no receiver can take.
    if (msg->addrMode == DCM_ADDR_4BYTE) {
        for (int shift = 8; shift <= 24; shift += 8) {
            if (isDelimiter(static_cast<uint8_t>(msg->address >> shift)))
                return -2;
        }
    }
    if (msg->accessType == DCM_TYPE_READ_BLOCK) {
        if (msg->count > 63)
            return -5;
        if (msg->block.firstElem == 0 || msg->block.firstElem > 63)
            return -7;
    } else if (msg->accessType == DCM_TYPE_WRITE_LIST) {
        if (msg->count > kDcmListMax)
            return -5;
        for (int i = 0; i < msg->count; i++) {
            if (msg->list[i].element == 0 || msg->list[i].element > 63)
                return -7;
        }
    }
    if (frame->flag != 1)
        return -6;
    if (cmd > 140 || !hasBody(cmd))
        return -8;
    if (isBlockCommand(cmd) && msg->accessType != DCM_TYPE_READ_BLOCK)
        return -4;
    if (isListCommand(cmd) && msg->accessType != DCM_TYPE_WRITE_LIST)
        return -4;
    if (carriesDataBlock(cmd) && msg->dataLen > kDcmDataBlockMax)
        return -3;

    RawBody body;
    switch (cmd) {
    case 2:
        putList(msg, false, false, &body);
        break;
    case 3:
    case 129:
    case 130:
        putList(msg, true, cmd == 129, &body);
        break;
    case 137:
    case 138:
        putList(msg, true, cmd == 137, &body);
        putDataBlock(msg, &body);
        break;
    case 4:
        putBlock(msg, false, &body);
        break;
    case 5:
    case 132:
        putBlock(msg, true, &body);
        break;
    case 140:
        putBlock(msg, true, &body);
        putDataBlock(msg, &body);
        break;
    case 131:
        body.put(0);
        break;
    case 136:
        putDataBlock(msg, &body);
        break;
    case 139:
        body.put(0);
        putDataBlock(msg, &body);
        break;
    default: // 0, 127, 128: empty
        break;
    }

    // Header, escaped body, then the end marker, checksum and 0xFD must all
    // fit in the buffer.
    uint8_t out[kDcmFrameMax];
    int len = 0;
    out[len++] = kDcmStart;
    if (msg->addrMode == DCM_ADDR_4BYTE) {
        for (int k = 3; k >= 0; k--)
            out[len++] = static_cast<uint8_t>(msg->address >> (8 * k));
    } else {
        out[len++] = addr;
    }
    out[len++] = cmd;
    for (int i = 0; i < body.len; i++) {
        uint8_t b = body.bytes[i];
        int need = isDelimiter(b) || isReserved(b) ? 2 : 1;
        if (len + need + 3 > kDcmFrameMax)
            return -3;
        if (need == 2)
            out[len++] = kDcmEscape;
        out[len++] = b;
    }
    if (len + 3 > kDcmFrameMax)
        return -3;
    out[len++] = kDcmEscape;
    uint32_t sum = 0;
    for (int i = 0; i < len; i++)
        sum += out[i];
    out[len++] = static_cast<uint8_t>(sum);
    out[len++] = kDcmEnd;
    memcpy(frame->data, out, static_cast<size_t>(len));
    frame->len = static_cast<uint16_t>(len);
    frame->flag = 0;
    return 0;
}

int DMSG_RecvByte(DcmMsg* msg, uint8_t byte, uint32_t addrMode)
{
    State& s = st();
    switch (s.rx) {
    case RX_HUNT:
    case RX_END:
        s.rx = RX_HUNT;
        if (s.escape)
            s.escape = false;
        else if (byte == kDcmStart)
            startAddress(msg);
        else if (byte == kDcmEscape)
            s.escape = true;
        return 0;
    case RX_ADDRESS:
        if (byte == kDcmStart) {
            startAddress(msg);
        } else if (isDelimiter(byte)) {
            s.rx = RX_HUNT;
        } else {
            msg->addrMode = addrMode;
            if (addrMode == DCM_ADDR_4BYTE) {
                msg->address = (msg->address << 8) | byte;
                if (++s.addrBytes == 4)
                    s.rx = RX_COMMAND;
            } else {
                msg->address = byte;
                s.rx = RX_COMMAND;
            }
        }
        return 0;
    case RX_COMMAND:
        if (byte == kDcmStart) {
            startAddress(msg);
        } else if (isDelimiter(byte) || isReserved(byte) || byte == 1) {
            s.rx = RX_HUNT;
        } else {
            s.command = byte;
            msg->command = byte;
            s.stored = 0;
            s.rx = RX_BODY;
        }
        return 0;
    case RX_BODY:
        if (s.escape) {
            s.escape = false;
            storeBodyByte(byte);
        } else if (byte == kDcmEnd) {
            if (s.stored == 0) {
                // No checksum before the end: not a frame.
                s.rx = RX_HUNT;
                return 0;
            }
            s.checksum = s.body[s.stored - 1];
            s.bodyLen = static_cast<uint16_t>(s.stored - 1);
            s.rx = RX_END;
            return 1;
        } else if (byte == kDcmStart) {
            startAddress(msg);
        } else if (byte == kDcmEscape) {
            s.escape = true;
        } else if (isReserved(byte)) {
            s.rx = RX_HUNT;
        } else {
            storeBodyByte(byte);
        }
        return 0;
    }
    return 0;
}

int DMSG_FromFrameToMsg(DcmFrameBuf* frame, DcmMsg* msg, uint32_t addrMode, uint16_t start)
{
    if (frame->flag != 0)
        return -1;
    State& s = st();
    s.rx = RX_HUNT;
    s.escape = false;

    uint8_t expected = msg->dataLen;
    clearAll(msg);
    msg->dataLen = expected;

    int end = -1;
    uint16_t len = frame->len > kDcmFrameMax ? kDcmFrameMax : frame->len;
    for (int i = start; i < len; i++) {
        if (DMSG_RecvByte(msg, frame->data[i], addrMode) == 1) {
            end = i;
            break;
        }
    }
    bool valid = end >= 0;
    if (valid) {
        uint32_t sum = 0;
        for (int i = start; i < end - 1; i++)
            sum += frame->data[i];
        valid = static_cast<uint8_t>(sum) == s.checksum;
    }
    if (!valid) {
        clearAll(msg);
        frame->flag = 1;
        return 17;
    }

    msg->command = s.command;
    int r = decodeBody(msg, s.body, s.bodyLen);
    if (r != 0) {
        clearAll(msg);
        return 100 + r;
    }
    msg->state = DCM_STATE_READY;
    frame->flag = 1;
    return 0;
}
