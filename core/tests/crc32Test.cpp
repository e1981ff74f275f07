#include "core/base/crc32.h"

#include "core/base/utils.h"

#include <cstring>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

// zlib's crc32, loaded at run time as an independent implementation.
using ZlibCrc32 = unsigned long (*)(unsigned long, const unsigned char*, unsigned int);

ZlibCrc32 zlibCrc32()
{
    void* lib = dlopen("libz.so.1", RTLD_NOW);
    return lib ? reinterpret_cast<ZlibCrc32>(dlsym(lib, "crc32")) : nullptr;
}

uint32_t crcOf(const std::vector<uint8_t>& data)
{
    uint32_t crc = 0;
    uint32_t len = static_cast<uint32_t>(data.size());
    EXPECT_EQ(computeCrc32(&crc, data.data(), &len), 0);
    EXPECT_EQ(len, data.size());
    return crc;
}

} // namespace

TEST(Crc32, CheckValueAndTable)
{
    const std::string digits = "123456789";
    EXPECT_EQ(crcOf(std::vector<uint8_t>(digits.begin(), digits.end())), 0xCBF43926u);
    EXPECT_EQ(crc32Table[0], 0u);
    EXPECT_EQ(crc32Table[1], 0x77073096u);
    EXPECT_EQ(crc32Table[255], 0x2D02EF8Du);
}

TEST(Crc32, MatchesZlibOnRandomBuffers)
{
    ZlibCrc32 zcrc = zlibCrc32();
    ASSERT_NE(zcrc, nullptr) << "libz.so.1 not found";
    std::mt19937 rng(12345);
    for (size_t len : {1u, 2u, 3u, 4u, 7u, 124u, 128u, 1000u, 4096u, 65536u, 100003u}) {
        std::vector<uint8_t> data(len);
        for (auto& b : data)
            b = static_cast<uint8_t>(rng());
        EXPECT_EQ(crcOf(data), static_cast<uint32_t>(zcrc(0, data.data(), static_cast<unsigned>(len)))) << len;
    }
}

TEST(Crc32, ZeroCountLeavesResultUntouched)
{
    uint32_t crc = 0xDEADBEEF;
    uint32_t len = 0;
    uint8_t b = 0;
    EXPECT_EQ(computeCrc32(&crc, &b, &len), 1);
    EXPECT_EQ(crc, 0xDEADBEEFu);
}

TEST(Crc32, AppendStoresLowByteFirstAfterData)
{
    uint8_t buf[128];
    for (int i = 0; i < 128; i++)
        buf[i] = static_cast<uint8_t>(i * 7 + 3);
    uint32_t crc = 0, len = 124;
    computeCrc32(&crc, buf, &len);
    EXPECT_EQ(appendCrc32(buf, 128), 0);
    EXPECT_EQ(buf[124], crc & 0xFF);
    EXPECT_EQ(buf[125], (crc >> 8) & 0xFF);
    EXPECT_EQ(buf[126], (crc >> 16) & 0xFF);
    EXPECT_EQ(buf[127], crc >> 24);
    EXPECT_EQ(buf[123], static_cast<uint8_t>(123 * 7 + 3));

    // The length counts modulo 65536: 65536 + 128 is the same 128 bytes.
    uint8_t again[128];
    for (int i = 0; i < 128; i++)
        again[i] = static_cast<uint8_t>(i * 7 + 3);
    appendCrc32(again, 65536 + 128);
    EXPECT_EQ(0, memcmp(buf, again, sizeof buf));
}

TEST(Crc32, AppendWithoutDataOrRoom)
{
    uint8_t four[4] = {1, 2, 3, 4};
    EXPECT_EQ(appendCrc32(four, 4), 1);
    EXPECT_EQ(getU32(four), 0u);

    // Shorter than the CRC itself: nothing is written before the buffer.
    uint8_t guard[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    EXPECT_EQ(appendCrc32(guard + 4, 3), 1);
    for (uint8_t b : guard)
        EXPECT_EQ(b, 9);
}

TEST(Crc32, SwapU32)
{
    EXPECT_EQ(swapU32(0x12345678u), 0x78563412u);
    EXPECT_EQ(swapU32(swapU32(0xA1B2C3D4u)), 0xA1B2C3D4u);
}
