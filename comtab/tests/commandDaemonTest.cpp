// Commands in the running daemon, as a client starts them: element writes
// over netlink answered by the write path, run by "Ltx Thread" and followed
// in DbPool.
#include "testing/daemonSandbox.h"
#include "testing/dipcClient.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include <string>

namespace {

class CommandDaemonTest : public DaemonSandboxTest {
protected:
    void TearDown() override
    {
        if (fd >= 0)
            close(fd);
        DaemonSandboxTest::TearDown();
    }

    bool startDaemon()
    {
        if (!start())
            return false;
        EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
        EXPECT_EQ(nextNotify(20000), "READY=1");
        EXPECT_TRUE(enterNetNamespaceOf(pid));
        port = static_cast<uint32_t>(getpid()) | 0x400000u;
        fd = dipcClientOpen(port);
        EXPECT_GE(fd, 0);
        return true;
    }

    // The time of day, in seconds, of the book-log line holding position at:
    // "[TaRN_FM] 2026/12/11-13:29:04-INFO: ...".
    static int secondOfDay(const std::string& book, size_t at)
    {
        size_t line = book.rfind('\n', at);
        line = line == std::string::npos ? 0 : line + 1;
        size_t dash = book.find('-', line);
        int h = 0, m = 0, sec = 0;
        if (dash == std::string::npos || sscanf(book.c_str() + dash + 1, "%d:%d:%d", &h, &m, &sec) != 3)
            return -1;
        return h * 3600 + m * 60 + sec;
    }

    // The result word of an element write's reply, -1 without one.
    int64_t write(uint32_t table, uint32_t element, uint32_t value)
    {
        if (!dipcSend(fd, port, dipcWrite(table, element, value)))
            return -1;
        DipcBytes r = dipcReply(fd, 0x83, 5000, static_cast<uint8_t>(element));
        if (r.size() < 14)
            return -1;
        return r[10] | r[11] << 8 | r[12] << 16 | static_cast<int64_t>(r[13]) << 24;
    }

    // A folder of the sandbox without entries (or none at all).
    static bool dirEmpty(const std::string& path)
    {
        DIR* d = opendir(path.c_str());
        if (!d)
            return true;
        bool empty = true;
        while (struct dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                empty = false;
        closedir(d);
        return empty;
    }

    int fd = -1;
    uint32_t port = 0;
};

TEST_F(CommandDaemonTest, LogEraseMountAndRebootOverNetlink)
{
    if (!startDaemon())
        GTEST_SKIP() << "no namespaces for the daemon";

    // The book log starts again.
    ASSERT_TRUE(waitUntil([&] { return file("/mnt/ubi0/log/VRL_Book.log").find("Init Threads") != std::string::npos; },
                          10000));
    EXPECT_EQ(write(7, 9, 1), 0);
    EXPECT_TRUE(waitUntil([&] { return cell(8, 9) == 2; }, 5000));
    std::string book = file("/mnt/ubi0/log/VRL_Book.log");
    EXPECT_LT(book.find("STARTED BOOK LOG"), 40u) << book.substr(0, 200);
    EXPECT_EQ(book.find("Init Threads"), std::string::npos) << "the old lines are gone";

    // The key mount refreshes the device nodes.
    EXPECT_EQ(write(49, 7, 1), 0);
    EXPECT_TRUE(waitUntil([&] { return cell(49, 8) == 2; }, 10000)) << cell(49, 8);
    EXPECT_NE(file("/var/log/standin.log").find("mdev -s\n"), std::string::npos);

    // The reboot: once, then refused while the system goes down.
    EXPECT_EQ(write(7, 6, 1), 0);
    EXPECT_TRUE(waitUntil([&] { return file("/var/log/standin.log").find("reboot -d 5\n") != std::string::npos; },
                          10000));
    EXPECT_EQ(write(7, 6, 1), 9);
}

TEST_F(CommandDaemonTest, UpgradeStepTwoOverNetlinkInstallsThePackage)
{
    if (!startDaemon())
        GTEST_SKIP() << "no namespaces for the daemon";
    std::string cmd = std::string(CORVANE_SOURCE_DIR) + "/tools/makeUpgradePackage.sh " + root +
                      "/upload --fallback-version 2 >/dev/null";
    ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    EXPECT_EQ(write(50, 10, 2), 0);
    EXPECT_TRUE(waitUntil([&] { return cell(50, 10) == 4; }, 120000)) << cell(50, 10);
    EXPECT_EQ(cell(50, 11), 100u);
    EXPECT_TRUE(waitUntil([&] { return cell(50, 5) == 2 && cell(49, 4) == 2; }, 5000)) << "entry 9 done";
    EXPECT_EQ(file("/dev/mtd3").rfind("fm_preloader_sys2.bin test", 0), 0u);
    EXPECT_EQ(file("/dev/mtd8").rfind("fm_uboot_env_sys2.img test", 0), 0u);
    EXPECT_EQ(file("/dev/mtd9").rfind("fm_uboot_sys2.img test", 0), 0u);
    EXPECT_EQ(file("/dev/mtd19").rfind("2", 0), 0u);
    EXPECT_EQ(file("/dev/mtd17").rfind("2", 0), 0u) << "the newer fallback's version";
    EXPECT_EQ(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl get M24LC512_BOARD 0 1"), "0x02\n")
        << "the active bank in the board EEPROM";
    EXPECT_TRUE(waitUntil([&] { return file("/var/log/standin.log").find("systemctl reboot\n") != std::string::npos; },
                          10000));

    // The power cycle: the boot loader starts bank 2, the daemon comes up
    // on it and about 10 s later copies the package into bank 1.
    close(fd);
    fd = -1;
    stop();
    int status = -1;
    runInSandbox(root, CORVANE_TOOLS_DIR "/simctl reset", &status);
    ASSERT_EQ(status, 0);
    std::string boot = file("/var/log/bootloader.log");
    EXPECT_EQ(boot.substr(boot.rfind("boot ")), "boot bank 2\n") << boot;
    ASSERT_TRUE(start());
    EXPECT_EQ(nextNotify(10000), "MAINPID=" + std::to_string(pid));
    EXPECT_EQ(nextNotify(20000), "READY=1");
    EXPECT_TRUE(waitUntil(
        [&] { return file("/mnt/ubi0/log/VRL_Book.log").find("System OperativeMode Normal [FwBank 2]") != std::string::npos; },
        10000));
    const struct {
        const char* path;
        const char* head;
    } bank1[] = {{"/dev/mtd2", "fm_preloader_sys1.bin test"}, {"/dev/mtd6", "fm_uboot_env_sys1.img test"},
                 {"/dev/mtd7", "fm_uboot_sys1.img test"},     {"/dev/mtd18", "2"},
                 {"/dev/mmcblk0p2/etc/fw_version", "rootfs test\n"},
                 {"/dev/mmcblk0p7/conf/version", "platform test\n"}};
    EXPECT_TRUE(waitUntil(
        [&] {
            return file("/mnt/ubi0/log/VRL_Book.log").find("UpgradeMng: Align Firmware to bank 1 - COMPLETE") !=
                   std::string::npos;
        },
        30000));
    // Not before the delay: the copy starts at least 10 s after the upgrade
    // thread of this run started, by the book log's own time stamps (the
    // test itself may be slowed down by a loaded machine).
    std::string book = file("/mnt/ubi0/log/VRL_Book.log");
    size_t started = book.rfind("INFO: Upgrade Thread: pid");
    size_t align = book.find("INFO: UpgradeMng: Align Firmware to bank 1\n", started);
    ASSERT_NE(started, std::string::npos);
    ASSERT_NE(align, std::string::npos);
    int waited = secondOfDay(book, align) - secondOfDay(book, started);
    EXPECT_GE(waited < 0 ? waited + 86400 : waited, 10) << book.substr(started, align - started);
    for (const auto& b : bank1)
        EXPECT_EQ(file(b.path).rfind(b.head, 0), 0u) << b.path << ": " << file(b.path).substr(0, 40);
    // The package is removed right after the COMPLETE line.
    EXPECT_TRUE(waitUntil([&] { return dirEmpty(root + "/upload"); }, 10000)) << "the package is gone";
}

} // namespace
