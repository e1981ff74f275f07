// Board I/O functions on the I/O expanders.
#pragma once

#include <cstdint>

int setDacAudioNotReset(uint8_t on);
int setDacAudioMode(uint32_t on);
// The hardware selector of what serial port 1 serves (0 debug console,
// 1 GPS, 2 UECP).
int setUart1SelHw(uint32_t sel);
