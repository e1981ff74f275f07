#include "sim/simStorage.h"

#include "platform/paths.h"
#include "sim/board.h"
#include "sim/simModels.h"
#include "sim/simProfile.h"
#include "sim/simState.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool exists(const std::string& hostPath)
{
    struct stat sb;
    return lstat(hostPath.c_str(), &sb) == 0;
}

// A NOR device holds an image when its first byte is not erased.
bool norWritten(int mtd)
{
    std::string p = sysPath(("/dev/mtd" + std::to_string(mtd)).c_str());
    FILE* f = fopen(p.c_str(), "rb");
    if (!f)
        return false;
    int c = fgetc(f);
    fclose(f);
    return c != EOF && c != 0xFF;
}

bool dirHasEntries(const std::string& hostPath)
{
    DIR* d = opendir(hostPath.c_str());
    if (!d)
        return false;
    bool any = false;
    while (struct dirent* e = readdir(d))
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
            any = true;
    closedir(d);
    return any;
}

int writeImage(int mtd, const std::string& text)
{
    return simWriteFile(sysPath(("/dev/mtd" + std::to_string(mtd)).c_str()), text, 0644);
}

int activeBankInEeprom()
{
    SimDevice* dev = simFindDevice(SIM_BUS_I2C1, 0x51);
    uint8_t b = 0;
    if (dev && simModelOf(dev) && simModelOf(dev)->peek(0, &b, 1) == 1 && (b == 1 || b == 2))
        return b;
    // A record that names no bank: the bank the board came with.
    SimProfile prof;
    std::string error;
    if (simProfileParse(simBoardProfileText(), &prof, &error) == 0)
        return static_cast<int>(prof.fwBank);
    return 1;
}

// A mount point led to its partition's folder, as the mount stand-in does.
void leadMountPoint(const char* dir, const char* dev)
{
    std::string point = sysPath(dir);
    struct stat sb;
    if (lstat(point.c_str(), &sb) == 0) {
        if (S_ISLNK(sb.st_mode))
            unlink(point.c_str());
        else
            rmdir(point.c_str());
    }
    if (symlink(sysPath(dev).c_str(), point.c_str()) != 0)
        simMakeDirs(point.c_str());
}

// A mount point led to a partition becomes a plain folder again (made only
// with `make`: the ones inside the spare bank belong to its partitions).
void freeMountPoint(const char* dir, bool make)
{
    std::string point = sysPath(dir);
    struct stat sb;
    bool link = lstat(point.c_str(), &sb) == 0 && S_ISLNK(sb.st_mode);
    if (link)
        unlink(point.c_str());
    if (make || link)
        simMakeDirs(point.c_str());
}

} // namespace

int simBootLoader()
{
    int bank = activeBankInEeprom();
    static const int kImages[2][4] = {{2, 6, 7, 18}, {3, 8, 9, 19}};
    const char* reason = nullptr;
    for (int mtd : kImages[bank - 1])
        if (!norWritten(mtd))
            reason = "boot images not whole";
    const char* rootDev = bank == 1 ? "/dev/mmcblk0p2" : "/dev/mmcblk0p3";
    if (!reason && !dirHasEntries(sysPath(rootDev)))
        reason = "root partition empty";
    // Everything mounted before the power cycle is gone.
    freeMountPoint("/spare/usr/local", false);
    freeMountPoint("/spare/home", false);
    freeMountPoint("/spare", true);
    freeMountPoint("/upload", true);
    std::ostringstream mounts;
    if (reason) {
        mounts << "/dev/mtdblock13 / jffs2 ro,relatime 0 0\n";
    } else {
        const char* home = bank == 1 ? "/dev/mmcblk0p5" : "/dev/mmcblk0p6";
        const char* plat = bank == 1 ? "/dev/mmcblk0p7" : "/dev/mmcblk0p8";
        mounts << rootDev << " / ext4 rw,relatime 0 0\n"
               << home << " /home ext4 rw,relatime 0 0\n"
               << plat << " /usr/local ext4 rw,relatime 0 0\n";
    }
    if (exists(sysPath("/dev/mmcblk0p1"))) {
        leadMountPoint("/upload", "/dev/mmcblk0p1");
        mounts << "/dev/mmcblk0p1 /upload ext4 rw,relatime 0 0\n";
    }
    simWriteFile(sysPath("/proc/mounts"), mounts.str(), 0644);
    std::ofstream log(sysPath("/var/log/bootloader.log"), std::ios::app);
    if (reason)
        log << "boot fallback: bank " << bank << " " << reason << "\n";
    else
        log << "boot bank " << bank << "\n";
    return reason ? 3 : bank;
}

int simNorRead(int mtd, uint32_t offset, uint32_t count, std::vector<uint8_t>* out)
{
    if (mtd < 0 || mtd > 19 || offset > kSimNorSize || count > kSimNorSize - offset)
        return -1;
    FILE* f = fopen(sysPath(("/dev/mtd" + std::to_string(mtd)).c_str()).c_str(), "rb");
    if (!f)
        return -1;
    out->assign(count, 0xFF);
    if (fseek(f, offset, SEEK_SET) == 0 && count)
        (void)fread(out->data(), 1, count, f);
    fclose(f);
    return 0;
}

int simStorageInstall(const std::string& profileText)
{
    if (exists(sysPath("/dev/mmcblk0")))
        return 0;
    SimProfile prof;
    std::string error;
    if (simProfileParse(profileText, &prof, &error) != 0)
        return -1;
    int bank = static_cast<int>(prof.fwBank);
    int r = 0;
    for (const char* d : {"/spare", "/upload"})
        r |= simMakeDirs(sysPath(d).c_str());
    for (int p : prof.emmcPartitions)
        r |= simMakeDirs(sysPath(("/dev/mmcblk0p" + std::to_string(p)).c_str()).c_str());
    for (int m = 0; m < 20; m++)
        r |= simWriteFile(sysPath(("/dev/mtd" + std::to_string(m)).c_str()), "", 0644);
    r |= simWriteFile(sysPath("/dev/mtdblock13"), "", 0644);
    // The factory installation: one bank and the fallback.
    const char* parts = bank == 1 ? "257" : "368";
    for (const char* p = parts; *p; p++) {
        std::string dir = sysPath((std::string("/dev/mmcblk0p") + *p).c_str());
        r |= simWriteFile(dir + "/factory", "factory bank " + std::to_string(bank) + "\n", 0644);
    }
    static const int kImages[2][4] = {{2, 6, 7, 18}, {3, 8, 9, 19}};
    for (int m : kImages[bank - 1])
        r |= writeImage(m, "factory bank image\n");
    for (int m : {0, 1, 4, 5, 10, 11, 12, 13, 16})
        r |= writeImage(m, "factory fallback image\n");
    r |= writeImage(17, "1\n");
    // The device node last: it marks the storage as made.
    r |= simMakeDirs(sysPath("/dev/mmcblk0").c_str());
    simBootLoader();
    return r == 0 ? 0 : -1;
}
