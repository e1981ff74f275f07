// DIPC packets: the payload of the netlink messages between the daemon and
// its local peers (the front panel). Multi-byte fields are little-endian.
#pragma once

#include <cstdint>

constexpr int DIPC_TEXT_BYTES = 32;
constexpr int DIPC_DATA_BYTES = 320;
// The largest serialised packet (a data packet of 320 bytes).
constexpr int DIPC_MAX_BYTES = 5 + DIPC_DATA_BYTES;

enum DipcType : uint8_t {
    DIPC_HELLO = 1,
    DIPC_READ = 2,
    DIPC_WRITE = 3,
    DIPC_WRITE_BYTE = 5,
    DIPC_READ_TABLE = 6,
    DIPC_WRITE_STRING = 7,
    DIPC_REPLY = 128, // added to the request's type
};

struct DipcPacket {
    uint8_t peerId = 0;
    uint8_t type = 0;
    uint32_t table = 0;
    uint32_t element = 0;
    uint32_t value = 0;
    uint8_t length = 0;                  // types 5, 7, 133, 135
    uint8_t text[DIPC_TEXT_BYTES] = {};  // types 7, 133, 135
    uint16_t dataLength = 0;             // types 6, 54, 129, 134
    uint8_t data[DIPC_DATA_BYTES] = {};  // types 54, 129, 134
    uint32_t groupMask = 0;              // the groups it was received on
};

// Serialises a packet into `buf` (DIPC_MAX_BYTES): 0 and its length, or -1
// and length 0 for a type that is not sent or a data length above 320.
int prepare_trn_ipc_msg(const DipcPacket* p, uint8_t* buf, int* length);
// Parses the `received` bytes of `buf` (read as zero beyond them up to the
// fixed size of the type): 0, or -1 for a type that is not taken, or a data
// length above 320 or above what was received.
int parse_trn_ipc_msg(DipcPacket* p, const uint8_t* buf, int received);
// Serialises and sends a packet on a netlink channel: 0, or the failing
// step's code.
int DIPC_Send(int fd, const DipcPacket* p);
// Receives and parses one packet and stores the groups it came on: the
// parser's result, or 9 when nothing was received.
int DIPC_Recv(int fd, DipcPacket* p);
