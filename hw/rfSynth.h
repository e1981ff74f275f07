// RF synthesizer and LTC6948 PLL: the clock of the RF DAC, one of two
// synthesizers on chip select 6 by board variant (Normal: a 14-register
// synthesizer with 32-bit words; Low Noise: an LTC6948 with 8-bit
// registers). Each keeps a register shadow that the FPGA register mailbox
// can read and write.
#pragma once

#include <cstdint>

constexpr uint32_t RF_SYNTH_SLOTS = 14;
constexpr uint32_t LTC6948_REGS = 16;

// Slot := value: 0, or -1 (nothing stored) for a slot above 13.
int RfSynth_SetReg(uint32_t slot, uint32_t value);
// Sends the shadow in the send order (26 words of 4 bytes). 0.
int RfSynth_Program();
// The 14 pairs (slot, value) in slot order; *count = 14. 0.
int RfSynth_Dump(uint32_t* pairs, uint32_t* count);
// Fills the shadow for a selector 0..12 (12 keeps slots 0, 2, 3 and 4);
// slot 10 becomes slot 3 with bit 6 set.
void RfSynth_Setup(uint32_t selector);

// Register := low byte of value: 0, or -1 (nothing stored) for a register
// above 15.
int LTC6948_SetReg(uint32_t reg, uint32_t value);
// Writes registers 1 to 14 from the shadow. 0.
int LTC6948_Program();
// (0, status read from the device), then (n, shadow byte n) for n = 1..14;
// *count = 15. 0.
int LTC6948_Dump(uint32_t* pairs, uint32_t* count);
// 1 when the status register reports the lock, else 0.
int LTC6948_IsLocked();
// Programs by PllMode and LtcChargePump and waits for the lock (up to five
// programmings 100 ms apart); the result of the last programming.
int LTC6948_Init();

// Chooses and programs the PLL of the fitted board; returns a status (the
// board-variant flag when it names no variant).
int initRfSynth();
