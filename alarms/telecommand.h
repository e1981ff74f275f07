// Telecommand inputs (filtered continuous lines, recognised pulses, the roles
// of master, slave, change-over and EXTERN) and the telesignal outputs.
#pragma once

#include <cstdint>

// Start-up: first pass pending and the impulsive mask chosen by the role.
void TLC_SetMode();
uint32_t TLC_GetImpulsiveMask();
// The input step: reads the lines and hands the word to TLC_ProcessInputs.
void TLC_InputTask();
// The input step on a given input word (status bits | extended bits << 10).
void TLC_ProcessInputs(uint32_t input);
// Pulse recognition on the impulsive bits in code; an accepted pulse is ORed
// into *pending once.
void ImpulsiveTlcMng(uint32_t code, uint32_t* pending);
// The telesignal outputs.
void TLC_Task();
// The filtered continuous word (tests and the roles read line levels here).
uint32_t TLC_GetFilteredInputs();
