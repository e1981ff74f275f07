// The MPX-over-IP parameters in the running daemon: what their creation
// wrote into the simulated GbE block, the same values in DbPool section 37,
// and a status word written by an operator published by the next poll.
#include "testing/daemonSandbox.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

constexpr uint32_t kGbe = 0xFF200B00;

class MpxOverIpDaemon : public DaemonSandboxTest {
protected:
    uint32_t blockWord(uint32_t offset)
    {
        char cmd[128];
        snprintf(cmd, sizeof cmd, CORVANE_TOOLS_DIR "/simctl fpga read 0x%X", kGbe + offset);
        std::string out = runInSandbox(root, cmd);
        return static_cast<uint32_t>(strtoul(out.c_str(), nullptr, 16));
    }

    // A cell of the daemon's DbPool, read from its shared-memory file in the
    // sandbox's dev/shm.
    uint32_t cell(uint32_t section, uint32_t item)
    {
        std::string dir = root + "/dev/shm", file;
        if (DIR* d = opendir(dir.c_str())) {
            while (dirent* e = readdir(d)) {
                std::string n = e->d_name;
                if (n.size() > 7 && n.compare(n.size() - 7, 7, "-DbPool") == 0)
                    file = dir + "/" + n;
            }
            closedir(d);
        }
        uint32_t v = 0xdeadbeef;
        int fd = open(file.c_str(), O_RDONLY);
        if (fd >= 0) {
            if (pread(fd, &v, sizeof v, ((section - 1) * 64 + (item - 1)) * 4) != sizeof v)
                v = 0xdeadbeef;
            close(fd);
        }
        return v;
    }
};

TEST_F(MpxOverIpDaemon, BootProgramsTheBlockAndThePollPublishesItsStatus)
{
    if (!start())
        GTEST_SKIP() << "no network and IPC namespaces here; the daemon is not run outside them";
    ASSERT_EQ(nextNotify(10000).rfind("MAINPID=", 0), 0u);
    ASSERT_EQ(nextNotify(5000), "READY=1");
    const struct {
        uint32_t offset, mask, value, item;
    } words[] = {
        {16, 0xffffffff, 0x0AC80802, 37}, // own address
        {44, 0xffffffff, 0xEF000001, 52}, // transmit multicast group
        {28, 0xff, 10, 42},               // TTL
    };
    for (auto w : words) {
        EXPECT_EQ(blockWord(w.offset) & w.mask, w.value) << w.offset;
        EXPECT_EQ(cell(37, w.item), w.value) << w.item;
    }
    EXPECT_EQ(blockWord(48), 0x13881389u);
    EXPECT_EQ(cell(37, 55), 5001u);
    EXPECT_EQ(cell(37, 56), 5000u);

    // Link up and good: bits 6, 7 and 10 of the status half.
    char cmd[128];
    snprintf(cmd, sizeof cmd, CORVANE_TOOLS_DIR "/simctl fpga write 0x%X 0x%X", kGbe + 4, 0x04C0u << 16);
    runInSandbox(root, cmd);
    EXPECT_TRUE(waitUntil([&] { return cell(37, 1) == 0x13; }, 5000)) << cell(37, 1);
}

} // namespace
