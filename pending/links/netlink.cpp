// Stand-in for the netlink channels: the payload is written and read as is
// on the caller's descriptor, with no netlink header and group mask 0.
#include "links/netlink.h"

#include <unistd.h>

int send_msg_nl(int fd, const uint8_t* payload, int length)
{
    ssize_t n = write(fd, payload, static_cast<size_t>(length));
    return n == length && n > 0 ? 0 : -1;
}

int recv_msg_nl(int fd, uint8_t* buf, int size, uint32_t* groupMask)
{
    ssize_t n = read(fd, buf, static_cast<size_t>(size));
    if (groupMask)
        *groupMask = 0;
    return n > 0 ? static_cast<int>(n) : 0;
}
