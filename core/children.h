// Child processes: the supervised companion programs (lumiro, appweb,
// snmpd), the programs run on request (mdev, ntpdate, hwclock, killall) and
// the helpers every module uses to run a system program.
//
// The SIGCHLD handler only wakes the reaper; serviceChildren(), called on
// every pass of the main loop, reaps the registered asynchronous children,
// prints their lines and restarts the supervised ones (at most once a second
// each). Synchronous helpers wait for their own pid, so the reaper never
// takes a child another module is waiting for.
#pragma once

#include <cstdint>
#include <sys/types.h>

// Slots of the child table.
enum ChildSlot {
    CHILD_LUMIRO,
    CHILD_APPWEB,
    CHILD_SNMPD,
    CHILD_UPGRADE, // filled by the upgrade launcher through registerChildPid
    CHILD_SPARE,
    CHILD_MDEV,
    CHILD_NTPCLIENT,
    CHILD_SLOT_COUNT
};

// Pid held by a slot (0 none, -1 a failed start).
int32_t getChildPid(int slot);
// Stores an asynchronous child started elsewhere in a slot; the reaper
// collects it when it ends.
void registerChildPid(int slot, pid_t pid);
// Hands an asynchronous child without a slot to the reaper, so it never
// stays a zombie.
void watchChild(pid_t pid);

// Starts one program by name (see the .cpp for the argument vectors): its
// pid, or -1 when fork fails. The child is reaped by serviceChildren().
pid_t startProcess(const char* name);
// Installs the SIGCHLD handler, sets the children's environment and starts
// lumiro, appweb and snmpd.
void initChildEnvironment();
// Service start of the unit: transmitter logic, leftover children killed,
// supervised programs started, command table.
void VrlUnitInit();
void killallChildren();
void stopChildren();
void killNtpClient();
void killSnmpd();
// Runs /sbin/mdev -s in the background: 0 started, -1 refused or failed.
int launchMdevRestart();
// Sets the clock from the configured NTP server (and the hardware clock
// when asked, only after ntpdate succeeded): 0, 1 when ntpdate or hwclock
// could not run or ended with a non-zero status, -2 when a fork failed.
int runNtpdate(int setHwClock);

// The SIGCHLD handler: async-signal-safe, it only wakes serviceChildren().
void handler_sigchld(int sig);
// The reaper. Non-blocking; returns the number of children reaped.
int serviceChildren();

// Running system programs. `program` is an absolute system path (mapped
// below the sandbox root in the host simulation) or a bare name looked up
// on the system's PATH; argv ends with a null pointer.
// Starts it without waiting: its pid, or -1 when fork fails. A child that
// cannot run the program prints `failMessage` (when given) on standard
// output and ends with status 1. With stdoutFd >= 0 that descriptor becomes
// the child's standard output. With execErrFd >= 0 (the write end of a
// close-on-exec pipe) the child writes its exec errno there, so the caller
// can tell a program that could not be executed from one that ended with
// status 1. The caller waits for the pid or hands it to watchChild().
pid_t spawnProgram(const char* program, const char* const argv[], const char* failMessage = nullptr,
                   int stdoutFd = -1, int execErrFd = -1);
// Waits for a child of spawnProgram: its exit status (128 + signal when
// killed), or -1 when there is no such child.
int waitProgram(pid_t pid);
// Looks at a child of spawnProgram without waiting: 0 while it runs; 1 once
// it has ended (it is reaped then), its exit status (128 + signal when
// killed) in *status; -1 when there is no such child.
int pollProgram(pid_t pid, int* status);
// Waits for a program started with a close-on-exec error pipe (its write end
// already closed here): reads the pipe, closes it, reaps the program. Returns
// -1 when the program could not be executed, else waitProgram's result.
int waitExecuted(pid_t pid, int errFd);
// Runs a program and waits for it: its exit status, -1 when the program
// could not be started, -2 when fork failed.
int runProgramWait(const char* program, const char* const argv[]);

// Tests: make the next `count` forks fail as when the system is out of
// processes.
void childrenFailNextForks(int count);
