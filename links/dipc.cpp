// DIPC packets: serialising, parsing, sending and receiving.
#include "links/dipc.h"

#include "links/netlink.h"

#include <cstring>

namespace {

constexpr int kRecvBuffer = 512;

struct State {
    uint8_t sendBuf[DIPC_MAX_BYTES];
    uint8_t recvBuf[kRecvBuffer];
};

State& st()
{
    static State s;
    return s;
}

void put32(uint8_t* b, uint32_t v)
{
    b[0] = static_cast<uint8_t>(v);
    b[1] = static_cast<uint8_t>(v >> 8);
    b[2] = static_cast<uint8_t>(v >> 16);
    b[3] = static_cast<uint8_t>(v >> 24);
}

uint32_t get32(const uint8_t* b)
{
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

// Types whose fields are table, element and value.
bool isValueType(uint8_t t)
{
    switch (t) {
    case 3: case 4: case 35: case 50: case 51: case 130: case 131: case 132: return true;
    default: return false;
    }
}

bool isTextType(uint8_t t)
{
    return t == 7 || t == 133 || t == 135;
}

} // namespace

int prepare_trn_ipc_msg(const DipcPacket* p, uint8_t* b, int* length)
{
    *length = 0;
    int n;
    b[0] = p->peerId;
    b[1] = p->type;
    if (p->type == DIPC_HELLO) {
        b[2] = 0;
        n = 3;
    } else if (p->type == 2 || p->type == 34) {
        put32(b + 2, p->table);
        put32(b + 6, p->element);
        memset(b + 10, 0, 8);
        n = 18;
    } else if (isValueType(p->type)) {
        put32(b + 2, p->table);
        put32(b + 6, p->element);
        put32(b + 10, p->value);
        n = 14;
    } else if (p->type == DIPC_WRITE_BYTE || isTextType(p->type)) {
        put32(b + 2, p->table);
        put32(b + 6, p->element);
        b[10] = p->length;
        if (p->type == DIPC_WRITE_BYTE)
            memset(b + 11, 0, DIPC_TEXT_BYTES);
        else
            memcpy(b + 11, p->text, DIPC_TEXT_BYTES);
        n = 11 + DIPC_TEXT_BYTES;
    } else if (p->type == DIPC_READ_TABLE) {
        b[2] = static_cast<uint8_t>(p->table);
        n = 3;
    } else if (p->type == 54 || p->type == 134) {
        if (p->dataLength > DIPC_DATA_BYTES)
            return -1;
        b[2] = static_cast<uint8_t>(p->table);
        b[3] = static_cast<uint8_t>(p->dataLength);
        b[4] = static_cast<uint8_t>(p->dataLength >> 8);
        memcpy(b + 5, p->data, p->dataLength);
        n = 5 + p->dataLength;
    } else if (p->type == 129) {
        // The length travels in one byte.
        if (p->dataLength > 255)
            return -1;
        b[2] = static_cast<uint8_t>(p->dataLength);
        memcpy(b + 3, p->data, p->dataLength);
        n = 3 + p->dataLength;
    } else {
        return -1;
    }
    *length = n;
    return 0;
}

int parse_trn_ipc_msg(DipcPacket* p, const uint8_t* in, int received)
{
    // The fields of a type have fixed places: bytes that did not arrive are
    // read as 0 from a cleared copy, never from beyond the caller's bytes.
    if (received < 2)
        return -1;
    uint8_t b[kRecvBuffer] = {};
    memcpy(b, in, static_cast<size_t>(received < kRecvBuffer ? received : kRecvBuffer));
    uint32_t groups = p->groupMask;
    *p = DipcPacket{};
    p->groupMask = groups;
    p->peerId = b[0];
    p->type = b[1];
    if (p->type == DIPC_HELLO) {
    } else if (p->type == 2 || p->type == 34 || p->type == 38) {
        p->table = get32(b + 2);
        p->element = get32(b + 6);
    } else if (isValueType(p->type)) {
        p->table = get32(b + 2);
        p->element = get32(b + 6);
        p->value = get32(b + 10);
    } else if (p->type == DIPC_WRITE_BYTE || isTextType(p->type)) {
        p->table = get32(b + 2);
        p->element = get32(b + 6);
        p->length = b[10];
        memcpy(p->text, b + 11, DIPC_TEXT_BYTES);
    } else if (p->type == DIPC_READ_TABLE) {
        p->table = b[2];
        p->dataLength = b[3];
    } else if (p->type == 134) {
        uint16_t n = static_cast<uint16_t>(b[3] | (b[4] << 8));
        if (n > DIPC_DATA_BYTES || 5 + n > received)
            return -1;
        p->table = b[2];
        p->dataLength = n;
        memcpy(p->data, b + 5, n);
    } else if (p->type == 129) {
        uint16_t n = b[2];
        if (3 + n > received)
            return -1;
        p->length = b[2];
        p->dataLength = n;
        memcpy(p->data, b + 3, n);
    } else {
        return -1;
    }
    return 0;
}

int DIPC_Send(int fd, const DipcPacket* p)
{
    int n = 0;
    if (prepare_trn_ipc_msg(p, st().sendBuf, &n) != 0)
        return -1;
    return send_msg_nl(fd, st().sendBuf, n);
}

int DIPC_Recv(int fd, DipcPacket* p)
{
    State& s = st();
    memset(s.recvBuf, 0, sizeof s.recvBuf);
    uint32_t groups = 0;
    int n = recv_msg_nl(fd, s.recvBuf, kRecvBuffer, &groups);
    if (n <= 0)
        return 9;
    p->groupMask = groups;
    int r = parse_trn_ipc_msg(p, s.recvBuf, n);
    p->groupMask = groups;
    return r;
}
