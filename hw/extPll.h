// External PLL controller ("ExtMcfPll") on I2C bus 1 at 0x72: a 32-bit
// frequency word, a status byte and per-channel level codes, each access
// opened by a command byte.
#pragma once

#include <cstdint>

constexpr uint8_t EXTPLL_ADDRESS = 0x72;

// Command byte and n data bytes in one write. 0, -1, or the negative connect
// result.
int ExtPll_Write(uint8_t command, const uint8_t* data, uint32_t n);
// The command byte, 100 ms, then n bytes read. 0, -1, or the negative
// connect result.
int ExtPll_Read(uint8_t command, uint8_t* out, uint32_t n);
// Command 0: the word, most significant byte first. Return 0.
int ExtPll_WriteWord(uint32_t word);
int ExtPll_ReadWord(uint32_t* word);
// Command 1: the status byte. Returns 0.
int ExtPll_ReadByte(uint8_t* out);
// Command 2: channel and value. Returns 0.
int ExtPll_WriteReg(uint8_t channel, uint8_t value);
// 1 (with an INFO line) when status bit 1 says the analog system is present.
int ExtPll_Detect();
// Start-up: stores whether the external analog system is fitted.
void detectExtPll();
