// Second-core start and the audio-core reset pulse.
#pragma once

#include <cstdint>
#include <sys/types.h>

// Loads (non-zero) or unloads (0) the second-core module.
void AMP_StartBareMetal(uint32_t load);
// Pulses the audio-core reset bit; 0 or the error of the FPGA block access.
int AMP_PulseFpgaReset();

// The daemon's reaper takes the module tool's child, so it never stays a
// zombie: start-up registers it (without one the child is left to the
// caller).
void registerSecondCoreChildWatcher(void (*watch)(pid_t pid));
