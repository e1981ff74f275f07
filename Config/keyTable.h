// The configuration key table and the accessor engine.
//
// Every keyed item of the system image is one row of Config/keyTable.def: its
// element-name rule, where it is stored and at what width, how a write is
// compared, its validator and default, the change groups it marks (in
// order), the DbPool cells it is published to, and the hooks that run around
// the store. The named accessors (get<Key>, set<Key>, isValid<Key>,
// get<Key>Key) are generated from the same rows; so is the descriptor array
// that the XML code iterates. Adding a Part's keys is adding its rows.
#pragma once

#include "Config/StrutturaDati.h"

#include <cstddef>
#include <cstdint>

// How a value is held in the image.
enum CfgValueType : uint8_t {
    VT_U8,        // byte
    VT_U16,       // unsigned 16-bit
    VT_S16,       // signed 16-bit, sign-extended when read or published
    VT_U32,       // 32-bit word
    VT_S32,       // signed 32-bit word
    VT_U8_IN_U32, // 32-bit word that holds the low byte of what was written
    VT_IPV4,      // 32-bit IPv4 word in network byte order
};

enum CfgCompare : uint8_t {
    CMP_WHEN_CHANGED, // store, publish and mark only when the value differs
    CMP_ALWAYS,       // store, publish and mark on every call
};

enum CfgNameRule : uint8_t {
    NAME_NONE,     // status item: no XML element
    NAME_LITERAL,  // one literal element name
    NAME_NUMBERED, // "<stem>_<k>" for the numbered cases, "<stem>_n" for any other index
    NAME_FORMAT,   // printf format of the index; a two-level family formats
                   // (index / innerCount, index % innerCount)
};

enum CfgValidKind : uint8_t { VALID_ANY, VALID_RANGE_U, VALID_RANGE_S };

// isValid<Key>(v): (v & mask) within [lo, hi], compared unsigned or as a
// signed 32-bit value.
struct CfgValidator {
    uint8_t kind;
    uint32_t mask;
    int64_t lo;
    int64_t hi;
};

enum CfgCellConv : uint8_t {
    CONV_VALUE,      // the value at its width (bytes zero-, signed items sign-extended)
    CONV_HOST_ORDER, // IPv4 word published in host byte order
    CONV_NEGATED,    // 1 when the value is 0, else 0
};

// A DbPool cell of a row. For an indexed family, element i is published to
// (section + i * sectionStep, item + i * itemStep).
struct CfgCell {
    uint8_t section; // 0: no cell
    uint8_t item;
    uint8_t conv;
    uint8_t sectionStep;
    uint8_t itemStep;
};

enum CfgHookPos : uint8_t {
    HOOK_NONE,
    HOOK_BEFORE_STORE,  // with the old value still stored (previous-value copies)
    HOOK_AFTER_STORE,   // item-specific actions before the publish
    HOOK_AFTER_PUBLISH, // actions between the publish and the change mark
    HOOK_AFTER_MARK,    // after the change mark
    HOOK_EVERY_CALL,    // at the end of every call, changed or not
};

enum CfgGate : uint8_t {
    GATE_ALWAYS,
    GATE_HW_READY, // only while the hardware-ready word is 1
};

// A hook gets the element index, the value as stored and the value before.
using CfgHookFn = void (*)(uint8_t index, uint32_t value, uint32_t old);

struct CfgHook {
    uint8_t pos;
    uint8_t gate;
    CfgHookFn fn;
};

constexpr int CFG_MAX_GROUPS = 2;
constexpr int CFG_MAX_CELLS = 2;
constexpr int CFG_MAX_HOOKS = 3;

// Every member has a default, so a row names only what it needs.
struct CfgKeyDesc {
    const char* id = {};          // accessor stem, e.g. "FrontEthernetIPAddress"
    uint8_t nameRule = {};
    const char* name = {};        // literal, stem or format
    uint8_t firstCase = {};       // NAME_NUMBERED: indexes firstCase..lastCase get a
    uint8_t lastCase = {};        //   numbered name, every other index "<stem>_n"
    uint8_t nameBase = {};        // added to the (outer) index in a numbered or formatted name
    uint8_t innerCount = {};      // NAME_FORMAT of a two-level family: elements per outer
    uint8_t innerBase = {};       //   index, and what is added to the inner index
    uint16_t offset = {};         // of element 0 in the image
    uint8_t type = {};
    uint16_t count = 1;           // 1 for plain items, the family's size for indexed ones
    uint8_t stride = {};          // bytes between two elements
    uint8_t compare = {};
    CfgValidator valid = {};      // none: every value is valid
    bool hasDefault = {};
    int64_t def = {};
    uint32_t groups[CFG_MAX_GROUPS] = {}; // marked in this order; 0 ends
    CfgCell cells[CFG_MAX_CELLS] = {};
    CfgHook hooks[CFG_MAX_HOOKS] = {};
    // Rows whose setter is written by hand: the uniform entry that calls it.
    void (*handSet)(uint32_t index, uint32_t value) = nullptr;
};

// Helpers for the rows.
#define IMG(member) static_cast<uint16_t>(offsetof(SystemImage, member))
constexpr CfgValidator validU(uint32_t mask, int64_t lo, int64_t hi) { return {VALID_RANGE_U, mask, lo, hi}; }
constexpr CfgValidator validS(int64_t lo, int64_t hi) { return {VALID_RANGE_S, 0xffffffffu, lo, hi}; }
constexpr CfgCell cell(uint8_t s, uint8_t i, uint8_t conv = CONV_VALUE, uint8_t sStep = 0, uint8_t iStep = 0)
{
    return {s, i, conv, sStep, iStep};
}
constexpr CfgHook hook(uint8_t pos, CfgHookFn fn, uint8_t gate = GATE_ALWAYS) { return {pos, gate, fn}; }

// Row ids, one per row of the table.
enum CfgKeyId : uint16_t {
#define CFG(Kind, Id, CType, ...) KEY_##Id,
#include "Config/keyTable.def"
#undef CFG
    KEY_COUNT
};

// The descriptor array, in table order (what the XML code iterates).
extern const CfgKeyDesc cfgKeyTable[KEY_COUNT];
const CfgKeyDesc* cfgKeyDesc(CfgKeyId id);

// The engine. Indexes are reduced to their low byte; an index at or beyond
// the family's count is refused (setters do nothing, getters give 0).

// The whole generated setter: compare, store, hooks, publish, mark.
void cfgSet(CfgKeyId id, uint32_t index, uint32_t value);
// Uniform setter of a row: its hand-written setter where it has one.
void cfgSetElement(const CfgKeyDesc* d, uint32_t index, uint32_t value);
// The stored value widened to 32 bits (signed 16-bit items sign-extended).
uint32_t cfgGet(CfgKeyId id, uint32_t index);
uint32_t cfgGetElement(const CfgKeyDesc* d, uint32_t index);
int cfgIsValid(CfgKeyId id, uint32_t value);
int cfgIsValidRow(const CfgKeyDesc* d, uint32_t value);
// Element name of element `index` (nullptr for status items). Literal names
// are the program's constants; numbered and formatted names are built into a
// small per-thread ring of buffers, valid until a few more names were built.
const char* cfgKeyName(CfgKeyId id, uint32_t index);
const char* cfgElementName(const CfgKeyDesc* d, uint32_t index);

// Pieces for hand-written setters.
// Stores the value when it differs at the item's width (or always, for
// CMP_ALWAYS rows), running the before- and after-store hooks; returns 1 when
// it stored, 0 when unchanged, -1 for a refused index.
int cfgStore(CfgKeyId id, uint32_t index, uint32_t value);
void cfgPublish(CfgKeyId id, uint32_t index);
void cfgMark(CfgKeyId id);

// Applies a row's default through its setter (nothing for rows without one).
void cfgApplyDefault(CfgKeyId id);

// The generated named accessors.
#include "Config/keyAccessors.h"
#include "Config/keyAliases.h"
