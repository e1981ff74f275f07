// The boot bank check at start-up, the eMMC layout check and the hand-over
// to the separate upgrade program.
#include "persist/bootBank.h"

#include "Config/keys/systemKeys.h"
#include "comtab/commandTable.h"
#include "sim/board.h"
#include "sim/programs.h"
#include "testing/sandboxTest.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kBank1[] = "/dev/mmcblk0p2 / ext4 rw 0 0\n/dev/mmcblk0p5 /home ext4 rw 0 0\n"
                      "/dev/mmcblk0p7 /usr/local ext4 rw 0 0\n";
const char kBank2[] = "/dev/mmcblk0p3 / ext4 rw 0 0\n/dev/mmcblk0p6 /home ext4 rw 0 0\n"
                      "/dev/mmcblk0p8 /usr/local ext4 rw 0 0\n";
const char kFallback[] = "/dev/mtdblock13 / jffs2 ro 0 0\n";

class BootBank : public SandboxTest {
protected:
    BootBank() : SandboxTest(SANDBOX_LOGS | SANDBOX_DBPOOL) {}
    void put(const char* path, const std::string& text)
    {
        std::string p = host(path);
        simMakeDirs(p.substr(0, p.rfind('/')).c_str());
        std::ofstream(p, std::ios::binary) << text;
    }
    void emmc(const char* missing = "")
    {
        simMakeDirs(host("/dev/mmcblk0").c_str());
        for (char p = '1'; p <= '8'; p++) {
            std::string node = std::string("/dev/mmcblk0p") + p;
            if (strchr(missing, p))
                rmdir(host(node.c_str()).c_str());
            else
                simMakeDirs(host(node.c_str()).c_str());
        }
    }
    bool called(const std::string& line) const
    {
        for (const std::string& l : simStandInCalls())
            if (l == line)
                return true;
        return false;
    }
};

TEST_F(BootBank, RunningBankFromTheMountsOfTheRunningSystem)
{
    struct Case {
        const char* mounts;
        int bank;
    } cases[] = {
        {kBank1, 1},
        {kBank2, 2},
        {kFallback, 3},
        // A spare bank mounted under /spare does not make it the running one.
        {"/dev/mmcblk0p3 /spare ext4 rw 0 0\n/dev/mmcblk0p6 /spare/home ext4 rw 0 0\n"
         "/dev/mmcblk0p8 /spare/usr/local ext4 rw 0 0\n/dev/root / ext4 rw 0 0\n",
         0},
        {"/dev/mmcblk0p2 on / type ext4 (rw)\n/dev/mmcblk0p5 on /home type ext4 (rw)\n"
         "/dev/mmcblk0p7 on /usr/local type ext4 (rw)\n/dev/mmcblk0p3 on /spare type ext4 (rw)\n",
         1},
        {"/dev/mmcblk0p2 / ext4 rw 0 0\n/dev/mmcblk0p6 /home ext4 rw 0 0\n/dev/mmcblk0p7 /usr/local ext4 rw 0 0\n", 0},
        {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(runningBankFromMounts(c.mounts), c.bank) << c.mounts;
}

TEST_F(BootBank, ActiveBankFollowsTheRunningOne)
{
    emmc();
    put("/proc/mounts", kBank2);
    setActiveBank(1);
    EXPECT_EQ(checkBootBank(), 0);
    EXPECT_EQ(getRunningBank(), 2);
    EXPECT_EQ(getActiveBank(), 2);
    EXPECT_EQ(getOperativeMode(), 1);
    std::string b = book();
    EXPECT_NE(b.find("INFO: Align Active Bank from Running Bank = 2\n"), std::string::npos);
    EXPECT_NE(b.find("INFO: System OperativeMode Normal [FwBank 2]\n"), std::string::npos);

    // Mounts that name no bank: result 1, the running bank kept, and the mode
    // follows it.
    put("/proc/mounts", "/dev/root / ext4 rw 0 0\n");
    EXPECT_EQ(checkBootBank(), 1);
    EXPECT_EQ(getRunningBank(), 2);
    EXPECT_EQ(getOperativeMode(), 1);
    EXPECT_NE(book().find("DEBUG: Can not identify the boot partition from cmdline"), std::string::npos);
}

TEST_F(BootBank, NoBankFoundAtAllIsModeNotDetected)
{
    put("/proc/mounts", "/dev/root / ext4 rw 0 0\n");
    EXPECT_EQ(checkBootBank(), 1);
    EXPECT_EQ(getOperativeMode(), 0);
    EXPECT_NE(book().find("INFO: System OperativeMode Not Detected [FwBank 0]\n"), std::string::npos);
}

TEST_F(BootBank, FallbackChecksTheEmmcAndRebuildsOnlyAMissingLayout)
{
    emmc();
    put("/proc/mounts", kFallback);
    EXPECT_EQ(checkBootBank(), 0);
    EXPECT_EQ(getRunningBank(), 3);
    EXPECT_EQ(getOperativeMode(), 3);
    EXPECT_FALSE(called("write_mmcblk0_part.sh"));

    rmdir(host("/dev/mmcblk0p4").c_str());
    EXPECT_EQ(checkBootBank(), 0);
    EXPECT_EQ(getOperativeMode(), 3);
    EXPECT_TRUE(called("write_mmcblk0_part.sh"));
    EXPECT_TRUE(called("mkfs.ext4 " + root + "/dev/mmcblk0p8"));
    EXPECT_TRUE(called("write_fstab_1.sh"));
    EXPECT_TRUE(called("write_fstab_2.sh"));
    EXPECT_TRUE(called("rsync -axH " + root + "/usr/local/ " + root + "/spare/"));
}

TEST_F(BootBank, UploadCleanCheckFormatsNothingFromAnEmmcBank)
{
    emmc("4");
    put("/proc/mounts", kBank1);
    EXPECT_EQ(checkBootBank(), 0);
    upgradeCheckEmmc();
    EXPECT_EQ(getOperativeMode(), 2);
    EXPECT_FALSE(called("write_mmcblk0_part.sh"));
    for (const std::string& l : simStandInCalls())
        EXPECT_EQ(l.find("mkfs"), std::string::npos) << l;
    EXPECT_NE(book().find("ERR: upgradeCheckEmmc - eMMC partition missing"), std::string::npos);

    // A complete eMMC is mode 1, whatever the mode was.
    simMakeDirs(host("/dev/mmcblk0p4").c_str());
    setOperativeMode(3);
    upgradeCheckEmmc();
    EXPECT_EQ(getOperativeMode(), 1);
}

TEST_F(BootBank, UpgradeProgramHandOver)
{
    simMakeDirs(host("/dev/shm/VRL/upgrade").c_str());
    EXPECT_EQ(launchUpgradeProcess("--all"), 0);
    std::string pid;
    std::ifstream(host("/dev/shm/VRL/upgrade/vrl_upgrade.pid")) >> pid;
    EXPECT_GT(std::stoi(pid), 0);
    EXPECT_NE(book().find("INFO: Start vrl_upgrade process\n"), std::string::npos);

    struct Case {
        const char* step; // null: no step file
        uint32_t status;
    } cases[] = {{"LOG_END\n", 2}, {"STEP 3\n", 3}, {nullptr, 3}};
    for (const Case& c : cases) {
        setCommandStatus(9, 1);
        setCommandRequest(9, 2);
        if (c.step)
            put("/usr/share/VRL/upgrade/vrl_upgrade_step.txt", c.step);
        put("/usr/share/VRL/upgrade/vrl_upgrade.pid", "1");
        refresh_vrl_update_status();
        EXPECT_EQ(getCommandStatus(9), c.status);
        EXPECT_EQ(getCommandRequest(9), 0u);
        EXPECT_NE(access(host("/usr/share/VRL/upgrade/vrl_upgrade_step.txt").c_str(), F_OK), 0);
        EXPECT_NE(access(host("/usr/share/VRL/upgrade/vrl_upgrade.pid").c_str(), F_OK), 0);
    }
}

} // namespace
