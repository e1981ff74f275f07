// Stand-ins for the system programs the daemon runs (storage tools, mount,
// killall, the supervised companions, ntpdate, hwclock, ...). They live in
// the sandbox at the paths the system uses, append their argument vector as
// one line "name arg1 arg2 ..." to /var/log/standin.log of the sandbox, and
// answer as the daemon expects. Knobs (files of the sandbox):
//   /var/lib/standin/status/<name>  exit status of a recording stand-in
//   /var/lib/standin/utc_offset      what "date +%z" prints
//   /var/lib/standin/isdst           exit status of the summer-time probe
//   /var/lib/standin/lumiro_bin      the built lumiro that /usr/local/bin/lumiro
//                                    runs (without it lumiro is a sleeper)
// The storage state lives in /dev/ubi0 (attached), /var/lib/standin/ubi/<vol>
// (volume made) and /proc/mounts of the sandbox.
#pragma once

#include <string>
#include <vector>

// Writes the stand-ins and the root file-system defaults (missing files
// only) into the sandbox, each file whole or not at all. Called by
// simBoardInit(). Returns 0, or -1 when a file could not be written (said on
// standard error).
int simInstallPrograms();

// The stand-in lines recorded so far, oldest first, and forgetting them.
std::vector<std::string> simStandInCalls();
void simClearStandInCalls();
