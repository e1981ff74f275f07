// The exchange with the FPGA: the control frame out, the status block back,
// and the decode of the status block into the system image.
#pragma once

#include <cstdint>

constexpr int FPGA_STATUS_BLOCK_BYTES = 84; // an exchange fills bytes 0..29

extern uint8_t FpgaStatusBlock[FPGA_STATUS_BLOCK_BYTES];

// Writes the frame (with its parity bits) and reads the status block; the
// flag is ignored. Returns 0.
int Fpga_Transfer(uint32_t* frame, uint8_t* status, int flag);
// Decodes the current status block against the previous one.
void Fpga_ReadConfig();
