// Firmware upgrade manager, the body of "Upgrade Thread".
#include "persist/upgradeManager.h"

#include "Config/eventBitmaps.h"
#include "Config/keys/systemKeys.h"
#include "alarms/logicaTxConfig.h"
#include "audio/conversions.h"
#include "comtab/commandTable.h"
#include "core/base/logs.h"
#include "persist/bootBank.h"
#include "persist/childProgram.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/programs.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char* kUpload = "/upload";
constexpr const char* kPrefix = "upgrade_fm_";
constexpr int kCmdUpdate = 9;
constexpr int kCmdClean = 11;
constexpr uint16_t kAlignEventBit = 80;
constexpr long kAlignDelaySeconds = 10;

struct State {
    std::atomic<bool> running{false};
    bool installed = false;
    uint32_t autoInstall = 0;
    int alignStep = 0;
    struct timespec alignStamp = {};
    char name[500] = "upgrade_fm_";
    bool pollStamped = false;
    struct timespec pollStamp = {};
};

State& st()
{
    static State s;
    return s;
}

bool readable(const char* path)
{
    return access(sysPath(path).c_str(), R_OK) == 0;
}

// Runs a tool; a failed fork or exec says so in a DEBUG line.
int runTool(const char* program, const char* const argv[], const char* what, const char* cwd = nullptr)
{
    int r = runChildProgram(program, argv, cwd);
    if (r == -2)
        logDebug("Cannot %s", what);
    else if (r == 127)
        logDebug("Failed to %s", what);
    return r;
}

int runShell(const char* line)
{
    int r = runShellLine(line);
    if (r != 0)
        logDebug("Failed to run '%s' [%d]", line, r);
    return r;
}

void partitionsOf(int bank, char& root, char& home, char& plat)
{
    root = bank == 1 ? '2' : '3';
    home = bank == 1 ? '5' : '6';
    plat = bank == 1 ? '7' : '8';
}

void makeDir0777(const char* path)
{
    std::string p = sysPath(path);
    mkdir(p.c_str(), 0777);
    chmod(p.c_str(), 0777);
}

// Mounts one partition of the spare bank; from the fallback a partition
// that does not mount is formatted and mounted once more.
int mountSparePart(char part, const char* dir)
{
    int r = upgradeMountPartition(part, dir);
    if (r != 0 && getOperativeMode() == 3) {
        upgradeFormatPartition(part);
        r = upgradeMountPartition(part, dir);
    }
    return r;
}

int linkSpareFpgaImage()
{
    const char* target = getFunctionalType() == 10 ? "./fm_rep_fpga.img" : "./fm_fpga.img";
    const char* const argv[] = {"ln", "-sf", target, "/spare/usr/local/fpga/fpga.img", nullptr};
    return runTool("/bin/ln", argv, "link the FPGA image");
}

// The root file system of `bank` into /spare, with that bank's own fstab.
int installRootfs(int bank)
{
    if (!readable("/upload/rootfs.tar.xz")) {
        logInfo("UpgradeMng: RootFS NOT upgraded\n");
        return -1;
    }
    const char* const umountArgv[] = {"umount", "/spare/usr/local", nullptr};
    runTool("/bin/umount", umountArgv, "umount /spare/usr/local");
    const char* const tarArgv[] = {"tar", "-xJf", "/upload/rootfs.tar.xz", "-C", "/spare", nullptr};
    int r = runTool("/bin/tar", tarArgv, "unpack the root file system");
    if (r == 0)
        r = runShell(bank == 1 ? "/usr/local/bin/write_fstab_1.sh" : "/usr/local/bin/write_fstab_2.sh");
    if (r == 0) {
        runShell("sed -i 's/#RuntimeWatchdogSec=0/RuntimeWatchdogSec=10/g' /spare/etc/systemd/system.conf");
        runShell("sed -i 's/#ShutdownWatchdogSec=10min/ShutdownWatchdogSec=5min/g' /spare/etc/systemd/system.conf");
    }
    logInfo(r == 0 ? "UpgradeMng: RootFS upgraded\n" : "UpgradeMng: Failed to upgrade RootFS\n");
    return r;
}

// Platform data, root file system (when the package has one) and boot
// images of one bank, its spare partitions mounted: 0 or the first failure.
int installBank(int bank)
{
    int r = upgradeInstallPlatformData();
    setUpgradeProgress(40);
    if (r != 0) {
        logInfo("UpgradeMng: Failed to unpack platform_data to the spare partition\n");
        return r;
    }
    if (readable("/upload/rootfs.tar.xz")) {
        r = installRootfs(bank);
        if (r != 0)
            return r;
    } else {
        logInfo("UpgradeMng: RootFS NOT upgraded\n");
    }
    setUpgradeProgress(60);
    r = upgradeWriteBootImages(bank);
    setUpgradeProgress(80);
    return r;
}

void installFailed()
{
    setUpgradeState(6);
    setCommandStatus(kCmdUpdate, 3);
    upgradeSetDoAlign(0);
}

void checkPackage()
{
    logInfo("UpgradeMng: Check Upgrade Package\n");
    int r = upgradeFindPackage(st().name, sizeof st().name);
    if (r == 0) {
        setUpgradeProgress(20);
        clockSleepSeconds(1);
        logInfo("UpgradeMng: Unpack Upgrade File\n");
        r = upgradeUnpackPackage(st().name);
    }
    if (r == 0) {
        setUpgradeProgress(50);
        clockSleepSeconds(1);
        logInfo("UpgradeMng: Check consistency Upgrade File\n");
        r = upgradeVerifyChecksum();
    }
    if (r != 0) {
        setUpgradeState(7);
        upgradeCleanUpload();
        return;
    }
    logInfo("UpgradeMng: Upgrade Package has been validated\n");
    if (getUpgradeSource() == 2)
        setCommandStatus(kCmdUpdate, 1);
    if (st().autoInstall) {
        setUpgradeProgress(0);
        setUpgradeState(3);
        setCommandRequest(kCmdUpdate, 1);
    } else {
        setUpgradeProgress(100);
        setUpgradeState(8);
    }
}

void install()
{
    // A client may set state 3 without a validated package: check it again
    // before anything is written.
    if (upgradeVerifyChecksum() != 0) {
        logInfo("UpgradeMng: Upgrade Package not validated\n");
        installFailed();
        return;
    }
    int bank = upgradeGetSpareBank();
    int hasRootfs = readable("/upload/rootfs.tar.xz") ? 1 : 0;
    int hasPlat = readable("/upload/platform_data.tar.gz") ? 1 : 0;
    logInfo("UpgradeMng: OperativeMode %s\n", getOperativeModeName(getOperativeMode()));
    logInfo("UpgradeMng: Upgrade to FwBank %d\n", bank);
    setUpgradeProgress(10);
    setUpgradeProgress(20);
    clockSleepSeconds(1);
    if (upgradeMountSpare(bank, hasRootfs, hasPlat) != 0) {
        logInfo("UpgradeMng: Can not mount the spare partition\n");
        installFailed();
        return;
    }
    setUpgradeProgress(30);
    clockSleepSeconds(1);
    int r = installBank(bank);
    if (r == 0) {
        int nor = upgradeNorFallback();
        if (nor != 0 && nor != -1)
            r = nor;
    }
    if (r != 0) {
        logInfo("UpgradeMng: Install to FwBank %d FAILED [%d]\n", bank, r);
        upgradeUnmountSpare();
        installFailed();
        return;
    }
    setUpgradeProgress(90);
    clockSleepSeconds(1);
    bool fromFallback = getRunningBank() == 3 && getOperativeMode() == 3;
    if (fromFallback) {
        int other = bank == 1 ? 2 : 1;
        r = upgradeMountSpare(other, hasRootfs, hasPlat);
        if (r == 0)
            r = installBank(other);
        if (r != 0) {
            logInfo("UpgradeMng: Failed to copy the configuration to the spare partition\n");
            upgradeUnmountSpare();
            installFailed();
            return;
        }
    }
    upgradeUnmountSpare();
    setUpgradeProgress(100);
    clockSleepSeconds(1);
    logInfo("UpgradeMng: Upgrade Package has been installed\n");
    setUpgradeState(4);
    st().installed = true;
    setCommandStatus(kCmdUpdate, 2);
    upgradeSetDoAlign(fromFallback ? 0 : 1);
}

void stateLoop()
{
    State& s = st();
    s.running = true;
    s.installed = false;
    setUpgradeProgress(0);
    for (;;) {
        uint32_t state = getUpgradeState();
        if (state == 1) {
            clockSleepSeconds(1);
        } else if (state == 2) {
            checkPackage();
        } else if (state == 3) {
            install();
        } else {
            if (state == 4 && s.installed) {
                upgradeSwitchFwBank(0);
                clockSleepSeconds(3);
                runShell("systemctl reboot");
            }
            break;
        }
        state = getUpgradeState();
        if (state == 6 || state == 7 || state == 8)
            break;
    }
    s.running = false;
}

void alignmentCheck()
{
    State& s = st();
    if (s.alignStep >= 2)
        return;
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    if (s.alignStep == 0) {
        s.alignStamp = now;
        s.alignStep = 1;
        return;
    }
    if (now.tv_sec - s.alignStamp.tv_sec <= kAlignDelaySeconds)
        return;
    // An eMMC bank that runs but is not the active one is waiting for the
    // reboot that follows a bank switch: the spare bank by the rule is then
    // the running one, and the alignment is left to the next start.
    int running = getRunningBank();
    if ((running == 1 || running == 2) && running != getActiveBank())
        return;
    if (upgradeAlignFirmware() == 0)
        s.alignStep = 2;
    else
        s.alignStamp = now; // tried again after the same delay
}

} // namespace

void upgradeRun()
{
    State& s = st();
    snprintf(s.name, sizeof s.name, "%s", kPrefix);
    s.autoInstall = getUpgradeAutoInstall();
    if (getCommandStatus(kCmdClean) == 1) {
        logInfo("UpgradeMng: Check EMMC\n");
        upgradeCheckEmmc();
        if (upgradeCleanUpload() < 0) {
            logInfo("UpgradeMng: Clean Upload Folder FAILED\n");
            setCommandStatus(kCmdClean, 3);
        } else {
            logInfo("UpgradeMng: Clean Upload Folder SUCCESS\n");
            setCommandStatus(kCmdClean, 2);
        }
    } else {
        stateLoop();
    }
    alignmentCheck();
}

void pollUpgradeTask()
{
    State& s = st();
    struct timespec now;
    clockGetTime(CLOCK_MONOTONIC_RAW, &now);
    if (!s.pollStamped) {
        s.pollStamped = true;
        s.pollStamp = now;
        return;
    }
    int64_t us = (now.tv_sec - s.pollStamp.tv_sec) * 1000000LL + (now.tv_nsec - s.pollStamp.tv_nsec) / 1000;
    if (us < 0)
        us = -us;
    if (us >= 800000) {
        s.pollStamp = now;
        upgradeRun();
    }
}

int upgradeGetSpareBank()
{
    return getRunningBank() == 1 && getActiveBank() == 1 ? 2 : 1;
}

int upgradeSwitchFwBank(int bank)
{
    if (bank != 1 && bank != 2) {
        bank = upgradeGetSpareBank();
        logInfo("UpgradeMng: Switch Active FwBank to bank %d\n", bank);
    }
    return setActiveBank(static_cast<uint32_t>(bank));
}

int upgradeFindPackage(char* name, size_t capacity)
{
    int found = -1;
    if (DIR* d = opendir(sysPath(kUpload).c_str())) {
        while (struct dirent* e = readdir(d)) {
            if (strncmp(e->d_name, kPrefix, strlen(kPrefix)) == 0) {
                snprintf(name, capacity, "%s", e->d_name);
                found = 0;
                break;
            }
        }
        closedir(d);
    }
    logInfo(found == 0 ? "UpgradeMng: Upgrade file found!\n" : "UpgradeMng: Upgrade file does not exist\n");
    return found;
}

int upgradeUnpackPackage(const char* name)
{
    std::string archive = std::string(kUpload) + "/" + name;
    const char* const argv[] = {"tar", "-xf", archive.c_str(), "-C", kUpload, nullptr};
    int r = runTool("/bin/tar", argv, "unpack the archive");
    if (r != 0) {
        logDebug("Failed to unpack the archive");
        return r;
    }
    if (unlink(sysPath(archive.c_str()).c_str()) != 0) {
        logDebug("Failed to remove the archive");
        return -1;
    }
    return 0;
}

int upgradeVerifyChecksum()
{
    if (!readable("/upload/checksum")) {
        logDebug("The archive has not a checksum file");
        return -1;
    }
    setUpgradeProgress(50);
    clockSleepSeconds(1);
    // The list's names are relative to the package folder.
    const char* const argv[] = {"md5sum", "-c", "/upload/checksum", nullptr};
    int r = runTool("/usr/bin/md5sum", argv, "check the archive", kUpload);
    if (r != 0)
        logDebug("The checksum is invalid [Ret %d]", r > 0 && r < 128 ? r << 8 : r);
    return r;
}

int upgradeMountSpare(int bank, int formatRoot, int formatPlat)
{
    int r = -1;
    if (bank == 1 || bank == 2) {
        char root, home, plat;
        partitionsOf(bank, root, home, plat);
        upgradeUnmountSpare();
        if (formatRoot) {
            logInfo("UpgradeMng: Format EXT4 Spare RootFS\n");
            upgradeFormatPartition(root);
        }
        if (formatPlat) {
            logInfo("UpgradeMng: Format EXT4 Spare PlatData&Home\n");
            upgradeFormatPartition(home);
            upgradeFormatPartition(plat);
        }
        logInfo("UpgradeMng: Mount Spare RootFS\n");
        r = mountSparePart(root, "/spare");
        if (r == 0) {
            makeDir0777("/spare/home");
            logInfo("UpgradeMng: Mount Spare Home\n");
            r = mountSparePart(home, "/spare/home");
        }
        if (r == 0) {
            logInfo("UpgradeMng: Mount Spare PlatData\n");
            makeDir0777("/spare/usr");
            makeDir0777("/spare/usr/local");
            r = mountSparePart(plat, "/spare/usr/local");
        }
    }
    if (r == 0)
        logInfo("UpgradeMng: Spare bank mounted (bank %u - format %u,%u)\n", bank, formatRoot, formatPlat);
    else
        logInfo("UpgradeMng:  Spare bank NOT mounted (bank %u - format %u,%u)\n", bank, formatRoot, formatPlat);
    return r;
}

int upgradeUnmountSpare()
{
    for (const char* dir : {"/spare/usr/local", "/spare/home", "/spare"}) {
        const char* const argv[] = {"umount", dir, nullptr};
        runChildProgram("/bin/umount", argv);
    }
    return 0;
}

int upgradeFormatPartition(char partition)
{
    char dev[32];
    snprintf(dev, sizeof dev, "/dev/mmcblk0p%c", partition);
    const char* const argv[] = {"mkfs.ext4", dev, nullptr};
    int r = runChildProgram("/sbin/mkfs.ext4", argv);
    if (r == -2)
        logDebug("Cannot format ext4 MMC p%c ", partition);
    else if (r == 127)
        logDebug("Failed to mkfs ext4 MMC p%c ", partition);
    return r;
}

int upgradeMountPartition(char partition, const char* dir)
{
    char dev[32];
    snprintf(dev, sizeof dev, "/dev/mmcblk0p%c", partition);
    const char* const argv[] = {"mount", dev, dir, nullptr};
    int r = runChildProgram("/bin/mount", argv);
    if (r == -2)
        logDebug("Cannot mount %s partition", dir);
    else if (r == 127)
        logDebug("Failed to mount %s partition", dir);
    return r;
}

int upgradeRemountUpload(int format)
{
    logDebug("umount /upload");
    const char* const umountArgv[] = {"umount", kUpload, nullptr};
    runTool("/bin/umount", umountArgv, "umount /upload partition");
    if (format) {
        logDebug("Format /upload partition");
        upgradeFormatPartition('1');
    }
    logDebug("mount /upload");
    return upgradeMountPartition('1', kUpload);
}

int upgradeCleanUpload()
{
    if (upgradeRemountUpload(0) != 0)
        upgradeRemountUpload(1);
    else
        runShell("rm -rf /upload/*");
    // Done only when the package area is mounted and holds nothing.
    bool mounted = false;
    if (FILE* f = fopen(sysPath("/proc/mounts").c_str(), "r")) {
        char dev[256], dir[256];
        while (fscanf(f, "%255s %255s%*[^\n]", dev, dir) == 2)
            if (strcmp(dev, "/dev/mmcblk0p1") == 0 && strcmp(dir, kUpload) == 0)
                mounted = true;
        fclose(f);
    }
    bool empty = false;
    if (DIR* d = opendir(sysPath(kUpload).c_str())) {
        empty = true;
        while (struct dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                empty = false;
        closedir(d);
    }
    return mounted && empty ? 0 : -1;
}

int upgradeInstallPlatformData()
{
    if (!readable("/upload/platform_data.tar.gz"))
        return -1;
    const char* const argv[] = {"tar", "-xzf", "/upload/platform_data.tar.gz", "-C", "/spare/usr/local/", nullptr};
    int r = runTool("/bin/tar", argv, "unpack the platform data");
    if (r == 0)
        linkSpareFpgaImage();
    logInfo(r == 0 ? "UpgradeMng: Platform Data upgraded\n" : "UpgradeMng: Failed to upgrade Platform Data\n");
    return r;
}

int upgradeInstallRootfs()
{
    return installRootfs(upgradeGetSpareBank());
}

int upgradeWriteBootImages(int bank)
{
    struct Image {
        const char* name;
        int mtd;
        int remove;
    };
    static const Image kBank1[] = {{"fm_preloader_sys1.bin", 2, 0},
                                   {"fm_uboot_env_sys1.img", 6, 1},
                                   {"fm_uboot_sys1.img", 7, 1},
                                   {"nor-image-version.img", 18, 0}};
    static const Image kBank2[] = {{"fm_preloader_sys2.bin", 3, 0},
                                   {"fm_uboot_env_sys2.img", 8, 1},
                                   {"fm_uboot_sys2.img", 9, 1},
                                   {"nor-image-version.img", 19, 0}};
    for (const Image& i : bank == 1 ? kBank1 : kBank2) {
        int r = upgradeFlashImage(i.name, i.mtd, i.remove);
        if (r != 0)
            return r;
    }
    return 0;
}

int upgradeFlashImage(const char* name, int mtd, int remove)
{
    std::string image = std::string(kUpload) + "/" + name;
    char dev[16];
    snprintf(dev, sizeof dev, "/dev/mtd%i", mtd);
    logInfo("flashcp %s %s\n", image.c_str(), dev);
    const char* const argv[] = {"flashcp", image.c_str(), dev, nullptr};
    int r = runChildProgram("/usr/sbin/flashcp", argv);
    if (r == -2) {
        logDebug("cannot fork");
        return -1;
    }
    if (r != 0) {
        logDebug(r == 127 ? "cannot execute flashcp" : "flashcp %s %s failed [%d]", image.c_str(), dev, r);
        return r;
    }
    if (remove)
        return unlink(sysPath(image.c_str()).c_str());
    return 0;
}

int upgradeNorFallback()
{
    FILE* f = fopen(sysPath("/upload/nor-image-version.img").c_str(), "r");
    if (!f)
        return -1;
    unsigned long packaged = 0;
    if (fscanf(f, "%lu", &packaged) != 1)
        packaged = 0;
    fclose(f);
    if (packaged == 0)
        return -1;
    int fd = open(sysPath("/dev/mtd17").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        logErr("%s - can't open %s\n", "upgradeNorFallback", "/dev/mtd17");
        return -1;
    }
    char digits[33] = "";
    ssize_t n = read(fd, digits, 32);
    close(fd);
    unsigned long installed = 0;
    for (ssize_t i = 0; i < n && isdigit(static_cast<unsigned char>(digits[i])); i++)
        installed = installed * 10 + static_cast<unsigned long>(digits[i] - '0');
    if (packaged <= installed)
        return -1;
    struct Image {
        const char* name;
        int mtd;
    };
    static const Image kImages[] = {{"fm_preloader_fb.bin", 0}, {"fm_preloader_fb.bin", 1},
                                    {"fm_uboot_env_fb.img", 4}, {"fm_uboot_fb.img", 5},
                                    {"fm_fpga.img", 10},        {"linux.img", 11},
                                    {"dtb.img", 12},            {"rootfs.img", 13},
                                    {"fm_baremetal.bin", 16},   {"nor-image-version.img", 17}};
    for (const Image& i : kImages) {
        // The fallback's root file system is never rewritten while it runs.
        if (i.mtd == 13 && (getRunningBank() == 3 || getOperativeMode() == 3))
            continue;
        int r = upgradeFlashImage(i.name, i.mtd, 0);
        if (r != 0)
            return r == -1 ? -2 : r;
    }
    return 0;
}

int upgradeAlignFirmware()
{
    int bank = upgradeGetSpareBank();
    logInfo("UpgradeMng: Finding Firmware for alignment..\n");
    int r = upgradeRemountUpload(0);
    if (r != 0)
        return r;
    if (upgradeCheckDoAlign() != 0) {
        setEventBit(0, kAlignEventBit);
        logInfo("UpgradeMng: No Firmware Found\n");
        return 0;
    }
    int hasRootfs = readable("/upload/rootfs.tar.xz") ? 1 : 0;
    int hasPlat = readable("/upload/platform_data.tar.gz") ? 1 : 0;
    setEventBit(1, kAlignEventBit);
    logInfo("UpgradeMng: Align Firmware to bank %d\n", bank);
    r = upgradeMountSpare(bank, hasRootfs, hasPlat);
    setUpgradeProgress(10);
    if (r == 0) {
        r = upgradeWriteBootImages(bank);
        setUpgradeProgress(30);
        if (r == 0)
            r = upgradeInstallPlatformData();
        setUpgradeProgress(50);
        if (r == 0 && hasRootfs)
            r = installRootfs(bank);
        setUpgradeProgress(70);
        upgradeUnmountSpare();
    }
    if (r != 0) {
        // The package stays for the next try.
        logInfo("UpgradeMng: Align Firmware to bank %d FAILED [%d]\n", bank, r);
        return r;
    }
    setUpgradeProgress(100);
    setEventBit(0, kAlignEventBit);
    logInfo("UpgradeMng: Align Firmware to bank %d - COMPLETE\n", bank);
    upgradeCleanUpload();
    return 0;
}

int upgradeCheckDoAlign()
{
    FILE* f = fopen(sysPath("/upload/do_align").c_str(), "r");
    if (!f)
        return -1;
    char line[16] = "";
    bool yes = fgets(line, sizeof line, f) && strncmp(line, "yes", 3) == 0;
    fclose(f);
    return yes ? 0 : -1;
}

void upgradeSetDoAlign(int flag)
{
    const char* text = flag ? "yes" : "no";
    int fd = open(sysPath("/upload/do_align").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (write(fd, text, strlen(text)) < 0)
        logDebug("%s - can't write on %s", "upgradeSetDoAlign", "/upload/do_align");
    fsync(fd);
    close(fd);
}

int upgradeCopyConfigToSpare()
{
    makeDir0777("/spare/home/root");
    logInfo("configuration copied to spare\n");
    return 0;
}
