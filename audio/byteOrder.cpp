// Big-endian word packing.
#include "audio/byteOrder.h"

void packU32BE(const uint32_t* word, uint8_t* dest)
{
    uint32_t w = *word;
    dest[0] = static_cast<uint8_t>(w >> 24);
    dest[1] = static_cast<uint8_t>(w >> 16);
    dest[2] = static_cast<uint8_t>(w >> 8);
    dest[3] = static_cast<uint8_t>(w);
}

void unpackU32x4BE(const uint8_t* src, uint32_t* dest)
{
    for (int k = 0; k < 4; k++) {
        const uint8_t* b = src + 4 * k;
        dest[k] = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
                  static_cast<uint32_t>(b[2]) << 8 | b[3];
    }
}
