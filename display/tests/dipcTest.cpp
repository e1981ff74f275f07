// Element writes over netlink: the packet layouts, the header, the slots,
// and the draining of replies that land on the display's socket.
#include "display/dipc.h"
#include "display/tests/displayTestSupport.h"

#include <cerrno>
#include <cstring>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lumiro;

namespace {

std::vector<uint8_t> build(const DipcPacket& p)
{
    uint8_t buf[512];
    memset(buf, 0xEE, sizeof buf);
    size_t n = 99;
    if (prepare_trn_ipc_msg(&p, buf, &n) != 0)
        return {};
    return std::vector<uint8_t>(buf, buf + n);
}

class DipcNetTest : public SandboxTest {
protected:
    void SetUp() override
    {
        SandboxTest::SetUp();
        if (!privateNetwork())
            GTEST_SKIP() << "no network namespace";
    }
    void TearDown() override
    {
        closeNetlinkChannels();
        SandboxTest::TearDown();
    }
};

} // namespace

TEST(DipcBuilder, PayloadLengthsAndLayoutsByType)
{
    struct Case {
        uint8_t type;
        size_t length;
    };
    for (Case c : {Case{1, 3}, Case{2, 18}, Case{34, 18}, Case{3, 14}, Case{4, 14}, Case{35, 14}, Case{50, 14},
                   Case{51, 14}, Case{130, 14}, Case{131, 14}, Case{132, 14}, Case{5, 19}, Case{6, 3}, Case{7, 19},
                   Case{133, 19}, Case{135, 19}}) {
        DipcPacket p = {};
        p.peerId = 252;
        p.type = c.type;
        p.table = 13;
        p.element = 19;
        EXPECT_EQ(build(p).size(), c.length) << "type " << int(c.type);
    }
    DipcPacket p = {};
    p.type = 54;
    p.table = 6;
    p.dataLen = 4;
    memcpy(p.data, "\x01\x02\x03\x04", 4);
    EXPECT_EQ(build(p), (std::vector<uint8_t>{0, 54, 6, 4, 0, 1, 2, 3, 4}));
    p.type = 129;
    p.length = 2;
    EXPECT_EQ(build(p), (std::vector<uint8_t>{0, 129, 2, 1, 2}));
    // Unknown types are refused with length 0.
    uint8_t buf[64];
    size_t n = 7;
    p.type = 9;
    EXPECT_EQ(prepare_trn_ipc_msg(&p, buf, &n), -1);
    EXPECT_EQ(n, 0u);
}

TEST(DipcBuilder, ElementWriteAndStringWriteGolden)
{
    DipcPacket w = {};
    w.peerId = DIPC_PEER_TABLES;
    w.type = 3;
    w.table = 13;
    w.element = 19;
    w.value = 0;
    EXPECT_EQ(build(w), (std::vector<uint8_t>{0xFC, 0x03, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0, 0, 0, 0}));
    w.value = 0x01020304;
    EXPECT_EQ(build(w), (std::vector<uint8_t>{0xFC, 0x03, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 4, 3, 2, 1}));

    DipcPacket s = {};
    s.peerId = DIPC_PEER_TABLES;
    s.type = 7;
    s.table = 47;
    s.element = 2;
    s.length = 8;
    memcpy(s.text, "ABCDEFGH", 8);
    EXPECT_EQ(build(s), (std::vector<uint8_t>{0xFC, 7, 47, 0, 0, 0, 2, 0, 0, 0, 8, 'A', 'B', 'C', 'D', 'E', 'F', 'G',
                                              'H'}));
}

TEST(DipcParser, ReplyRoundTripAndUnknownType)
{
    const uint8_t reply[] = {0xFC, 0x83, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0x0B, 0, 0, 0};
    DipcPacket p = {};
    ASSERT_EQ(parse_trn_ipc_msg(&p, reply, sizeof reply), 0);
    EXPECT_EQ(p.type, 131);
    EXPECT_EQ(p.table, 13u);
    EXPECT_EQ(p.element, 19u);
    EXPECT_EQ(p.value, 11u);
    const uint8_t bad[] = {0xFC, 9, 0};
    EXPECT_EQ(parse_trn_ipc_msg(&p, bad, sizeof bad), -1);
}

TEST_F(DipcNetTest, WriteReachesTheGroupWithItsHeader)
{
    int fd = init_nl_ch(getpid(), DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol);
    ASSERT_GT(fd, 0);
    setDisplaySocket(fd);
    int listener = openGroupListener();
    ASSERT_GE(listener, 0);
    ASSERT_EQ(writeDbElement(13 << 8 | 19, 0), 0);
    std::vector<uint8_t> m;
    ASSERT_TRUE(receiveMessage(listener, &m, 2000));
    ASSERT_EQ(m.size(), 30u);
    nlmsghdr h;
    memcpy(&h, m.data(), sizeof h);
    EXPECT_EQ(h.nlmsg_len, 30u);
    EXPECT_EQ(h.nlmsg_type, 3);
    EXPECT_EQ(h.nlmsg_flags, 1);
    EXPECT_EQ(h.nlmsg_seq, 0u);
    EXPECT_EQ(h.nlmsg_pid, static_cast<uint32_t>(getpid()));
    EXPECT_EQ(std::vector<uint8_t>(m.begin() + 16, m.end()),
              (std::vector<uint8_t>{0xFC, 0x03, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0, 0, 0, 0}));

    // A string shorter than the field leaves the rest 0.
    ASSERT_EQ(writeDbString(DIPC_PEER_TABLES, 47, 2, "AB", 2), 0);
    ASSERT_TRUE(receiveMessage(listener, &m, 2000));
    ASSERT_EQ(m.size(), 16u + 19u);
    EXPECT_EQ(std::vector<uint8_t>(m.begin() + 26, m.end()),
              (std::vector<uint8_t>{2, 'A', 'B', 0, 0, 0, 0, 0, 0}));
    close(listener);
}

TEST_F(DipcNetTest, TwoSlotsOnlyAndUnknownSocketRefused)
{
    int a = init_nl_ch(getpid(), DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol);
    int b = init_nl_ch(0, DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(init_nl_ch(0, DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol), -11);
    uint8_t byte = 0;
    EXPECT_EQ(send_msg_nl(9999, &byte, 1), -1);
    EXPECT_EQ(recv_msg_nl(9999, &byte, 1, nullptr), -11);
    EXPECT_NE(readSandboxFile("/var/log/messages").find("<3> ERR No netlink socket available \n"),
              std::string::npos);
}

TEST_F(DipcNetTest, AFailedBindIsANegativeErrorNeverADescriptor)
{
    int a = init_nl_ch(getpid(), DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol);
    ASSERT_GT(a, 0);
    // The same port twice.
    EXPECT_EQ(init_nl_ch(getpid(), DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol), -EADDRINUSE);
    // The slot stayed free for a working channel.
    EXPECT_GT(init_nl_ch(0, DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol), 0);
    EXPECT_NE(readSandboxFile("/var/log/messages").find("<3> ERR Address already in use\n"), std::string::npos);
}

TEST_F(DipcNetTest, RepliesToTheDisplaysPortAreDrainedEveryTurn)
{
    int fd = init_nl_ch(getpid(), DIPC_GROUP_DISPLAY, 0, kNetlinkProtocol);
    ASSERT_GT(fd, 0);
    setDisplaySocket(fd);
    int peer = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, kNetlinkProtocol);
    ASSERT_GE(peer, 0);
    struct sockaddr_nl to = {};
    to.nl_family = AF_NETLINK;
    to.nl_pid = static_cast<uint32_t>(getpid());
    // A reply as the daemon sends it: header and a 14-byte payload.
    uint8_t msg[30] = {};
    nlmsghdr h = {};
    h.nlmsg_len = sizeof msg;
    h.nlmsg_type = 3;
    memcpy(msg, &h, sizeof h);
    msg[16] = 0xFC;
    msg[17] = 0x83;
    int sent = 0, dropped = 0;
    for (int turn = 0; turn < 400; turn++) {
        for (int i = 0; i < 5; i++) {
            ASSERT_EQ(sendto(peer, msg, sizeof msg, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
                      static_cast<ssize_t>(sizeof msg))
                << "send " << sent << ": " << strerror(errno);
            sent++;
        }
        dropped += drainDisplaySocket();
    }
    EXPECT_EQ(sent, 2000);
    EXPECT_EQ(dropped, 2000);
    uint8_t buf[64];
    EXPECT_LT(recv(fd, buf, sizeof buf, MSG_DONTWAIT), 0);
    EXPECT_EQ(errno, EAGAIN);
    close(peer);
}
