// Netlink channels: the channel table, opening, sending and receiving.
#include "links/netlink.h"

#include "core/base/logs.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr int kRecvBuffer = 300000;
constexpr uint16_t kHeaderType = 3;
constexpr uint16_t kHeaderFlags = 1;
static_assert(NLMSG_HDRLEN == NL_HEADER_BYTES, "the netlink header is 16 bytes");

struct NlChannel {
    int fd = 0; // 0: free
    uint32_t portId = 0;
    int mode = 0;
    sockaddr_nl own = {};
    sockaddr_nl dst = {};
    nlmsghdr hdr = {};
    iovec iov[2] = {};
};

struct State {
    NlChannel ch[NL_CHANNELS];
};

State& st()
{
    static State s;
    return s;
}

NlChannel* channelOf(int fd)
{
    if (fd <= 0)
        return nullptr;
    for (NlChannel& c : st().ch)
        if (c.fd == fd)
            return &c;
    return nullptr;
}

msghdr messageOf(NlChannel& c, void* payload, size_t length)
{
    c.iov[0].iov_base = &c.hdr;
    c.iov[0].iov_len = NLMSG_HDRLEN;
    c.iov[1].iov_base = payload;
    c.iov[1].iov_len = length;
    msghdr m = {};
    m.msg_name = &c.dst;
    m.msg_namelen = sizeof c.dst;
    m.msg_iov = c.iov;
    m.msg_iovlen = 2;
    return m;
}

} // namespace

int init_nl_ch(uint32_t portId, uint32_t groupMask, int mode, int protocol)
{
    NlChannel* c = nullptr;
    for (NlChannel& ch : st().ch)
        if (ch.fd == 0) {
            c = &ch;
            break;
        }
    if (!c) {
        logErr("No netlink socket available \n\n");
        return NL_NO_CHANNEL;
    }
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        int e = errno;
        logErr("init_nl_ch() [socket]-- %s\n", strerror(e));
        return -e;
    }
    *c = NlChannel{};
    c->own.nl_family = AF_NETLINK;
    c->own.nl_pid = portId;
    c->own.nl_groups = groupMask;
    if (bind(fd, reinterpret_cast<sockaddr*>(&c->own), sizeof c->own) != 0) {
        int e = errno;
        logErr("init_nl_ch() [bind] -- %s\n", strerror(e));
        close(fd);
        return -e;
    }
    int size = kRecvBuffer;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) {
        int e = errno;
        logErr("init_nl_ch() [setsockopt] -- %s\n", strerror(e));
        close(fd);
        return -e;
    }
    c->portId = portId;
    c->mode = mode;
    c->dst.nl_family = AF_NETLINK;
    c->dst.nl_pid = 0;
    c->dst.nl_groups = groupMask;
    c->hdr.nlmsg_type = kHeaderType;
    c->hdr.nlmsg_flags = kHeaderFlags;
    c->hdr.nlmsg_seq = 0;
    c->hdr.nlmsg_pid = portId;
    c->fd = fd;
    return fd;
}

int send_msg_nl(int fd, const uint8_t* payload, int length)
{
    NlChannel* c = channelOf(fd);
    if (!c) {
        logErr("Netlink socket not found \n\n");
        return NL_NO_CHANNEL;
    }
    if (length < 0)
        return -1;
    c->hdr.nlmsg_len = static_cast<uint32_t>(length + NL_HEADER_BYTES);
    c->hdr.nlmsg_pid = c->mode == 1 ? c->dst.nl_pid : c->portId;
    msghdr m = messageOf(*c, const_cast<uint8_t*>(payload), static_cast<size_t>(length));
    // Never wait for a peer: one that does not read its socket would hold the
    // link thread for good. What it cannot take now is dropped.
    ssize_t n = sendmsg(fd, &m, MSG_DONTWAIT);
    if (n < 0) {
        logErr("send_msg_nl() [sendmsg] -- %s\n", strerror(errno));
        return -1;
    }
    if (n != length + NL_HEADER_BYTES) {
        logErr("Wrong number of transmitted bytes {expected [%d] -- sent [%d]}\n\n", length + NL_HEADER_BYTES,
               static_cast<int>(n));
        return -1;
    }
    return 0;
}

int recv_msg_nl(int fd, uint8_t* buf, int size, uint32_t* groupMask)
{
    NlChannel* c = channelOf(fd);
    if (!c) {
        logErr("Netlink socket not found \n\n");
        return NL_NO_CHANNEL;
    }
    memset(&c->hdr, 0, sizeof c->hdr);
    sockaddr_nl from = c->dst;
    msghdr m = messageOf(*c, buf, size > 0 ? static_cast<size_t>(size) : 0);
    m.msg_name = &from;
    ssize_t n = recvmsg(fd, &m, MSG_DONTWAIT);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        logErr("recv_msg_nl() [recvmsg] -- %s\n", strerror(errno));
        return -1;
    }
    // A datagram socket has no orderly shutdown: an empty or headless
    // datagram is nothing received, and the channel stays open.
    if (n < NL_HEADER_BYTES)
        return 0;
    c->dst = from;
    if (groupMask)
        *groupMask = from.nl_groups;
    int payload = static_cast<int>(n) - NL_HEADER_BYTES;
    return payload < size ? payload : size;
}

void closeNetlinkChannels()
{
    for (NlChannel& c : st().ch) {
        if (c.fd > 0)
            close(c.fd);
        c = NlChannel{};
    }
}
