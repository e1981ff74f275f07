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
