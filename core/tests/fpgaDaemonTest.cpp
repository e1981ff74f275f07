// The FPGA in the running daemon: the version and PLL lines of the start-up
// and the frame step as the simulated FPGA counts it.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

class FpgaDaemon : public DaemonSandboxTest {
protected:
    void TearDown() override
    {
        DaemonSandboxTest::TearDown();
        unsetenv("CORVANE_BOARD_PROFILE");
    }

    std::string book() { return readFile(root + "/mnt/ubi0/log/VRL_Book.log"); }
};

TEST_F(FpgaDaemon, StartupReportsTheFpgaAndTheFrameStepRuns)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(5000), "READY=1");
    std::string log = book();
    for (const char* line : {"DEBUG: SYSTEM INFORMATION:\n", "DEBUG:        FPGA          type : 0xE3\n",
                             "INFO: Program FPGA: FM ver. 1.0.0 [HwType E3]\n", "INFO: Lock Pll Audio OK\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line << log;
    EXPECT_NE(readFile(root + "/corvane.out").find("Program FPGA: FM ver. 1.0.0 [HwType E3]\n"), std::string::npos);

    // The 500 ms step goes on sending frames after the start-up's own.
    std::string frames;
    auto count = [&] {
        frames = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl fpga frame");
        std::smatch m;
        return std::regex_search(frames, m, std::regex("frames (\\d+)\n")) ? std::stoi(m[1]) : -1;
    };
    int atReady = count();
    EXPECT_GT(atReady, 0) << frames;
    EXPECT_TRUE(waitUntil([&] { return count() >= atReady + 3; }, 5000)) << frames;
    EXPECT_NE(frames.find("parity errors 0\n"), std::string::npos) << frames;
}

TEST_F(FpgaDaemon, AudioPllThatNeverLocksStillEndsInReady)
{
    std::string profile = "/tmp/corvane-fpga-never-" + std::to_string(getpid()) + ".profile";
    std::ofstream(profile) << "fpga-pll never\n" << readFile(CORVANE_SOURCE_DIR "/sim/profiles/default.profile");
    setenv("CORVANE_BOARD_PROFILE", profile.c_str(), 1);
    bool started = start();
    if (!started) {
        unlink(profile.c_str());
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    }
    std::string first = nextNotify(15000);
    unlink(profile.c_str());
    ASSERT_EQ(first.rfind("MAINPID=", 0), 0u);
    EXPECT_EQ(nextNotify(5000), "READY=1");
    EXPECT_NE(book().find("ERR: Lock Pll Audio FAILURE\n"), std::string::npos) << book();
}

} // namespace
