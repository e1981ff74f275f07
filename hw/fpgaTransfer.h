// The exchange with the FPGA: the control frame out, the status block back,
// and the decode of the status block into the system image.
#pragma once

#include <cstdint>

constexpr int FPGA_STATUS_BLOCK_BYTES = 84; // an exchange fills bytes 0..29

extern uint8_t FpgaStatusBlock[FPGA_STATUS_BLOCK_BYTES];

// Adds the parity bits to the frame, writes it to region 1 and reads the ten
// status words of region 2 into the block, under SemAxiFpga; the flag is
// ignored. 0, or -1 when the lock could not be taken: nothing was exchanged,
// the block keeps its bytes and the next decode is skipped.
int Fpga_Transfer(uint32_t* frame, uint8_t* status, int flag);
// Decodes the current status block against the previous one, then keeps it
// as the previous block.
void Fpga_ReadConfig();
// Prints a frame and the first seven rows of a status block on standard
// output. Returns 0.
int Fpga_PrintTransfer(const uint32_t* frame, const uint8_t* status);

// One frame step of a sequence: builds the frame with (mute, modulationOff)
// and transfers it, both under SemAxiFpga so that a build from another
// thread never interleaves. Returns the transfer's result.
int Fpga_SendFrame(uint8_t mute, uint8_t modulationOff);
