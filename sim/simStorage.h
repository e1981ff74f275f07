// The controller's storage: the eMMC /dev/mmcblk0 with its partitions
// p1..p8 (each a sandbox folder: mkfs.ext4 empties it, mount leads the mount
// point to it), the NOR flash /dev/mtd0..19 and /dev/mtdblock13 (sandbox
// files; bytes past a file's end read erased, 0xFF; flashcp writes them) and
// the boot loader.
//
// A new board has the partitions of its profile line "emmc 1 2 ..." (all
// eight without one) and comes with bank N of its line "fw-bank N" (1
// without one) and the NOR fallback installed.
//
// The boot loader runs at each power cycle (a new board, simctl reset, each
// ./run): it boots the bank whose number the unit identity record of the
// board EEPROM holds (byte 0; the board's fw-bank when it is neither 1 nor
// 2) when that bank's
// four NOR images are written and its root partition is not empty, else
// the NOR fallback; it sets /proc/mounts of the sandbox to match (/, /home,
// /usr/local, and /upload on p1) and appends its choice to
// /var/log/bootloader.log ("boot bank N" or "boot fallback: <reason>").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Creates the storage of a new board and boots it once; a board that has
// its storage is left as it is. 0, or -1 when a file could not be made.
int simStorageInstall(const std::string& profileText);
// One power cycle of the boot loader: the bank booted, 3 for the fallback.
int simBootLoader();

// Size of each NOR device.
constexpr uint32_t kSimNorSize = 16u << 20;
// Reads `count` bytes of /dev/mtd<mtd> from `offset` (erased bytes past what
// was written read 0xFF): 0, or -1 for no such device or a range past its end.
int simNorRead(int mtd, uint32_t offset, uint32_t count, std::vector<uint8_t>* out);
