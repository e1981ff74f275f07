// External analog system set-up (tuning and level of the external output stage).
#pragma once

#include <cstdint>

void ExtAnalog_SetFrequency(uint32_t frequency);
void ExtAnalog_SetLevel(uint8_t mode, int8_t level, uint8_t deviation);
