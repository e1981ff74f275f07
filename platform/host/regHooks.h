// Host simulation only: hooks through which the simulated FPGA answers words
// of a mapped register window. sim/ and tests include this; driver code never
// does, and the board build does not have it.
#pragma once

#include <cstddef>
#include <cstdint>

// Hooks for a range of a mapping. A read hook returns true when it answered
// the word; a write hook returns true when it consumed it. Hooks run in the
// thread of the read32/write32 caller.
struct RegHooks {
    bool (*onRead)(void* ctx, size_t offset, uint32_t* value);
    bool (*onWrite)(void* ctx, size_t offset, uint32_t value);
    void* ctx;
};

// Hooks a range [base, base + len). Registering the same base again replaces
// its hooks. Up to 16 ranges at a time; more are refused with -1 (0 on
// success). Registration is meant for map time, not the hot path.
int regRegisterHooks(const volatile void* base, size_t len, const RegHooks* hooks);
// Unhooks the range at base; its words are plain memory again.
void regUnregisterHooks(const volatile void* base);
