#include "testing/dipcClient.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <linux/netlink.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

bool enterNetNamespaceOf(pid_t pid)
{
    int ns = open(("/proc/" + std::to_string(pid) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    if (ns < 0)
        return false;
    bool ok = setns(ns, CLONE_NEWNET) == 0;
    close(ns);
    return ok;
}

int dipcClientOpen(uint32_t port, int rcvbuf)
{
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, 16);
    if (fd < 0)
        return -1;
    if (rcvbuf)
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    sockaddr_nl a = {};
    a.nl_family = AF_NETLINK;
    a.nl_pid = port;
    a.nl_groups = 0x40;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool dipcSend(int fd, uint32_t port, const DipcBytes& payload, int flags)
{
    DipcBytes msg(NLMSG_HDRLEN + payload.size());
    nlmsghdr* h = reinterpret_cast<nlmsghdr*>(msg.data());
    h->nlmsg_len = static_cast<uint32_t>(msg.size());
    h->nlmsg_type = 3;
    h->nlmsg_flags = 1;
    h->nlmsg_pid = port;
    std::copy(payload.begin(), payload.end(), msg.begin() + NLMSG_HDRLEN);
    sockaddr_nl to = {};
    to.nl_family = AF_NETLINK;
    to.nl_groups = 0x40;
    return sendto(fd, msg.data(), msg.size(), flags, reinterpret_cast<sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(msg.size());
}

DipcBytes dipcWrite(uint32_t table, uint32_t element, uint32_t value, uint8_t type)
{
    DipcBytes b = {0xFC, type};
    for (uint32_t w : {table, element, value})
        for (int k = 0; k < 4; k++)
            b.push_back(static_cast<uint8_t>(w >> (8 * k)));
    return b;
}

DipcBytes dipcReply(int fd, uint8_t type, int timeoutMs, uint8_t element)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 100) != 1)
            continue;
        uint8_t buf[512];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        // A table reply of no data is five bytes: only an element filter
        // needs the element's bytes.
        if (n >= static_cast<ssize_t>(NLMSG_HDRLEN) + 2 && buf[NLMSG_HDRLEN + 1] == type &&
            (element == 0 || (n > static_cast<ssize_t>(NLMSG_HDRLEN) + 6 && buf[NLMSG_HDRLEN + 6] == element)))
            return DipcBytes(buf + NLMSG_HDRLEN, buf + n);
    }
    return {};
}
