// Command manager: asynchronous commands requested by number (slots 0 to
// 16), run a step at a time by the 10 ms task of the transmitter logic.
#pragma once

#include <cstdint>

constexpr int CMD_SLOT_COUNT = 17;

// Slot numbers.
enum CommandSlotId : int {
    CMD_SLOT_LOCALE = 0,
    CMD_SLOT_REMOTE = 1,
    CMD_SLOT_CNTR_WEB = 2,
    CMD_SLOT_AVVIO = 3,
    CMD_SLOT_ARRESTO = 4,
    CMD_SLOT_SBLOCCO = 5,
    CMD_SLOT_HARD_RESET = 6,
    CMD_SLOT_SPARE = 7,
    CMD_SLOT_CFG_SAVE = 8,
    CMD_SLOT_CFG_LOAD = 9,
    CMD_SLOT_ERASE_BOOKLOG = 10,
    CMD_SLOT_ERASE_EVENTLOG = 11,
    CMD_SLOT_RESET_USER = 12,
    CMD_SLOT_RESET_LEVEL2 = 13,
    CMD_SLOT_RESET_LEVEL3 = 14,
    CMD_SLOT_BANK_SWITCH = 15,
    CMD_SLOT_LOAD_RF_EEPROM = 16,
};

// Requests slot n: 1 run, 2 clear. 0 when the request is taken; 9 before
// CMD_Init, while the slot runs (a clear is always taken) and for a slot
// number outside 0 to 16.
int CMD_Request(int n, uint32_t request);
// Stores v as slot n's parameter word; requesters call it just before
// CMD_Request.
void CMD_SetResult(int n, uint32_t v);
// Start-up of the command manager (the logic's start-up calls it): clears
// every slot and restores the management mode and the ON/standby state.
void CMD_Init();
// The 10 ms step of the command manager, run by the transmitter logic.
void CMD_Task();
// Store the slot's words when they change, then publish them.
void CMD_SetRequested(int n, uint32_t v);
void CMD_SetRunning(int n, uint32_t v);
// The requested word (0, 1 run, 2 clear) and the running word (0 idle,
// 1 running, 2 done, 3 failed) of slot n; 0 for another n.
uint32_t CMD_IsRequested(int n);
int CMD_IsRunning(int n);
// Re-requests the management mode and the ON/standby state the logic kept.
void CMD_RestoreManagementMode();
// Clears the lockout state, counters and start time, and restores ON.
void CMD_ResetLockout();
