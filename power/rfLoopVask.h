// RF power control loop of the second amplifier family (supply voltage and
// drive-stage APC voltage).
#pragma once

#include <cstdint>

// One pass of the loop; both arguments are ignored. Returns 0.
int RFControlLoop_VASK(uint32_t a, uint32_t b);

// The largest VAPC move (mV) of one step with the supplies at their upper
// limit, by the largest supply current (mA): smaller as the current rises,
// 0 up to imax; 10 whatever the current with one supply in service.
int32_t vaskVapcStepLimit(int32_t ioutMa, uint8_t hpsNum, int32_t imax);

// The loop's internal lock (1 while the forward error stays in its band)
// and the VAPC value it set last (mV).
uint8_t getVaskPowerLocked();
int32_t getVaskVapcNow();

// Returns the loop to its start state (tests and restarts of the simulation).
void rfLoopVaskResetForTest();
