// The accessor engine every generated and hand-written accessor goes through.
//
// Items are read and written with single atomic loads and stores of their
// width: setters run in the main loop and in the threads that serve clients,
// and readers may see an item before its publish or its change mark, never
// half of it. Byte strings are copied as bytes.
#include "Config/keyTable.h"

#include "Config/configCycle.h"
#include "Config/eventBitmaps.h"
#include "comtab/dbPool.h"

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

// Rows the columns act on (defined with the table).
extern const CfgKeyDesc* const cfgRow_AlarmInput;
extern const CfgKeyDesc* const cfgRow_HwReady;
extern const CfgKeyDesc cfgKeyTable[];

namespace {

constexpr int kNameRing = 4;
constexpr size_t kNameLen = 64;

struct NameRing {
    char buf[kNameRing][kNameLen];
    unsigned next;
};

thread_local NameRing names;

// The position of an accessor's index in the family.
struct Element {
    int flat; // -1: no such element
    uint32_t outer;
    uint32_t inner;
};

bool isBytes(uint8_t shape)
{
    return shape == VT_BYTES || shape == VT_TEXT;
}

uint32_t truncateToWidth(uint8_t shape, uint32_t v)
{
    switch (shape) {
    case VT_U8:
    case VT_U8_IN_U32: return v & 0xffu;
    case VT_U16:
    case VT_S16:
    case VT_U16_IN_U32: return v & 0xffffu;
    default: return v;
    }
}

uint32_t widen(uint8_t shape, uint32_t raw)
{
    switch (shape) {
    case VT_S16: return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(raw)));
    case VT_U32_LOW8: return raw & 0xffu;
    default: return raw;
    }
}

bool sameValue(uint8_t shape, uint32_t a, uint32_t b)
{
    if (shape == VT_F32)
        return std::bit_cast<float>(a) == std::bit_cast<float>(b);
    return a == b;
}

uint32_t innerCount(const CfgKeyDesc* d)
{
    return d->at.inner ? d->at.inner : 1;
}

Element flatElement(const CfgKeyDesc* d, uint32_t flat)
{
    uint32_t n = innerCount(d);
    if (flat >= static_cast<uint32_t>(d->at.count) * n)
        return {-1, 0, 0};
    return {static_cast<int>(flat), flat / n, flat % n};
}

// One-level families reduce the index to its low byte; two-level families
// get their flat index from cfgPairIndex.
Element elementOf(const CfgKeyDesc* d, uint32_t index)
{
    if (innerCount(d) > 1)
        return flatElement(d, index);
    uint32_t i = index & 255u;
    if (i < d->indexBase)
        return {-1, 0, 0};
    return flatElement(d, i - d->indexBase);
}

// The accessor's index of an element.
uint32_t accessorIndex(const CfgKeyDesc* d, const Element& e)
{
    return innerCount(d) > 1 ? static_cast<uint32_t>(e.flat) : static_cast<uint32_t>(e.flat) + d->indexBase;
}

uint8_t* recordBase(const CfgKeyDesc* d)
{
    if (d->at.base == BASE_UNIT_INFO)
        return getUnitInfo();
    return reinterpret_cast<uint8_t*>(getSystemImage());
}

uint8_t* elementAddr(const CfgKeyDesc* d, const Element& e)
{
    return recordBase(d) + d->at.offset + static_cast<size_t>(e.outer) * d->at.stride +
           static_cast<size_t>(e.inner) * d->at.innerStride;
}

unsigned storageSize(uint8_t shape)
{
    switch (shape) {
    case VT_U8: return 1;
    case VT_U16:
    case VT_S16: return 2;
    default: return 4;
    }
}

uint32_t loadRaw(const CfgKeyDesc* d, const Element& e)
{
    uint8_t* p = elementAddr(d, e);
    switch (storageSize(d->at.shape)) {
    case 1: return std::atomic_ref<uint8_t>(*p).load(std::memory_order_relaxed);
    case 2: return std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(p)).load(std::memory_order_relaxed);
    default: return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(p)).load(std::memory_order_relaxed);
    }
}

void storeRaw(const CfgKeyDesc* d, const Element& e, uint32_t v)
{
    uint8_t* p = elementAddr(d, e);
    switch (storageSize(d->at.shape)) {
    case 1: std::atomic_ref<uint8_t>(*p).store(static_cast<uint8_t>(v), std::memory_order_relaxed); break;
    case 2:
        std::atomic_ref<uint16_t>(*reinterpret_cast<uint16_t*>(p))
            .store(static_cast<uint16_t>(v), std::memory_order_relaxed);
        break;
    default: std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(p)).store(v, std::memory_order_relaxed); break;
    }
}

bool hwReady()
{
    return cfgGetElement(cfgRow_HwReady, 0) == 1;
}

bool gateOpen(uint8_t gate)
{
    return gate == GATE_ALWAYS || hwReady();
}

void runHooks(const CfgKeyDesc* d, uint8_t pos, uint32_t index, uint32_t value, uint32_t old)
{
    for (const CfgHook& h : d->hooks) {
        if (h.pos == pos && h.fn && gateOpen(h.gate))
            h.fn(index, value, old);
    }
}

// The alarm and event columns: they run right after the store.
void runStoreColumns(const CfgKeyDesc* d, uint32_t value)
{
    switch (d->alarm.rule) {
    case ALARM_FOLLOWS_VALUE: cfgSet(cfgRow_AlarmInput, d->alarm.id, value & 255u); break;
    case ALARM_WHEN_BIT0_CLEAR: cfgSet(cfgRow_AlarmInput, d->alarm.id, (value & 1u) ? 0 : 1); break;
    default: break;
    }
    if (d->event)
        setEventBit(static_cast<uint8_t>(value & 255u), d->event);
}

int storeElement(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    Element e = elementOf(d, index);
    if (e.flat < 0 || isBytes(d->at.shape))
        return -1;
    uint32_t v = truncateToWidth(d->at.shape, value);
    uint32_t old = loadRaw(d, e);
    if (sameValue(d->at.shape, v, old) && d->compare != CMP_ALWAYS)
        return 0;
    uint32_t i = accessorIndex(d, e);
    runHooks(d, HOOK_BEFORE_STORE, i, v, old);
    storeRaw(d, e, v);
    runStoreColumns(d, v);
    runHooks(d, HOOK_AFTER_STORE, i, v, old);
    return 1;
}

struct CellAt {
    uint32_t section;
    uint32_t item;
};

CellAt cellOf(const CfgCell& c, const Element& e)
{
    switch (c.rule) {
    case CELL_WRAP: {
        uint32_t wrap = c.wrap ? c.wrap : 1;
        return {c.section + (e.outer / wrap) * c.sectionStep,
                c.item + (e.outer % wrap) * c.itemStep + e.inner * c.innerStep};
    }
    case CELL_PIECES: {
        const CfgCellPiece* use = &c.pieces[0];
        for (const CfgCellPiece& p : c.pieces) {
            if (p.from <= e.outer && p.from != 0xff)
                use = &p;
        }
        if (use->item == 0)
            return {0, 0};
        return {c.section, use->item + use->step * e.outer};
    }
    default:
        return {c.section + e.outer * c.sectionStep, c.item + e.outer * c.itemStep + e.inner * c.innerStep};
    }
}

uint32_t scalarCellValue(uint8_t conv, uint32_t v)
{
    switch (conv) {
    case CONV_HOST_ORDER: return ntohl(v);
    case CONV_NEGATED: return v == 0 ? 1 : 0;
    case CONV_BYTE_SWAPPED: return __builtin_bswap32(v);
    case CONV_F32_X100: {
        float f = std::bit_cast<float>(v) * 100.0f;
        return f > 0.0f ? static_cast<uint32_t>(f) : 0;
    }
    case CONV_F32_TRUNC: {
        float f = std::bit_cast<float>(v);
        return f > 0.0f ? static_cast<uint32_t>(f) : 0;
    }
    default: return v;
    }
}

uint32_t beWord(const uint8_t* p, size_t n)
{
    uint32_t w = 0;
    for (size_t k = 0; k < 4; k++)
        w = (w << 8) | (k < n ? p[k] : 0u);
    return w;
}

void publishBytes(const CfgCell& c, CellAt at, const uint8_t* b, size_t size)
{
    switch (c.conv) {
    case CONV_BYTE_PER_CELL:
        for (size_t k = 0; k < size; k++)
            setDbAreaCell(at.section, at.item + static_cast<uint32_t>(k), b[k]);
        break;
    case CONV_MAC:
        setDbAreaCell(at.section, at.item, beWord(b, 4));
        setDbAreaCell(at.section, at.item + 1, (static_cast<uint32_t>(b[4]) << 8) | b[5]);
        break;
    default: // CONV_BE_WORDS and anything else: words, the first byte most significant
        for (size_t k = 0; k * 4 < size; k++)
            setDbAreaCell(at.section, at.item + static_cast<uint32_t>(k), beWord(b + 4 * k, size - 4 * k));
        break;
    }
}

void publishOne(const CfgKeyDesc* d, const Element& e)
{
    bool bytes = d->at.shape == VT_BYTES;
    uint32_t raw = bytes ? 0 : loadRaw(d, e);
    uint32_t v = bytes ? 0 : widen(d->at.shape, raw);
    for (const CfgCell& c : d->cells) {
        if (c.section == 0)
            continue;
        CellAt at = cellOf(c, e);
        if (at.section == 0)
            continue;
        if (bytes)
            publishBytes(c, at, elementAddr(d, e), d->at.size);
        else
            setDbAreaCell(at.section, at.item, c.conv == CONV_STORED ? raw : scalarCellValue(c.conv, v));
    }
}

void publishElement(const CfgKeyDesc* d, const Element& e)
{
    if (!d->publishAll) {
        publishOne(d, e);
        return;
    }
    // The words of one record of a two-level family; every element of a
    // one-level one.
    if (innerCount(d) > 1) {
        for (uint32_t k = 0; k < innerCount(d); k++)
            publishOne(d, flatElement(d, e.outer * innerCount(d) + k));
    } else {
        for (uint32_t k = 0; k < d->at.count; k++)
            publishOne(d, flatElement(d, k));
    }
}

void markGroups(const CfgKeyDesc* d)
{
    for (uint32_t g : d->groups) {
        if (g != 0)
            markConfigChanged(g);
    }
}

void afterStore(const CfgKeyDesc* d, const Element& e, bool stored, uint32_t v, uint32_t old)
{
    uint32_t i = accessorIndex(d, e);
    if (stored) {
        publishElement(d, e);
        runHooks(d, HOOK_AFTER_PUBLISH, i, v, old);
        markGroups(d);
        runHooks(d, HOOK_AFTER_MARK, i, v, old);
    }
    runHooks(d, HOOK_EVERY_CALL, i, v, old);
}

void setElement(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    Element e = elementOf(d, index);
    if (e.flat < 0 || isBytes(d->at.shape))
        return;
    uint32_t old = loadRaw(d, e);
    int r = storeElement(d, index, value);
    afterStore(d, e, r > 0, loadRaw(d, e), old);
}

// Word k of a text kept four characters a word, the first most significant.
uint32_t packedWord(const char* text, uint32_t k)
{
    size_t n = strlen(text);
    uint32_t w = 0;
    for (size_t b = 0; b < 4; b++) {
        size_t at = 4 * k + b;
        w = (w << 8) | (at < n ? static_cast<uint8_t>(text[at]) : 0u);
    }
    return w;
}

char* nextNameBuffer()
{
    char* b = names.buf[names.next % kNameRing];
    names.next++;
    return b;
}

} // namespace

uint32_t cfgPairIndex(const CfgKeyDesc* d, uint32_t outer, uint32_t inner)
{
    uint32_t o = outer & 255u;
    uint32_t i = inner & 255u;
    if (o >= d->at.count || i >= innerCount(d))
        return CFG_NO_INDEX;
    return o * innerCount(d) + i;
}

void cfgSet(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    setElement(d, index, value);
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
    Element e = elementOf(d, index);
    if (e.flat < 0 || isBytes(d->at.shape))
        return 0;
    return widen(d->at.shape, loadRaw(d, e));
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
    case VALID_RANGE_S16: {
        int32_t s = static_cast<int16_t>(v & 0xffffu);
        return s >= d->valid.lo && s <= d->valid.hi;
    }
    case VALID_BY_FN: return d->valid.fn(v) ? 1 : 0;
    default: return 1;
    }
}

namespace {

// The name of numbered case i: "<stem>_<i + nameBase>", or the other name.
const char* numberedName(const CfgKeyDesc* d, uint32_t i)
{
    if (i < d->firstCase || i > d->lastCase) {
        if (d->nameOther)
            return d->nameOther;
        char* b = nextNameBuffer();
        snprintf(b, kNameLen, "%s_n", d->name);
        return b;
    }
    char* b = nextNameBuffer();
    snprintf(b, kNameLen, "%s_%u", d->name, i + d->nameBase);
    return b;
}

} // namespace

const char* cfgPairName(const CfgKeyDesc* d, uint32_t outer, uint32_t inner)
{
    if (d->nameRule == NAME_INNER)
        return d->name ? numberedName(d, inner & 255u) : nullptr;
    uint32_t k = cfgPairIndex(d, outer, inner);
    return k == CFG_NO_INDEX ? "" : cfgElementName(d, k);
}

const char* cfgElementName(const CfgKeyDesc* d, uint32_t index)
{
    if (!d->name)
        return nullptr;
    switch (d->nameRule) {
    case NAME_NUMBERED: return numberedName(d, index & 255u);
    case NAME_INNER: return numberedName(d, index % innerCount(d));
    case NAME_FORMAT: {
        uint32_t n = innerCount(d);
        uint32_t i = n > 1 ? index / n : index & 255u;
        if (d->lastCase && (i < d->firstCase || i > d->lastCase))
            return d->nameOther ? d->nameOther : "";
        char* b = nextNameBuffer();
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        if (n > 1)
            snprintf(b, kNameLen, d->name, index / n + d->nameBase, index % n + d->innerBase);
        else
            snprintf(b, kNameLen, d->name, (index & 255u) + d->nameBase);
#pragma GCC diagnostic pop
        return b;
    }
    default: return d->name;
    }
}

int cfgStore(const CfgKeyDesc* d, uint32_t index, uint32_t value)
{
    return storeElement(d, index, value);
}

void cfgPublish(const CfgKeyDesc* d, uint32_t index)
{
    Element e = elementOf(d, index);
    if (e.flat >= 0 && d->at.shape != VT_TEXT)
        publishElement(d, e);
}

void cfgMark(const CfgKeyDesc* d)
{
    markGroups(d);
}

int64_t cfgDefaultValue(const CfgKeyDesc* d)
{
    if (!d->defBy)
        return d->def;
    const CfgDefaultBy& by = *d->defBy;
    uint32_t v = cfgGetElement(&cfgKeyTable[by.selector], 0);
    for (int k = 0; k < by.pairs && k < CFG_MAX_DEFAULT_PAIRS; k++) {
        if (by.pair[k].match == v)
            return by.pair[k].value;
    }
    return by.otherwise;
}

void cfgApplyDefault(const CfgKeyDesc* d)
{
    if (!d->hasDefault && !d->defBy)
        return;
    if (d->at.shape == VT_BYTES) {
        // A byte string's default is its text, padded with zero bytes.
        if (!d->defText)
            return;
        uint8_t bytes[256] = {};
        memcpy(bytes, d->defText, std::min<size_t>(strlen(d->defText), sizeof bytes));
        for (uint32_t k = 0; k < d->at.count; k++)
            cfgSetBytes(d, k + d->indexBase, bytes, std::min<size_t>(d->at.size, sizeof bytes));
        return;
    }
    int64_t base = cfgDefaultValue(d);
    uint32_t inner = innerCount(d);
    uint32_t n = static_cast<uint32_t>(d->at.count) * inner;
    for (uint32_t k = 0; k < n; k++) {
        uint32_t v = static_cast<uint32_t>(base + d->defStep * (k / inner));
        if (d->defEach)
            v = static_cast<uint32_t>(d->defEach[k]);
        if (d->defText)
            v = packedWord(d->defText, inner > 1 ? k % inner : k);
        if (d->defFirstOnly && k > 0)
            v = 0;
        cfgSetElement(d, inner > 1 ? k : k + d->indexBase, v);
    }
}

void cfgSetBytes(const CfgKeyDesc* d, uint32_t index, const void* bytes, size_t n, size_t at)
{
    Element e = elementOf(d, index);
    if (e.flat < 0 || d->at.shape != VT_BYTES || !bytes || at >= d->at.size)
        return;
    if (n > d->at.size - at)
        n = d->at.size - at;
    uint8_t* p = elementAddr(d, e) + at;
    bool changed = memcmp(p, bytes, n) != 0;
    if (changed || d->compare == CMP_ALWAYS) {
        runHooks(d, HOOK_BEFORE_STORE, accessorIndex(d, e), 0, 0);
        memcpy(p, bytes, n);
        runHooks(d, HOOK_AFTER_STORE, accessorIndex(d, e), 0, 0);
    }
    afterStore(d, e, changed || d->compare == CMP_ALWAYS, 0, 0);
}

void cfgGetBytes(const CfgKeyDesc* d, uint32_t index, void* out)
{
    Element e = elementOf(d, index);
    if (!out || d->at.shape != VT_BYTES)
        return;
    if (e.flat < 0) {
        memset(out, 0, d->at.size);
        return;
    }
    memcpy(out, elementAddr(d, e), d->at.size);
}

char* cfgText(const CfgKeyDesc* d, uint32_t index)
{
    Element e = elementOf(d, index);
    if (e.flat < 0 || d->at.shape != VT_TEXT)
        return nullptr;
    return reinterpret_cast<char*>(elementAddr(d, e));
}

void cfgSetPackedText(const CfgKeyDesc* d, uint32_t outer, const char* text, size_t n)
{
    uint32_t words = innerCount(d) > 1 ? innerCount(d) : d->at.count;
    for (uint32_t k = 0; k < words; k++) {
        uint32_t w = 0;
        for (size_t b = 0; b < 4; b++) {
            size_t at = 4 * k + b;
            uint8_t c = text && at < n ? static_cast<uint8_t>(text[at]) : 0;
            w = (w << 8) | c;
        }
        uint32_t index = innerCount(d) > 1 ? cfgPairIndex(d, outer, k) : k + d->indexBase;
        cfgSetElement(d, index, w);
    }
}

void cfgGetPackedText(const CfgKeyDesc* d, uint32_t outer, char* out, size_t n)
{
    if (!out)
        return;
    uint32_t words = innerCount(d) > 1 ? innerCount(d) : d->at.count;
    for (size_t at = 0; at < n; at++) {
        uint32_t k = static_cast<uint32_t>(at / 4);
        uint32_t w = 0;
        if (k < words)
            w = cfgGetElement(d, innerCount(d) > 1 ? cfgPairIndex(d, outer, k) : k + d->indexBase);
        out[at] = static_cast<char>((w >> (8 * (3 - at % 4))) & 255u);
    }
}
