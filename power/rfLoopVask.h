// RF power control loop of the second amplifier family (supply voltage and
// drive-stage APC voltage).
#pragma once

#include <cstdint>

// One pass of the loop; both arguments are ignored. Returns 0.
int RFControlLoop_VASK(uint32_t a, uint32_t b);
