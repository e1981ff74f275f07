// The asynchronous command table: operations that clients start through
// communication-table writes and follow through DbPool cells.
#pragma once

#include <cstdint>
#include <sys/types.h>

constexpr int CMD_TABLE_ENTRIES = 24;

// Fills the command table; last step of the unit's service start.
void initCommandTable();
// Second half of the "Ltx Thread" body, every 10 ms: runs the handler of
// every requested or running command.
void commandTableTick();
// Entry n (0..23): request 0 none, 1 run, 2 clear; status 0 idle, 1 running,
// 2 done, 3 failed (4 and 5 copy or load failed for the imports).
// setCommandRequest: 9 when v is not 2 and the entry is running, or n is no
// entry; else 0.
int setCommandRequest(int n, uint32_t v);
void setCommandStatus(int n, uint32_t v);
uint32_t getCommandRequest(int n);
uint32_t getCommandStatus(int n);
void setCommandParam(int n, uint32_t v);

// Services of the core the handlers use, registered at start-up
// (core/startup.cpp). Without them the time, NTP and mount operations fail
// and the USB key counts as not mounted. The firmware update copies the
// package from the key as a child it starts and looks at on later ticks
// (spawnProgram and pollProgram of core/children.h); without them the copy
// fails as a failed fork does.
struct CommandTableServices {
    int (*applySystemTimeRequest)();
    int (*applyNtpConfig)();
    int (*isUsbKeyMounted)();
    int (*launchMdevRestart)();
    pid_t (*spawnProgram)(const char* program, const char* const argv[], const char* failMessage, int stdoutFd,
                          int execErrFd);
    int (*pollProgram)(pid_t pid, int* status);
};
void registerCommandTableServices(const CommandTableServices* services);

// The take-over of the GbE ports' pending MAC addresses of side B; no entry
// runs it.
void commandGbeBMac(int n);
