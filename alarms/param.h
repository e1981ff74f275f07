// Parameter objects: a typed value with limits, an optional configuration
// key, an optional label for the logs and a DbPool cell it is published to,
// reached through a small table of operations. Every write, local or from a
// client, goes through `set` or `remoteSet`.
#pragma once

#include <cstdint>

constexpr int PARAM_OK = 0;
constexpr int PARAM_OUT_OF_RANGE = -11;
constexpr int PARAM_NOT_WRITABLE = -15;

// One numeric family: T is the value type (and the type of its limits).
template <class T>
struct Param {
    T value;
    T min;
    T max;
    char* key;   // private copy, or none
    char* label; // private copy, or none
    uint8_t log;     // 1: every change is written to the book log
    uint8_t remote;  // 1: remoteSet is allowed
    uint8_t publish; // 1: published to (section, item)
    uint32_t section;
    uint32_t item;
    Param* self;
    int (*set)(Param* p, T v);
    int (*remoteSet)(Param* p, T v);
    void* spare;
    T (*get)(Param* p);
    void (*onChange)(Param* p);
};

using ParamU32 = Param<uint32_t>;
using ParamLong = Param<int32_t>;
using ParamU16 = Param<uint16_t>;
using ParamI16 = Param<int16_t>;
using ParamU8 = Param<uint8_t>;
using ParamI8 = Param<int8_t>;
using ParamFloat = Param<float>;

// A byte block of a fixed size, published four bytes a cell from
// (section, item) on, the first byte lowest.
struct ParamBlock {
    uint8_t* buffer;
    uint16_t size;
    char* key;
    char* label;
    uint8_t log;
    uint8_t remote;
    uint8_t publish;
    uint32_t section;
    uint32_t item;
    ParamBlock* self;
    int (*set)(ParamBlock* p, const uint8_t* src);
    int (*remoteSet)(ParamBlock* p, const uint8_t* src);
    void* spare;
    uint8_t* (*get)(ParamBlock* p);
    void (*onChange)(ParamBlock* p);
};

// Initialisers: the object is the caller's. The id is section * 256 + item.
// A none remoteSet installs the family's own. The default is stored without
// range test, publishing or logging; key and label are copied.
#define PARAM_INIT_DECL(Name, T)                                                                   \
    void Name(Param<T>* p, const char* key, const char* label, uint8_t log, uint8_t remote, T def, \
              T min, T max, uint8_t publish, uint32_t id, int (*remoteSet)(Param<T>*, T),          \
              void (*onChange)(Param<T>*));
PARAM_INIT_DECL(Param_InitU32, uint32_t)
PARAM_INIT_DECL(Param_InitLong, int32_t)
PARAM_INIT_DECL(Param_InitU16, uint16_t)
PARAM_INIT_DECL(Param_InitI16, int16_t)
PARAM_INIT_DECL(Param_InitU8, uint8_t)
PARAM_INIT_DECL(Param_InitI8, int8_t)
PARAM_INIT_DECL(Param_InitFloat, float)
#undef PARAM_INIT_DECL

void Param_InitBlock(ParamBlock* p, const char* key, const char* label, uint8_t log, uint8_t remote,
                     uint16_t size, uint8_t publish, uint32_t id,
                     int (*remoteSet)(ParamBlock*, const uint8_t*), void (*onChange)(ParamBlock*));

// Sets the change hook of a signed 32-bit parameter (a none hook is ignored).
void Param_SetHookLong(ParamLong* p, void (*hook)(ParamLong*));

// Kept for the MPX-over-IP parameters; they have no effect.
void Param_EnableU32(ParamU32* p, uint8_t flag);
void Param_EnableU16(ParamU16* p, uint8_t flag);
void Param_EnableU8(ParamU8* p, uint8_t flag);
