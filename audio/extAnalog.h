// External analog system set-up: tuning and level of the external output
// stage, reached through the external PLL's serial interface. Without the
// external system fitted both steps do nothing (the tuning step still ends
// the global mute).
#pragma once

#include <cstdint>

// Tunes the external system to `frequency` (the unit of output_RFfrequency):
// up to 30 write-and-verify attempts 500 ms apart, then 500 ms more, so it
// holds its caller for 1 s to about 15.5 s. Clears the global RF mute.
void ExtAnalog_SetFrequency(uint32_t frequency);
// The level code 0..255 of a mode (1: MPX level, else 0), a level (dBu,
// signed) and a deviation (kHz).
uint8_t ExtAnalog_LevelCode(uint8_t mode, int8_t level, uint8_t deviation);
// Writes the level code to the external PLL's register `mode`, then waits
// 500 ms.
void ExtAnalog_SetLevel(uint8_t mode, int8_t level, uint8_t deviation);
