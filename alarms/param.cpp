// Parameter objects: one implementation over the value type for the numeric
// families, and the byte block.
#include "alarms/param.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "comtab/dbPool.h"
#include "core/base/logs.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace {

// Keys and labels keep up to 32 characters, always terminated.
constexpr size_t kTextChars = 32;

char* copyText(const char* text)
{
    if (!text)
        return nullptr;
    char* copy = static_cast<char*>(calloc(kTextChars + 1, 1));
    if (copy)
        strncpy(copy, text, kTextChars);
    return copy;
}

const char* labelOf(const char* label)
{
    return label ? label : "";
}

// The cell value of each family: unsigned values zero-extended, signed ones
// sign-extended, a float truncated toward zero with negative values as 0.
template <class T>
uint32_t cellValue(T v)
{
    if constexpr (std::is_same_v<T, float>) {
        if (!(v > 0.0f))
            return 0;
        if (v >= 4294967296.0f)
            return 0xffffffffu;
        return static_cast<uint32_t>(v);
    } else if constexpr (std::is_signed_v<T>) {
        return static_cast<uint32_t>(static_cast<int32_t>(v));
    } else {
        return static_cast<uint32_t>(v);
    }
}

template <class T>
void logSet(const Param<T>* p, T v)
{
    const char* label = labelOf(p->label);
    if constexpr (std::is_same_v<T, float>)
        logInfo("SET %s: %f", label, static_cast<double>(v));
    else if constexpr (std::is_same_v<T, int32_t>)
        logInfo("SET %s: %d", label, static_cast<int>(v));
    else if constexpr (std::is_signed_v<T>)
        logInfo("SET %s: %d", label, static_cast<int>(v));
    else
        logInfo("SET %s: %u", label, static_cast<unsigned>(v));
}

void publishCell(uint8_t publish, uint32_t section, uint32_t item, uint32_t value)
{
    if (publish == 1 && section != 0 && item != 0)
        setDbAreaCell(section, item, value);
}

template <class T>
int paramSet(Param<T>* p, T v)
{
    if constexpr (std::is_same_v<T, float>) {
        if (std::isnan(v))
            return PARAM_OUT_OF_RANGE;
    }
    if (v < p->min || v > p->max)
        return PARAM_OUT_OF_RANGE;
    if (v != p->value) {
        p->value = v;
        if (p->key)
            markConfigChanged(CONFIG_GROUP_NETWORK);
        if (p->onChange)
            p->onChange(p);
        if (p->log == 1)
            logSet(p, v);
    }
    publishCell(p->publish, p->section, p->item, cellValue(p->value));
    return PARAM_OK;
}

template <class T>
int paramRemoteSet(Param<T>* p, T v)
{
    if (p->remote != 1)
        return PARAM_NOT_WRITABLE;
    return p->set(p, v);
}

template <class T>
T paramGet(Param<T>* p)
{
    return p->value;
}

template <class T>
void paramInit(Param<T>* p, const char* key, const char* label, uint8_t log, uint8_t remote, T def, T min,
               T max, uint8_t publish, uint32_t id, int (*remoteSet)(Param<T>*, T),
               void (*onChange)(Param<T>*))
{
    if (!p)
        return;
    memset(static_cast<void*>(p), 0, sizeof *p);
    p->value = def;
    p->min = min;
    p->max = max;
    p->key = copyText(key);
    p->label = copyText(label);
    p->log = log;
    p->remote = remote;
    p->publish = publish;
    p->section = (id >> 8) & 0xff;
    p->item = id & 0xff;
    p->self = p;
    p->set = paramSet<T>;
    p->remoteSet = remoteSet ? remoteSet : paramRemoteSet<T>;
    p->get = paramGet<T>;
    p->onChange = onChange;
}

int blockSet(ParamBlock* p, const uint8_t* src)
{
    if (!src)
        return PARAM_OUT_OF_RANGE;
    memcpy(p->buffer, src, p->size);
    if (p->key)
        markConfigChanged(CONFIG_GROUP_NETWORK);
    if (p->onChange)
        p->onChange(p);
    if (p->log == 1)
        logInfo("SET %s", labelOf(p->label));
    if (p->publish == 1 && p->section != 0 && p->item != 0) {
        // Four bytes a cell, the first lowest; the cell after the last whole
        // one gets zero bytes beyond the buffer.
        for (uint32_t at = 0, k = 0; at < p->size; at += 4, k++) {
            uint32_t word = 0;
            for (uint32_t b = 0; b < 4 && at + b < p->size; b++)
                word |= static_cast<uint32_t>(p->buffer[at + b]) << (8 * b);
            publishCell(1, p->section, p->item + k, word);
        }
    }
    return PARAM_OK;
}

int blockRemoteSet(ParamBlock* p, const uint8_t* src)
{
    if (p->remote != 1)
        return PARAM_NOT_WRITABLE;
    return p->set(p, src);
}

uint8_t* blockGet(ParamBlock* p)
{
    return p->buffer;
}

} // namespace

#define PARAM_INIT_DEF(Name, T)                                                                    \
    void Name(Param<T>* p, const char* key, const char* label, uint8_t log, uint8_t remote, T def, \
              T min, T max, uint8_t publish, uint32_t id, int (*remoteSet)(Param<T>*, T),          \
              void (*onChange)(Param<T>*))                                                         \
    {                                                                                              \
        paramInit<T>(p, key, label, log, remote, def, min, max, publish, id, remoteSet, onChange); \
    }
PARAM_INIT_DEF(Param_InitU32, uint32_t)
PARAM_INIT_DEF(Param_InitLong, int32_t)
PARAM_INIT_DEF(Param_InitU16, uint16_t)
PARAM_INIT_DEF(Param_InitI16, int16_t)
PARAM_INIT_DEF(Param_InitU8, uint8_t)
PARAM_INIT_DEF(Param_InitI8, int8_t)
PARAM_INIT_DEF(Param_InitFloat, float)
#undef PARAM_INIT_DEF

void Param_InitBlock(ParamBlock* p, const char* key, const char* label, uint8_t log, uint8_t remote,
                     uint16_t size, uint8_t publish, uint32_t id,
                     int (*remoteSet)(ParamBlock*, const uint8_t*), void (*onChange)(ParamBlock*))
{
    if (!p)
        return;
    memset(static_cast<void*>(p), 0, sizeof *p);
    p->buffer = static_cast<uint8_t*>(calloc(size ? size : 1, 1));
    p->size = p->buffer ? size : 0;
    p->key = copyText(key);
    p->label = copyText(label);
    p->log = log;
    p->remote = remote;
    p->publish = publish;
    p->section = (id >> 8) & 0xff;
    p->item = id & 0xff;
    p->self = p;
    p->set = blockSet;
    p->remoteSet = remoteSet ? remoteSet : blockRemoteSet;
    p->get = blockGet;
    p->onChange = onChange;
}

void Param_SetHookLong(ParamLong* p, void (*hook)(ParamLong*))
{
    if (p && hook)
        p->onChange = hook;
}

void Param_EnableU32(ParamU32*, uint8_t) {}
void Param_EnableU16(ParamU16*, uint8_t) {}
void Param_EnableU8(ParamU8*, uint8_t) {}
