// RF power control loop of the third amplifier family (drive-stage APC
// voltage only).
#pragma once

#include <cstdint>

// One pass of the loop; both arguments are ignored. Returns 0.
int RFControlLoop_TREL(uint32_t a, uint32_t b);
