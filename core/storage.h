// Storage set-up (the UBI configuration volume at /mnt/ubi0 and its
// folders) and the helpers that run shell commands, relink the FPGA image
// and instantiate Linux I2C client drivers. Progress lines go to standard
// output: storage set-up runs before the logs are open.
#pragma once

#include <cstddef>
#include <cstdint>

// First step of start-up: makes sure the volume is attached, mounted and
// holds its folders. 0 when it is mounted.
int initStorage();
int ensureUbiMountDir();
// 0 when /mnt/ubi0 is mounted as ubifs, else -1.
int isUbiMounted();
int mountUbi();
// The folders log, conf, conf/hpa, conf/rds, conf/snmp and the default
// files copied there when missing: 0, or -1 when a folder cannot be made.
int initConfigDirs();
int prepareUserLogDir();

// Runs a command line through the shell with standard error joined to
// standard output, and puts what it printed into `output` (at most
// capacity - 1 bytes, always terminated). Returns `output`, or null when an
// argument is null, when the command line is too long (it is refused, not
// cut) or when the shell cannot be started. The exit status is not looked at.
char* execShCmd(const char* command, char* output, size_t capacity);
// Runs a fixed command line through sh -c and waits: its exit status, -1
// when the shell could not be started, -2 when fork failed. Text from files
// or clients must never be put into such a line: run the program with an
// argument vector (runProgramWait) instead.
int runShellCommand(const char* commandLine);

// Relinks /usr/local/fpga/fpga.img (below /spare when onSpare) to the image
// for the unit's functional type; with `request`, asks for command 6 once
// the link command ran. Returns the link command's result (runProgramWait).
int linkFpgaImage(int onSpare, int request);
int insertI2cDriver(uint32_t address, const char* name);
int removeI2cDriver(uint32_t address);
