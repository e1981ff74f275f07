// Audio input switching: keeps the primary or the secondary input
// configuration on air, watches the presence of the inputs the on-air one
// uses, and switches over to the backup and back by input_switch_mode.
#pragma once

#include <ctime>

// Called on every main-loop pass; every 250 ms it runs the input switching,
// the input-delay measurement and the automatic reference choice.
void InputSwitchTick();
// The 250 ms switching step.
void InputSwitch();

// CLOCK_MONOTONIC_RAW time of the last automatic switch of the on-air input
// (zero until the first).
struct timespec getInputSwitchStamp();
