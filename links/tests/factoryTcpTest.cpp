// The factory request path: frames through the state machine, the read and
// write commands on the identity over the simulated EEPROM, the reply frame.
#include "links/factoryTcp.h"

#include "Config/keys/networkKeys.h"
#include "Config/keys/unitKeys.h"
#include "hw/tests/boardFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

bool special(uint8_t b)
{
    return b == 0xFE || b == 0xFC || b == 0xFD || (b >= 0x64 && b <= 0x69);
}

// A request frame built here independently of the server's code.
Bytes request(uint8_t addr, uint8_t peer, uint8_t cmd, const Bytes& data, int checksumDelta = 0)
{
    Bytes f = {0xFE, 0x00, 0x00, addr, peer, cmd};
    for (uint8_t b : data) {
        if (special(b))
            f.push_back(0xFC);
        f.push_back(b);
    }
    f.push_back(0xFC);
    unsigned sum = 0;
    for (size_t i = 0; i < f.size(); i++)
        if (!(addr == 0xF0 && i == 4))
            sum += f[i];
    f.push_back(static_cast<uint8_t>(sum + checksumDelta));
    f.push_back(0xFD);
    return f;
}

struct Taken {
    int complete = 0;
    uint8_t peer = 0, command = 0;
    uint8_t data[FTS_DATA_MAX] = {};
    int len = 0, broadcast = 0;
};

Taken feed(const Bytes& f)
{
    FTS_ResetReceiver();
    Taken t;
    for (uint8_t b : f)
        if (FTS_RecvByte(b, 88, &t.peer, &t.command, t.data, &t.len, &t.broadcast)) {
            t.complete = 1;
            break;
        }
    return t;
}

// Runs a frame as the server does: the reply (length byte and frame), empty
// when none is due.
Bytes serve(const Bytes& f)
{
    Taken t = feed(f);
    if (!t.complete)
        return {};
    uint8_t reply[FTS_REPLY_MAX] = {}, out[FTS_REPLY_MAX] = {};
    int replyLen = 0;
    uint8_t cmd = t.command;
    if (!FTS_ExecuteCommand(t.data, t.len, reply, &replyLen, &cmd))
        return {};
    if (!FTS_BuildReply(t.broadcast ? 0xF0 : 88, t.peer, cmd, reply, replyLen, out))
        return {};
    return Bytes(out, out + out[0] + 1);
}

Bytes writeList(uint8_t table, uint8_t element, const Bytes& values)
{
    Bytes d = {static_cast<uint8_t>(values.size())};
    for (uint8_t v : values) {
        d.push_back(table);
        d.push_back(static_cast<uint8_t>(element * 4 + 1));
        d.push_back(v);
    }
    return d;
}

class FactoryTcp : public BoardFixture {
protected:
    static std::string serial()
    {
        uint8_t s[12];
        getSerialNumber(s);
        return std::string(reinterpret_cast<char*>(s), 12);
    }
};

TEST(FactoryFrames, ReplyFrameGolden)
{
    const uint8_t data[] = {0x00, 0x01};
    uint8_t out[FTS_REPLY_MAX] = {};
    ASSERT_EQ(FTS_BuildReply(88, 0x50, 0x8B, data, 2, out), 1);
    const Bytes want = {11, 0xFE, 0x00, 0x00, 0x58, 0x50, 0x8B, 0x00, 0x01, 0xFC,
                        static_cast<uint8_t>(0xFE + 0x58 + 0x50 + 0x8B + 0x01 + 0xFC), 0xFD};
    EXPECT_EQ(Bytes(out, out + 12), want);
    EXPECT_EQ(FTS_BuildReply(88, 0x50, 1, data, 2, out), 0);
    uint8_t big[FTS_REPLY_MAX] = {};
    EXPECT_EQ(FTS_BuildReply(88, 0x50, 0x8C, big, 246, out), 1);
    EXPECT_EQ(out[0], 255);
    EXPECT_EQ(FTS_BuildReply(88, 0x50, 0x8C, big, 247, out), 0);
}

TEST(FactoryFrames, StateMachineTakesOnlyWholeCheckedFrames)
{
    const Bytes data = {6, 2, 13 * 4 + 1, 0x65, 0xFE};
    Taken t = feed(request(88, 0x50, 4, data));
    ASSERT_EQ(t.complete, 1);
    EXPECT_EQ(Bytes(t.data, t.data + t.len), data); // escapes taken out
    EXPECT_EQ(t.peer, 0x50);
    EXPECT_EQ(t.broadcast, 0);

    Taken b = feed(request(0xF0, 0x53 - 1, 4, data));
    EXPECT_EQ(b.complete, 1);
    EXPECT_EQ(b.broadcast, 1);

    const struct {
        const char* what;
        Bytes frame;
    } dropped[] = {
        {"checksum", request(88, 0x50, 4, data, 1)},
        {"peer 0x53", request(88, 0x53, 4, data)},
        {"command 1", request(88, 0x50, 1, data)},
        {"other unit", request(89, 0x50, 4, data)},
        {"cut", Bytes{0xFE, 0x00, 0x00, 88, 0x50, 4, 6, 2}},
        {"overlong", request(88, 0x50, 4, Bytes(FTS_DATA_MAX + 5, 0x11))},
    };
    for (const auto& d : dropped)
        EXPECT_EQ(feed(d.frame).complete, 0) << d.what;
    // Command 7 is taken but gets no reply.
    EXPECT_EQ(feed(request(88, 0x50, 7, data)).complete, 1);
    EXPECT_TRUE(serve(request(88, 0x50, 7, data)).empty());
}

TEST_F(FactoryTcp, ReadsTheIdentity)
{
    const uint8_t mac[6] = {0x00, 0x1B, 0x64, 0xFE, 0x10, 0x22};
    setFrontMacActive(mac);
    Bytes r = serve(request(88, 0x50, 4, {6, 2, 13 * 4 + 1}));
    ASSERT_EQ(r.size(), 31u);
    EXPECT_EQ(r[0], 30);
    EXPECT_EQ(r[6], 0x8C);
    Bytes want = {6, 2, 13 * 4 + 1, 0x00, 0x1B, 0x64, 0xFE, 0x10, 0x22};
    want.resize(21, 0);
    EXPECT_EQ(Bytes(r.begin() + 7, r.begin() + 28), want);
    unsigned sum = 0;
    for (size_t i = 1; i < 29; i++)
        sum += r[i];
    EXPECT_EQ(r[29], static_cast<uint8_t>(sum));

    // Broadcast: answered as 0xF0; a count past the item reads zeros.
    r = serve(request(0xF0, 0x51, 4, {8, 2, 13 * 4 + 1}));
    ASSERT_EQ(r.size(), 33u);
    EXPECT_EQ(r[4], 0xF0);
    EXPECT_EQ(r[5], 0x51);
    EXPECT_EQ(r[15], 0x22);
    EXPECT_EQ(r[16], 0);
    EXPECT_EQ(r[17], 0);
    // A count whose reply would not fit the length byte is dropped.
    EXPECT_EQ(serve(request(88, 0x50, 4, {231, 2, 5})).size(), 256u);
    EXPECT_TRUE(serve(request(88, 0x50, 4, {232, 2, 5})).empty());
}

TEST_F(FactoryTcp, WritesSerialAndMacsAndRefusesShortOrUnknownWrites)
{
    const std::string before = serial();
    Bytes cut = writeList(2, 1, {'C', 'V', '2', '6', '0', '0', '0', '0', '1', '2', '3', '4'});
    cut.erase(cut.end() - 2, cut.end()); // 12 elements announced, the last value missing
    const Bytes sn = {'C', 'V', '2', '6', '0', '0', '0', '0', '1', '2', '3', '4'};
    const struct {
        const char* what;
        Bytes data;
        uint8_t status;
    } refused[] = {
        {"table 5", writeList(5, 1, sn), 1},
        {"11 elements", writeList(2, 1, Bytes(sn.begin(), sn.end() - 1)), 1},
        {"cut list", cut, 1},
        {"5 MAC bytes", writeList(2, 13, {1, 2, 3, 4, 5}), 1},
    };
    for (const auto& c : refused) {
        Bytes r = serve(request(88, 0x50, 3, c.data));
        ASSERT_EQ(r.size(), 24u) << c.what;
        EXPECT_EQ(r[6], 0x8B) << c.what;
        EXPECT_EQ(r[7], c.status) << c.what;
        EXPECT_EQ(serial(), before) << c.what;
    }

    Bytes r = serve(request(88, 0x50, 3, writeList(2, 1, sn)));
    ASSERT_EQ(r.size(), 24u);
    Bytes wantData(14, 0);
    EXPECT_EQ(Bytes(r.begin() + 7, r.begin() + 21), wantData);
    EXPECT_EQ(serial(), std::string(sn.begin(), sn.end()));

    const Bytes mac = {0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    r = serve(request(88, 0x50, 5, writeList(2, 19, mac)));
    ASSERT_EQ(r.size(), 24u);
    EXPECT_EQ(r[7], 0);
    uint8_t active[6] = {};
    getRearMacActive(active);
    EXPECT_EQ(Bytes(active, active + 6), mac);
}

} // namespace

namespace {

// Feeds `f` to a receiver on channel `ch`: 1 and the frame when one was taken.
template <typename Recv>
int feedChannel(Recv recv, int ch, const Bytes& f, FtsFrame* frame, uint8_t unit = 88)
{
    for (uint8_t b : f)
        if (recv(ch, b, unit, frame) == 1)
            return 1;
    return 0;
}

} // namespace

TEST(FactoryCodecs, ShortAndLongFrameGolden)
{
    uint8_t out[FTS_REPLY_MAX];
    // Short frame to 0x58, command 0x8C, data 0x01 0xFE 0x66: both special
    // bytes escaped; checksum 0xFE+0x58+0x8C+0x01+0xFC+0xFE+0xFC+0x66+0xFC.
    const uint8_t data[] = {0x01, 0xFE, 0x66};
    ASSERT_EQ(FTS_BuildShortFrame(0x58, 0x8C, data, 3, out), 1);
    const Bytes shortGolden = {11, 0xFE, 0x58, 0x8C, 0x01, 0xFC, 0xFE, 0xFC, 0x66, 0xFC, 0x3B, 0xFD};
    EXPECT_EQ(Bytes(out, out + out[0] + 1), shortGolden);

    // Long frame to 88 from peer 0x50, command 0x8B, data 0x00 0xFD.
    const uint8_t data2[] = {0x00, 0xFD};
    ASSERT_EQ(FTS_BuildFrame(0x58, 0x50, 0x8B, data2, 2, out), 1);
    const Bytes longGolden = {12, 0xFE, 0x00, 0x00, 0x58, 0x50, 0x8B, 0x00, 0xFC, 0xFD, 0xFC, 0x26, 0xFD};
    EXPECT_EQ(Bytes(out, out + out[0] + 1), longGolden);

    // An address in the reserved set leaves the data unescaped.
    ASSERT_EQ(FTS_BuildShortFrame(0x65, 0x10, data, 3, out), 1);
    const Bytes reservedGolden = {9, 0xFE, 0x65, 0x10, 0x01, 0xFE, 0x66, 0xFC, 0xD4, 0xFD};
    EXPECT_EQ(Bytes(out, out + out[0] + 1), reservedGolden);

    // Refused headers, and data that would not fit the length byte.
    EXPECT_EQ(FTS_BuildShortFrame(0xFD, 0x10, data, 3, out), 0);
    EXPECT_EQ(FTS_BuildShortFrame(0x58, 0x01, data, 3, out), 0);
    EXPECT_EQ(FTS_BuildFrame(0x58, 0x50, 0x66, data, 3, out), 0);
    const Bytes big(130, 0xFE);
    EXPECT_EQ(FTS_BuildFrame(0x58, 0x50, 0x10, big.data(), 130, out), 0) << "260 escaped bytes";
    EXPECT_EQ(FTS_BuildFrame(0x58, 0x50, 0x10, big.data(), 120, out), 1);
    EXPECT_EQ(out[0], 249);
}

TEST(FactoryCodecs, ReceiversTakeWholeCheckedFramesPerChannel)
{
    FTS_ResetChannels();
    FtsFrame frame = {};
    Bytes shortFrame = {0xFE, 0x58, 0x8C, 0x01, 0xFC, 0xFE, 0xFC, 0x66, 0xFC, 0x3B, 0xFD};
    ASSERT_EQ(feedChannel(FTS_RecvShortFrame, 0, shortFrame, &frame), 1);
    EXPECT_EQ(frame.addr, 0x58);
    EXPECT_EQ(frame.command, 0x8C);
    EXPECT_EQ(Bytes(frame.data, frame.data + frame.dataLen), (Bytes{0x01, 0xFE, 0x66}));

    Bytes longFrame = {0xFE, 0x00, 0x00, 0x58, 0x50, 0x8B, 0x00, 0xFC, 0xFD, 0xFC, 0x26, 0xFD};
    for (auto recv : {FTS_RecvFrameOnChannel, FTS_RecvFrameOnChannelB}) {
        frame = {};
        ASSERT_EQ(feedChannel(recv, 4, longFrame, &frame), 1);
        EXPECT_EQ(frame.peer, 0x50);
        EXPECT_EQ(frame.command, 0x8B);
        EXPECT_EQ(Bytes(frame.data, frame.data + frame.dataLen), (Bytes{0x00, 0xFD}));
    }

    // A broadcast's long-frame sum leaves the peer byte out.
    Bytes broadcast = request(0xF0, 0x51, 0x04, {0x06, 0x02, 0x34});
    ASSERT_EQ(feedChannel(FTS_RecvFrameOnChannel, 1, broadcast, &frame), 1);
    EXPECT_EQ(frame.broadcast, 1);

    // Refused: a wrong checksum, another unit, peer 0x53, a bad channel.
    Bytes wrongSum = shortFrame;
    wrongSum[9]++;
    EXPECT_EQ(feedChannel(FTS_RecvShortFrame, 0, wrongSum, &frame), 0);
    EXPECT_EQ(feedChannel(FTS_RecvShortFrame, 0, shortFrame, &frame, 0x59), 0);
    EXPECT_EQ(feedChannel(FTS_RecvFrameOnChannel, 1, request(88, 0x53, 4, {1, 2, 3}), &frame), 0);
    EXPECT_EQ(FTS_RecvShortFrame(5, 0xFE, 88, &frame), -1);
    EXPECT_EQ(FTS_RecvFrameOnChannelB(-1, 0xFE, 88, &frame), -1);
    EXPECT_EQ(FTS_DetectAddress(5, 0xFE, 88), -1);

    // Channels keep their states apart: half a frame on channel 2 does not
    // disturb channel 3, and finishes later.
    Bytes half(longFrame.begin(), longFrame.begin() + 6), rest(longFrame.begin() + 6, longFrame.end());
    EXPECT_EQ(feedChannel(FTS_RecvFrameOnChannel, 2, half, &frame), 0);
    EXPECT_EQ(feedChannel(FTS_RecvFrameOnChannel, 3, longFrame, &frame), 1);
    EXPECT_EQ(feedChannel(FTS_RecvFrameOnChannel, 2, rest, &frame), 1);

    // More data than any frame holds drops the frame.
    Bytes flood = {0xFE, 0x00, 0x00, 0x58, 0x50, 0x10};
    flood.insert(flood.end(), FTS_DATA_MAX + 2, 0x11);
    flood.insert(flood.end(), {0xFC, 0x00, 0xFD});
    EXPECT_EQ(feedChannel(FTS_RecvFrameOnChannel, 0, flood, &frame), 0);
}

TEST(FactoryCodecs, DetectAddressFollowsFrameStarts)
{
    FTS_ResetChannels();
    struct Case {
        Bytes bytes;
        int detected; // the result of the last byte
    } cases[] = {
        {{0xFE, 0x58}, 1}, {{0xFE, 0xF0}, 1},       {{0xFE, 0x59}, 0},       {{0xFC, 0xFE, 0x58}, 0},
        {{0xFE, 0xFE, 0x58}, 1}, {{0x11, 0x58}, 0}, {{0xFC, 0xFC, 0xFE, 0x58}, 1},
    };
    for (const Case& c : cases) {
        FTS_ResetChannels();
        int last = 0;
        for (uint8_t b : c.bytes)
            last = FTS_DetectAddress(1, b, 88);
        EXPECT_EQ(last, c.detected) << int(c.bytes.size()) << " bytes, first " << int(c.bytes[0]);
    }
}
