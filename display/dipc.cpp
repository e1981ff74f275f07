// Netlink channel and DIPC packets of lumiro.
#include "display/dipc.h"

#include "platform/sysLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <syslog.h>
#include <unistd.h>

namespace lumiro {

namespace {

constexpr int kSlots = 2;
constexpr int kRecvBuffer = 300000;
constexpr int kNoSlot = -11;
constexpr int kDrainPerTurn = 1024;

struct Channel {
    int fd = 0; // 0: free
    struct sockaddr_nl src = {};
    struct sockaddr_nl dst = {};
    struct nlmsghdr hdr = {};
    struct iovec iov[2] = {};
    struct msghdr msg = {};
};

struct DipcState {
    Channel ch[kSlots];
    int socket = -1;
    int verbose = 0;
    uint8_t sendBuf[512];
    uint8_t recvBuf[512];
};

DipcState& st()
{
    static DipcState s;
    return s;
}

Channel* channelOf(int fd)
{
    if (fd <= 0)
        return nullptr;
    for (Channel& c : st().ch)
        if (c.fd == fd)
            return &c;
    return nullptr;
}

void put32(uint8_t* p, uint32_t v)
{
    memcpy(p, &v, 4); // little-endian machine and wire
}

uint32_t get32(const uint8_t* p)
{
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}

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

void verboseLine(const char* text)
{
    if (st().verbose == 1) {
        printf("%s\n", text);
        fflush(stdout);
    }
}

} // namespace

int init_nl_ch(pid_t pid, uint32_t groups, int reserved, int protocol)
{
    (void)reserved;
    Channel* c = nullptr;
    for (Channel& ch : st().ch)
        if (ch.fd == 0) {
            c = &ch;
            break;
        }
    if (!c) {
        systemLog(LOG_ERR, "ERR No netlink socket available \n\n");
        return kNoSlot;
    }
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        // Negated, so a failure can never pass for a descriptor.
        int e = errno;
        systemLog(LOG_ERR, "ERR %s\n", strerror(e));
        return -e;
    }
    *c = Channel{};
    c->src.nl_family = AF_NETLINK;
    c->src.nl_pid = static_cast<uint32_t>(pid);
    c->src.nl_groups = groups;
    int size = kRecvBuffer;
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&c->src), sizeof c->src) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) {
        int e = errno;
        systemLog(LOG_ERR, "ERR %s\n", strerror(e));
        close(fd);
        return -e;
    }
    c->dst.nl_family = AF_NETLINK;
    c->dst.nl_pid = 0;
    c->dst.nl_groups = groups;
    c->hdr.nlmsg_type = 3;
    c->hdr.nlmsg_flags = NLM_F_REQUEST;
    c->hdr.nlmsg_seq = 0;
    c->hdr.nlmsg_pid = static_cast<uint32_t>(pid);
    c->fd = fd;
    return fd;
}

void closeNetlinkChannels()
{
    for (Channel& c : st().ch) {
        if (c.fd > 0)
            close(c.fd);
        c.fd = 0;
    }
    st().socket = -1;
}

int send_msg_nl(int fd, const void* buffer, size_t length)
{
    Channel* c = channelOf(fd);
    if (!c) {
        systemLog(LOG_ERR, "ERR Netlink socket not found [i=%d] \n\n", kSlots);
        return -1;
    }
    c->hdr.nlmsg_len = static_cast<uint32_t>(NLMSG_HDRLEN + length);
    c->iov[0].iov_base = &c->hdr;
    c->iov[0].iov_len = NLMSG_HDRLEN;
    c->iov[1].iov_base = const_cast<void*>(buffer);
    c->iov[1].iov_len = length;
    memset(&c->msg, 0, sizeof c->msg);
    c->msg.msg_name = &c->dst;
    c->msg.msg_namelen = sizeof c->dst;
    c->msg.msg_iov = c->iov;
    c->msg.msg_iovlen = 2;
    ssize_t n = sendmsg(fd, &c->msg, MSG_DONTWAIT);
    if (n < 0) {
        systemLog(LOG_ERR, "ERR %s\n", strerror(errno));
        return -1;
    }
    if (static_cast<size_t>(n) != NLMSG_HDRLEN + length) {
        systemLog(LOG_ERR, "ERR Wrong number of transmitted bytes {expected [%d] -- sent [%d]}\n\n",
               static_cast<int>(NLMSG_HDRLEN + length), static_cast<int>(n));
        return -1;
    }
    return 0;
}

int recv_msg_nl(int fd, void* buffer, size_t size, uint32_t* groups)
{
    Channel* c = channelOf(fd);
    if (!c) {
        systemLog(LOG_ERR, "ERR Netlink socket not found \n\n");
        return kNoSlot;
    }
    memset(&c->hdr, 0, sizeof c->hdr);
    c->iov[0].iov_base = &c->hdr;
    c->iov[0].iov_len = NLMSG_HDRLEN;
    c->iov[1].iov_base = buffer;
    c->iov[1].iov_len = size;
    memset(&c->msg, 0, sizeof c->msg);
    c->msg.msg_name = &c->dst;
    c->msg.msg_namelen = sizeof c->dst;
    c->msg.msg_iov = c->iov;
    c->msg.msg_iovlen = 2;
    ssize_t n = recvmsg(fd, &c->msg, 0);
    if (n < 0) {
        systemLog(LOG_ERR, "ERR %s\n", strerror(errno));
        return -1;
    }
    if (n == 0) {
        systemLog(LOG_ERR, "ERR The peer has performed an orderly shutdown \n\n");
        close(fd);
        c->fd = 0;
        return 0;
    }
    if (groups)
        *groups = c->dst.nl_groups;
    return n > static_cast<ssize_t>(NLMSG_HDRLEN) ? static_cast<int>(n - NLMSG_HDRLEN) : 0;
}

int prepare_trn_ipc_msg(const DipcPacket* p, uint8_t* b, size_t* length)
{
    *length = 0;
    b[0] = p->peerId;
    b[1] = p->type;
    size_t n;
    if (isValueType(p->type)) {
        put32(b + 2, p->table);
        put32(b + 6, p->element);
        put32(b + 10, p->value);
        n = 14;
    } else if (p->type == 2 || p->type == 34) {
        put32(b + 2, p->table);
        put32(b + 6, p->element);
        memset(b + 10, 0, 8);
        n = 18;
    } else if (p->type == 5) {
        put32(b + 2, p->table);
        put32(b + 6, p->element);
        b[10] = static_cast<uint8_t>(p->value);
        memset(b + 11, 0, 8);
        n = 19;
    } else if (isTextType(p->type)) {
        put32(b + 2, p->table);
        put32(b + 6, p->element);
        b[10] = p->length;
        memcpy(b + 11, p->text, 8);
        n = 19;
    } else if (p->type == 1) {
        b[2] = 0;
        n = 3;
    } else if (p->type == 6) {
        b[2] = static_cast<uint8_t>(p->table);
        n = 3;
    } else if (p->type == 54 || p->type == 134) {
        uint16_t len = p->dataLen > sizeof p->data ? sizeof p->data : p->dataLen;
        b[2] = static_cast<uint8_t>(p->table);
        memcpy(b + 3, &len, 2);
        memcpy(b + 5, p->data, len);
        n = 5u + len;
    } else if (p->type == 129) {
        uint8_t len = p->length;
        b[2] = len;
        memcpy(b + 3, p->data, len);
        n = 3u + len;
    } else {
        return -1;
    }
    *length = n;
    return 0;
}

int parse_trn_ipc_msg(DipcPacket* p, const uint8_t* b, size_t length)
{
    (void)length;
    uint32_t groups = p->groups;
    memset(p, 0, sizeof *p);
    p->groups = groups;
    p->peerId = b[0];
    p->type = b[1];
    if (isValueType(p->type)) {
        p->table = get32(b + 2);
        p->element = get32(b + 6);
        p->value = get32(b + 10);
    } else if (p->type == 2 || p->type == 34 || p->type == 38) {
        p->table = get32(b + 2);
        p->element = get32(b + 6);
    } else if (p->type == 5 || isTextType(p->type)) {
        p->table = get32(b + 2);
        p->element = get32(b + 6);
        p->length = b[10];
        memcpy(p->text, b + 11, sizeof p->text);
    } else if (p->type == 1) {
    } else if (p->type == 6) {
        p->table = b[2];
        p->dataLen = b[3];
    } else if (p->type == 134) {
        p->table = b[2];
        memcpy(&p->dataLen, b + 3, 2);
        if (p->dataLen > sizeof p->data)
            p->dataLen = sizeof p->data;
        memcpy(p->data, b + 5, p->dataLen);
    } else if (p->type == 129) {
        p->length = b[2];
        p->dataLen = b[2];
        memcpy(p->data, b + 3, b[2]);
    } else {
        return -1;
    }
    return 0;
}

int DIPC_Send(int fd, const DipcPacket* packet)
{
    size_t n = 0;
    if (prepare_trn_ipc_msg(packet, st().sendBuf, &n) != 0) {
        verboseLine("DIPC_Send() -- prepare_trn_ipc_msg() error");
        return -1;
    }
    if (send_msg_nl(fd, st().sendBuf, n) != 0) {
        verboseLine("DIPC_Send() -- send_msg_nl() error");
        return -1;
    }
    return 0;
}

int DIPC_Recv(int fd, DipcPacket* packet)
{
    memset(st().recvBuf, 0, sizeof st().recvBuf);
    uint32_t groups = 0;
    int n = recv_msg_nl(fd, st().recvBuf, sizeof st().recvBuf, &groups);
    if (n <= 0) {
        verboseLine("DIPC_Recv() -- recv_msg_nl() error");
        return 9;
    }
    packet->groups = groups;
    if (parse_trn_ipc_msg(packet, st().recvBuf, static_cast<size_t>(n)) != 0) {
        verboseLine("DIPC_Recv() -- parse_trn_ipc_msg() error");
        return -1;
    }
    packet->groups = groups;
    return 0;
}

void setDisplaySocket(int fd)
{
    st().socket = fd;
}

int displaySocket()
{
    return st().socket;
}

int writeDbElement(uint16_t key, uint32_t value)
{
    DipcPacket p = {};
    p.peerId = DIPC_PEER_TABLES;
    p.type = 3;
    p.table = key >> 8;
    p.element = key & 0xFF;
    p.value = value;
    return DIPC_Send(st().socket, &p);
}

int writeDbString(uint8_t peer, uint32_t table, uint32_t element, const void* text, uint8_t length)
{
    DipcPacket p = {};
    p.peerId = peer;
    p.type = 7;
    p.table = table;
    p.element = element;
    p.length = length > 8 ? 8 : length;
    memcpy(p.text, text, p.length);
    return DIPC_Send(st().socket, &p);
}

int sendDipcHello(uint8_t peer)
{
    DipcPacket p = {};
    p.peerId = peer;
    p.type = 1;
    return DIPC_Send(st().socket, &p);
}

int readDbElement(uint8_t peer, uint32_t table, uint32_t element)
{
    DipcPacket p = {};
    p.peerId = peer;
    p.type = 2;
    p.table = table;
    p.element = element;
    return DIPC_Send(st().socket, &p);
}

int writeDbByte(uint8_t peer, uint32_t table, uint32_t element, uint8_t value)
{
    DipcPacket p = {};
    p.peerId = peer;
    p.type = 5;
    p.table = table;
    p.element = element;
    p.value = value;
    return DIPC_Send(st().socket, &p);
}

int drainDisplaySocket()
{
    // The socket shares the daemon's group with every other client, so the
    // daemon's replies to them land here too; nothing here reads them, and
    // a full queue would make the daemon drop replies.
    int fd = st().socket;
    if (fd < 0 || !channelOf(fd))
        return 0;
    int dropped = 0;
    // Bounded, so a flood cannot hold the turn.
    while (dropped < kDrainPerTurn) {
        ssize_t n = recv(fd, st().recvBuf, sizeof st().recvBuf, MSG_DONTWAIT | MSG_TRUNC);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        dropped++;
    }
    return dropped;
}

void setDipcVerbose(int on)
{
    st().verbose = on;
}

} // namespace lumiro
