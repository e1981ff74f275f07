// RF power control loop of the third amplifier family (drive-stage APC
// voltage only).
#pragma once

#include <cstdint>

// One pass of the loop; both arguments are ignored. Returns 0.
int RFControlLoop_TREL(uint32_t a, uint32_t b);

// One step of the control law: the APC move (mV) for the error e after the
// error ePrev (tenths of a dB). Single precision, truncating.
int32_t trelControlStep(int32_t e, int32_t ePrev);
// The APC voltage after a move: upward moves cut to 500 mV, the result
// kept within 0 and maxVapc.
int32_t trelApplyStep(int32_t vapc, int32_t step, int32_t maxVapc);

// The APC voltage the loop applied last (mV) and its lock state.
int32_t rfLoopTrelVapc();
uint8_t rfLoopTrelLocked();
// Returns the loop to its start state (tests and restarts of the simulation).
void rfLoopTrelResetForTest();
