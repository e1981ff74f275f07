// Second-core start and the audio-core reset pulse.
#pragma once

#include <cstdint>

// Loads (non-zero) or unloads (0) the second-core module.
void AMP_StartBareMetal(uint32_t load);
// Pulses the audio-core reset bit; 0 or the error of the FPGA block access.
int AMP_PulseFpgaReset();
