// The link responders of the running daemon, tried as the peers would: a
// change-over controller on the pseudo-terminal of dev/ttyS2, a remote logic
// on UDP port 6011 in the daemon's network namespace, and, with Exciter_Mode
// Slave, an external transmitter logic on dev/ttyS0.
#include "links/dcmMsg.h"
#include "links/tests/linkResponderSupport.h"
#include "testing/daemonSandbox.h"
#include "testing/dipcClient.h"
#include "testing/testSupport.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <netinet/in.h>
#include <regex>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A pseudo-terminal whose slave the sandbox's port links to.
int peerPort(const std::string& root, const char* dev)
{
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return -1;
    std::string link = root + dev;
    if (system(("mkdir -p " + root + "/dev").c_str()) != 0)
        return -1;
    unlink(link.c_str());
    if (symlink(ptsname(master), link.c_str()) != 0)
        return -1;
    return master;
}

class LinkRespondersDaemon : public DaemonSandboxTest {
protected:
    void TearDown() override
    {
        for (int fd : {co, ltx, udp})
            if (fd >= 0)
                close(fd);
        DaemonSandboxTest::TearDown();
    }

    bool startDaemon()
    {
        if (!start())
            return false;
        EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
        EXPECT_EQ(nextNotify(20000), "READY=1");
        return true;
    }

    // Sends a frame on the port and takes the reply (empty after waitMs).
    static Bytes exchange(int port, const Bytes& frame, int waitMs = 2000)
    {
        peerTake(port, 10);
        EXPECT_EQ(write(port, frame.data(), frame.size()), ssize_t(frame.size()));
        return peerTake(port, waitMs);
    }

    // eth1's address in the daemon's namespace (entered by the caller).
    static in_addr_t eth1Address()
    {
        in_addr_t a = 0;
        struct ifaddrs* list = nullptr;
        if (getifaddrs(&list) != 0)
            return 0;
        for (struct ifaddrs* i = list; i; i = i->ifa_next)
            if (i->ifa_addr && i->ifa_addr->sa_family == AF_INET && std::string(i->ifa_name) == "eth1")
                a = reinterpret_cast<struct sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
        freeifaddrs(list);
        return a;
    }

    Bytes ask(const Bytes& request)
    {
        struct sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(6011);
        to.sin_addr.s_addr = eth1;
        EXPECT_EQ(sendto(udp, request.data(), request.size(), 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to),
                  ssize_t(request.size()));
        // Status pushes (11 bytes, command 20) may come before the reply.
        for (;;) {
            struct pollfd p = {udp, POLLIN, 0};
            if (poll(&p, 1, 3000) != 1)
                return {};
            uint8_t buf[1024];
            ssize_t n = recv(udp, buf, sizeof buf, 0);
            if (n <= 0)
                return {};
            bool push = n == 11 && buf[1] == 20 && request.size() > 1 && request[1] != 4;
            if (!push)
                return Bytes(buf, buf + n);
        }
    }

    int co = -1;
    int ltx = -1;
    int udp = -1;
    in_addr_t eth1 = 0;
};

TEST_F(LinkRespondersDaemon, ChangeOverControllerAndRemoteLogicAreAnswered)
{
    co = peerPort(root, "/dev/ttyS2");
    ASSERT_GE(co, 0);
    if (!startDaemon())
        GTEST_SKIP() << "no namespaces for the daemon";

    // Change_Over_Serial_Address 10, in the third address byte.
    const uint32_t unit = 10 << 8;
    DcmMsg m = decodeReply(exchange(co, linkFrame(unit, true, 2, listReadBody({{1, 3, 3}}))), DCM_ADDR_4BYTE);
    ASSERT_EQ(m.command, 0x8A);
    Bytes value = {uint8_t(m.list[0].value), uint8_t(m.list[0].value >> 8), uint8_t(m.list[0].value >> 16),
                   uint8_t(m.list[0].value >> 24)};
    EXPECT_EQ(value, (Bytes{0, 0, 0, 0x0B})) << "Functional_type as the controller reads it";
    m = decodeReply(exchange(co, linkFrame(unit, true, 3, listWriteBody(11, 2, 1, 1))), DCM_ADDR_4BYTE);
    EXPECT_EQ(m.command, 0x8B);
    m = decodeReply(exchange(co, linkFrame(unit, true, 2, listReadBody({{1, 2, 3}}))), DCM_ADDR_4BYTE);
    ASSERT_EQ(m.command, 0x8A);
    EXPECT_EQ(m.list[0].value, 0x03000000u);
    m = decodeReply(exchange(co, linkFrame(unit, true, 4, blockBody(5, 6, 14, 3))), DCM_ADDR_4BYTE);
    EXPECT_EQ(m.command, 0x8C);
    EXPECT_EQ(m.count, 2);
    Bytes bad = linkFrame(unit, true, 2, listReadBody({{1, 3, 3}}));
    bad[bad.size() - 2]++;
    EXPECT_TRUE(exchange(co, bad, 500).empty());

    // The remote logic in the daemon's namespace.
    ASSERT_TRUE(enterNetNamespaceOf(pid));
    // The client talks to the unit's own address in its namespace: through lo.
    ASSERT_EQ(system("ip link set lo up"), 0);
    eth1 = eth1Address();
    std::smatch bound;
    std::ifstream outFile(root + "/corvane.out");
    std::string all((std::istreambuf_iterator<char>(outFile)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(std::regex_search(all, bound, std::regex("Socket bind to address ([0-9.]+):6011"))) << all;
    EXPECT_EQ(eth1, inet_addr(bound[1].str().c_str()));
    eth1 = inet_addr(bound[1].str().c_str());
    udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(udp, 0);
    Bytes status = ask({'Y', 4});
    ASSERT_EQ(status.size(), 11u);
    EXPECT_EQ(Bytes(status.begin(), status.begin() + 3), (Bytes{'Y', 20, 2}));

    Bytes table11 = ask({'Y', 1, 11});
    ASSERT_EQ(table11.size(), 87u);
    EXPECT_EQ(Bytes(table11.begin(), table11.begin() + 3), (Bytes{'Y', 17, 11}));
    // The first word is the number in the serial's first four characters,
    // as published one character a cell from (2, 1).
    uint32_t digits = 0;
    for (uint32_t i = 1; i <= 4; i++) {
        uint32_t c = cell(2, i);
        digits = (c >= '0' && c <= '9' && digits != 0xFFFFFFFFu) ? digits * 10 + (c - '0') : 0xFFFFFFFFu;
    }
    if (digits == 0xFFFFFFFFu)
        digits = 0;
    EXPECT_EQ(Bytes(table11.begin() + 3, table11.begin() + 7),
              (Bytes{uint8_t(digits), uint8_t(digits >> 8), uint8_t(digits >> 16), uint8_t(digits >> 24)}));

    std::string text = "RadioText from the remote logic";
    Bytes write = {'i', 65, 1, 0, uint8_t(text.size())};
    write.insert(write.end(), text.begin(), text.end());
    EXPECT_EQ(ask(write), (Bytes{'i', 'Q', 0}));
    EXPECT_EQ(file("/mnt/ubi0/conf/rds/rt_rds_1"), text);
    Bytes read = ask({'i', 66, 1});
    ASSERT_EQ(read.size(), 5 + text.size());
    EXPECT_EQ(std::string(read.begin() + 5, read.end()), text);
}

TEST_F(LinkRespondersDaemon, ExternalLogicSelectsTheRdsDataSetOfASlave)
{
    // A first run writes the configuration files; the second runs as slave.
    if (!startDaemon())
        GTEST_SKIP() << "no namespaces for the daemon";
    std::string xml;
    ASSERT_TRUE(waitUntil([&] {
        xml = file("/mnt/ubi0/conf/configuration.xml");
        return xml.find("<Exciter_Mode>") != std::string::npos;
    }, 20000));
    stop();
    xml = std::regex_replace(xml, std::regex("<Exciter_Mode>[^<]*</Exciter_Mode>"), "<Exciter_Mode>Slave</Exciter_Mode>");
    std::ofstream(root + "/mnt/ubi0/conf/configuration.xml", std::ios::binary | std::ios::trunc) << xml;
    ltx = peerPort(root, "/dev/ttyS0");
    ASSERT_GE(ltx, 0);
    ASSERT_TRUE(startDaemon());

    // The slave answers on address 89.
    DcmMsg m = decodeReply(exchange(ltx, linkFrame(89, false, 3, listWriteBody(5, 20, 1, 0))), DCM_ADDR_1BYTE);
    EXPECT_EQ(m.command, 0x8B);
    EXPECT_TRUE(waitUntil([&] { return cell(20, 4) == 1; }, 5000)) << cell(20, 4);
    m = decodeReply(exchange(ltx, linkFrame(89, false, 3, listWriteBody(5, 20, 1, 1))), DCM_ADDR_1BYTE);
    EXPECT_EQ(m.command, 0x8B);
    EXPECT_TRUE(waitUntil([&] { return cell(20, 4) == 5; }, 5000)) << cell(20, 4);
}

} // namespace
