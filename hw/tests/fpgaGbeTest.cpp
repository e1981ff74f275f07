// The FPGA GbE block on the simulated board: word moves, the register
// setters and getters as the block's words show them.
#include "hw/fpgaGbe.h"

#include "hw/fpgaWindows.h"
#include "sim/simFpga.h"
#include "sim/simState.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

constexpr uint64_t kGbe = 0xFF200B00;

class FpgaGbe : public SandboxTest {
protected:
    FpgaGbe() : SandboxTest(SANDBOX_VIRTUAL_CLOCK) {}

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

    // The block's writes since the last call: (offset, value).
    std::vector<std::pair<uint32_t, uint32_t>> writes()
    {
        SimFpgaState& f = simState()->fpga;
        std::vector<std::pair<uint32_t, uint32_t>> out;
        uint32_t n = f.gbeWrites.load();
        for (; seen_ < n; seen_++)
            out.push_back({f.gbeLog[seen_ % kSimGbeLogSize][0], f.gbeLog[seen_ % kSimGbeLogSize][1]});
        return out;
    }

    uint32_t seen_ = 0;
};

using Writes = std::vector<std::pair<uint32_t, uint32_t>>;

TEST_F(FpgaGbe, WordMoves)
{
    setWord(8, 0x11223344);
    setWord(12, 0x55667788);
    uint8_t b[8];
    EXPECT_EQ(Gbe_Read(b, 3, 8), -1);
    EXPECT_EQ(Gbe_Read(nullptr, 4, 8), -1);
    EXPECT_EQ(Gbe_Read(b, 0, 8), -1);
    uint32_t two[2];
    EXPECT_EQ(Gbe_Read(two, 8, 8), 0);
    EXPECT_EQ(two[0], 0x11223344u);
    EXPECT_EQ(two[1], 0x55667788u);
    uint8_t low = 0;
    uint16_t half = 0;
    EXPECT_EQ(Gbe_Read(&low, 1, 8), 0);
    EXPECT_EQ(Gbe_Read(&half, 2, 8), 0);
    EXPECT_EQ(low, 0x44);
    EXPECT_EQ(half, 0x3344);
    // A 2-byte write clears the upper half of the word.
    uint16_t v = 0xBEEF;
    EXPECT_EQ(Gbe_Write(&v, 2, 12), 0);
    EXPECT_EQ(word(12), 0xBEEFu);
}

TEST_F(FpgaGbe, Setters)
{
    setWord(28, 0x12345678);
    setWord(32, 0xABCD0000);
    writes();

    EXPECT_EQ(Gbe_SetLatency(100), 0);
    EXPECT_EQ(writes(), (Writes{{32, 0xABCD0000 | 201}, {32, 0xABCD0000 | 200}}));
    uint16_t latency = 0;
    EXPECT_EQ(Gbe_GetLatency(&latency), 0);
    EXPECT_EQ(latency, 100);

    EXPECT_EQ(Gbe_SetSyncTimestampOffset(1000), 0);
    EXPECT_EQ(writes(), (Writes{{52, 60928}, {28, 0x12345678}})); // then the commit

    EXPECT_EQ(Gbe_SetIpAddr(0xC0A80001, 0), 0);
    EXPECT_EQ(writes(), (Writes{{16, 0xC0A80001}}));
    EXPECT_EQ(Gbe_SetIpAddr(0xC0A80002, 1), 0);
    EXPECT_EQ(writes(), (Writes{{16, 0xC0A80002}, {28, 0x12345678}}));

    EXPECT_EQ(Gbe_SetTtl(0x40), 0);
    EXPECT_EQ(word(28), 0x12345640u);
    EXPECT_EQ(Gbe_SetTxMulticastEnable(1), 0);
    EXPECT_EQ(Gbe_SetTxEnable(0xAAAA), 0);
    EXPECT_EQ(word(28), 0xAAAA0140u);
    uint8_t ttl = 0, mc = 0;
    uint16_t tx = 0;
    EXPECT_EQ(Gbe_GetTtl(&ttl), 0);
    EXPECT_EQ(Gbe_GetTxMulticastEnable(&mc), 0);
    EXPECT_EQ(Gbe_GetTxEnable(&tx), 0);
    EXPECT_EQ(ttl, 0x40);
    EXPECT_EQ(mc, 1);
    EXPECT_EQ(tx, 0xAAAA);

    EXPECT_EQ(Gbe_SetTxDestUdpPort(5000), 0);
    EXPECT_EQ(Gbe_SetTxSrcUdpPort(6000), 0);
    EXPECT_EQ(word(48), 6000u << 16 | 5000u);

    // The MAC write clears the receive port; the port setter puts it back.
    setWord(12, 0x1F900000);
    const uint8_t mac[6] = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
    EXPECT_EQ(Gbe_SetMacAddress(mac, 0), 0);
    EXPECT_EQ(word(8), 0x2C3D4E5Fu);
    EXPECT_EQ(word(12), 0x001Bu);
    EXPECT_EQ(Gbe_SetUdpPort(8080, 0), 0);
    EXPECT_EQ(word(12), 8080u << 16 | 0x001Bu);
    uint8_t back[6];
    EXPECT_EQ(Gbe_GetMacAddress(back), 0);
    const uint8_t expected[6] = {0x5F, 0x4E, 0x3D, 0x2C, 0x1B, 0x00};
    EXPECT_EQ(memcmp(back, expected, 6), 0);
    uint16_t port = 0;
    EXPECT_EQ(Gbe_GetUdpPortWord(&port), 0);
    EXPECT_EQ(port, 8080);

    writes();
    EXPECT_EQ(Gbe_PulseLatencyStrobe(), 0);
    EXPECT_EQ(writes(), (Writes{{32, 0xABCD0000 | 201}, {32, 0xABCD0000 | 200}}));
}

TEST_F(FpgaGbe, StatusGetters)
{
    setWord(4, 0x1ABC1234); // bits 17-19 = 6, bits 20-21 = 3
    setWord(64, 0x01FFFFFF);
    uint16_t w4 = 0;
    uint8_t a = 0, b = 0, c = 9, s64a = 0;
    uint32_t s64b = 0;
    EXPECT_EQ(Gbe_ReadWord4(&w4), 0);
    EXPECT_EQ(w4, 0x1ABC);
    EXPECT_EQ(Gbe_GetStatusA(&a), 0);
    EXPECT_EQ(a, 6);
    EXPECT_EQ(Gbe_GetStatusB(&b), 0);
    EXPECT_EQ(b, 3);
    EXPECT_EQ(Gbe_GetStatusC(&c, 12), 0);
    EXPECT_EQ(c, 1); // bit 28
    EXPECT_EQ(Gbe_GetStatusC(&c, 13), -1);
    EXPECT_EQ(Gbe_GetStatusC(nullptr, 0), -1);
    EXPECT_EQ(Gbe_ReadWord64A(&s64a), 0);
    EXPECT_EQ(s64a, 0xFF);
    EXPECT_EQ(Gbe_ReadWord64B(&s64b), 0);
    EXPECT_EQ(s64b, 0x1FFFFu);
    EXPECT_EQ(Gbe_ReadWord64B(nullptr), -1);
}

} // namespace
