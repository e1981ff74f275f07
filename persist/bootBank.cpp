// Boot bank check at start-up, eMMC layout check and rebuild, and the
// hand-over to the separate upgrade program.
#include "persist/bootBank.h"

#include "Config/keys/systemKeys.h"
#include "audio/conversions.h"
#include "comtab/commandManager.h"
#include "comtab/commandTable.h"
#include "core/base/logs.h"
#include "persist/childProgram.h"
#include "platform/paths.h"
#include "platform/programs.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kStepFile = "/usr/share/VRL/upgrade/vrl_upgrade_step.txt";
constexpr const char* kPidFileWritten = "/dev/shm/VRL/upgrade/vrl_upgrade.pid";
constexpr const char* kPidFileRemoved = "/usr/share/VRL/upgrade/vrl_upgrade.pid";

// The shell commands that rebuild one bank from the running system.
void rebuildBank(char root, char home, char plat, const char* fstabScript)
{
    std::vector<std::string> lines;
    lines.push_back(std::string("mount /dev/mmcblk0p") + root + " /spare");
    lines.push_back("rsync -axH --exclude /proc --exclude /dev --exclude /tmp --exclude /home --exclude /mnt "
                    "--exclude /spare --exclude /run --exclude /sys --exclude /etc/machine-id / /spare/");
    for (const char* d : {"mkdir /spare/proc", "mkdir /spare/dev", "mkdir /spare/tmp", "mkdir /spare/home",
                          "mkdir /spare/var", "mkdir -p /spare/usr/local", "mkdir /spare/mnt",
                          "mkdir /spare/mnt/ubi0", "mkdir /spare/mnt/ubi1", "mkdir /spare/run", "mkdir /spare/sys",
                          "mkdir /spare/upload", "mkdir /spare/spare"})
        lines.push_back(d);
    lines.push_back(fstabScript);
    lines.push_back("sed -i 's/#RuntimeWatchdogSec=0/RuntimeWatchdogSec=10/g' /spare/etc/systemd/system.conf");
    lines.push_back("sed -i 's/#ShutdownWatchdogSec=10min/ShutdownWatchdogSec=5min/g' /spare/etc/systemd/system.conf");
    lines.push_back("umount /spare");
    lines.push_back(std::string("mount /dev/mmcblk0p") + home + " /spare");
    lines.push_back("rsync -axH /home/ /spare/");
    lines.push_back("umount /spare");
    lines.push_back(std::string("mount /dev/mmcblk0p") + plat + " /spare");
    lines.push_back("rsync -axH /usr/local/ /spare/");
    lines.push_back("umount /spare");
    // Each step is tried whatever the one before gave.
    for (const std::string& l : lines)
        runShellLine(l.c_str());
}

void printBanks()
{
    printf("\n\n   Active Bank = %u  -  Running Bank  = %u   \n", getActiveBank(), getRunningBank());
}

} // namespace

int runningBankFromMounts(const char* mounts)
{
    // Only the devices on the running system's own mount points count: a
    // spare bank mounted under /spare (an alignment cut short) says nothing
    // about the running one.
    std::string onRoot, onHome, onPlat;
    std::istringstream in(mounts ? mounts : "");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string dev, second, dir;
        words >> dev >> second;
        if (second == "on")
            words >> dir; // "dev on dir type ..." (mount's listing)
        else
            dir = second; // "dev dir type ..." (/proc/mounts)
        if (dir == "/")
            onRoot = dev;
        else if (dir == "/home")
            onHome = dev;
        else if (dir == "/usr/local")
            onPlat = dev;
    }
    if (onRoot == "/dev/mmcblk0p2" && onHome == "/dev/mmcblk0p5" && onPlat == "/dev/mmcblk0p7")
        return 1;
    if (onRoot == "/dev/mmcblk0p3" && onHome == "/dev/mmcblk0p6" && onPlat == "/dev/mmcblk0p8")
        return 2;
    if (onRoot == "/dev/mtdblock13")
        return 3;
    return 0;
}

int checkBootBank()
{
    int result = 0;
    std::string out;
    const char* const argv[] = {"mount", nullptr};
    int bank = 0;
    if (runChildCapture("/bin/mount", argv, out) != 0) {
        printf("ERROR: could not execute command 'mount' ");
        result = 1;
    } else {
        bank = runningBankFromMounts(out.c_str());
        if (bank == 0) {
            printf("\n\n[[ ERROR ]]] Running Bank not consistent !!!    \n");
            logDebug("Can not identify the boot partition from cmdline\n\n");
            result = 1;
        } else {
            setRunningBank(static_cast<uint8_t>(bank));
        }
    }
    setActiveBank(getActiveBank());
    printBanks();
    uint32_t running = getRunningBank();
    uint32_t mode = 0;
    if (running == 1 || running == 2) {
        if (getActiveBank() != running) {
            logInfo("System OperativeMode %s\n", getOperativeModeName(getOperativeMode()));
            logInfo("Align Active Bank from Running Bank = %u\n", running);
            printf("\n[[ Warning ]]  Align Active Bank (%u) from Running Bank (%u) !!!    \n", getActiveBank(),
                   running);
            setActiveBank(running);
            printBanks();
        }
        mode = 1;
    } else if (running == 3) {
        upgradeCheckEmmc();
        mode = 3;
    }
    setOperativeMode(static_cast<uint8_t>(mode));
    logInfo("System OperativeMode %s [FwBank %d]\n", getOperativeModeName(mode), static_cast<int>(running));
    fflush(stdout);
    return result;
}

void upgradeCheckEmmc()
{
    bool device = access(sysPath("/dev/mmcblk0").c_str(), R_OK) == 0;
    bool all = device;
    for (char p = '1'; p <= '8'; p++) {
        std::string node = std::string("/dev/mmcblk0p") + p;
        if (access(sysPath(node.c_str()).c_str(), R_OK) != 0)
            all = false;
    }
    if (all) {
        setOperativeMode(1);
        return;
    }
    if (device && getRunningBank() != 3) {
        // Repartitioning formats every partition, the running bank's too.
        logErr("upgradeCheckEmmc - eMMC partition missing: not rebuilt while running from bank %u\n",
               getRunningBank());
    } else if (device) {
        runShellLine("/usr/local/bin/write_mmcblk0_part.sh");
        for (char p : {'1', '2', '3', '5', '6', '7', '8'}) {
            std::string line = std::string("mkfs.ext4 /dev/mmcblk0p") + p;
            runShellLine(line.c_str());
        }
        rebuildBank('2', '5', '7', "/usr/local/bin/write_fstab_1.sh");
        rebuildBank('3', '6', '8', "/usr/local/bin/write_fstab_2.sh");
    }
    setOperativeMode(2);
}

int launchUpgradeProcess(const char* argument)
{
    const char* program = "vrl_upgrade";
    std::string path = programPath(program);
    std::vector<std::string> env = programEnvironment();
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const char* const argv[] = {program, argument, nullptr};
    pid_t pid = fork();
    if (pid < 0) {
        logErr("CMD_UPDATE_FW failed: cannot create %s process\n", program);
        return -1;
    }
    if (pid == 0) {
        execve(path.c_str(), const_cast<char* const*>(argv), envp.data());
        _exit(1);
    }
    logInfo("Start %s process\n", program);
    char text[16];
    int n = snprintf(text, sizeof text, "%d", static_cast<int>(pid));
    int fd = open(sysPath(kPidFileWritten).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        if (write(fd, text, static_cast<size_t>(n)) != n)
            logErr("%s - can't write on %s\n", "launchUpgradeProcess", kPidFileWritten);
        close(fd);
    }
    return 0;
}

void refresh_vrl_update_status()
{
    FILE* f = fopen(sysPath(kStepFile).c_str(), "r");
    if (!f) {
        printf("CMD_UPDATE_FW failed; no log file...\n");
        setCommandStatus(9, 3);
    } else {
        char line[256] = "";
        if (!fgets(line, sizeof line, f))
            line[0] = '\0';
        fclose(f);
        printf("%s log : %s\n", "refresh_vrl_update_status", line);
        if (strncmp(line, "LOG_END", 7) == 0) {
            printf("CMD_UPDATE_FW successfull\n");
            setCommandStatus(9, 2);
            unlink(sysPath(kStepFile).c_str());
            unlink(sysPath(kPidFileRemoved).c_str());
            sync();
            CMD_Request(6, 1);
        } else {
            printf("CMD_UPDATE_FW failed\n");
            setCommandStatus(9, 3);
        }
    }
    setCommandRequest(9, 0);
    unlink(sysPath(kStepFile).c_str());
    unlink(sysPath(kPidFileRemoved).c_str());
    sync();
    fflush(stdout);
}
