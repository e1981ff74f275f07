// Keys whose rows are not built yet, for stand-ins: a key stand-in keeps
// its value, stores only a change, publishes its cell and marks its group;
// its validator is the key's documented range. Only stand-ins include this.
#pragma once

#include "Config/configCycle.h"
#include "comtab/dbPool.h"

#include <atomic>
#include <cstdint>

// get<Name>, set<Name>(v) and isValid<Name>(v) of a key of type T published
// to cell (section, item) (0: none); signed types are compared and published
// sign-extended.
#define STANDIN_KEY_STORE(Name, T, section, item, group)                                           \
    static std::atomic<uint32_t>& standInValue_##Name()                                            \
    {                                                                                              \
        static std::atomic<uint32_t> v{0};                                                         \
        return v;                                                                                  \
    }                                                                                              \
    T get##Name() { return static_cast<T>(standInValue_##Name().load()); }                         \
    static void standInStore_##Name(uint32_t raw)                                                  \
    {                                                                                              \
        uint32_t v = static_cast<uint32_t>(static_cast<int64_t>(static_cast<T>(raw)));             \
        if (standInValue_##Name().exchange(v) == v)                                                \
            return;                                                                                \
        if (section)                                                                               \
            setDbAreaCell(section, item, v);                                                       \
        markConfigChanged(group);                                                                  \
    }
#define STANDIN_KEY_VALID(Name, T, lo, hi)                                                         \
    int isValid##Name(uint32_t raw)                                                                \
    {                                                                                              \
        int64_t v = static_cast<int64_t>(static_cast<T>(raw));                                     \
        return v >= (lo) && v <= (hi) ? 1 : 0;                                                     \
    }
#define STANDIN_KEY(Name, T, section, item, group, lo, hi)                                         \
    STANDIN_KEY_STORE(Name, T, section, item, group)                                               \
    void set##Name(uint32_t v) { standInStore_##Name(v); }                                         \
    STANDIN_KEY_VALID(Name, T, lo, hi)
