// CRC-32 (IEEE 802.3: reflected polynomial 0xEDB88320, initial value
// 0xFFFFFFFF, final complement) and a 32-bit byte swap.
#pragma once

#include <array>
#include <cstdint>

namespace crc32Detail {
constexpr std::array<uint32_t, 256> makeTable()
{
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; i++) {
        uint32_t c = i;
        for (int k = 0; k < 8; k++)
            c = (c & 1u) ? (0xEDB88320u ^ (c >> 1)) : (c >> 1);
        t[i] = c;
    }
    return t;
}
} // namespace crc32Detail

// The byte table of the CRC, built at compile time.
inline constexpr std::array<uint32_t, 256> crc32Table = crc32Detail::makeTable();
static_assert(crc32Table[1] == 0x77073096u, "CRC-32 table entry 1");

// CRC of `*len` bytes of `buf` into `*out`. Returns 0, or 1 without touching
// `*out` when the count is 0.
int computeCrc32(uint32_t* out, const uint8_t* buf, uint32_t* len);
// CRC of bytes 0..len-5 stored least significant byte first in the last four
// bytes (len taken modulo 65536). Four bytes with no data before them are set
// to 0. Returns what computeCrc32 returned; 1 and nothing written when the
// buffer is shorter than its four CRC bytes.
int appendCrc32(uint8_t* buf, uint32_t len);

uint32_t swapU32(uint32_t x);
