// The key table's descriptor array and the accessor engine every generated
// and hand-written accessor goes through.
//
// Items are read and written with single atomic loads and stores of their
// width: setters run in the main loop and in the threads that serve clients,
// and readers may see an item before its publish or its change mark, never
// half of it.
#include "Config/keyTable.h"

#include "Config/alarmTables.h"
#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "Config/netKeys.h"
#include "Config/statusFields.h"
#include "comtab/dbPool.h"

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>

const CfgKeyDesc cfgKeyTable[KEY_COUNT] = {
#define CFG_HANDSET_KEY(Id) nullptr
#define CFG_HANDSET_KEY_HAND(Id) cfgHandSet_##Id
#define CFG_HANDSET_IKEY(Id) nullptr
#define CFG_HANDSET_STATUS(Id) nullptr
#define CFG_HANDSET_STATUS_GET(Id) nullptr
#define CFG_HANDSET_ISTATUS(Id) nullptr
#define CFG(Kind, Id, CType, ...) {.id = #Id, __VA_ARGS__, .handSet = CFG_HANDSET_##Kind(Id)},
#include "Config/keyTable.def"
#undef CFG
};

namespace {

constexpr int kNameRing = 4;
constexpr size_t kNameLen = 64;

struct NameRing {
    char buf[kNameRing][kNameLen];
    unsigned next;
};

thread_local NameRing names;

unsigned storageSize(uint8_t type)
{
    switch (type) {
    case VT_U8: return 1;
    case VT_U16:
    case VT_S16: return 2;
    default: return 4;
    }
}

uint32_t truncateToWidth(uint8_t type, uint32_t v)
{
    switch (type) {
    case VT_U8:
    case VT_U8_IN_U32: return v & 0xffu;
    case VT_U16:
    case VT_S16: return v & 0xffffu;
    default: return v;
    }
}

uint32_t widen(uint8_t type, uint32_t raw)
{
    if (type == VT_S16)
        return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(raw)));
    return raw;
}

// Index of an element, or -1 when the family has no such element.
int elementIndex(const CfgKeyDesc* d, uint32_t index)
{
    uint32_t i = index & 255u;
    return i < d->count ? static_cast<int>(i) : -1;
}

uint8_t* elementAddr(const CfgKeyDesc* d, int i)
{
    return reinterpret_cast<uint8_t*>(getSystemImage()) + d->offset + static_cast<size_t>(i) * d->stride;
}

uint32_t loadRaw(const CfgKeyDesc* d, int i)
{
    uint8_t* p = elementAddr(d, i);
    switch (storageSize(d->type)) {
    case 1: return std::atomic_ref<uint8_t>(*p).load(std::memory_order_relaxed);
    case 2: return std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(p)).load(std::memory_order_relaxed);
    default: return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(p)).load(std::memory_order_relaxed);
    }
}

void storeRaw(const CfgKeyDesc* d, int i, uint32_t v)
{
    uint8_t* p = elementAddr(d, i);
    switch (storageSize(d->type)) {
    case 1: std::atomic_ref<uint8_t>(*p).store(static_cast<uint8_t>(v), std::memory_order_relaxed); break;
    case 2:
        std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(p))
            .store(static_cast<uint16_t>(v), std::memory_order_relaxed);
        break;
    default: std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(p)).store(v, std::memory_order_relaxed); break;
    }
}

bool gateOpen(uint8_t gate)
{
    return gate == GATE_ALWAYS || getHwReady() == 1;
}

void runHooks(const CfgKeyDesc* d, uint8_t pos, int i, uint32_t value, uint32_t old)
{
    for (const CfgHook& h : d->hooks) {
        if (h.pos == pos && h.fn && gateOpen(h.gate))
            h.fn(static_cast<uint8_t>(i), value, old);
    }
}

int storeElement(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    int i = elementIndex(d, index);
    if (i < 0)
        return -1;
    uint32_t v = truncateToWidth(d->type, value);
    uint32_t old = loadRaw(d, i);
    if (v == old && d->compare != CMP_ALWAYS)
        return 0;
    runHooks(d, HOOK_BEFORE_STORE, i, v, old);
    storeRaw(d, i, v);
    runHooks(d, HOOK_AFTER_STORE, i, v, old);
    return 1;
}

void publishElement(const CfgKeyDesc* d, int i)
{
    uint32_t v = widen(d->type, loadRaw(d, i));
    for (const CfgCell& c : d->cells) {
        if (c.section == 0)
            continue;
        uint32_t out = v;
        if (c.conv == CONV_HOST_ORDER)
            out = ntohl(v);
        else if (c.conv == CONV_NEGATED)
            out = v == 0 ? 1 : 0;
        setDbAreaCell(c.section + static_cast<uint32_t>(i) * c.sectionStep,
                      c.item + static_cast<uint32_t>(i) * c.itemStep, out);
    }
}

void markGroups(const CfgKeyDesc* d)
{
    for (uint32_t g : d->groups) {
        if (g != 0)
            markConfigChanged(g);
    }
}

void setElement(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    uint32_t old = 0;
    int i = elementIndex(d, index);
    if (i >= 0)
        old = loadRaw(d, i);
    int r = storeElement(d, index, value);
    if (r < 0)
        return;
    uint32_t v = loadRaw(d, i);
    if (r > 0) {
        publishElement(d, i);
        runHooks(d, HOOK_AFTER_PUBLISH, i, v, old);
        markGroups(d);
        runHooks(d, HOOK_AFTER_MARK, i, v, old);
    }
    runHooks(d, HOOK_EVERY_CALL, i, v, old);
}

char* nextNameBuffer()
{
    char* b = names.buf[names.next % kNameRing];
    names.next++;
    return b;
}

} // namespace

const CfgKeyDesc* cfgKeyDesc(CfgKeyId id)
{
    return id < KEY_COUNT ? &cfgKeyTable[id] : nullptr;
}

void cfgSet(CfgKeyId id, uint32_t index, uint32_t value)
{
    setElement(&cfgKeyTable[id], index, value);
}

void cfgSetElement(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    if (d->handSet)
        d->handSet(index, value);
    else
        setElement(d, index, value);
}

uint32_t cfgGetElement(const CfgKeyDesc* d, uint32_t index)
{
    int i = elementIndex(d, index);
    return i < 0 ? 0 : widen(d->type, loadRaw(d, i));
}

uint32_t cfgGet(CfgKeyId id, uint32_t index)
{
    return cfgGetElement(&cfgKeyTable[id], index);
}

int cfgIsValidRow(const CfgKeyDesc* d, uint32_t value)
{
    uint32_t v = value & d->valid.mask;
    switch (d->valid.kind) {
    case VALID_RANGE_U: return v >= d->valid.lo && v <= d->valid.hi;
    case VALID_RANGE_S: {
        int32_t s = static_cast<int32_t>(v);
        return s >= d->valid.lo && s <= d->valid.hi;
    }
    default: return 1;
    }
}

int cfgIsValid(CfgKeyId id, uint32_t value)
{
    return cfgIsValidRow(&cfgKeyTable[id], value);
}

const char* cfgElementName(const CfgKeyDesc* d, uint32_t index)
{
    uint32_t i = index & 255u;
    switch (d->nameRule) {
    case NAME_LITERAL: return d->name;
    case NAME_NUMBERED: {
        char* b = nextNameBuffer();
        if (i >= d->firstCase && i <= d->lastCase)
            snprintf(b, kNameLen, "%s_%u", d->name, i + d->nameBase);
        else
            snprintf(b, kNameLen, "%s_n", d->name);
        return b;
    }
    case NAME_FORMAT: {
        char* b = nextNameBuffer();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        if (d->innerCount)
            snprintf(b, kNameLen, d->name, i / d->innerCount + d->nameBase, i % d->innerCount + d->innerBase);
        else
            snprintf(b, kNameLen, d->name, i + d->nameBase);
#pragma GCC diagnostic pop
        return b;
    }
    default: return nullptr;
    }
}

const char* cfgKeyName(CfgKeyId id, uint32_t index)
{
    return cfgElementName(&cfgKeyTable[id], index);
}

int cfgStore(CfgKeyId id, uint32_t index, uint32_t value)
{
    return storeElement(&cfgKeyTable[id], index, value);
}

void cfgPublish(CfgKeyId id, uint32_t index)
{
    const CfgKeyDesc* d = &cfgKeyTable[id];
    int i = elementIndex(d, index);
    if (i >= 0)
        publishElement(d, i);
}

void cfgMark(CfgKeyId id)
{
    markGroups(&cfgKeyTable[id]);
}

void cfgApplyDefault(CfgKeyId id)
{
    const CfgKeyDesc* d = &cfgKeyTable[id];
    if (!d->hasDefault)
        return;
    for (uint32_t i = 0; i < d->count; i++)
        cfgSetElement(d, i, static_cast<uint32_t>(d->def));
}
