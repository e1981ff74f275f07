// The UDP channel of the unit links on eth1, in a network namespace of the
// test's own with a veth pair eth0/eth1: answers go to the last sender, and
// eth1 down gives no socket.
#include "links/serialChannels.h"

#include "Config/keys/networkKeys.h"
#include "hw/tests/boardFixture.h"
#include "testing/testNetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class UdpChannel : public BoardFixture {
protected:
    // `body` in a forked child inside a network namespace of its own holding
    // the veth pair eth0/eth1, with eth1's configured address 10.200.8.30/24.
    void inOwnNetNamespace(const std::function<void()>& body)
    {
        inBoardNetwork([&] {
            setRearEthernetIPAddress(inet_addr("10.200.8.30"));
            setRearEthernetIPNetmask(inet_addr("255.255.255.0"));
            body();
        });
    }
};

TEST_F(UdpChannel, AnswersReachTheLastSender)
{
    inOwnNetNamespace([] {
        int fd = init_sk_udp_ch(6011);
        ASSERT_GT(fd, 0);
        const uint8_t pong[] = {'p', 'o', 'n', 'g'};
        EXPECT_EQ(send_msg_sk_udp(fd, pong, 4), -1) << "no datagram received yet";

        int client = socket(AF_INET, SOCK_DGRAM, 0);
        struct sockaddr_in to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(6011);
        to.sin_addr.s_addr = inet_addr("10.200.8.30");
        ASSERT_EQ(sendto(client, "ping", 4, 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to), 4);
        struct pollfd p = {fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
        uint8_t buf[16];
        struct sockaddr_in sender = {};
        EXPECT_EQ(recv_msg_sk_udp(fd, buf, sizeof buf, &sender), 4);
        EXPECT_EQ(send_msg_sk_udp(fd, pong, 4), 0);

        struct pollfd q = {client, POLLIN, 0};
        ASSERT_EQ(poll(&q, 1, 2000), 1);
        EXPECT_EQ(recv(client, buf, sizeof buf, 0), 4);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 4), "pong");
        close(client);
        close(fd);
    });
}

TEST_F(UdpChannel, Eth1DownGivesNoSocket)
{
    inOwnNetNamespace([] {
        ASSERT_EQ(system("ip link set eth1 down"), 0);
        fflush(stdout);
        testing::internal::CaptureStdout();
        EXPECT_EQ(init_sk_udp_ch(6011), 0);
        EXPECT_NE(testing::internal::GetCapturedStdout().find("eth1 is DOWN\n"), std::string::npos);
        EXPECT_EQ(isEth1Up(), 0);
    });
}

} // namespace
