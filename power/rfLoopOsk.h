// RF power control loop of the first amplifier family.
#pragma once

#include <cstdint>

// One pass of the loop; both arguments are ignored. Returns 0.
int RFControlLoop_OSK(uint32_t a, uint32_t b);

// The attenuator code the loop applies to logical DAC 0.
uint16_t getVdacAttCurr();

// One step of the control law: the attenuator move for the detector error
// err after the error prev. Single-precision, truncating, 16-bit signed.
int16_t oskControlStep(int16_t err, int16_t prev);
// The attenuator code after a move, saturated to 0..65535.
uint16_t oskApplyStep(uint16_t code, int16_t step);

// Returns the loop to its start state (tests and restarts of the simulation).
void rfLoopOskResetForTest();
