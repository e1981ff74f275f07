// Register windows: every access to a mapped FPGA window is one 32-bit word.
// On the board these are volatile loads and stores; in the host simulation a
// word that is a port (a FIFO, a status reply, the key matrix) is answered by
// the simulated FPGA in the caller's process.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t read32(const volatile void* addr);
void write32(volatile void* addr, uint32_t value);
