// FPGA register windows on the simulated board.
#include "hw/fpgaWindows.h"

#include "sim/simFpga.h"
#include "testing/sandboxTest.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

namespace {

const char* const kLw = "/sys/class/fpga-bridge/lwhps2fpga/enable";
const char* const kF2h = "/sys/class/fpga-bridge/fpga2hps/enable";
const char* const kH2f = "/sys/class/fpga-bridge/hps2fpga/enable";

void writeSandboxFile(const char* absPath, const char* text)
{
    std::ofstream(sysPath(absPath), std::ios::trunc) << text;
}

std::string simctl(const std::string& root, const std::string& args)
{
    std::string cmd = "CORVANE_ROOT='" + root + "' " CORVANE_TOOLS_DIR "/simctl " + args;
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[128];
    while (p && fgets(buf, sizeof buf, p))
        out += buf;
    if (p)
        pclose(p);
    return out;
}

uint32_t physWord(uint64_t phys)
{
    uint32_t v = 0xDEADDEAD;
    simFpgaRead(phys, &v);
    return v;
}

class FpgaWindows : public SandboxTest {
protected:
    FpgaWindows() : SandboxTest(SANDBOX_LOGS | SANDBOX_VIRTUAL_CLOCK) {}
};

TEST_F(FpgaWindows, InitAxiEnablesTheBridgeAndSharesTheWindowWithOtherProcesses)
{
    EXPECT_EQ(readSandboxFile(kLw), "0\n");
    ASSERT_EQ(initAxi(), 0);
    EXPECT_EQ(readSandboxFile(kLw)[0], '1');
    EXPECT_EQ(readSandboxFile(kF2h)[0], '0');
    EXPECT_EQ(readSandboxFile(kH2f)[0], '0');
    for (uint32_t mode : {0u, 1u, 3u})
        EXPECT_EQ(getFpgaBridgeStatus(mode), '0') << mode;
    EXPECT_EQ(fpgaReadVersionWord(), 0xE3010000u);

    uint32_t w = 3;
    ASSERT_EQ(fpgaWriteWords(&w, 1, 2, 13, 0), 0);
    EXPECT_EQ(simctl(root, "fpga read 0xFF200100"), "0x00000003\n");
    simctl(root, "fpga write 0xFF200084 0x4");
    uint32_t r = 0;
    ASSERT_EQ(fpgaReadWords(&r, 1, 2, 8, 0), 0);
    EXPECT_EQ(r, 4u);
}

TEST_F(FpgaWindows, EnabledBridgeIsLeftAlone)
{
    writeSandboxFile(kLw, "1\n");
    writeSandboxFile(kF2h, "1\n");
    ASSERT_EQ(initAxi(), 0);
    EXPECT_EQ(readSandboxFile(kF2h), "1\n") << "no enable file is written";
    EXPECT_EQ(getFpgaBridgeStatus(3), '1');
}

TEST_F(FpgaWindows, BridgeFailuresLeaveTheWindowUnmapped)
{
    struct Case {
        uint32_t mode;
        const char* f2h;  // content of fpga2hps/enable
        bool lwMissing;   // lwhps2fpga/enable removed
    };
    const Case cases[] = {
        {2, "0\n", false}, // no such bridge
        {1, "1\n", true},  // selected bridge on, but the lwhps2fpga read fails
        {3, "0\n", true},  // the selected bridge cannot be enabled
    };
    for (const Case& c : cases) {
        std::string r = makeTestSandbox();
        writeSandboxFile(kF2h, c.f2h);
        if (c.lwMissing)
            unlink(sysPath(kLw).c_str());
        setFpgaBridgeMode(c.mode);
        EXPECT_EQ(initAxi(), -1) << c.mode;
        uint32_t v;
        EXPECT_EQ(fpgaReadWords(&v, 1, 2, 0, 0), -1) << c.mode;
        EXPECT_EQ(fpgaWriteWords(&v, 1, 2, 0, 0), -2) << c.mode;
        removeTestSandbox(r);
    }
    setFpgaBridgeMode(3);
}

TEST_F(FpgaWindows, RegionsAndWidthCodes)
{
    uint32_t v = 0x55, dest[2] = {7, 7};
    EXPECT_EQ(closeAxi(), -1) << "nothing mapped yet";
    ASSERT_EQ(initAxi(), 0);
    for (uint8_t region : {5, 26, 255}) {
        EXPECT_EQ(fpgaWriteWords(&v, 1, 2, region, 0), -2) << int(region);
        EXPECT_EQ(fpgaReadWords(dest, 1, 2, region, 0), -1) << int(region);
    }
    for (uint8_t width : {0, 1, 3}) {
        EXPECT_EQ(fpgaWriteWords(&v, 1, width, 13, 0), 0);
        EXPECT_EQ(physWord(0xFF200100), 0u) << "width " << int(width) << " writes nothing";
    }
    EXPECT_EQ(fpgaReadWords(dest, 2, 3, 0, 0), -3);
    EXPECT_EQ(dest[0], 7u);
    EXPECT_EQ(fpgaWriteWords(&v, 1, 2, 13, 2), -2) << "a misaligned store is refused";
    EXPECT_EQ(physWord(0xFF200100), 0u);
    // Regions 15 and 16 are the same block.
    ASSERT_EQ(fpgaWriteWords(&v, 1, 2, 15, 8), 0);
    ASSERT_EQ(fpgaReadWords(dest, 1, 2, 16, 8), 0);
    EXPECT_EQ(dest[0], 0x55u);

    EXPECT_EQ(closeAxi(), 0);
    EXPECT_EQ(readSandboxFile(kLw)[0], '0');
    EXPECT_EQ(fpgaReadWords(dest, 1, 2, 0, 0), -1);
}

TEST_F(FpgaWindows, WritesStopAtTheDistanceLimitAndTheEndOfTheMapping)
{
    ASSERT_EQ(initAxi(), 0);
    std::vector<uint32_t> words(0x10002);
    for (size_t i = 0; i < words.size(); i++)
        words[i] = static_cast<uint32_t>(i + 1);
    EXPECT_EQ(fpgaWriteWords(words.data(), 0x10002, 2, 14, 0), -1);
    EXPECT_EQ(physWord(0xFF300000 + 0x40000), 0x10001u) << "the word at distance 0x40000 is written";
    EXPECT_EQ(physWord(0xFF300000 + 0x40004), 0u);

    // Region 14 lies 0xD00000 bytes before the end of the mapping.
    uint32_t pair[2] = {0xAAAA, 0xBBBB}, back[2] = {1, 1};
    EXPECT_EQ(fpgaWriteWords(pair, 2, 2, 14, 0xCFFFFC), -1);
    EXPECT_EQ(physWord(0xFFFFFFFC), 0xAAAAu);
    EXPECT_EQ(fpgaReadWords(back, 2, 2, 14, 0xCFFFFC), -1);
    EXPECT_EQ(back[0], 0xAAAAu);
    EXPECT_EQ(back[1], 1u) << "nothing read beyond the mapping";
    EXPECT_EQ(fpgaWriteWords(pair, 1, 2, 14, 0xFFFFFFF0), -1);
    EXPECT_EQ(fpgaReadWords(back, 1, 0, 14, 0xFFFFFFF0), -1);
}

TEST_F(FpgaWindows, NarrowReadsAreBuiltFromAlignedWords)
{
    ASSERT_EQ(initAxi(), 0);
    const uint32_t words[3] = {0x44332211, 0x88776655, 0xCCBBAA99};
    ASSERT_EQ(fpgaWriteWords(words, 3, 2, 11, 0), 0); // 0xFF200200, in the port page

    uint16_t halves[4] = {};
    ASSERT_EQ(fpgaReadWords(halves, 4, 1, 11, 0), 0);
    const uint16_t expectHalves[4] = {0x4433, 0x6655, 0x8877, 0xAA99};
    EXPECT_EQ(memcmp(halves, expectHalves, sizeof halves), 0);

    uint8_t tops[5] = {};
    ASSERT_EQ(fpgaReadWords(tops, 5, 0, 11, 0), 0);
    const uint8_t expectTops[5] = {0x44, 0x55, 0x66, 0x77, 0x88};
    EXPECT_EQ(memcmp(tops, expectTops, sizeof tops), 0);

    uint32_t shifted = 0;
    ASSERT_EQ(fpgaReadWords(&shifted, 1, 2, 11, 1), 0);
    EXPECT_EQ(shifted, 0x55443322u);
    EXPECT_EQ(simState()->fpga.misaligned.load(), 0u) << "every access on a word boundary";
}

} // namespace
