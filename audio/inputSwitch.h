// Audio input switching and the routing model.
#pragma once

// Called on every main-loop pass; runs its own 250 ms period (input
// switching, input-delay measurement, automatic reference choice).
void InputSwitchTick();
