#include "core/base/ringBuf.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

struct Ring {
    uint8_t storage[8];
    RingBuf rb;
    Ring()
    {
        memset(storage, 0xAA, sizeof storage);
        RingBuf_Init(&rb, storage, sizeof storage);
    }
};

} // namespace

TEST(RingBuf, InitClearsStorage)
{
    Ring r;
    for (uint8_t b : r.storage)
        EXPECT_EQ(b, 0);
    EXPECT_EQ(RingBuf_Used(&r.rb), 0u);
    EXPECT_EQ(RingBuf_Free(&r.rb), 8u);
}

TEST(RingBuf, KeepsOneByteFree)
{
    Ring r;
    uint8_t src[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(RingBuf_Write(&r.rb, src, 8), 7u);
    EXPECT_EQ(RingBuf_Write(&r.rb, src, 1), 0u);
    EXPECT_EQ(RingBuf_Used(&r.rb), 7u);
    EXPECT_EQ(RingBuf_Free(&r.rb), 1u);
    EXPECT_EQ(RingBuf_HasMoreThan(&r.rb, 6), 1);
    EXPECT_EQ(RingBuf_HasMoreThan(&r.rb, 7), 0);
    uint8_t dst[8] = {};
    EXPECT_EQ(RingBuf_Read(&r.rb, dst, 8), 7u);
    EXPECT_EQ(0, memcmp(dst, src, 7));
}

TEST(RingBuf, EmptyReadChangesNothing)
{
    Ring r;
    uint8_t dst[4];
    EXPECT_EQ(RingBuf_Read(&r.rb, dst, 4), 0u);
    EXPECT_EQ(r.rb.readCount, 0u);
    EXPECT_EQ(r.rb.writeCount, 0u);
}

TEST(RingBuf, WrapsAroundAndCountsAcrossIt)
{
    Ring r;
    uint8_t src[7] = {1, 2, 3, 4, 5, 6, 7};
    uint8_t dst[7];
    ASSERT_EQ(RingBuf_Write(&r.rb, src, 7), 7u);
    ASSERT_EQ(RingBuf_Read(&r.rb, dst, 7), 7u);
    EXPECT_EQ(RingBuf_Head(&r.rb), 7u);
    EXPECT_EQ(RingBuf_Tail(&r.rb), 7u);
    EXPECT_EQ(RingBuf_Used(&r.rb), 0u);
    // From the counts: size on an empty ring, although size - 1 fit.
    EXPECT_EQ(RingBuf_Free(&r.rb), 8u);

    // A stream of odd-sized chunks through the small ring comes out whole
    // and in order, with the indices wrapping many times.
    std::vector<uint8_t> in(1000), out;
    std::iota(in.begin(), in.end(), 0);
    size_t pos = 0;
    while (out.size() < in.size()) {
        uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(5, in.size() - pos));
        pos += RingBuf_Write(&r.rb, in.data() + pos, chunk);
        uint8_t buf[3];
        uint32_t n = RingBuf_Read(&r.rb, buf, 3);
        out.insert(out.end(), buf, buf + n);
        EXPECT_LE(RingBuf_Used(&r.rb), 7u);
        EXPECT_LT(RingBuf_Head(&r.rb), 8u);
        EXPECT_LT(RingBuf_Tail(&r.rb), 8u);
    }
    EXPECT_EQ(out, in);
    EXPECT_EQ(r.rb.writeCount, 1007u);
    EXPECT_EQ(r.rb.readCount, 1007u);
}

TEST(RingBuf, CountsWrapAtThirtyTwoBits)
{
    Ring r;
    r.rb.writeCount = r.rb.readCount = 0xFFFFFFFEu;
    uint8_t src[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(RingBuf_Write(&r.rb, src, 5), 5u);
    EXPECT_EQ(r.rb.writeCount, 3u);
    EXPECT_EQ(RingBuf_Used(&r.rb), 5u);
    EXPECT_EQ(RingBuf_Free(&r.rb), 3u);
    EXPECT_EQ(RingBuf_HasMoreThan(&r.rb, 4), 1);
}

TEST(RingBuf, InconsistentCountsReadAsEmpty)
{
    Ring r;
    r.rb.writeCount = 100; // more than the ring can hold
    EXPECT_EQ(RingBuf_Used(&r.rb), 0u);
    EXPECT_EQ(RingBuf_Free(&r.rb), 0u);
    r.rb.writeCount = 0;
    r.rb.readCount = 3; // more read than written
    EXPECT_EQ(RingBuf_Used(&r.rb), 0u);
    EXPECT_EQ(RingBuf_HasMoreThan(&r.rb, 0), 0);
}
