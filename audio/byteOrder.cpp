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

void unpackU32BE(const uint8_t* src, uint32_t* dest)
{
    *dest = static_cast<uint32_t>(src[0]) << 24 | static_cast<uint32_t>(src[1]) << 16 |
            static_cast<uint32_t>(src[2]) << 8 | src[3];
}

void packU32x4BE(const uint32_t* words, uint8_t* dest)
{
    for (int k = 0; k < 4; k++)
        packU32BE(words + k, dest + 4 * k);
}

void unpackU32x4BE(const uint8_t* src, uint32_t* dest)
{
    for (int k = 0; k < 4; k++)
        unpackU32BE(src + 4 * k, dest + k);
}
