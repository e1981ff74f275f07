// The firmware upgrade on the simulated board: eMMC partitions, NOR flash
// written by flashcp, the boot loader at each power cycle.
#include "persist/upgradeManager.h"

#include "Config/keys/systemKeys.h"
#include "comtab/commandTable.h"
#include "core/base/locks.h"
#include "persist/bootBank.h"
#include "platform/clock.h"
#include "sim/board.h"
#include "sim/programs.h"
#include "sim/simStorage.h"
#include "testing/sandboxTest.h"
#include "testing/testSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

class Upgrade : public SandboxTest {
protected:
    Upgrade() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK) {}
    void SetUp() override
    {
        SandboxTest::SetUp();
        sem_sys_init(); // the board EEPROM keeps the active bank
        checkBootBank();
        setUpgradeParam(1); // install at once after validation

    }
    void TearDown() override
    {
        sem_sys_remove();
        SandboxTest::TearDown();
    }
    void package(const std::string& options = "")
    {
        std::string cmd = std::string(CORVANE_SOURCE_DIR) + "/tools/makeUpgradePackage.sh " + host("/upload") + " " +
                          options + " >/dev/null";
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    }
    std::string file(const std::string& path) const
    {
        std::ifstream in(host(path.c_str()), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The first line of a NOR device.
    std::string nor(int mtd) const
    {
        std::string t = file("/dev/mtd" + std::to_string(mtd));
        return t.substr(0, t.find('\n'));
    }
    std::string bankImages(int bank) const
    {
        std::string all;
        for (int m : bank == 1 ? std::vector<int>{2, 6, 7, 18} : std::vector<int>{3, 8, 9, 19})
            all += file("/dev/mtd" + std::to_string(m)) + "|";
        return all;
    }
    std::string listing(const char* dir) const
    {
        std::string names;
        if (DIR* d = opendir(host(dir).c_str())) {
            while (struct dirent* e = readdir(d))
                if (e->d_name[0] != '.')
                    names += std::string(e->d_name) + " ";
            closedir(d);
        }
        return names;
    }
    bool called(const std::string& prefix) const
    {
        for (const std::string& l : simStandInCalls())
            if (l.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
    void knob(const char* name, const std::string& value)
    {
        std::string p = host((std::string("/var/lib/standin/") + name).c_str());
        simMakeDirs(p.substr(0, p.rfind('/')).c_str());
        std::ofstream(p) << value;
    }
    // A power cycle: the boot loader, then the daemon's start-up check.
    int powerCycle()
    {
        int booted = simBootLoader();
        checkBootBank();
        return booted;
    }
};

TEST_F(Upgrade, PackageInstallsTheSpareBankSwitchesRebootsAndAligns)
{
    package("--fallback-version 2");
    setUpgradeState(2);
    upgradeRun();
    EXPECT_EQ(getUpgradeState(), 4u);
    EXPECT_EQ(getUpgradeProgress(), 100);
    EXPECT_EQ(getCommandStatus(9), 2u);
    EXPECT_EQ(getActiveBank(), 2);
    EXPECT_TRUE(called("systemctl reboot"));
    EXPECT_EQ(file("/upload/do_align"), "yes");
    // Bank 2's images and partitions, the newer fallback; bank 1 untouched.
    EXPECT_EQ(nor(3), "fm_preloader_sys2.bin test");
    EXPECT_EQ(nor(8), "fm_uboot_env_sys2.img test");
    EXPECT_EQ(nor(9), "fm_uboot_sys2.img test");
    EXPECT_EQ(nor(19), "2");
    EXPECT_EQ(file("/dev/mmcblk0p3/etc/fw_version"), "rootfs test\n");
    EXPECT_EQ(file("/dev/mmcblk0p8/conf/version"), "platform test\n");
    EXPECT_EQ(file("/dev/mmcblk0p3/etc/systemd/system.conf"),
              "RuntimeWatchdogSec=10\nShutdownWatchdogSec=5min\n");
    EXPECT_EQ(nor(0), "fm_preloader_fb.bin test");
    EXPECT_EQ(nor(13), "rootfs.img test");
    EXPECT_EQ(nor(17), "2");
    EXPECT_EQ(bankImages(1), "factory bank image\n|factory bank image\n|factory bank image\n|factory bank image\n|");
    EXPECT_TRUE(called("write_fstab_2.sh"));
    // flashcp erased whole blocks: the image is followed by erased bytes.
    std::string mtd3 = file("/dev/mtd3");
    ASSERT_EQ(mtd3.size(), 2u * 131072u);
    EXPECT_EQ(static_cast<unsigned char>(mtd3.back()), 0xFF);
    EXPECT_EQ(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl get mtd3 0 4"), "0x66 0x6D 0x5F 0x70\n");
    EXPECT_EQ(runInSandbox(root, CORVANE_TOOLS_DIR "/simctl get mtd3 0x7FFFF 2"), "0xFF 0xFF\n");

    // After the power cycle bank 2 runs; 10 s on the alignment fills bank 1.
    EXPECT_EQ(powerCycle(), 2);
    EXPECT_EQ(getRunningBank(), 2);
    EXPECT_NE(book().find("INFO: System OperativeMode Normal [FwBank 2]\n"), std::string::npos);
    setUpgradeState(0);
    upgradeRun();
    clockAdvanceUs(5000000);
    upgradeRun();
    EXPECT_EQ(nor(2), "factory bank image");
    clockAdvanceUs(6000000);
    upgradeRun();
    EXPECT_EQ(nor(2), "fm_preloader_sys1.bin test");
    EXPECT_EQ(nor(6), "fm_uboot_env_sys1.img test");
    EXPECT_EQ(nor(7), "fm_uboot_sys1.img test");
    EXPECT_EQ(nor(18), "2");
    EXPECT_EQ(file("/dev/mmcblk0p2/etc/fw_version"), "rootfs test\n");
    EXPECT_EQ(file("/dev/mmcblk0p7/conf/version"), "platform test\n");
    EXPECT_NE(book().find("INFO: UpgradeMng: Align Firmware to bank 1 - COMPLETE\n"), std::string::npos);
    EXPECT_EQ(listing("/upload"), "");
    EXPECT_EQ(powerCycle(), 2);
}

// A package installed within the first 10 s of a start: the bank switch
// waits for its reboot, and the alignment must not take the running bank for
// the spare one in the meantime.
TEST_F(Upgrade, AnInstallBeforeTheAlignmentDelayLeavesTheRunningBankAlone)
{
    setUpgradeState(0);
    upgradeRun();
    package("--fallback-version 2");
    setUpgradeState(2);
    upgradeRun();
    ASSERT_EQ(getActiveBank(), 2);
    EXPECT_TRUE(called("systemctl reboot"));
    for (int pass = 0; pass < 3; pass++) {
        clockAdvanceUs(6000000);
        upgradeRun();
    }
    EXPECT_EQ(bankImages(1), "factory bank image\n|factory bank image\n|factory bank image\n|factory bank image\n|");
    EXPECT_EQ(book().find("Align Firmware"), std::string::npos);
    EXPECT_EQ(file("/upload/do_align"), "yes") << "kept for the alignment after the reboot";

    EXPECT_EQ(powerCycle(), 2);
}

struct BadCase {
    const char* name;
    const char* packageOptions;
    const char* knobName; // a knob file under /var/lib/standin, or null
    const char* knobValue;
    uint32_t state;
};

class UpgradeFailure : public Upgrade, public ::testing::WithParamInterface<BadCase> {};

TEST_P(UpgradeFailure, LeavesTheRunningBankAsItWasAndDoesNotSwitch)
{
    const BadCase& c = GetParam();
    std::string bank1 = bankImages(1);
    std::string root1 = listing("/dev/mmcblk0p2");
    package(std::string(c.packageOptions) + " --fallback-version 2");
    if (c.knobName)
        knob(c.knobName, c.knobValue);
    setUpgradeState(2);
    upgradeRun();
    EXPECT_EQ(getUpgradeState(), c.state);
    if (c.state == 6) {
        EXPECT_EQ(getCommandStatus(9), 3u);
    }
    EXPECT_EQ(getActiveBank(), 1);
    EXPECT_FALSE(called("systemctl"));
    EXPECT_NE(file("/upload/do_align"), "yes");
    EXPECT_EQ(bankImages(1), bank1);
    EXPECT_EQ(listing("/dev/mmcblk0p2"), root1);
    EXPECT_EQ(powerCycle(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpgradeFailure,
    ::testing::Values(BadCase{"WrongChecksum", "--bad-checksum", nullptr, nullptr, 7},
                      BadCase{"TruncatedArchive", "--truncate", nullptr, nullptr, 7},
                      BadCase{"FlashcpPreloader", "", "flashcp_fail", "/dev/mtd3\n", 6},
                      BadCase{"FlashcpEnvironment", "", "flashcp_fail", "/dev/mtd8\n", 6},
                      BadCase{"FlashcpUboot", "", "flashcp_fail", "/dev/mtd9\n", 6},
                      BadCase{"FlashcpVersion", "", "flashcp_fail", "/dev/mtd19\n", 6},
                      BadCase{"FlashcpCut", "", "flashcp_cut", "1000\n", 6},
                      BadCase{"FallbackWrite", "", "flashcp_fail", "/dev/mtd11\n", 6},
                      BadCase{"RootfsArchive", "--bad-rootfs", nullptr, nullptr, 6},
                      BadCase{"FstabScript", "", "status/write_fstab_2.sh", "1\n", 6},
                      BadCase{"SpareDoesNotMount", "", "mount_fail", "/dev/mmcblk0p6\n", 6},
                      BadCase{"NoPlatformData", "--no-platform", nullptr, nullptr, 6}),
    [](const ::testing::TestParamInfo<BadCase>& i) { return std::string(i.param.name); });

TEST_F(Upgrade, AFailedFallbackWriteKeepsTheOldVersionImage)
{
    package("--fallback-version 2");
    knob("flashcp_fail", "/dev/mtd11\n");
    setUpgradeState(2);
    upgradeRun();
    EXPECT_EQ(nor(17), "1");
    EXPECT_EQ(nor(12), "factory fallback image");
}

TEST_F(Upgrade, StateThreeWithoutAValidPackageWritesNothing)
{
    package("--bad-checksum");
    // Unpacked by hand, never validated.
    ASSERT_EQ(system(("tar -xf " + host("/upload/upgrade_fm_test.tar") + " -C " + host("/upload")).c_str()), 0);
    std::string bank2 = bankImages(2);
    setUpgradeState(3);
    upgradeRun();
    EXPECT_EQ(getUpgradeState(), 6u);
    EXPECT_EQ(bankImages(2), bank2);
    EXPECT_FALSE(called("mkfs.ext4"));
}

TEST_F(Upgrade, WithoutRootfsOnlyPlatformDataAndBootImages)
{
    package("--no-rootfs");
    setUpgradeState(2);
    upgradeRun();
    EXPECT_EQ(getUpgradeState(), 4u);
    EXPECT_NE(book().find("INFO: UpgradeMng: RootFS NOT upgraded\n"), std::string::npos);
    EXPECT_EQ(nor(3), "fm_preloader_sys2.bin test");
    // Fallback version 1 is not newer than the installed one.
    EXPECT_EQ(nor(0), "factory fallback image");
}

TEST_F(Upgrade, FromTheFallbackBothBanksAreInstalledAndMtd13IsNeverWritten)
{
    // Bank 1's images erased: the boot loader starts the fallback.
    truncate(host("/dev/mtd2").c_str(), 0);
    EXPECT_EQ(powerCycle(), 3);
    EXPECT_EQ(getRunningBank(), 3);
    EXPECT_EQ(getOperativeMode(), 3);
    package("--fallback-version 5");
    setUpgradeState(2);
    upgradeRun();
    EXPECT_EQ(getUpgradeState(), 4u);
    EXPECT_EQ(nor(2), "fm_preloader_sys1.bin test");
    EXPECT_EQ(nor(3), "fm_preloader_sys2.bin test");
    EXPECT_EQ(nor(13), "factory fallback image");
    EXPECT_EQ(nor(17), "5");
    EXPECT_EQ(file("/upload/do_align"), "no");
    EXPECT_EQ(getActiveBank(), 1);
    EXPECT_EQ(powerCycle(), 1);
}

TEST_F(Upgrade, UploadCleanWithAMissingPartitionFormatsNothing)
{
    rmdir(host("/dev/mmcblk0p4").c_str());
    std::ofstream(host("/upload/leftover")) << "x";
    setCommandStatus(11, 1);
    upgradeRun();
    EXPECT_EQ(getCommandStatus(11), 2u);
    EXPECT_EQ(getOperativeMode(), 2);
    EXPECT_FALSE(called("mkfs.ext4"));
    EXPECT_FALSE(called("write_mmcblk0_part.sh"));
    EXPECT_EQ(listing("/upload"), "");
    EXPECT_EQ(listing("/dev/mmcblk0p2"), "factory ");
}

TEST_F(Upgrade, SpareBankAndSwitchRules)
{
    struct Case {
        uint8_t running, active;
        int spare;
    } cases[] = {{1, 1, 2}, {2, 2, 1}, {1, 2, 1}, {3, 1, 1}};
    for (const Case& c : cases) {
        setRunningBank(c.running);
        setActiveBank(c.active);
        EXPECT_EQ(upgradeGetSpareBank(), c.spare);
    }
    setRunningBank(1);
    setActiveBank(1);
    EXPECT_EQ(upgradeSwitchFwBank(7), 2);
    EXPECT_EQ(upgradeSwitchFwBank(1), 1);
    EXPECT_NE(book().find("INFO: UpgradeMng: Switch Active FwBank to bank 2\n"), std::string::npos);
}

} // namespace

namespace {

// The install and the alignment in a child process on the virtual clock,
// killed with SIGKILL as the N-th tool starts; then a power cycle.
class UpgradeCut : public Upgrade, public ::testing::WithParamInterface<int> {
protected:
    // Runs the upgrade passes in a child that the N-th tool kills; true when
    // the child was killed (false: it ran to its end first).
    bool runCut(int n, void (*passes)())
    {
        unlink(host("/var/lib/standin/kill_count").c_str());
        knob("kill_at", std::to_string(n));
        pid_t pid = fork();
        if (pid == 0) {
            knob("kill_pid", std::to_string(getpid()));
            passes();
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        unlink(host("/var/lib/standin/kill_at").c_str());
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    static void installPasses()
    {
        setUpgradeState(2);
        upgradeRun();
    }
    static void alignPasses()
    {
        setUpgradeState(0);
        upgradeRun();
        clockAdvanceUs(11000000);
        upgradeRun();
    }
    // A booted eMMC bank holds the package or the factory installation whole.
    void expectWholeBank(int bank)
    {
        std::string images = bankImages(bank);
        const char* parts = bank == 1 ? "/dev/mmcblk0p2" : "/dev/mmcblk0p3";
        if (images.find("factory") != std::string::npos) {
            EXPECT_EQ(images, "factory bank image\n|factory bank image\n|factory bank image\n|factory bank image\n|");
            EXPECT_EQ(listing(parts), "factory ");
        } else {
            EXPECT_EQ(nor(bank == 1 ? 2 : 3), bank == 1 ? "fm_preloader_sys1.bin test" : "fm_preloader_sys2.bin test");
            EXPECT_EQ(file(std::string(parts) + "/etc/fw_version"), "rootfs test\n");
        }
    }
};

TEST_P(UpgradeCut, EveryBootIsOfAWholeBank)
{
    int n = GetParam();
    package();
    bool killed = runCut(n, installPasses);
    if (n <= 10) {
        EXPECT_TRUE(killed); // an install runs far more tools
    }
    int booted = powerCycle();
    EXPECT_NE(booted, 3);
    expectWholeBank(booted);
    // The new bank only after the install completed.
    bool installed = book().find("INFO: UpgradeMng: Upgrade Package has been installed\n") != std::string::npos;
    EXPECT_EQ(booted, installed ? 2 : 1) << "killed " << killed;
    if (booted != 2)
        return;
    // The alignment cut the same way never touches the running bank.
    runCut(n, alignPasses);
    EXPECT_EQ(powerCycle(), 2);
    expectWholeBank(2);
}

INSTANTIATE_TEST_SUITE_P(AtEachTool, UpgradeCut, ::testing::Range(1, 33));

} // namespace

namespace {

class UpgradeBank2Board : public SandboxTest {
protected:
    UpgradeBank2Board()
        : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL | SANDBOX_VIRTUAL_CLOCK,
                      "i2c 1 0x51 m24lc512 name=M24LC512_BOARD\nfw-bank 2\nemmc 1 2 3 5 6 7 8\n")
    {
    }
};

TEST_F(UpgradeBank2Board, ANewBoardBootsItsBankAndHasItsPartitions)
{
    std::string boots = readSandboxFile("/var/log/bootloader.log");
    ASSERT_GE(boots.size(), 12u);
    EXPECT_EQ(boots.substr(boots.size() - 12), "boot bank 2\n");
    EXPECT_NE(access(host("/dev/mmcblk0p4").c_str(), F_OK), 0);
    EXPECT_EQ(checkBootBank(), 0);
    EXPECT_EQ(getRunningBank(), 2);
    EXPECT_EQ(readSandboxFile("/dev/mtd3"), "factory bank image\n");
    EXPECT_EQ(readSandboxFile("/dev/mtd2"), "");
}

} // namespace
