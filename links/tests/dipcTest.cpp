// Netlink channels and DIPC packets: the packet layouts both ways, the
// channel table, addressing of replies, and what a peer cannot do to the
// channel (never read, send empty or cut datagrams).
#include "links/dipc.h"

#include "links/netlink.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class DipcTest : public SandboxTest {
protected:
    DipcTest() : SandboxTest(SANDBOX_LOGS) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        // Its own network namespace, so that no other program's netlink
        // groups or ports meet this test's.
        if (unshare(CLONE_NEWNET) != 0)
            GTEST_SKIP() << "no network namespace";
    }

    void TearDown() override
    {
        closeNetlinkChannels();
        for (int fd : peers)
            close(fd);
        SandboxTest::TearDown();
    }

    // A plain netlink socket of protocol 16 on port `port`.
    int peer(uint32_t port, uint32_t groups = 0)
    {
        int fd = socket(AF_NETLINK, SOCK_DGRAM, 16);
        EXPECT_GE(fd, 0);
        sockaddr_nl a = {};
        a.nl_family = AF_NETLINK;
        a.nl_pid = port;
        a.nl_groups = groups;
        EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        peers.push_back(fd);
        return fd;
    }

    // Sends `payload` behind a netlink header from `fd` to port `to`.
    static void sendRaw(int fd, uint32_t from, uint32_t to, const Bytes& payload, size_t headerBytes = NLMSG_HDRLEN)
    {
        Bytes msg(NLMSG_HDRLEN + payload.size());
        nlmsghdr* h = reinterpret_cast<nlmsghdr*>(msg.data());
        h->nlmsg_len = static_cast<uint32_t>(msg.size());
        h->nlmsg_type = 3;
        h->nlmsg_pid = from;
        std::copy(payload.begin(), payload.end(), msg.begin() + NLMSG_HDRLEN);
        msg.resize(headerBytes < NLMSG_HDRLEN ? headerBytes : msg.size());
        sockaddr_nl a = {};
        a.nl_family = AF_NETLINK;
        a.nl_pid = to;
        ASSERT_EQ(sendto(fd, msg.data(), msg.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
                  static_cast<ssize_t>(msg.size()));
    }

    // One message received by a plain socket: header and payload.
    static Bytes recvRaw(int fd, nlmsghdr* header = nullptr)
    {
        uint8_t buf[1024];
        ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < static_cast<ssize_t>(NLMSG_HDRLEN))
            return {};
        if (header)
            memcpy(header, buf, NLMSG_HDRLEN);
        return Bytes(buf + NLMSG_HDRLEN, buf + n);
    }

    std::vector<int> peers;
};

Bytes serialise(const DipcPacket& p)
{
    uint8_t buf[DIPC_MAX_BYTES];
    int n = -5;
    if (prepare_trn_ipc_msg(&p, buf, &n) != 0) {
        EXPECT_EQ(n, 0);
        return {};
    }
    return Bytes(buf, buf + n);
}

Bytes text32(const char* s)
{
    Bytes b(32, 0);
    memcpy(b.data(), s, strlen(s));
    return b;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The packet table: each layout serialised from its fields, and parsed back
// into the same fields.
TEST(DipcPacketTest, EveryLayoutBothWays)
{
    struct Case {
        const char* name;
        DipcPacket p;
        Bytes wire;
    };
    std::vector<Case> cases;
    auto pk = [](uint8_t type, uint32_t table, uint32_t element, uint32_t value) {
        DipcPacket p;
        p.peerId = 252;
        p.type = type;
        p.table = table;
        p.element = element;
        p.value = value;
        return p;
    };
    cases.push_back({"hello", pk(1, 0, 0, 0), {0xFC, 0x01, 0x00}});
    cases.push_back({"read", pk(2, 9, 20, 0), {0xFC, 0x02, 9, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
    cases.push_back({"read 34", pk(34, 9, 20, 0), {0xFC, 34, 9, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}});
    cases.push_back({"write", pk(3, 13, 19, 1), {0xFC, 0x03, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0x01, 0, 0, 0}});
    cases.push_back({"write reply", pk(131, 13, 19, 11), {0xFC, 0x83, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 11, 0, 0, 0}});
    for (uint8_t t : {4, 35, 50, 51, 130, 132})
        cases.push_back({"value", pk(t, 0x01020304, 0x0A0B0C0D, 0xDEADBEEF),
                         {0xFC, t, 4, 3, 2, 1, 0x0D, 0x0C, 0x0B, 0x0A, 0xEF, 0xBE, 0xAD, 0xDE}});
    DipcPacket byte = pk(5, 20, 1, 0);
    byte.length = 1;
    cases.push_back({"write byte", byte, cat({{0xFC, 5, 20, 0, 0, 0, 1, 0, 0, 0, 1}, Bytes(32, 0)})});
    DipcPacket table = pk(6, 9, 0, 0);
    cases.push_back({"read table", table, {0xFC, 6, 9}});
    for (uint8_t t : {7, 133, 135}) {
        DipcPacket s = pk(t, 21, 56, 0);
        s.length = 3;
        memcpy(s.text, "abc", 3);
        cases.push_back({"string", s, cat({{0xFC, t, 21, 0, 0, 0, 56, 0, 0, 0, 3}, text32("abc")})});
    }
    DipcPacket data = pk(134, 9, 0, 0);
    data.dataLength = 3;
    memcpy(data.data, "\x01\x02\x03", 3);
    cases.push_back({"table data", data, {0xFC, 134, 9, 3, 0, 1, 2, 3}});
    DipcPacket raw = pk(129, 0, 0, 0);
    raw.length = 2;
    raw.dataLength = 2;
    raw.data[0] = 7;
    raw.data[1] = 8;
    cases.push_back({"raw", raw, {0xFC, 129, 2, 7, 8}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(serialise(c.p), c.wire);
        DipcPacket back;
        ASSERT_EQ(parse_trn_ipc_msg(&back, c.wire.data(), static_cast<int>(c.wire.size())), 0);
        EXPECT_EQ(serialise(back), c.wire);
        EXPECT_EQ(back.type, c.p.type);
        EXPECT_EQ(back.table, c.p.table);
        EXPECT_EQ(back.element, c.p.element);
        EXPECT_EQ(back.value, c.p.value);
    }
    // Type 54 is only sent, type 38 only received; type 9 neither.
    DipcPacket up = pk(54, 9, 0, 0);
    up.dataLength = 2;
    EXPECT_EQ(serialise(up), (Bytes{0xFC, 54, 9, 2, 0, 0, 0}));
    uint8_t wire54[] = {0xFC, 54, 9, 2, 0, 0, 0};
    DipcPacket p;
    EXPECT_EQ(parse_trn_ipc_msg(&p, wire54, sizeof wire54), -1);
    uint8_t wire38[18] = {0xFC, 38, 9, 0, 0, 0, 20};
    EXPECT_EQ(parse_trn_ipc_msg(&p, wire38, sizeof wire38), 0);
    EXPECT_EQ(p.element, 20u);
    EXPECT_TRUE(serialise(pk(38, 9, 20, 0)).empty());
    uint8_t wire9[14] = {0xFC, 9};
    EXPECT_EQ(parse_trn_ipc_msg(&p, wire9, sizeof wire9), -1);
    EXPECT_TRUE(serialise(pk(9, 1, 1, 1)).empty());
}

TEST(DipcPacketTest, DataLengthsBeyondTheAreaOrTheDatagramAreRefused)
{
    uint8_t buf[512] = {0xFC, 134, 9, 0x41, 0x01}; // 321 bytes
    DipcPacket p;
    EXPECT_EQ(parse_trn_ipc_msg(&p, buf, 5 + 321), -1);
    buf[3] = 0x40; // 320 bytes, but only 100 arrived
    EXPECT_EQ(parse_trn_ipc_msg(&p, buf, 100), -1);
    EXPECT_EQ(parse_trn_ipc_msg(&p, buf, 5 + 320), 0);
    EXPECT_EQ(p.dataLength, 320);
    uint8_t raw[512] = {0xFC, 129, 200};
    EXPECT_EQ(parse_trn_ipc_msg(&p, raw, 50), -1);
    EXPECT_EQ(parse_trn_ipc_msg(&p, raw, 203), 0);
    DipcPacket big;
    big.type = 134;
    big.dataLength = 321;
    EXPECT_TRUE(serialise(big).empty());
    big.type = 129;
    big.dataLength = 256;
    EXPECT_TRUE(serialise(big).empty());
}

TEST_F(DipcTest, AFourthChannelAndUnknownDescriptorsAreRefused)
{
    uint32_t base = static_cast<uint32_t>(getpid()) << 4;
    for (uint32_t i = 0; i < 3; i++)
        EXPECT_GT(init_nl_ch(base + i, 0, 0, 16), 0);
    EXPECT_EQ(init_nl_ch(base + 3, 0, 0, 16), -11);
    EXPECT_EQ(count(book(), "No netlink socket available"), 1u);
    uint8_t buf[8];
    uint32_t groups;
    EXPECT_EQ(recv_msg_nl(0, buf, sizeof buf, &groups), -11);
    EXPECT_EQ(send_msg_nl(12345, buf, 1), -11);
    EXPECT_EQ(count(book(), "Netlink socket not found"), 2u);
    closeNetlinkChannels();
    // A port that is taken fails the bind with its error, negated.
    int other = peer(base + 7);
    (void)other;
    EXPECT_EQ(init_nl_ch(base + 7, 0, 0, 16), -EADDRINUSE);
    EXPECT_NE(book().find("init_nl_ch() [bind] -- "), std::string::npos);
}

TEST_F(DipcTest, RepliesGoToTheLastSenderWithItsPortAsSenderId)
{
    int fd = init_nl_ch(0x20001, 0x56, 1, 16);
    ASSERT_GT(fd, 0);
    int display = peer(0x1234, 0x40);
    sendRaw(display, 0x1234, 0x20001, {0xFC, 0x03, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0x01, 0, 0, 0});
    DipcPacket req;
    ASSERT_EQ(DIPC_Recv(fd, &req), 0);
    EXPECT_EQ(req.type, 3);
    EXPECT_EQ(req.table, 13u);
    EXPECT_EQ(req.element, 19u);
    EXPECT_EQ(req.value, 1u);
    DipcPacket reply = req;
    reply.type = 131;
    reply.value = 0;
    ASSERT_EQ(DIPC_Send(fd, &reply), 0);
    nlmsghdr h = {};
    EXPECT_EQ(recvRaw(display, &h), (Bytes{0xFC, 0x83, 0x0D, 0, 0, 0, 0x13, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(h.nlmsg_len, 30u);
    EXPECT_EQ(h.nlmsg_type, 3);
    EXPECT_EQ(h.nlmsg_pid, 0x1234u);
}

TEST_F(DipcTest, EmptyAndCutDatagramsAreNothingAndTheChannelStays)
{
    int fd = init_nl_ch(0x20002, 0, 1, 16);
    ASSERT_GT(fd, 0);
    int p = peer(0x2222);
    DipcPacket req;
    EXPECT_EQ(DIPC_Recv(fd, &req), 9); // nothing waiting: no wait either
    // A zero-length datagram, where the kernel lets one through.
    sockaddr_nl a = {};
    a.nl_family = AF_NETLINK;
    a.nl_pid = 0x20002;
    if (sendto(p, "", 0, 0, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        EXPECT_EQ(DIPC_Recv(fd, &req), 9);
    }
    sendRaw(p, 0x2222, 0x20002, {}, 7); // shorter than its header
    EXPECT_EQ(DIPC_Recv(fd, &req), 9);
    // The display's string write: 19 bytes, an 8-byte text.
    sendRaw(p, 0x2222, 0x20002, {0xFC, 7, 21, 0, 0, 0, 56, 0, 0, 0, 8, 1, 2, 3, 4, 5, 6, 7, 8});
    ASSERT_EQ(DIPC_Recv(fd, &req), 0);
    EXPECT_EQ(req.length, 8);
    EXPECT_EQ(Bytes(req.text, req.text + 32), cat({{1, 2, 3, 4, 5, 6, 7, 8}, Bytes(24, 0)}));
    EXPECT_EQ(book().find("shutdown"), std::string::npos);
}

TEST_F(DipcTest, APeerThatNeverReadsCannotHoldTheSender)
{
    int fd = init_nl_ch(0x20003, 0, 1, 16);
    ASSERT_GT(fd, 0);
    int mute = peer(0x3333);
    int small = 4096;
    ASSERT_EQ(setsockopt(mute, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    sendRaw(mute, 0x3333, 0x20003, {0xFC, 0x01, 0x00});
    DipcPacket req;
    ASSERT_EQ(DIPC_Recv(fd, &req), 0);
    DipcPacket reply;
    reply.peerId = 0xFC;
    reply.type = 131;
    int sent = 0;
    int dropped = 0;
    for (int i = 0; i < 2000; i++)
        (DIPC_Send(fd, &reply) == 0 ? sent : dropped)++;
    EXPECT_GT(sent, 0);
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(count(book(), "send_msg_nl() [sendmsg] -- "), static_cast<size_t>(dropped));
    // The channel still answers a peer that reads.
    int reader = peer(0x4444);
    sendRaw(reader, 0x4444, 0x20003, {0xFC, 0x01, 0x00});
    ASSERT_EQ(DIPC_Recv(fd, &req), 0);
    ASSERT_EQ(DIPC_Send(fd, &reply), 0);
    EXPECT_EQ(recvRaw(reader).size(), 14u);
}

} // namespace

// The IPC channel's request handler, driven one poll turn at a time.
#include "comtab/dbPool.h"
#include "links/comChannels.h"

namespace {

class IpcChannelTest : public DipcTest {
protected:
    IpcChannelTest() { options |= SANDBOX_DBPOOL; }
    void TearDown() override
    {
        COM_ResetChannelsForTest();
        DipcTest::TearDown();
    }
};

TEST_F(IpcChannelTest, StringWritesAreAnsweredInTheLengthByteAndTableReadsNotAtAll)
{
    COM_OpenIpcChannel();
    ASSERT_GT(COM_IpcDescriptor(), 0);
    uint32_t daemonPort = static_cast<uint32_t>(getpid()) | 0x20000u;
    int display = peer(0x5555);
    Bytes text(32, 0);
    text[0] = 1;
    text[1] = 2;
    sendRaw(display, 0x5555, daemonPort, cat({{0xFC, 7, 21, 0, 0, 0, 56, 0, 0, 0, 2}, text}));
    COM_PollChannels();
    EXPECT_EQ(recvRaw(display), cat({{0xFC, 0x87, 21, 0, 0, 0, 56, 0, 0, 0, 0}, Bytes(32, 0)}));
    EXPECT_EQ(*getDbAreaCell(21, 56), 0x0001ffffu);
    // A block to a table without blocks: result 1 in the length byte.
    sendRaw(display, 0x5555, daemonPort, cat({{0xFC, 7, 9, 0, 0, 0, 1, 0, 0, 0, 200}, text}));
    COM_PollChannels();
    EXPECT_EQ(recvRaw(display), cat({{0xFC, 0x87, 9, 0, 0, 0, 1, 0, 0, 0, 1}, Bytes(32, 0)}));
    EXPECT_EQ(count(book(), "WRITE_STRING : ERRORE 1"), 1u);
    sendRaw(display, 0x5555, daemonPort, {0xFC, 6, 9});
    COM_PollChannels();
    EXPECT_TRUE(recvRaw(display).empty());
    EXPECT_EQ(count(book(), "READ TABLE Operation not allowed"), 1u);
    // Nothing waiting: the turn does not wait either.
    COM_PollChannels();
    EXPECT_TRUE(recvRaw(display).empty());
}

} // namespace

namespace {

TEST_F(IpcChannelTest, AnIpcChannelThatCannotBeOpenedEndsTheProcess)
{
    uint32_t base = static_cast<uint32_t>(getpid()) << 4;
    for (uint32_t i = 0; i < 3; i++)
        ASSERT_GT(init_nl_ch(base + i, 0, 0, 16), 0);
    EXPECT_EXIT(COM_OpenIpcChannel(), testing::ExitedWithCode(1), "");
    EXPECT_EQ(count(book(), "Cannot open IPC netlink channel"), 1u);
}

} // namespace
