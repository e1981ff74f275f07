// Transmitter logic: who controls the transmitter, keypad and lockout.
#pragma once

// Start-up step 7: transmitter-logic defaults in the system image.
void LogicaTx_SetDefaults();
// Start of the transmitter logic (first step of the unit's service start).
void LogicaTx_Init();
// First half of the "Ltx Thread" body, every 10 ms.
void LogicaTx_Task();

#include <cstdint>

// The transmitter ON state (1 ON, 0 stand-by).
uint8_t getTxOnState();
void setTxOnState(uint8_t on);
// Starts (1) or ends (0) a transmitter power change.
void LogicaTx_SetTxStatus(uint8_t flag);
// 1 while a transmitter power change runs.
uint8_t LogicaTx_IsPowerChanging();
// The lockout state (1 = transmitter locked out).
void LogicaTx_SetLockoutState(uint8_t state);
uint8_t LogicaTx_GetLockoutState();
// Summary flags 1 (TX warning), 2 and 3 (TX alarms); 0 for another n.
uint8_t LogicaTx_GetSummaryFlag(uint8_t n);
