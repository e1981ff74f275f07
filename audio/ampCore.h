// The second core and the FPGA audio core.
#pragma once

// Pulses the audio-core reset (FPGA block 4, register 32, bit 0).
void AMP_PulseFpgaReset();
