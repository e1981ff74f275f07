// The factory server of the running daemon, reached by a client inside the
// daemon's own network namespace on 127.0.0.1:50000.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Loopback up in the daemon's fresh namespace (runs inside it).
bool loopbackUp()
{
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return false;
    struct ifreq r = {};
    strcpy(r.ifr_name, "lo");
    bool ok = ioctl(s, SIOCGIFFLAGS, &r) == 0;
    r.ifr_flags = static_cast<short>(r.ifr_flags | IFF_UP);
    ok = ok && ioctl(s, SIOCSIFFLAGS, &r) == 0;
    close(s);
    return ok;
}

Bytes frame(uint8_t peer, uint8_t cmd, const Bytes& data, int checksumDelta = 0)
{
    Bytes f = {0xFE, 0x00, 0x00, 88, peer, cmd};
    for (uint8_t b : data) {
        if (b == 0xFE || b == 0xFC || b == 0xFD || (b >= 0x64 && b <= 0x69))
            f.push_back(0xFC);
        f.push_back(b);
    }
    f.push_back(0xFC);
    unsigned sum = 0;
    for (uint8_t b : f)
        sum += b;
    f.push_back(static_cast<uint8_t>(sum + checksumDelta));
    f.push_back(0xFD);
    return f;
}

class FactoryTcpDaemon : public DaemonSandboxTest {
protected:
    // Sends one request from a child in the daemon's network namespace and
    // returns what came back before the server closed the connection.
    // A request that must be answered: the server accepts when the
    // connection is made and drops it when the request is not there yet, so
    // a connection that lost that race is made again.
    Bytes answered(const Bytes& req)
    {
        Bytes r;
        for (int i = 0; i < 10 && r.empty(); i++)
            r = exchange(req);
        return r;
    }
    Bytes exchange(const Bytes& req)
    {
        int p[2];
        if (pipe(p) != 0)
            return {};
        pid_t c = fork();
        if (c == 0) {
            close(p[0]);
            int ns = open(("/proc/" + std::to_string(pid) + "/ns/net").c_str(), O_RDONLY);
            if (ns < 0 || setns(ns, CLONE_NEWNET) != 0)
                _exit(2);
            Bytes got;
            for (int attempt = 0; attempt < 50 && got.empty(); attempt++) {
                int s = socket(AF_INET, SOCK_STREAM, 0);
                struct sockaddr_in a = {};
                a.sin_family = AF_INET;
                a.sin_port = htons(50000);
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                if (connect(s, reinterpret_cast<struct sockaddr*>(&a), sizeof a) != 0) {
                    close(s);
                    usleep(100000);
                    continue;
                }
                // The request must be waiting when the server accepts.
                if (write(s, req.data(), req.size()) != static_cast<ssize_t>(req.size()))
                    _exit(3);
                uint8_t buf[512];
                ssize_t n;
                while ((n = read(s, buf, sizeof buf)) > 0)
                    got.insert(got.end(), buf, buf + n);
                close(s);
                break;
            }
            if (!got.empty() && write(p[1], got.data(), got.size()) < 0)
                _exit(4);
            _exit(0);
        }
        close(p[1]);
        Bytes out;
        uint8_t buf[512];
        ssize_t n;
        while ((n = read(p[0], buf, sizeof buf)) > 0)
            out.insert(out.end(), buf, buf + n);
        close(p[0]);
        waitpid(c, nullptr, 0);
        return out;
    }
};

TEST_F(FactoryTcpDaemon, ServesReadsAndWritesAndDropsBadFrames)
{
    if (!start(loopbackUp))
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    std::string note;
    while ((note = nextNotify(20000)).rfind("MAINPID=", 0) == 0) {
    }
    ASSERT_EQ(note, "READY=1");

    const Bytes sn = {'F', 'A', 'C', 'T', '0', '0', '0', '0', '0', '0', '4', '2'};
    Bytes write = {12};
    for (uint8_t v : sn)
        write.insert(write.end(), {2, 1 * 4 + 1, v});
    Bytes r = answered(frame(0x50, 3, write));
    ASSERT_EQ(r.size(), 24u);
    EXPECT_EQ(r[6], 0x8B);
    EXPECT_EQ(r[7], 0); // status

    // Bad frames get nothing; the server keeps serving.
    EXPECT_TRUE(exchange(frame(0x50, 4, {12, 2, 5}, 1)).empty());
    EXPECT_TRUE(exchange(frame(0x53, 4, {12, 2, 5})).empty());
    EXPECT_TRUE(exchange(frame(0x50, 1, {12, 2, 5})).empty());
    Bytes t5 = answered(frame(0x50, 3, {1, 5, 5, 0}));
    ASSERT_EQ(t5.size(), 24u);
    EXPECT_EQ(t5[7], 1); // table 5

    r = answered(frame(0x50, 4, {12, 2, 1 * 4 + 1}));
    ASSERT_EQ(r.size(), 37u);
    EXPECT_EQ(r[0], 36);
    EXPECT_EQ(r[6], 0x8C);
    EXPECT_EQ(Bytes(r.begin() + 10, r.begin() + 22), sn);
    unsigned sum = 0;
    for (size_t i = 1; i < 35; i++)
        sum += r[i];
    EXPECT_EQ(r[35], static_cast<uint8_t>(sum));
    EXPECT_EQ(r[36], 0xFD);
}

} // namespace
