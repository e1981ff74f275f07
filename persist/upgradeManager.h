// Firmware upgrade manager: installs a package from /upload into the bank
// that is not running, rewrites that bank's boot images in NOR flash (and the
// fallback's when the package carries a newer one), switches the active bank
// and reboots; after the reboot it copies the same package into the other
// bank. The active bank is switched only after every step of an install
// succeeded, so a failed or cut install never leaves the unit without a
// bootable bank.
#pragma once

#include <cstddef>

// Body of "Upgrade Thread" (250 ms): one pass of the state loop (or of the
// upload clean), then the alignment check.
void upgradeRun();
// Runs upgradeRun when 800 ms passed since its last run (the first call only
// stamps).
void pollUpgradeTask();

// 2 when the running and the active bank are both 1, else 1.
int upgradeGetSpareBank();
// Bank 1 or 2 as it is, any other value the spare bank; sets the active bank.
int upgradeSwitchFwBank(int bank);

// The first /upload entry whose name begins "upgrade_fm_", copied into
// `name` (capacity bytes): 0, or -1 when there is none (or /upload cannot be
// listed).
int upgradeFindPackage(char* name, size_t capacity = 500);
int upgradeUnpackPackage(const char* name);
// md5sum -c of /upload/checksum, run in /upload: 0 or an error.
int upgradeVerifyChecksum();

int upgradeMountSpare(int bank, int formatRoot, int formatPlat);
int upgradeUnmountSpare();
int upgradeFormatPartition(char partition);
int upgradeMountPartition(char partition, const char* dir);
int upgradeRemountUpload(int format);
// 0 only when /upload ends mounted and empty, else -1.
int upgradeCleanUpload();

// 0, the failing tool's status, or -1 without the archive.
int upgradeInstallPlatformData();
int upgradeInstallRootfs();
// The four per-bank images (preloader, u-boot environment, u-boot, version):
// 0, or the first failing write's result (the rest is not written).
int upgradeWriteBootImages(int bank);
// flashcp of /upload/<name> to /dev/mtd<mtd>: 0, flashcp's non-zero status,
// or with `remove` the removal's result.
int upgradeFlashImage(const char* name, int mtd, int remove);
// Fallback refresh: -1 when nothing was to be written, 0 when all was
// written, else the failing write's result (the version image is then not
// written, so the refresh is tried again by the next package).
int upgradeNorFallback();
// 0 when done or nothing to do; otherwise it is tried again later.
int upgradeAlignFirmware();
// 0 only when /upload/do_align begins "yes".
int upgradeCheckDoAlign();
void upgradeSetDoAlign(int flag);
int upgradeCopyConfigToSpare();
