// A client of the daemon's IPC channel as the display is one: a netlink
// socket in the display's group that sends DIPC packets and reads the
// replies. Used from inside the daemon's network namespace.
#pragma once

#include <cstdint>
#include <sys/types.h>
#include <vector>

using DipcBytes = std::vector<uint8_t>;

// Enters the network namespace of process `pid`: true when done.
bool enterNetNamespaceOf(pid_t pid);
// A bound client socket on `port` in the display's group (-1 on failure);
// `rcvbuf` not 0 sets its receive buffer.
int dipcClientOpen(uint32_t port, int rcvbuf = 0);
// Sends a DIPC payload to the group: true when the whole message left.
bool dipcSend(int fd, uint32_t port, const DipcBytes& payload, int flags = 0);
// The payload of a write of `value` to element `element` of `table`.
DipcBytes dipcWrite(uint32_t table, uint32_t element, uint32_t value, uint8_t type = 3);
// The next reply of type `type` (of element `element`, when not 0), or empty
// after the time. Replies to the group's other members reach it too.
DipcBytes dipcReply(int fd, uint8_t type, int timeoutMs, uint8_t element = 0);
