// The simulated board of the host simulation.
#pragma once

#include <string>
#include <sys/types.h>

// Makes the sandbox skeleton, attaches the sandbox's simulated board
// (building it from its profile the first time) and registers the simulated
// devices. Idempotent; called by platformInit() in every program of the host
// build. When the board cannot be brought up (a full disk), the program ends
// with status 1 after saying why on standard error.
void simBoardInit();

// Creates a directory and its parents below nothing in particular (an
// absolute host path). Returns 0 or -1.
int simMakeDirs(const char* hostPath);

// Writes a whole file of the sandbox through a temporary of the same folder
// renamed over it, so that no reader ever sees a part of it and a failed
// write (a full disk) leaves the old file. Says why on standard error and
// returns -1 on failure.
int simWriteFile(const std::string& hostPath, const std::string& text, mode_t mode = 0644);

// Power cycle of the board: every device back to its power-on content
// (devices that persist keep it), knobs, counters and logs cleared, the
// FPGA window back to the profile's words; then the boot loader chooses the
// bank (/proc/mounts, /var/log/bootloader.log). Returns 0 or -1.
int simBoardReset();

// The profile text the board of the attached sandbox was built from.
std::string simBoardProfileText();
