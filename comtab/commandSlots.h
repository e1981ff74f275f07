// Inside the command manager: the steps of the system commands (slots 6 to
// 16, comtab/commandSystem.cpp) and the slot access they need.
#pragma once

#include <cstdint>

void stepHardReset(int n);
void stepBankSwitch(int n);
void stepCfgSave(int n);
void stepCfgLoad(int n);
void stepEraseLog(int n);
void stepFactoryReset(int n);
void stepLoadRfEeprom(int n);
// Forgets the step counters and the reboot child (CMD_Init).
void resetSystemCommands();

// The slot's name in the log lines.
const char* CMD_SlotName(int n);
// Writes both words of a slot without publishing them (the slots that have
// no published cells change them so).
void CMD_SetRawWords(int n, uint32_t requested, uint32_t running);
uint32_t CMD_GetParameter(int n);
