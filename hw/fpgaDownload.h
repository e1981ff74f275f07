// The FPGA download device /dev/dwlfpga: selects the flash bank the FPGA is
// loaded from.
#pragma once

#include <cstdint>

// Issues the bank selection. 0, or -1 when the device cannot be opened or
// refuses the request (each logged).
int Fpga_SelectDownloadBank(uint8_t bank);
// Up to 4 attempts with the bank of the active firmware bank (bank for bank
// 0, bank + 10 for bank 1); the number of failed attempts before success.
int Fpga_SelectDownloadBankRetry(uint8_t bank);
