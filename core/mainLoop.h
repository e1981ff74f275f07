// The 1 ms main loop and its periodic steps.
#pragma once

#include "hw/fpgaMailbox.h"

#include <atomic>
#include <cstdint>
#include <ctime>

// Set by the FPGA register mailbox on a write request; from then on the loop
// serves only the mailbox, the watchdog, the mute release and the log steps.
// One flag: the mailbox's MainLoopSuspend.
inline std::atomic<uint8_t>& mainWorkSuspended = MainLoopSuspend;

// Run-time state of the loop that belongs to `main`.
struct MainLoopState {
    struct timespec watchdogStamp;
    struct timespec bootStamp;
    uint8_t muteReleased;
    int testDurationSeconds; // 0, 300 or 600
};

// Initialises the loop state from one reading of the clock (end of start-up).
void mainLoopBegin(MainLoopState* s, int testDurationSeconds);
// One pass of the loop without its 1 ms sleep. Returns 1 when a test
// duration has elapsed and the process should end with status 0.
int mainLoopPass(MainLoopState* s);
// The loop itself: passes and 1 ms sleeps until a test duration elapses.
int runMainLoop(MainLoopState* s);

void rfControlLoopTick();
void fpgaFrameTick();
void measuresTick();
void alarmTick();
void fpgaRegMailboxTick();

// Observer of the loop for tests: called with the name of each step whose
// work runs (and "WATCHDOG" for each notification). Null in service.
extern void (*mainLoopTrace)(const char* step);

// Tests: forget the steps' stamps so the next pass is a first pass.
void mainLoopResetForTest();
