// CRC-32 over the compile-time table.
#include "core/base/crc32.h"

int computeCrc32(uint32_t* out, const uint8_t* buf, uint32_t* len)
{
    if (*len == 0)
        return 1;
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < *len; i++)
        crc = crc32Table[(crc ^ buf[i]) & 0xFFu] ^ (crc >> 8);
    *out = ~crc;
    return 0;
}

int appendCrc32(uint8_t* buf, uint32_t len)
{
    uint32_t n = len & 0xFFFFu;
    // The four CRC bytes must lie inside the buffer.
    if (n < 4)
        return 1;
    uint32_t dataLen = n - 4;
    uint32_t crc = 0;
    int r = computeCrc32(&crc, buf, &dataLen);
    uint8_t* p = buf + dataLen;
    p[0] = static_cast<uint8_t>(crc);
    p[1] = static_cast<uint8_t>(crc >> 8);
    p[2] = static_cast<uint8_t>(crc >> 16);
    p[3] = static_cast<uint8_t>(crc >> 24);
    return r;
}

uint32_t swapU32(uint32_t x)
{
    return (x >> 24) | ((x >> 8) & 0x0000FF00u) | ((x << 8) & 0x00FF0000u) | (x << 24);
}
