// MPX-over-IP parameters against the simulated board: what their creation
// and hooks write into the GbE block, the receive-address and destination
// MAC choices, the latency scaling and the status poll with alarm 62.
#include "audio/mpxOverIp.h"

#include "Config/keys/alarmsKeys.h"
#include "Config/keys/mpxIpKeys.h"
#include "Config/xmlLayout.h"
#include "comtab/dbPool.h"
#include "hw/fpgaWindows.h"
#include "persist/xmlSection.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

constexpr uint64_t kGbe = 0xFF200B00;
// Status half bits (word 4 bit 16 + n).
constexpr uint32_t statusBits(uint32_t half) { return half << 16; }
constexpr uint32_t kLinkGood = statusBits((1u << 6) | (1u << 7) | (1u << 10));

class MpxOverIp : public SandboxTest {
protected:
    MpxOverIp() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}

    void SetUp() override
    {
        SandboxTest::SetUp();
        ASSERT_EQ(initAxi(), 0);
    }

    static uint32_t word(uint32_t offset)
    {
        uint32_t v = 0;
        simFpgaRead(kGbe + offset, &v);
        return v;
    }
    static void setWord(uint32_t offset, uint32_t v) { simFpgaWrite(kGbe + offset, v); }

    // The block's writes at one offset since the last call.
    std::vector<uint32_t> writesAt(uint32_t offset)
    {
        SimFpgaState& f = simState()->fpga;
        std::vector<uint32_t> out;
        uint32_t n = f.gbeWrites.load();
        for (; seen_ < n; seen_++)
            if (f.gbeLog[seen_ % kSimGbeLogSize][0] == offset)
                out.push_back(f.gbeLog[seen_ % kSimGbeLogSize][1]);
        return out;
    }
    void skipWrites() { seen_ = simState()->fpga.gbeWrites.load(); }

    uint32_t seen_ = 0;
};

TEST_F(MpxOverIp, CreationProgramsTheBlockAndPublishesTheInitialValues)
{
    EXPECT_EQ(GBE_GetParams(), nullptr);
    GBE_PollStatus(); // nothing before creation
    EXPECT_EQ(getAlarmInput(62), 0);
    GBE_InitParams();
    ASSERT_NE(GBE_GetParams(), nullptr);
    EXPECT_EQ(word(16), 0x0AC80802u);
    EXPECT_EQ(word(20), 0x0AC80801u);
    EXPECT_EQ(word(44), 0xEF000001u);
    EXPECT_EQ(word(48), 0x13881389u);
    EXPECT_EQ(word(28) & 0xff, 10u);
    EXPECT_EQ(word(12) >> 16, 23u);
    EXPECT_EQ(word(40), 0x0AC80802u);
    const std::pair<uint32_t, uint32_t> cells[] = {
        {37, 0x0AC80802}, {38, 0xFFFFFF00}, {39, 0x0AC80801}, {40, 0x0AC80801}, {41, 23},
        {42, 10},         {51, 0x0AC80802}, {52, 0xEF000001}, {55, 5001},      {56, 5000},
        {33, 0} /* a default is not published */,
    };
    for (auto [item, v] : cells)
        EXPECT_EQ(readDbAreaCell(37, item), v) << item;
    EXPECT_EQ(GBE_GetParams()->configFlags.value, 0xFFFFFFFFu);
    EXPECT_EQ(GBE_GetParams()->txDestMacLow.value, 0xFFFFFFFFu);
}

TEST_F(MpxOverIp, ReceiveAddressIsTheGatewayOutsideTheOwnSubnet)
{
    GBE_InitParams();
    GbeParams* p = GBE_GetParams();
    struct {
        uint32_t dest, rx;
    } cases[] = {{0x0AC80905, 0x0AC80801}, {0x0AC80807, 0x0AC80807}};
    for (auto c : cases) {
        p->txDestIpAddr.set(&p->txDestIpAddr, c.dest);
        EXPECT_EQ(word(24), c.rx) << std::hex << c.dest;
        EXPECT_EQ(word(40), c.dest);
    }
}

TEST_F(MpxOverIp, DestinationMacIsMulticastResolvedOrNone)
{
    GBE_InitParams();
    GbeParams* p = GBE_GetParams();
    p->txEnable.set(&p->txEnable, 1);
    EXPECT_EQ(word(28) >> 16, 1u);
    p->txMulticastEnable.set(&p->txMulticastEnable, 1);
    EXPECT_EQ((word(28) >> 8) & 0x80, 0x80u);
    for (uint32_t group : {0xEF010203u, 0xEF810203u}) {
        p->txMulticastGrp.set(&p->txMulticastGrp, group);
        GBE_PollStatus();
        EXPECT_EQ(readDbAreaCell(37, 53), 0x0100u);
        EXPECT_EQ(readDbAreaCell(37, 54), 0x5E010203u);
        EXPECT_EQ(readDbAreaCell(37, 57), 0u);
    }
    // Unicast: the resolved words while the block reports them valid.
    p->txMulticastEnable.set(&p->txMulticastEnable, 0);
    setWord(0, 0x44332211);
    setWord(4, statusBits(1) | 0x6655);
    GBE_PollStatus();
    EXPECT_EQ(readDbAreaCell(37, 53), 0x6655u);
    EXPECT_EQ(readDbAreaCell(37, 54), 0x44332211u);
    EXPECT_EQ(readDbAreaCell(37, 57), 0u);
    setWord(4, 0x6655);
    GBE_PollStatus();
    EXPECT_EQ(readDbAreaCell(37, 53), 0u);
    EXPECT_EQ(readDbAreaCell(37, 54), 0u);
    EXPECT_EQ(readDbAreaCell(37, 57), 1u);
}

TEST_F(MpxOverIp, LatencyScalesBySampleRateCode)
{
    GBE_InitParams();
    GbeParams* p = GBE_GetParams();
    setWord(4, kLinkGood | statusBits(4 << 1)); // sample-rate code 4
    GBE_PollStatus();
    EXPECT_EQ(p->rxSampleRate.value, 4);
    skipWrites();
    p->latency.set(&p->latency, 100);
    EXPECT_EQ(writesAt(32), (std::vector<uint32_t>{19201, 19200}));
    setWord(4, kLinkGood); // code 0
    GBE_PollStatus();
    p->latency.set(&p->latency, 101);
    std::vector<uint32_t> w = writesAt(32);
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.back() & 0xffff, 0u);
}

TEST_F(MpxOverIp, PollPublishesStatusAndRaisesAlarm62UnlessTheLinkIsGood)
{
    GBE_InitParams();
    struct {
        uint32_t word4;
        uint8_t alarm;
        uint32_t flags; // published StatusFlags, 0xffffffff: not refreshed
    } cases[] = {
        {kLinkGood, 0, 0x13},
        {kLinkGood | statusBits(1), 0, 0x10013},
        {kLinkGood | statusBits(1u << 8), 1, 0x17},
        {statusBits((1u << 7) | (1u << 10)), 1, 0xffffffff}, // link down, whatever else
        {0xffffffff & ~statusBits(1u << 6), 1, 0xffffffff},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.word4);
        setDbAreaCell(37, 1, 0xffffffff);
        setWord(4, c.word4);
        setWord(64, (0x5Au << 17) | 0x1234);
        GBE_PollStatus();
        EXPECT_EQ(getAlarmInput(62), c.alarm);
        EXPECT_EQ(readDbAreaCell(37, 1), c.flags);
        EXPECT_EQ(readDbAreaCell(37, 59), 0x1234u);
        EXPECT_EQ(readDbAreaCell(37, 60), 0x5Au);
    }
}

TEST_F(MpxOverIp, RequestInitCreatesOnceFromTheIdleState)
{
    GBE_RequestInit(-1);
    EXPECT_EQ(GBE_GetParams(), nullptr);
    GBE_RequestInit(2);
    ASSERT_NE(GBE_GetParams(), nullptr);
    GbeParams* p = GBE_GetParams();
    p->ttl.set(&p->ttl, 33);
    GBE_RequestInit(-1); // holds 2: stays
    GBE_RequestInit(1);
    EXPECT_EQ(p->ttl.value, 33); // not made again
    GBE_RequestInit(-1);
    GBE_RequestInit(1); // idle, but the parameters exist
    EXPECT_EQ(p->ttl.value, 33);
}

// A section writer's output in a memory document.
std::string writtenSection(uint8_t section)
{
    xmlBufferPtr b = xmlBufferCreate();
    xmlTextWriterPtr w = xmlNewTextWriterMemory(b, 0);
    EXPECT_EQ(xmlSectionWriter(section)(w, 0), 0);
    xmlTextWriterFlush(w);
    xmlFreeTextWriter(w);
    std::string s(reinterpret_cast<const char*>(xmlBufferContent(b)), static_cast<size_t>(xmlBufferLength(b)));
    xmlBufferFree(b);
    return s;
}

TEST_F(MpxOverIp, XmlSectionCarriesTheParametersAsPlainNumbersAndAppliesThemOnlyWithTheBlock)
{
    GBE_InitParams();
    GbeParams* p = GBE_GetParams();
    std::string text = writtenSection(XS_GBE_VIDEO_IP);
    EXPECT_EQ(text.rfind("<gbe_video_ip><GBE_ConfigFlags>", 0), 0u) << text;
    EXPECT_NE(text.find("</GBE_Latency><GBE_TTL>10</GBE_TTL><GBE_IpAddr>" + std::to_string(p->ipAddr.value) +
                        "</GBE_IpAddr>"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("</GBE_TX_SRC_UDP_PORT><GBE_SYNC_TIMESTAMP_OFFSET>"), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 43), "</GBE_SYNC_TIMESTAMP_OFFSET></gbe_video_ip>");

    XmlSectionReader read = xmlSectionReader(XS_GBE_VIDEO_IP);
    testing::internal::CaptureStdout();
    read(nullptr, "GBE_TTL", "20");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n {GbEv03} From XML :  GBE_TTL = 20 \n");
    EXPECT_EQ(p->ttl.value, 10) << "no block: printed, not applied";
    setGbeBlockFitted(1);
    testing::internal::CaptureStdout();
    read(nullptr, "GBE_TTL", "20");
    read(nullptr, "GBE_TX_DEST_UDP_PORT", "70000"); // cut to 16 bits
    read(nullptr, "GBE_NoSuchKey", "1");
    testing::internal::GetCapturedStdout();
    setGbeBlockFitted(0);
    EXPECT_EQ(p->ttl.value, 20);
    EXPECT_EQ(word(28) & 0xff, 20u) << "the hook programmed the block";
    EXPECT_EQ(p->txDestUdpPort.value, 70000 & 0xffff);
}

} // namespace
