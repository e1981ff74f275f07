// DCM channels, the request ring with its reply window and reply matching,
// on the virtual clock with a unit on a pseudo-terminal, and frames taken
// from a byte ring.
#include "links/dcm.h"
#include "links/netlink.h"

#include "core/base/ringBuf.h"
#include "platform/clock.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/netlink.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int64_t nowMs()
{
    struct timespec ts;
    clockGetTime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A unit on a UART: the test holds the pty master, the channel the slave,
// raw and without waiting.
struct PtyPeer {
    int master = -1;
    int slave = -1;

    PtyPeer()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_NONBLOCK);
        struct termios t;
        tcgetattr(slave, &t);
        cfmakeraw(&t);
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        tcsetattr(slave, TCSANOW, &t);
    }
    ~PtyPeer()
    {
        if (slave >= 0)
            close(slave);
        if (master >= 0)
            close(master);
    }
    // What the daemon wrote, waiting up to `waitMs` of real time for the
    // line discipline to pass it on.
    Bytes take(int waitMs = 1000)
    {
        Bytes got;
        struct pollfd p = {master, POLLIN, 0};
        while (poll(&p, 1, got.empty() ? waitMs : 20) == 1) {
            uint8_t buf[512];
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    }
    void answer(const Bytes& frame) { ASSERT_EQ(write(master, frame.data(), frame.size()), ssize_t(frame.size())); }
    // The slave side has the bytes once the line discipline has passed them.
    void waitReadable()
    {
        for (int i = 0; i < 1000; i++) {
            int n = 0;
            if (ioctl(slave, FIONREAD, &n) == 0 && n > 0)
                return;
            usleep(1000);
        }
    }
};

Bytes encode(DcmMsg m)
{
    DcmFrameBuf f;
    EXPECT_EQ(DMSG_FromMsgToFrame(&m, &f), 0);
    return Bytes(f.data, f.data + f.len);
}

// A reply of a unit: command 132 with one byte of the table read.
Bytes blockReply(uint8_t address, uint8_t table, uint8_t value)
{
    DcmMsg m = {};
    m.address = address;
    m.command = 132;
    m.accessType = DCM_TYPE_READ_BLOCK;
    DMSG_SetReadRequest(&m, DCM_SIZE_8, table, 1, 1, &value);
    m.state = DCM_STATE_READY;
    return encode(m);
}

// A list frame with one 4-byte value: 13 bytes or more.
Bytes listFrame(uint8_t address, uint32_t value, uint32_t mode = DCM_ADDR_1BYTE, uint32_t fullAddress = 0)
{
    DcmMsg m = {};
    m.addrMode = mode;
    m.address = mode == DCM_ADDR_4BYTE ? fullAddress : address;
    m.command = 3;
    m.accessType = DCM_TYPE_WRITE_LIST;
    DMSG_AddWriteElement(&m, DCM_SIZE_32, 7, 3, value);
    m.state = DCM_STATE_READY;
    return encode(m);
}

struct Reply {
    uint8_t slot;
    DcmMsg msg;
};
std::vector<Reply> replies;
int sentCalls;

int onReply(uint8_t slot, DcmMsg msg)
{
    replies.push_back({slot, msg});
    return 0;
}

void onSent()
{
    sentCalls++;
}

// A read request as the external-amplifier code fills one.
DcmRequest* queueRead(int channel, uint8_t expSlot, uint8_t address, uint32_t width, uint8_t table, uint8_t count)
{
    DcmRequest* r = DCM_NewRequest();
    DMSG_SetState(&r->msg, DCM_STATE_BUILDING);
    DMSG_SetAddrMode(&r->msg, DCM_ADDR_1BYTE);
    DMSG_SetDataLen(&r->msg, 3);
    DMSG_SetAddress(&r->msg, address);
    DMSG_SetCommand(&r->msg, 4);
    DMSG_SetType(&r->msg, DCM_TYPE_READ_BLOCK);
    DMSG_SetReadRequest(&r->msg, width, table, 1, count, nullptr);
    DMSG_SetState(&r->msg, DCM_STATE_READY);
    r->replyCb = onReply;
    r->sentCb = onSent;
    r->expSlot = expSlot;
    r->channel = static_cast<uint32_t>(channel);
    DCM_QueueRequest(r);
    return r;
}

class DcmTest : public SandboxTest {
protected:
    DcmTest() : SandboxTest(SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        for (int ch = 1; ch <= kDcmChannels; ch++)
            DCM_UnregisterChannel(ch);
        DCM_Init();
        replies.clear();
        sentCalls = 0;
        ASSERT_GE(pty.slave, 0);
        uart = DCM_RegisterChannel(pty.slave, DCM_CH_UART);
        ASSERT_EQ(uart, 1);
    }
    void TearDown() override
    {
        for (int ch = 1; ch <= kDcmChannels; ch++)
            DCM_UnregisterChannel(ch);
        SandboxTest::TearDown();
    }

    PtyPeer pty;
    int uart = 0;
};

TEST_F(DcmTest, SeventeenRequestsSendTheLastSixteenInTheirWindows)
{
    for (uint8_t i = 1; i <= 17; i++)
        queueRead(uart, 0, 5, DCM_SIZE_8, i, 1);
    EXPECT_EQ(DCM_PendingCount(), 16);

    std::vector<std::pair<int64_t, uint8_t>> sent; // time, table
    int64_t start = nowMs();
    int64_t replyAt = -1;
    uint8_t replyTable = 0;
    while (nowMs() - start < 16 * 400) {
        int before = sentCalls;
        DCM_ServiceQueue();
        if (sentCalls != before) {
            Bytes got = pty.take();
            // FE 05 04 count table ...
            ASSERT_GE(got.size(), 5u);
            sent.push_back({nowMs(), got[4]});
            replyAt = nowMs() + 50;
            replyTable = got[4];
        }
        if (replyAt >= 0 && nowMs() >= replyAt) {
            // The unit answers 50 ms after each request.
            pty.answer(blockReply(5, replyTable, replyTable));
            pty.waitReadable();
            uint8_t slot = 9;
            EXPECT_EQ(DCM_RecvReply(uart, &slot), 0);
            EXPECT_EQ(slot, 0);
            replyAt = -1;
        }
        clockAdvanceUs(10000);
    }
    ASSERT_EQ(sent.size(), 16u);
    for (size_t i = 0; i < sent.size(); i++) {
        EXPECT_EQ(sent[i].second, i + 2) << "request 1 was overwritten";
        if (i > 0) {
            EXPECT_GE(sent[i].first - sent[i - 1].first, 300);
        }
    }
    EXPECT_LT(sent[1].first - sent[0].first, 330);
    ASSERT_EQ(replies.size(), 16u);
    EXPECT_EQ(replies[15].msg.command, 132);
    EXPECT_EQ(replies[15].msg.block.data[0], 17);
    EXPECT_EQ(sentCalls, 16);
    EXPECT_EQ(DCM_PendingCount(), 0);
}

TEST_F(DcmTest, AmplifierRequestGoesOutAndItsReplyComesBack)
{
    // Table 3 of an amplifier: 26 16-bit elements from element 1.
    queueRead(uart, 2, 9, DCM_SIZE_16, 3, 26);
    ASSERT_EQ(DCM_ServiceQueue(), 0);
    Bytes req = pty.take();
    EXPECT_EQ(req, (Bytes{0xFE, 0x09, 0x04, 0x1A, 0x03, 0x06, 0xFC, 0x2A, 0xFD}));
    const DcmExpectation* e = DCM_GetExpectation(2);
    EXPECT_EQ(e->address, 9u);
    EXPECT_EQ(e->dataLen, 3);
    EXPECT_EQ(e->replyCb, onReply);

    // A 140 reply: the block read and the three status bytes.
    DcmMsg r = {};
    r.address = 9;
    r.command = 140;
    r.accessType = DCM_TYPE_READ_BLOCK;
    const uint8_t table2[3] = {0x04, 0x10, 0x00};
    DMSG_SetReadRequest(&r, DCM_SIZE_8, 2, 1, 3, table2);
    DMSG_SetDataLen(&r, 3);
    const uint8_t status[3] = {0x01, 0x02, 0x03};
    DMSG_SetDataBlock(&r, status);
    r.state = DCM_STATE_READY;
    pty.answer(encode(r));
    pty.waitReadable();
    uint8_t slot = 0;
    ASSERT_EQ(DCM_RecvReply(uart, &slot), 0);
    EXPECT_EQ(slot, 2);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].slot, 2);
    EXPECT_EQ(DMSG_FrameGetCommand(&replies[0].msg), 140);
    EXPECT_EQ(replies[0].msg.block.table, 2);
    EXPECT_EQ(memcmp(replies[0].msg.block.data, table2, 3), 0);
    EXPECT_EQ(memcmp(replies[0].msg.dataBlock, status, 3), 0);
}

TEST_F(DcmTest, FailedSendArmsNothing)
{
    int udp = DCM_RegisterChannel(77, DCM_CH_UDP);
    queueRead(udp, 0, 5, DCM_SIZE_8, 1, 1);
    queueRead(uart, 0, 5, DCM_SIZE_8, 2, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(DCM_ServiceQueue(), 9);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "DCM_Send - Unknown channel type 2 77 5\n");
    EXPECT_EQ(sentCalls, 0);
    // The next turn, with no time passed, sends the next request.
    EXPECT_EQ(DCM_ServiceQueue(), 0);
    Bytes got = pty.take();
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got[4], 2);
    EXPECT_EQ(DCM_PendingCount(), 0);
}

TEST_F(DcmTest, NotReadySlotIsCountedOff)
{
    DcmRequest* r = queueRead(uart, 0, 5, DCM_SIZE_8, 1, 1);
    r->msg.state = DCM_STATE_BUILDING;
    queueRead(uart, 0, 5, DCM_SIZE_8, 2, 1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(DCM_ServiceQueue(), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "DCM_SendReq: Message not ready\n");
    EXPECT_EQ(DCM_ServiceQueue(), 0);
    EXPECT_EQ(pty.take().at(4), 2);
    // Nothing stale goes out afterwards.
    for (int i = 0; i < 100; i++) {
        DCM_ServiceQueue();
        clockAdvanceUs(10000);
    }
    EXPECT_TRUE(pty.take(50).empty());
    EXPECT_EQ(DCM_PendingCount(), 0);
}

TEST_F(DcmTest, RepliesMatchTheLowestSlotAndNever255)
{
    queueRead(uart, 3, 7, DCM_SIZE_8, 1, 1);
    queueRead(uart, 1, 7, DCM_SIZE_8, 1, 1);
    queueRead(uart, 4, 255, DCM_SIZE_8, 1, 1);
    for (int i = 0; i < 3; i++) {
        DCM_ServiceQueue();
        clockAdvanceUs(310000);
        DCM_ServiceQueue();
    }
    pty.take();
    EXPECT_EQ(DCM_GetExpectation(4)->address, 255u);

    pty.answer(blockReply(7, 1, 0x33));
    pty.waitReadable();
    uint8_t slot = 0;
    ASSERT_EQ(DCM_RecvReply(uart, &slot), 0);
    EXPECT_EQ(slot, 1);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].slot, 1);

    pty.answer(blockReply(255, 1, 0x33));
    pty.waitReadable();
    ASSERT_EQ(DCM_RecvReply(uart, &slot), 0);
    EXPECT_EQ(slot, 0xFF);
    EXPECT_EQ(replies.size(), 1u);
}

TEST_F(DcmTest, DecodeFailureIsLoggedAndNothingCalled)
{
    queueRead(uart, 0, 5, DCM_SIZE_8, 1, 1);
    DCM_ServiceQueue();
    pty.take();
    Bytes bad = blockReply(5, 1, 0x44);
    bad[bad.size() - 2]++;
    pty.answer(bad);
    pty.waitReadable();
    uint8_t slot = 9;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DCM_RecvReply(uart, &slot), 17);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "DCM_RecvReply \n\t DMSG_FromFrameToMsg failed\n");
    EXPECT_TRUE(replies.empty());
    std::string log = readSandboxFile("/usr/share/VRL/log/internalDebugLast.log");
    EXPECT_NE(log.find(": DCM_RecvReply -- DMSG_FromFrameToMsg failed error 17\nFrame received = "), std::string::npos)
        << log;
    char hex[3];
    std::string frameHex;
    for (uint8_t b : bad) {
        snprintf(hex, sizeof hex, "%.2x", b);
        frameHex += hex;
    }
    EXPECT_NE(log.find("Frame received = " + frameHex + "\n"), std::string::npos) << log;

    // Nothing waiting: the receive fails.
    testing::internal::CaptureStderr();
    EXPECT_EQ(DCM_RecvReply(uart, &slot), 9);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "DCM_RecvReply \n\t dcm_raw_recv failed\n");
}

TEST_F(DcmTest, ResponderTakesFramesForItsOwnAddress)
{
    DcmMsg m = {};
    // One-byte mode: the byte after the start byte.
    pty.answer(listFrame(0x21, 0xFDFEFCAA));
    pty.waitReadable();
    ASSERT_EQ(DCM_RecvMsg(uart, DCM_ADDR_1BYTE, 0x121, &m), 0);
    EXPECT_EQ(m.list[0].value, 0xFDFEFCAAu);
    pty.answer(listFrame(0x22, 1));
    pty.waitReadable();
    EXPECT_EQ(DCM_RecvMsg(uart, DCM_ADDR_1BYTE, 0x21, &m), 9);
    pty.answer(listFrame(0x00, 1));
    pty.waitReadable();
    EXPECT_EQ(DCM_RecvMsg(uart, DCM_ADDR_1BYTE, 0x00, &m), 9);
    // Four-byte mode: the third address byte, frame byte 3.
    pty.answer(listFrame(0, 5, DCM_ADDR_4BYTE, 0x0A0B2144));
    pty.waitReadable();
    ASSERT_EQ(DCM_RecvMsg(uart, DCM_ADDR_4BYTE, 0x21, &m), 0);
    EXPECT_EQ(m.address, 0x0A0B2144u);
    pty.answer(listFrame(0, 5, DCM_ADDR_4BYTE, 0x0A0B2144));
    pty.waitReadable();
    EXPECT_EQ(DCM_RecvMsg(uart, DCM_ADDR_4BYTE, 0x44, &m), 9);
}

TEST_F(DcmTest, LongFramesOverAStreamChannel)
{
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
    int tcp = DCM_RegisterChannel(sv[0], DCM_CH_TCP);
    ASSERT_EQ(tcp, 2);
    DcmMsg m = {};
    m.address = 0x30;
    m.command = 132;
    m.accessType = DCM_TYPE_READ_BLOCK;
    uint8_t data[252];
    for (int i = 0; i < 252; i++)
        data[i] = static_cast<uint8_t>(i);
    DMSG_SetReadRequest(&m, DCM_SIZE_32, 4, 1, 63, data);
    m.state = DCM_STATE_READY;
    ASSERT_EQ(DCM_Send(tcp, &m), 0);
    uint8_t wire[400];
    ssize_t n = recv(sv[1], wire, sizeof wire, 0);
    ASSERT_GT(n, 255);
    EXPECT_EQ(Bytes(wire, wire + n), encode(m));

    // Back the other way, raw and decoded.
    ASSERT_EQ(send(sv[1], wire, static_cast<size_t>(n), 0), n);
    DcmMsg back = {};
    ASSERT_EQ(DCM_RecvMsg(tcp, DCM_ADDR_1BYTE, 0x30, &back), 0);
    EXPECT_EQ(memcmp(back.block.data, data, 252), 0);
    ASSERT_EQ(DCM_GenSend(tcp, wire, static_cast<int>(n)), 0);
    ASSERT_EQ(recv(sv[1], wire, sizeof wire, 0), n);
    ASSERT_EQ(send(sv[1], wire, 10, 0), 10);
    uint8_t raw[8];
    int len = sizeof raw;
    ASSERT_EQ(DCM_RecvRaw(tcp, raw, &len), 0);
    EXPECT_EQ(len, 8);
    EXPECT_EQ(memcmp(raw, wire, 8), 0);
    len = 0;
    EXPECT_EQ(DCM_RecvRaw(tcp, raw, &len), 9);

    // A message that does not encode is 9, and the buffer is free again.
    m.command = 1;
    EXPECT_EQ(DCM_Send(tcp, &m), 9);
    m.command = 132;
    EXPECT_EQ(DCM_Send(tcp, &m), 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(DCM_ShutdownSocketChannel(1, tcp - 1, SHUT_RDWR), tcp);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(DCM_IsChannelRegistered(tcp), 0);
    close(sv[1]);
}

TEST_F(DcmTest, ChannelTable)
{
    testing::internal::CaptureStdout();
    for (int ch = 2; ch <= 6; ch++)
        EXPECT_EQ(DCM_RegisterChannel(100 + ch, DCM_CH_NETLINK), ch);
    EXPECT_EQ(DCM_RegisterChannel(200, DCM_CH_UDP), 0);
    EXPECT_EQ(DCM_ReRegisterChannel(3, 300, DCM_CH_UDP), -1);
    DCM_UnregisterChannel(3);
    DCM_UnregisterChannel(7);
    EXPECT_EQ(DCM_ReRegisterChannel(3, 300, DCM_CH_UART), 3);
    EXPECT_EQ(DCM_IsChannelRegistered(3), 1);
    EXPECT_EQ(DCM_CloseChannel(3, 301, DCM_CH_UART), -1);
    EXPECT_EQ(DCM_CloseChannel(3, 300, DCM_CH_TCP), -1);
    // A serial channel is not closed here, only forgotten.
    EXPECT_EQ(DCM_CloseChannel(3, 300, DCM_CH_UART), 3);
    EXPECT_EQ(DCM_IsChannelRegistered(3), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("\n__FUNCTION__\n__LINE__ NOT COVERED / TESTED\n\n"), std::string::npos);
    EXPECT_NE(out.find("\n\n[COM] #3 (i:2) is Registered=1  \n\n"), std::string::npos);

    // A socket is closed; a close that fails is returned and keeps the entry.
    int sv[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM, 0, sv), 0);
    EXPECT_EQ(DCM_ReRegisterChannel(3, sv[0], DCM_CH_UDP), 3);
    EXPECT_EQ(DCM_CloseChannel(3, sv[0], DCM_CH_UDP), 3);
    EXPECT_EQ(fcntl(sv[0], F_GETFD), -1);
    close(sv[1]);
    const int dead = 999999; // never open
    EXPECT_EQ(DCM_ReRegisterChannel(3, dead, DCM_CH_TCP), 3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(DCM_CloseChannel(3, dead, DCM_CH_TCP), -1);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("close"), std::string::npos);
    EXPECT_EQ(DCM_ReRegisterChannel(3, 1, DCM_CH_TCP), -1);
}

TEST_F(DcmTest, NetlinkChannelCarriesTheFrame)
{
    // A peer on its own netlink port sends a frame first: the channel answers
    // the last sender.
    uint32_t own = static_cast<uint32_t>(getpid()) | 0x100000u;
    uint32_t peerPort = static_cast<uint32_t>(getpid()) | 0x200000u;
    int fd = init_nl_ch(own, 0, 0, 16);
    ASSERT_GT(fd, 0);
    int peer = socket(AF_NETLINK, SOCK_DGRAM, 16);
    ASSERT_GE(peer, 0);
    sockaddr_nl pa = {};
    pa.nl_family = AF_NETLINK;
    pa.nl_pid = peerPort;
    ASSERT_EQ(bind(peer, reinterpret_cast<sockaddr*>(&pa), sizeof pa), 0);
    int nl = DCM_RegisterChannel(fd, DCM_CH_NETLINK);
    const uint8_t frame[] = {0xFE, 0x03, 0x80, 0xFC, 0x7D, 0xFD};
    uint8_t msg[64] = {};
    nlmsghdr* h = reinterpret_cast<nlmsghdr*>(msg);
    h->nlmsg_len = NLMSG_HDRLEN + sizeof frame;
    h->nlmsg_type = 3;
    h->nlmsg_pid = peerPort;
    memcpy(msg + NLMSG_HDRLEN, frame, sizeof frame);
    sockaddr_nl to = {};
    to.nl_family = AF_NETLINK;
    to.nl_pid = own;
    ASSERT_EQ(sendto(peer, msg, h->nlmsg_len, 0, reinterpret_cast<sockaddr*>(&to), sizeof to),
              static_cast<ssize_t>(h->nlmsg_len));
    DcmMsg back = {};
    EXPECT_EQ(DCM_RecvMsg(nl, DCM_ADDR_1BYTE, 3, &back), 0);
    EXPECT_EQ(back.command, 128);
    DcmMsg m = {};
    m.address = 3;
    m.command = 128;
    m.state = DCM_STATE_READY;
    ASSERT_EQ(DCM_Send(nl, &m), 0);
    uint8_t buf[64];
    ssize_t n = recv(peer, buf, sizeof buf, 0);
    ASSERT_EQ(n, static_cast<ssize_t>(NLMSG_HDRLEN + sizeof frame));
    EXPECT_EQ(Bytes(buf + NLMSG_HDRLEN, buf + n), Bytes(frame, frame + sizeof frame));
    close(peer);
    closeNetlinkChannels();
}

// Frames taken from a byte ring, as a serial reader fills it.
class DcmRingTest : public DcmTest {
protected:
    void SetUp() override
    {
        DcmTest::SetUp();
        RingBuf_Init(&ring, storage, sizeof storage);
    }
    void put(const Bytes& b) { ASSERT_EQ(RingBuf_Write(&ring, b.data(), static_cast<uint32_t>(b.size())), b.size()); }
    // Decodes every frame the ring holds now.
    std::vector<uint32_t> drain(uint8_t own = 0x21)
    {
        std::vector<uint32_t> values;
        DcmMsg m;
        for (int i = 0; i < 20; i++) {
            if (DCM_RecvMsgFromRing(uart, DCM_ADDR_1BYTE, own, &m, &ring) == 0)
                values.push_back(m.list[0].value);
        }
        return values;
    }

    uint8_t storage[1024];
    RingBuf ring;
};

TEST_F(DcmRingTest, FramesArriveInPieces)
{
    Bytes a = listFrame(0x21, 0x11111111);
    Bytes b = listFrame(0x21, 0x22222222);
    ASSERT_GE(a.size(), 12u);

    // Two chunks.
    put(Bytes(a.begin(), a.begin() + 7));
    EXPECT_TRUE(drain().empty());
    put(Bytes(a.begin() + 7, a.end()));
    EXPECT_EQ(drain(), (std::vector<uint32_t>{0x11111111}));

    // Byte by byte.
    std::vector<uint32_t> got;
    for (uint8_t byte : b) {
        put({byte});
        for (uint32_t v : drain())
            got.push_back(v);
    }
    EXPECT_EQ(got, (std::vector<uint32_t>{0x22222222}));

    // Behind stray bytes, and two frames in one chunk.
    Bytes chunk{0x00, 0x13, 0xFD, 0xFC};
    for (const Bytes* f : {&a, &b})
        for (uint8_t byte : *f)
            chunk.push_back(byte);
    put(chunk);
    EXPECT_EQ(drain(), (std::vector<uint32_t>{0x11111111, 0x22222222}));
    EXPECT_EQ(RingBuf_Used(&ring), 0u);
}

TEST_F(DcmRingTest, EscapedEndBytesStayInTheFrame)
{
    // A value of 0xFD bytes, and a checksum that is 0xFD, do not end it.
    put(listFrame(0x21, 0xFDFDFDFD));
    EXPECT_EQ(drain(), (std::vector<uint32_t>{0xFDFDFDFD}));
    for (uint32_t v = 0; v < 256; v++) {
        Bytes g = listFrame(0x21, v);
        if (g[g.size() - 2] != 0xFD)
            continue;
        put(g);
        EXPECT_EQ(drain(), (std::vector<uint32_t>{v}));
        return;
    }
    FAIL() << "no frame with checksum 0xFD";
}

TEST_F(DcmRingTest, NoiseShortRingsAndAddresses)
{
    // 384 bytes from a start byte without an end are dropped.
    Bytes noise(400, 0x55);
    noise[0] = 0xFE;
    put(noise);
    DcmMsg m;
    EXPECT_EQ(DCM_RecvMsgFromRing(uart, DCM_ADDR_1BYTE, 0x21, &m, &ring), 9);
    EXPECT_EQ(RingBuf_Used(&ring), 16u);
    EXPECT_EQ(DCM_RecvMsgFromRing(uart, DCM_ADDR_1BYTE, 0x21, &m, &ring), 9);
    EXPECT_EQ(RingBuf_Used(&ring), 0u);

    // Fewer than 12 bytes are left for later, a frame included.
    Bytes small = {0xFE, 0x21, 0x80, 0xFC, 0x9B, 0xFD};
    put(small);
    EXPECT_EQ(DCM_RecvMsgFromRing(uart, DCM_ADDR_1BYTE, 0x21, &m, &ring), 9);
    EXPECT_EQ(RingBuf_Used(&ring), small.size());
    RingBuf_Read(&ring, storage, sizeof storage);

    // 143 comes from any sender; another unit's frame is consumed unread.
    put(listFrame(0x8F, 0x8F));
    put(listFrame(0x22, 0x22));
    put(listFrame(0x21, 0x21));
    EXPECT_EQ(drain(), (std::vector<uint32_t>{0x8F, 0x21}));
}

} // namespace
