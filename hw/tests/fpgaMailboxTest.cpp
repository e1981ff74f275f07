// The FPGA register mailbox, with requests written by another process.
#include "hw/fpgaMailbox.h"

#include "hw/fpgaWindows.h"
#include "hw/tests/rfFixture.h"

#include <sstream>

namespace {

constexpr uint32_t kMailbox = 0xFF300000;

class FpgaMailbox : public RfFixture {
protected:
    void SetUp() override
    {
        RfFixture::SetUp();
        ASSERT_EQ(initAxi(), 0);
    }

    // Writes words from the mailbox's start in another process.
    void agentWrite(std::initializer_list<uint32_t> words)
    {
        std::ostringstream cmd;
        cmd << CORVANE_TOOLS_DIR "/simctl fpga write 0x" << std::hex << kMailbox;
        for (uint32_t w : words)
            cmd << " 0x" << w;
        int status = -1;
        runInSandbox(root, cmd.str(), &status);
        ASSERT_EQ(status, 0);
    }
    // Reads words from the mailbox's start in another process.
    std::vector<uint32_t> agentRead(unsigned n)
    {
        std::ostringstream cmd;
        cmd << CORVANE_TOOLS_DIR "/simctl fpga read 0x" << std::hex << kMailbox << std::dec << " " << n;
        std::istringstream out(runInSandbox(root, cmd.str()));
        std::vector<uint32_t> words;
        std::string w;
        while (out >> w)
            words.push_back(static_cast<uint32_t>(std::stoul(w, nullptr, 16)));
        return words;
    }
    std::string serve()
    {
        testing::internal::CaptureStdout();
        FpgaRegMailbox_Service();
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(FpgaMailbox, ReadRequestsAnswerWithTheDevicePairs)
{
    agentWrite({0x81070000});
    serve();
    auto w = agentRead(9);
    ASSERT_EQ(w.size(), 9u);
    EXPECT_EQ(w[0], 0x01070400u);
    const uint32_t dac[8] = {0, 0x000C80, 1, 0x1F4001, 2, 0x1F8092, 3, 0x1F8093};
    for (int i = 0; i < 8; i++)
        EXPECT_EQ(w[1 + i], dac[i]) << i;

    setReg(0x20, 2, 0x5A);
    agentWrite({0x81030000});
    serve();
    w = agentRead(17);
    EXPECT_EQ(w[0], 0x01030800u);
    EXPECT_EQ(w[1 + 2 * 2], 2u);
    EXPECT_EQ(w[1 + 2 * 2 + 1], 0x5Au);
    EXPECT_EQ(w[1 + 2 * 7], 7u);

    // Bits in the count field of a read request give way to the count; an
    // unknown device answers no pairs.
    agentWrite({0x8102FF00});
    serve();
    EXPECT_EQ(agentRead(1)[0], 0x01025600u);
    agentWrite({0x81090500});
    serve();
    EXPECT_EQ(agentRead(1)[0], 0x01090000u);
    EXPECT_EQ(MainLoopSuspend.load(), 0);
}

TEST_F(FpgaMailbox, NullFieldsAndNoRequest)
{
    agentWrite({0x80000000});
    EXPECT_EQ(serve(), "ErrorRead: PageReg or DevId or NumOp are null!\n");
    EXPECT_EQ(agentRead(1)[0], 0u);
    agentWrite({0xC1070000});
    EXPECT_EQ(serve(), "ErrorWrite: PageReg or DevId or NumOp are null!\n");
    EXPECT_EQ(agentRead(1)[0], 0x41070000u);
    EXPECT_EQ(MainLoopSuspend.load(), 1);
    // Nothing pending: nothing is touched.
    uint64_t head = spiHead();
    EXPECT_EQ(serve(), "");
    EXPECT_EQ(agentRead(1)[0], 0x41070000u);
    EXPECT_EQ(spiHead(), head);
}

TEST_F(FpgaMailbox, WriteStoresProgramsAndSuspendsTheMainWork)
{
    agentWrite({0xC1070101, 1, 0x1F4002});
    EXPECT_EQ(serve(), "Reg[0x1]=0x1F4002\n");
    EXPECT_EQ(agentRead(1)[0], 0x41070101u);
    EXPECT_EQ(MainLoopSuspend.load(), 1);
    auto w = spiWrites(25);
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(w[1], (Bytes{0x1F, 0x40, 0x02}));
    EXPECT_EQ(w[4], (Bytes{0x3F, 0x40, 0x02}));

    // Expander and synthesizer writes, then their dumps.
    agentWrite({0xC1040200, 2, 0x33, 6, 0x0F});
    serve();
    EXPECT_EQ(reg(0x21, 2), 0x33);
    EXPECT_EQ(reg(0x21, 6), 0x0F);
    agentWrite({0xC1010100, 5, 0xAF000015});
    serve();
    EXPECT_EQ(spiWrites(6).size(), 26u);
    agentWrite({0x81010000});
    serve();
    auto synth = agentRead(29);
    EXPECT_EQ(synth[0], 0x01010E00u);
    EXPECT_EQ(synth[1 + 2 * 5 + 1], 0xAF000015u);
}

TEST_F(FpgaMailbox, OutOfBoundsRequestsStoreNothing)
{
    // More pairs than the buffers hold: refused before anything is read.
    agentWrite({0xC107FF00, 0, 0x123456});
    std::string out = serve();
    EXPECT_EQ(out.find("Reg["), std::string::npos);
    EXPECT_TRUE(spiWrites(25).empty());
    EXPECT_EQ(agentRead(1)[0], 0x4107FF00u);
    // Registers beyond each shadow: nothing stored, the rest still goes.
    agentWrite({0xC1070200, 4, 0xAAAAAA, 0xFFFFFFFF, 0xBBBBBB});
    serve();
    auto w = spiWrites(25);
    ASSERT_EQ(w.size(), 6u);
    EXPECT_EQ(w[3], (Bytes{0x1F, 0x80, 0x93}));
    agentWrite({0xC1020100, 0x56, 0x11});
    serve();
    agentWrite({0xC1080100, 16, 0x11});
    serve();
    agentWrite({0xC1010100, 14, 0x11});
    serve();
    agentWrite({0x81020000});
    serve();
    auto qm = agentRead(1 + 2 * 86 + 2);
    EXPECT_EQ(qm[0], 0x01025600u);
    EXPECT_EQ(qm[1 + 2 * 86], 0u); // nothing written past the 86 pairs
    // The largest write the buffers take.
    std::vector<uint32_t> req = {0xC1077F00};
    for (uint32_t i = 0; i < 127; i++) {
        req.push_back(i % 4);
        req.push_back(0x100000 + i);
    }
    std::ostringstream cmd;
    cmd << CORVANE_TOOLS_DIR "/simctl fpga write 0x" << std::hex << kMailbox;
    for (uint32_t x : req)
        cmd << " 0x" << x;
    int status = -1;
    runInSandbox(root, cmd.str(), &status);
    ASSERT_EQ(status, 0);
    out = serve();
    EXPECT_EQ(count(out, "Reg["), 127u);
    EXPECT_EQ(agentRead(1)[0], 0x41077F00u);
}

} // namespace
