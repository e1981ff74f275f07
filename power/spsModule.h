// The SPS serial power module of the second amplifier family.
#pragma once

// Body of "SPS Thread" (500 ms): one read cycle of the module, its alarm
// state and rescan.
void SPS_Task();
