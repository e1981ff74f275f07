// Register windows: every access to a mapped FPGA window is one 32-bit word.
// On the board these are volatile loads and stores; in the host simulation a
// word that is a port (a FIFO, a status reply, the key matrix) is answered by
// the simulated FPGA in the caller's process.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t read32(const volatile void* addr);
void write32(volatile void* addr, uint32_t value);

// Host simulation: hooks for a range of a mapping. A read hook returns true
// when it answered the word; a write hook returns true when it consumed it.
struct RegHooks {
    bool (*onRead)(void* ctx, size_t offset, uint32_t* value);
    bool (*onWrite)(void* ctx, size_t offset, uint32_t value);
    void* ctx;
};
void regRegisterHooks(const volatile void* base, size_t len, const RegHooks* hooks);
void regUnregisterHooks(const volatile void* base);
