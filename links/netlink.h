// Netlink channels (protocol 16) between the daemon and its local peers.
#pragma once

#include <cstdint>

// Sends `length` payload bytes behind a netlink header on the channel of
// `fd`: 0 when all were sent, -11 for an unknown descriptor, else -1.
int send_msg_nl(int fd, const uint8_t* payload, int length);
// Receives one message: the payload length (0 when the peer closed), the
// sender's group mask in `*groupMask`; -11 for an unknown descriptor.
int recv_msg_nl(int fd, uint8_t* buf, int size, uint32_t* groupMask);
