// The FPGA control frame: 28 words rebuilt whole from the configuration
// before every transfer to the FPGA.
#pragma once

#include <cstdint>

constexpr int FPGA_CONTROL_FRAME_WORDS = 28;

// The frame of the last build (18 data bits per word; the transfer adds the
// parity bits).
extern uint32_t FpgaControlFrame[FPGA_CONTROL_FRAME_WORDS];

// Rebuilds the frame. Only bit 0 of mute and the truth of modulationOff are
// used; a and b are ignored. Returns 0.
int Fpga_PrepareConfig(uint8_t mute, uint8_t modulationOff, uint8_t a, uint8_t b);

// Reset bits of the AES/EBU receiver path carried by the frame: A is word 19
// bit 17, B word 17 bit 6. They reach the FPGA with the next transfer.
void setAesRxResetA(uint8_t on);
void setAesRxResetB(uint8_t on);
