// FM-receiver down-converter: a local oscillator synthesizer on chip select
// 17 tuned 66 MHz above the received channel, and its control expander at
// 0x2E (lock and power-offset strap inputs, SPI enable and pre-amplifier
// outputs).
#pragma once

#include <cstdint>

constexpr uint8_t DOWNCONV_CS = 17;
constexpr uint32_t DOWNCONV_ROWS = 44;

// Writes the expander configuration and reads the strap; 0, or -17 when the
// expander cannot be configured.
int downConvDetect();
int downConvIsDetected();
int downConvIsInitialised();
// Programs 87.5 MHz and waits for the lock: 0, -7 not detected, -17
// expander error, -18 SPI enable failed, -9 no lock.
int downConvInit();
// Tunes to a receive frequency in kHz: 0, -3 outside 87,500..108,500, -18
// SPI enable failed, -9 no lock.
int downConvSetFreq(uint32_t kHz);
// Pre-amplifier on (non-zero) or off: 0, -16 read failed, -17 write failed.
int downConvSetPreAmp(int on);
// Read-modify-write of the output port: 0, -16 or -17.
int downConvSetOutBits(uint8_t value, uint8_t mask);
// (input & mask) >> shift into *out; the read's result.
int downConvGetInBits(uint8_t* out, uint8_t mask, uint8_t shift);
// On clears bit 2 (enable, active low), off sets it.
int downConvEnableSpi(int on);
// Input bit 0 (lock), input bit 1 (strap); 0 on a read error.
int downConvIsLocked();
int downConvPowerOffsetStrap();
// Up to 3 reads of the lock bit: 0 locked, -9 not.
int downConvWaitLock();
// LO = f + 66 MHz and its N and fraction: 1, or 0 outside the range.
int downConvFreqPlan(uint32_t kHz, uint32_t* loKHz, uint32_t* n, uint32_t* num, uint32_t* den);
// Row i with the computed fields replaced; the write's result (0).
int downConvWriteRow(uint32_t row, uint32_t n, uint32_t num, uint32_t den);
// [reg & 0x7F, value high, value low] on chip select 17. 0.
int downConvWriteReg(uint8_t reg, uint16_t value);
// [reg | 0x80, 0, 0] full duplex; the value from the last two bytes. 0.
int downConvReadReg(uint8_t reg, uint16_t* value);
// Opens chip select 17 with mode 3; 0, or -28 with its line.
int downConvOpenSpi();
// -8 when not initialised, else the lock wait (locked flag set on success).
int downConvCheckLock();
// The value row i is sent with, for tests: the register in *reg.
uint16_t downConvRowValue(uint32_t row, uint32_t n, uint32_t num, uint32_t den, uint8_t* reg);
