// Board I/O functions on the I/O expanders.
#pragma once

#include <cstdint>

int setDacAudioNotReset(uint8_t on);
int setDacAudioMode(uint32_t on);
