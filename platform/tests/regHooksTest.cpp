// Register hooks of the host simulation: words of a hooked range go to its
// hooks, and a reader racing registration sees one registration whole.
#include "platform/host/regHooks.h"
#include "platform/regs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kWords = 64;

struct Tag {
    uint32_t id;
};

// Both hooks answer with their own kind in bits 24..27 and the id of their
// context in bits 28..31, so a reader that combined the hooks of one
// registration with the context of another would see the two differ.
bool readA(void* ctx, size_t off, uint32_t* v)
{
    *v = static_cast<Tag*>(ctx)->id << 28 | 0x1u << 24 | static_cast<uint32_t>(off);
    return true;
}

bool readB(void* ctx, size_t off, uint32_t* v)
{
    *v = static_cast<Tag*>(ctx)->id << 28 | 0x2u << 24 | static_cast<uint32_t>(off);
    return true;
}

bool swallow(void*, size_t, uint32_t)
{
    return true;
}

TEST(RegHooks, HookedWordsGoToTheHooksAndTheRestToMemory)
{
    std::vector<uint32_t> mem(kWords, 7);
    Tag tag{1};
    RegHooks hooks = {readA, swallow, &tag};
    ASSERT_EQ(regRegisterHooks(&mem[16], 16 * 4, &hooks), 0);
    EXPECT_EQ(read32(&mem[15]), 7u);
    EXPECT_EQ(read32(&mem[17]), 0x11000004u);
    write32(&mem[17], 9);
    EXPECT_EQ(mem[17], 7u) << "the write hook consumed the word";
    write32(&mem[32], 9);
    EXPECT_EQ(mem[32], 9u);

    RegHooks other = {readB, nullptr, &tag};
    ASSERT_EQ(regRegisterHooks(&mem[16], 4 * 4, &other), 0) << "the same base is hooked again";
    EXPECT_EQ(read32(&mem[17]), 0x12000004u);
    EXPECT_EQ(read32(&mem[20]), 7u) << "outside the shorter range";
    regUnregisterHooks(&mem[16]);
    EXPECT_EQ(read32(&mem[17]), 7u);
}

TEST(RegHooks, TableHoldsSixteenRangesAndReusesFreedSlots)
{
    std::vector<uint32_t> mem(kWords, 0);
    Tag tag{1};
    RegHooks hooks = {readA, nullptr, &tag};
    for (uint32_t i = 0; i < 16; i++)
        ASSERT_EQ(regRegisterHooks(&mem[i * 4], 16, &hooks), 0) << i;
    EXPECT_EQ(regRegisterHooks(&mem[63], 4, &hooks), -1) << "a seventeenth range is refused";
    regUnregisterHooks(&mem[8]);
    EXPECT_EQ(regRegisterHooks(&mem[63], 4, &hooks), 0);
    EXPECT_EQ(read32(&mem[63]), 0x11000000u);
    EXPECT_EQ(read32(&mem[8]), 0u);
    for (uint32_t i = 0; i < kWords; i++)
        regUnregisterHooks(&mem[i]);
}

// One thread keeps hooking, rehooking and unhooking a range while others
// read every word of it: each answer is memory or one registration's whole
// answer (its hooks, its context, inside its length).
TEST(RegHooks, ReadersRacingRegistrationSeeOneRegistrationWhole)
{
    std::vector<uint32_t> mem(kWords, 0);
    Tag one{1}, two{2};
    RegHooks first = {readA, nullptr, &one};
    RegHooks second = {readB, nullptr, &two};
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; t++) {
        readers.emplace_back([&] {
            while (!done.load()) {
                for (uint32_t w = 0; w < kWords; w++) {
                    uint32_t v = read32(&mem[w]);
                    uint32_t off = w * 4;
                    bool ok = v == 0 || v == (0x11000000u | off) || (w < kWords / 2 && v == (0x22000000u | off));
                    if (!ok)
                        torn.fetch_add(1);
                }
            }
        });
    }
    for (int i = 0; i < 20000; i++) {
        ASSERT_EQ(regRegisterHooks(mem.data(), kWords * 4, &first), 0);
        ASSERT_EQ(regRegisterHooks(mem.data(), kWords * 2, &second), 0);
        regUnregisterHooks(mem.data());
    }
    done.store(true);
    for (std::thread& t : readers)
        t.join();
    EXPECT_EQ(torn.load(), 0);
}

} // namespace
