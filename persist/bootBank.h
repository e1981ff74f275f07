// Boot bank check and eMMC recovery, and the hand-over to a separate upgrade
// program (present, started by nothing in the daemon).
#pragma once

#include <cstdint>

// Start-up: finds the running firmware bank and compares it with the active
// bank. 0, or 1 when the running bank is not found.
int checkBootBank();
// Checks /dev/mmcblk0 and its partitions p1..p8. All there: operative mode 1.
// Otherwise mode 2; a missing partition with the device present
// repartitions the eMMC and rebuilds both banks from the running system,
// which only the NOR fallback may do (running bank 3): from an eMMC bank it
// would format the running system, so it is refused with an ERR line.
void upgradeCheckEmmc();
// Starts "vrl_upgrade" (found through PATH) with `argument` and writes its
// pid into /dev/shm/VRL/upgrade/vrl_upgrade.pid. 0, or -1 when fork failed.
int launchUpgradeProcess(const char* argument);
// Reads the step file of that program and reports its end through command 9.
void refresh_vrl_update_status();

// Which bank the mount list shows running: 1 or 2 when /, /home and
// /usr/local are on that bank's partitions, 3 when / is the NOR fallback,
// 0 otherwise. `mounts` is the output of "mount" (or /proc/mounts lines).
int runningBankFromMounts(const char* mounts);
