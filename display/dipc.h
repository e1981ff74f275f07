// Element writes of lumiro to the daemon: DIPC packets on a netlink socket
// of protocol 16, sent to the tables peer. The display only sends; the
// receive side is kept for completeness and the socket is drained each turn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

namespace lumiro {

constexpr uint32_t DIPC_GROUP_DISPLAY = 0x40;
constexpr uint8_t DIPC_PEER_TABLES = 252;
constexpr int kNetlinkProtocol = 16;

struct DipcPacket {
    uint8_t peerId;
    uint8_t type;
    uint32_t table;
    uint32_t element;
    uint32_t value;
    uint8_t length;     // types 5, 7, 129, 133, 135
    uint8_t text[32];   // types 7, 133, 135
    uint16_t dataLen;   // types 6, 54, 129, 134
    uint8_t data[320];
    uint32_t groups;    // set by DIPC_Recv
};

// Opens a channel: its socket, or -11 when both slots are taken, or the
// negated errno of the failed call.
int init_nl_ch(pid_t pid, uint32_t groups, int reserved, int protocol);
// Closes every channel (tests).
void closeNetlinkChannels();
int send_msg_nl(int fd, const void* buffer, size_t length);
// One message into buffer: its payload length, 0 when the peer closed,
// -11 for a socket without channel, -1 on an error.
int recv_msg_nl(int fd, void* buffer, size_t size, uint32_t* groups);

// Serialises by type; -1 (length 0) for a type the builder does not know.
int prepare_trn_ipc_msg(const DipcPacket* packet, uint8_t* buffer, size_t* length);
int parse_trn_ipc_msg(DipcPacket* packet, const uint8_t* buffer, size_t length);
int DIPC_Send(int fd, const DipcPacket* packet);
int DIPC_Recv(int fd, DipcPacket* packet);

// The channel every write uses (set by the program's start).
void setDisplaySocket(int fd);
int displaySocket();
// Sends (key >> 8, key & 0xFF) = value to the tables peer.
int writeDbElement(uint16_t key, uint32_t value);
// Sends a string write of length bytes (at most 8).
int writeDbString(uint8_t peer, uint32_t table, uint32_t element, const void* text, uint8_t length);
// Senders of types 1, 2 and 5 (nothing calls them).
int sendDipcHello(uint8_t peer);
int readDbElement(uint8_t peer, uint32_t table, uint32_t element);
int writeDbByte(uint8_t peer, uint32_t table, uint32_t element, uint8_t value);
// Reads and drops everything waiting on the socket without blocking: the
// number of messages dropped.
int drainDisplaySocket();
// Tests: the verbose flag prints the send and receive errors.
void setDipcVerbose(int on);

} // namespace lumiro
