// Audio input switching and the routing model.
#pragma once

// Called on every main-loop pass; runs its own 250 ms period (input
// switching, input-delay measurement, automatic reference choice).
void InputSwitchTick();

#include <ctime>

// CLOCK_MONOTONIC_RAW time of the last switch of the on-air input (zero
// until the first).
struct timespec getInputSwitchStamp();
