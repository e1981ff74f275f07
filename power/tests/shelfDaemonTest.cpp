// The power supplies of the compact amplifier in the running daemon: the
// start-up lines of the PMBus shelf and of the SPS serial module, and, for
// every slot of the shelf, the last VOUT_COMMAND the module was sent is the
// set point another process reads in DbPool and the voltage the module
// reports back.
#include "testing/daemonSandbox.h"
#include "testing/dipcClient.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ShelfDaemon : public DaemonSandboxTest {
protected:
    void SetUp() override
    {
        setenv("CORVANE_BOARD_PROFILE", "hpa-compact-ltc", 1);
        DaemonSandboxTest::SetUp();
    }
    void TearDown() override
    {
        DaemonSandboxTest::TearDown();
        unsetenv("CORVANE_BOARD_PROFILE");
    }
    // The raw value of the last VOUT_COMMAND (0x21) written to each slot
    // (0x40 + slot; command, two bytes, PEC) in the i2c-1 log, -1 for a slot without one.
    void lastVoutCommands(long raw[3])
    {
        raw[0] = raw[1] = raw[2] = -1;
        std::istringstream log(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl log i2c-1"));
        std::string line;
        while (std::getline(log, line)) {
            unsigned addr = 0, lo = 0, hi = 0;
            size_t at = line.find(" i2c-1 0x");
            size_t data = line.find(" write ");
            size_t bytes = line.find("[21 ");
            if (at == std::string::npos || data == std::string::npos || bytes == std::string::npos ||
                sscanf(line.c_str() + at, " i2c-1 0x%x", &addr) != 1 || addr < 0x40 || addr > 0x42 ||
                sscanf(line.c_str() + bytes, "[21 %x %x]", &lo, &hi) != 2 || line.find(" len 4 ") == std::string::npos)
                continue;
            raw[addr - 0x40] = static_cast<long>(lo | hi << 8);
        }
    }
};

TEST_F(ShelfDaemon, LastVoutCommandOfEachSlotIsTheSetPointAndTheMeasuredVoltage)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(15000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(15000), "READY=1");

    // A new unit starts in stand-by: ON over the IPC channel.
    ASSERT_TRUE(enterNetNamespaceOf(pid));
    uint32_t port = static_cast<uint32_t>(getpid()) | 0x710000u;
    int fd = dipcClientOpen(port);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(dipcSend(fd, port, dipcWrite(7, 3, 1)));
    EXPECT_EQ(dipcReply(fd, 0x83, 3000), (DipcBytes{0xFC, 0x83, 7, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0}));
    close(fd);

    // CP2xxx modules: 400 counts per volt, so one count is 2.5 mV. The set
    // point (31 + slot, 12) and the measured voltage (34 + slot, 7) are mV.
    for (int slot = 0; slot < 3; slot++) {
        long raw[3];
        uint32_t set = 0, measured = 0;
        bool agree = waitUntil(
            [&] {
                set = cell(31 + slot, 12);
                measured = cell(34 + slot, 7);
                lastVoutCommands(raw);
                long mv = raw[slot] * 1000 / 400;
                return raw[slot] > 0 && set == cell(31 + slot, 12) &&
                       raw[slot] == static_cast<long>(set * 400ull / 1000) && std::labs(mv - long(measured)) < 3;
            },
            30000, 250);
        EXPECT_TRUE(agree) << "slot " << slot << ": VOUT_COMMAND " << raw[slot] << " (" << raw[slot] * 2.5
                           << " mV), set point " << set << " mV, measured " << static_cast<int32_t>(measured)
                           << " mV";
    }
}

// What the start-up tells of each profile's supplies in the book log.
struct SupplyLines {
    const char* name;
    const char* profile;
    std::vector<std::string> lines;
};

void PrintTo(const SupplyLines& s, std::ostream* os)
{
    *os << s.profile;
}

class SupplyStartDaemon : public DaemonSandboxTest, public ::testing::WithParamInterface<SupplyLines> {
protected:
    void SetUp() override
    {
        setenv("CORVANE_BOARD_PROFILE", GetParam().profile, 1);
        DaemonSandboxTest::SetUp();
    }
    void TearDown() override
    {
        DaemonSandboxTest::TearDown();
        unsetenv("CORVANE_BOARD_PROFILE");
    }
};

TEST_P(SupplyStartDaemon, BookLogNamesTheModules)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    std::string book;
    auto all = [&] {
        book = file("/mnt/ubi0/log/VRL_Book.log");
        for (const std::string& l : GetParam().lines)
            if (book.find(l) == std::string::npos)
                return false;
        return true;
    };
    EXPECT_TRUE(waitUntil(all, 30000, 250)) << book;
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, SupplyStartDaemon,
    ::testing::Values(SupplyLines{"PmbusShelf",
                                  "hpa-compact-ltc",
                                  {"GE_CP2xxx_0: [uC Rev.", "GE_CP2xxx_1: [uC Rev.", "GE_CP2xxx_2: [uC Rev."}},
                      SupplyLines{"SerialModule",
                                  "hpa-compact-sps",
                                  {"Detected GE SPS module", "GE_EP16xx: SN EP16SN000042"}}),
    [](const ::testing::TestParamInfo<SupplyLines>& i) { return std::string(i.param.name); });

} // namespace
