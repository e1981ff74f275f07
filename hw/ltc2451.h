// LTC2451 16-bit converter of the compact high-capacity amplifier (I2C bus 1).
#pragma once

#include <cstdint>

constexpr uint8_t kLtc2451Address = 0x14;

// One 16-bit sample under the I2C lock into *dest; negative on failure
// (dest kept).
int LTC2451_Read(uint16_t* dest);
