// RF power control loop of the first amplifier family.
#pragma once

#include <cstdint>

// One pass of the loop; both arguments are ignored. Returns 0.
int RFControlLoop_OSK(uint32_t a, uint32_t b);
