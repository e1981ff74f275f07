// The wideband amplifier in the running daemon: the APC voltage it publishes
// is the one its converter was sent, and the amplifier temperature reaches
// another process through DbPool.
#include "testing/daemonSandbox.h"
#include "testing/dipcClient.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

class TrelDaemon : public DaemonSandboxTest {
protected:
    void SetUp() override
    {
        setenv("CORVANE_BOARD_PROFILE", "hpa-wideband", 1);
        DaemonSandboxTest::SetUp();
    }
    void TearDown() override
    {
        DaemonSandboxTest::TearDown();
        unsetenv("CORVANE_BOARD_PROFILE");
    }
    std::string simctl(const std::string& args) { return runInSandbox(root, CORVANE_TOOLS_DIR "/simctl " + args); }
    // The code of the last frame with the APC command (0x10) on chip select
    // 3, -1 when there is none.
    long lastApcCode()
    {
        std::istringstream log(simctl("log spi0"));
        std::string line;
        long code = -1;
        while (std::getline(log, line)) {
            if (line.find(" spi0 0x03 ") == std::string::npos)
                continue;
            size_t at = line.find("[10 ");
            unsigned hi = 0, lo = 0;
            if (at != std::string::npos && sscanf(line.c_str() + at, "[10 %x %x]", &hi, &lo) == 2)
                code = static_cast<long>(hi << 8 | lo);
        }
        return code;
    }
};

TEST_F(TrelDaemon, ApcCodeMatchesThePublishedVoltageAndTheTemperatureIsPublished)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(10000), "READY=1");

    // A new unit starts in stand-by: ON over the IPC channel, as a client
    // switches it on.
    ASSERT_TRUE(enterNetNamespaceOf(pid));
    uint32_t port = static_cast<uint32_t>(getpid()) | 0x700000u;
    int fd = dipcClientOpen(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(7, 3, 1)));
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (DipcBytes{0xFC, 0x83, 7, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0}));
    close(fd);

    // The voltage published in (13, 24) and the code last sent agree.
    long code = -1;
    uint32_t vapc = 0;
    EXPECT_TRUE(waitUntil(
        [&] {
            vapc = cell(13, 24);
            code = lastApcCode();
            return vapc > 0 && code >= 0 && cell(13, 24) == vapc &&
                   code == static_cast<long>(std::floor(vapc * 19.8594 + 0.5));
        },
        10000))
        << "VAPC " << vapc << " code " << code;
    EXPECT_GT(vapc, 0u) << "the start-up voltage of the loop";

    // The plant held at 45 °C: the amplifier temperature word reaches
    // (10, 2) of the grid this test process maps.
    simctl("plant set tau 1e9");
    simctl("plant set ambient 45");
    simctl("plant set temp 45");
    EXPECT_TRUE(waitUntil([&] { return cell(10, 2) == 45; }, 20000)) << cell(10, 2);
}

} // namespace
