// The first amplifier family in the running daemon: the amplifier's
// temperature measured from its table reaches DbPool and the fans.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
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

class OskDaemon : public DaemonSandboxTest {
protected:
    void TearDown() override
    {
        DaemonSandboxTest::TearDown();
        unsetenv("CORVANE_BOARD_PROFILE");
        if (!profile.empty())
            unlink(profile.c_str());
    }
    std::string profile;
};

TEST_F(OskDaemon, AmplifierAt66DegreesIsPublishedAndRunsTheFansFull)
{
    // The first-family board with its amplifier held at 66 degrees from
    // power-on.
    std::string text = readFile(CORVANE_SOURCE_DIR "/sim/profiles/hpa-osk.profile");
    size_t at = text.find("spi 2 hpaplant");
    ASSERT_NE(at, std::string::npos);
    text.insert(text.find('\n', at), " temp=66 ambient=66 tau=1e9");
    profile = "/tmp/corvane-osk-66-" + std::to_string(getpid()) + ".profile";
    std::ofstream(profile) << text;
    setenv("CORVANE_BOARD_PROFILE", profile.c_str(), 1);
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(15000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(10000), "READY=1");

    // The temperature is measured every 5 s; the fan controller's duty
    // register 0x32 follows.
    EXPECT_TRUE(waitUntil([&] { return cell(10, 2) == 66; }, 20000)) << cell(10, 2);
    std::string reg;
    EXPECT_TRUE(waitUntil(
        [&] {
            reg = runInSandbox(root, CORVANE_TOOLS_DIR "/simctl get ADT7470 0x32");
            return reg.find("0xFF") != std::string::npos || reg.find("0xff") != std::string::npos;
        },
        10000))
        << reg;
}

} // namespace
