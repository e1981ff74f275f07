// Netlink channels between the daemon and its local peers: datagram sockets
// of the netlink family, three at most in one process.
#pragma once

#include <cstdint>

constexpr int NL_CHANNELS = 3;
// The size of the netlink header in front of every payload.
constexpr int NL_HEADER_BYTES = 16;
// No free channel, or a descriptor that is no channel.
constexpr int NL_NO_CHANNEL = -11;

// Opens a channel bound to (portId, groupMask): the descriptor, -11 when all
// channels are taken, the negated error number of a failed socket, bind or
// setsockopt. With mode 1 the header's sender id is the destination's port
// id, with any other mode the own port id.
int init_nl_ch(uint32_t portId, uint32_t groupMask, int mode, int protocol);
// Sends `length` payload bytes behind a netlink header to the channel's
// destination (the last sender, before the first receive port 0 with the
// own groups), never waiting: 0 when all were sent, -11 for an unknown
// descriptor, -1 on an error, a short send or a peer that takes nothing now.
int send_msg_nl(int fd, const uint8_t* payload, int length);
// Receives one message without waiting: the payload length, 0 when nothing
// (or no whole header) was received, -1 on an error, -11 for an unknown
// descriptor; the sender becomes the destination of the next send and its
// group mask is stored in `*groupMask`.
int recv_msg_nl(int fd, uint8_t* buf, int size, uint32_t* groupMask);
// Closes every channel (tests, and a process that opens its channels anew).
void closeNetlinkChannels();
