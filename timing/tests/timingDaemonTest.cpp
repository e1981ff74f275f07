// The automatic reference choice in the running daemon: with both references
// on "Auto" in configuration.xml, the reference inputs set with simctl at the
// simulated FPGA decide what the unit reports as active.
#include "testing/daemonSandbox.h"
#include "testing/dipcClient.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>

namespace {

class TimingDaemon : public DaemonSandboxTest {
protected:
    bool boot()
    {
        if (!start())
            return false;
        EXPECT_EQ(nextNotify(15000).rfind("MAINPID=", 0), 0u);
        EXPECT_EQ(nextNotify(10000), "READY=1");
        return true;
    }
    void simctl(const std::string& args)
    {
        int status = -1;
        std::string out = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args, &status);
        EXPECT_EQ(status, 0) << args << "\n" << out;
    }
    // Bit 14 of control-frame word 19 as the simulated FPGA last got it:
    // the delay measurement's start bit.
    int frameStartBit()
    {
        int status = -1;
        std::string out = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga frame", &status);
        std::smatch m;
        if (status != 0 || !std::regex_search(out, m, std::regex("word 19 0x([0-9A-F]+)")))
            return -1;
        return static_cast<int>((std::stoul(m[1].str(), nullptr, 16) >> 14) & 1);
    }
};

TEST_F(TimingDaemon, AutoReferencesFollowTheInputsThatArePresent)
{
    // The first run saves the configuration; the second loads it with both
    // references on "Auto".
    if (!boot())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    const char conf[] = "/mnt/ubi0/conf/configuration.xml";
    std::string text;
    ASSERT_TRUE(waitUntil([&] { return (text = file(conf)).find("</time_ref>") != std::string::npos; }, 20000));
    stop();
    text = std::regex_replace(text, std::regex("<freq_ref>[^<]*</freq_ref>"), "<freq_ref>Auto</freq_ref>");
    text = std::regex_replace(text, std::regex("<time_ref>[^<]*</time_ref>"), "<time_ref>Auto</time_ref>");
    std::ofstream(root + conf, std::ios::binary | std::ios::trunc) << text;
    ASSERT_TRUE(boot());

    // 10 MHz and 1PPS present, no 19 kHz sine: both external references.
    simctl("fpga refs 10mhz=on pps=on sine=off");
    EXPECT_TRUE(waitUntil([&] { return cell(55, 4) == 1 && cell(55, 5) == 1; }, 5000))
        << cell(55, 4) << " " << cell(55, 5);
    // Only the sine: both move to the 19 kHz sine.
    simctl("fpga refs 10mhz=off pps=off sine=on");
    EXPECT_TRUE(waitUntil([&] { return cell(55, 4) == 3 && cell(55, 5) == 3; }, 5000))
        << cell(55, 4) << " " << cell(55, 5);
}

} // namespace

namespace {

TEST_F(TimingDaemon, InputDelayMeasuredOnRequestIsAppliedAndSavedOrTimesOut)
{
    if (!boot())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_TRUE(enterNetNamespaceOf(pid));
    uint32_t port = static_cast<uint32_t>(getpid()) | 0x700000u;
    int fd = dipcClientOpen(port);
    ASSERT_GE(fd, 0);

    // The measuring unit answers 16384 counts: 10000 after its scale.
    simctl("fpga delay 16384");
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(55, 10, 1)));
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (DipcBytes{0xFC, 0x83, 55, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(waitUntil([&] { return cell(55, 11) == 2 && cell(55, 6) == 10000; }, 5000))
        << cell(55, 11) << " " << cell(55, 6);
    const char conf[] = "/mnt/ubi0/conf/configuration.xml";
    EXPECT_TRUE(waitUntil([&] { return file(conf).find("<input_delay>10000</input_delay>") != std::string::npos; },
                          60000))
        << file(conf);

    // The unit never reports busy: failed once more than three whole seconds
    // passed, and the start bit leaves the frame.
    simctl("fpga delay never");
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(55, 10, 1)));
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (DipcBytes{0xFC, 0x83, 55, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0}));
    auto sent = std::chrono::steady_clock::now();
    EXPECT_TRUE(waitUntil([&] { return frameStartBit() == 1; }, 2000)) << "start bit set while waiting";
    ASSERT_TRUE(waitUntil([&] { return cell(55, 11) == 3; }, 10000)) << cell(55, 11);
    EXPECT_GE(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 3.0);
    EXPECT_TRUE(waitUntil([&] { return frameStartBit() == 0; }, 2000));
    EXPECT_EQ(cell(55, 6), 10000u) << "a failed measurement keeps the delay";
}

} // namespace
