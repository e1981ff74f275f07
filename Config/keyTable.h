// The configuration key engine: what a row of the key table is, and the
// accessor engine every generated and hand-written accessor goes through.
//
// The rows themselves are kept by region of the system image, one row file
// per region under Config/keys/ (see Config/keys/allKeys.def). A row says
// where its item is stored and in what shape, its element name, how a write
// is compared, its validator and default, the change groups it marks, the
// DbPool cells it is published to, and what runs around the store. Nothing
// here knows any row; the engine works on a row's descriptor.
#pragma once

#include "Config/StrutturaDati.h"
#include "Config/keys/accessorDecls.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

// ---- Stored shapes ----------------------------------------------------------

// How an element is held. The getter's return type (the row's CType) follows
// from the shape, and the shape from the member (see IMG below).
enum CfgShape : uint8_t {
    VT_U8,        // byte
    VT_U16,       // unsigned 16-bit
    VT_S16,       // signed 16-bit, sign-extended when read or published
    VT_U32,       // 32-bit word
    VT_S32,       // signed 32-bit word
    VT_U8_IN_U32, // 32-bit word that holds the low byte of what was written
    VT_U16_IN_U32, // 32-bit word that holds the low 16 bits of what was written
    VT_U32_LOW8,  // 32-bit word stored and compared whole, read as its low byte
    VT_IPV4,      // 32-bit IPv4 word in network byte order
    VT_F32,       // single-precision float, compared as a float
    VT_BYTES,     // fixed byte string of `size` bytes (MAC addresses, modem texts)
    VT_TEXT,      // zero-terminated text in a `size`-byte field, reached by address
    VT_AUTO = 0xff, // IMG: the shape that the member's type gives
};

// Which record an element lies in.
enum CfgBase : uint8_t {
    BASE_IMAGE,     // the SystemImage
    BASE_UNIT_INFO, // the 128-byte unit identity record behind it
};

// Where the elements of a row lie: element (outer, inner) is at
// offset + outer * stride + inner * innerStride. Plain items have one
// element; a family has `count` (outer) elements; a two-level family (data
// set x entry, user x word) has `inner` elements per outer index.
struct CfgAt {
    uint32_t offset = 0;
    uint16_t size = 0;   // bytes of one element
    uint16_t count = 1;
    uint16_t inner = 1;
    uint16_t stride = 0;
    uint16_t innerStride = 0;
    uint8_t shape = VT_U32;
    uint8_t base = BASE_IMAGE;
};

// ---- Columns ----------------------------------------------------------------

enum CfgCompare : uint8_t {
    CMP_WHEN_CHANGED, // store, publish and mark only when the value differs
    CMP_ALWAYS,       // store, publish and mark on every call
};

enum CfgNameRule : uint8_t {
    NAME_AUTO,     // the literal `name` when the row has one, else no XML element
    NAME_NUMBERED, // "<stem>_<k>" for the numbered cases, `nameOther` for any other index
    NAME_FORMAT,   // printf format of the index; a two-level family formats
                   // (outer, inner); with a `lastCase`, an index outside
                   // firstCase..lastCase gets `nameOther` ("" when none)
    NAME_INNER,    // a two-level family named by its inner index alone, as
                   // NAME_NUMBERED names a one-level one ("AFL_1" .. "AFL_7")
};

enum CfgValidKind : uint8_t {
    VALID_ANY,
    VALID_RANGE_U,   // (v & mask) within [lo, hi], unsigned
    VALID_RANGE_S,   // v as a signed 32-bit value within [lo, hi]
    VALID_RANGE_S16, // the low 16 bits of v, sign-extended, within [lo, hi]
    VALID_BY_FN,     // a range that other items set: the region's function decides
};

struct CfgValidator {
    uint8_t kind;
    uint32_t mask;
    int64_t lo;
    int64_t hi;
    int (*fn)(uint32_t v) = nullptr;
};

// How a value is written into its DbPool cell(s).
enum CfgCellConv : uint8_t {
    CONV_VALUE,         // the value as its getter gives it (bytes zero-, signed items sign-extended)
    CONV_HOST_ORDER,    // IPv4 word published in host byte order
    CONV_NEGATED,       // 1 when the value is 0, else 0
    CONV_F32_X100,      // a float times 100, truncated; negative values give 0
    CONV_F32_TRUNC,     // a float truncated; negative values give 0
    CONV_STORED,        // the stored word whole (a word whose getter reads its low byte)
    CONV_BYTE_PER_CELL, // byte string: byte k into cell item + k
    CONV_BE_WORDS,      // byte string: bytes 4k..4k+3 into cell item + k, the first byte most significant
    CONV_MAC,           // 6 bytes: bytes 0..3 as a big-endian word into item, bytes 4..5 as a 16-bit word into item + 1
    CONV_BYTE_SWAPPED,  // the word with its four bytes in reverse order
};

// Where the cell of element (outer, inner) lies.
enum CfgCellRule : uint8_t {
    CELL_STEP,   // (section + outer * sectionStep, item + outer * itemStep + inner * innerStep)
    CELL_WRAP,   // `wrap` outer indexes per section: (section + (outer / wrap) * sectionStep,
                 //  item + (outer % wrap) * itemStep + inner * innerStep)
    CELL_PIECES, // (section, piece.item + piece.step * outer) with the last piece whose `from` <= outer;
                 // a piece whose item is 0 publishes nothing
};

struct CfgCellPiece {
    uint8_t from;
    uint8_t item;
    uint8_t step;
};

constexpr int CFG_MAX_PIECES = 3;

struct CfgCell {
    uint8_t section = 0; // 0: no cell
    uint8_t item = 0;
    uint8_t conv = CONV_VALUE;
    uint8_t rule = CELL_STEP;
    uint8_t sectionStep = 0;
    uint8_t itemStep = 0;
    uint8_t innerStep = 0;
    uint8_t wrap = 0;
    CfgCellPiece pieces[CFG_MAX_PIECES] = {};
};

// What a store does to an alarm input, when a row has one.
enum CfgAlarmRule : uint8_t {
    ALARM_NONE,
    ALARM_FOLLOWS_VALUE,     // alarm input := the value's low byte
    ALARM_WHEN_BIT0_CLEAR,   // alarm input := 1 while bit 0 of the value is 0, else 0
};

struct CfgAlarm {
    uint8_t rule = ALARM_NONE;
    uint8_t id = 0;
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

// A hook gets the element index (as the accessor passed it), the value as
// stored and the value before.
using CfgHookFn = void (*)(uint32_t index, uint32_t value, uint32_t old);

struct CfgHook {
    uint8_t pos;
    uint8_t gate;
    CfgHookFn fn;
};

// A default chosen by the value of another row: the first pair whose `match`
// equals that value, else `otherwise`.
constexpr int CFG_MAX_DEFAULT_PAIRS = 6;
struct CfgDefaultBy {
    uint16_t selector; // row id of the value that chooses
    uint8_t pairs;
    struct {
        uint32_t match;
        int64_t value;
    } pair[CFG_MAX_DEFAULT_PAIRS];
    int64_t otherwise;
};

constexpr int CFG_MAX_GROUPS = 2;
constexpr int CFG_MAX_CELLS = 3;
constexpr int CFG_MAX_HOOKS = 3;

// A row. Every member has a default, so a row names only what it needs.
struct CfgKeyDesc {
    const char* id = {};          // accessor stem, e.g. "FrontEthernetIPAddress"
    uint8_t nameRule = {};
    const char* name = {};        // literal, stem or format
    uint8_t firstCase = {};       // NAME_NUMBERED: indexes firstCase..lastCase get a
    uint8_t lastCase = {};        //   numbered name, every other index `nameOther`
    uint8_t nameBase = {};        // added to the (outer) index in a numbered or formatted name
    uint8_t innerBase = {};       // added to the inner index in a formatted name
    const char* nameOther = {};   // NAME_NUMBERED: the name of any other index; nullptr: "<stem>_n"
    CfgAt at = {};                // where the elements are (IMG, IMG_EACH, UNITINFO)
    uint8_t indexBase = {};       // the accessor's index of element 0 (slots counted from 1)
    uint8_t compare = {};
    CfgValidator valid = {};      // none: every value is valid
    bool hasDefault = {};
    int64_t def = {};
    const CfgDefaultBy* defBy = {}; // a default chosen by another row's value
    int64_t defStep = {};         // added to the default once per outer index (d + 1, 0x5201 + d)
    const char* defText = {};     // default of texts kept in words: inner word k gets characters
                                  //   4k..4k+3, the first most significant
    bool defFirstOnly = {};       // the default is element 0's; every other element gets 0
    const int32_t* defEach = {};  // a default per element (`count` values; element 0's is `def`)
    uint32_t groups[CFG_MAX_GROUPS] = {}; // marked in this order; 0 ends
    CfgCell cells[CFG_MAX_CELLS] = {};
    bool publishAll = {};         // a change publishes the whole family (of a two-level
                                  //   family, the record of its outer index)
    CfgAlarm alarm = {};          // after the store, before the other after-store hooks
    uint16_t event = {};          // EventBitmap bit := the value's low byte, after the store
    CfgHook hooks[CFG_MAX_HOOKS] = {};
    // Rows whose setter is written by hand: the uniform entry that calls it.
    void (*handSet)(uint32_t index, uint32_t value) = nullptr;
};

// ---- Row helpers --------------------------------------------------------------

namespace cfgdetail {

template <class E>
consteval uint8_t autoShape()
{
    if constexpr (std::is_same_v<E, uint8_t>)
        return VT_U8;
    else if constexpr (std::is_same_v<E, uint16_t>)
        return VT_U16;
    else if constexpr (std::is_same_v<E, int16_t>)
        return VT_S16;
    else if constexpr (std::is_same_v<E, uint32_t>)
        return VT_U32;
    else if constexpr (std::is_same_v<E, int32_t>)
        return VT_S32;
    else if constexpr (std::is_same_v<E, float>)
        return VT_F32;
    else
        return VT_AUTO; // no shape of its own
}

// The member type a shape may be stored in.
template <class E>
consteval bool shapeFitsElement(uint8_t shape)
{
    switch (shape) {
    case VT_U8: return std::is_same_v<E, uint8_t>;
    case VT_U16: return std::is_same_v<E, uint16_t>;
    case VT_S16: return std::is_same_v<E, int16_t>;
    case VT_U32:
    case VT_U8_IN_U32:
    case VT_U16_IN_U32:
    case VT_U32_LOW8:
    case VT_IPV4: return std::is_same_v<E, uint32_t>;
    case VT_S32: return std::is_same_v<E, int32_t>;
    case VT_F32: return std::is_same_v<E, float>;
    default: return false;
    }
}

template <class M>
consteval bool bytesFitMember(uint8_t shape)
{
    using E = std::remove_all_extents_t<M>;
    if (shape == VT_BYTES)
        return std::is_array_v<M> && std::is_same_v<E, uint8_t>;
    if (shape == VT_TEXT)
        return std::is_array_v<M> && std::rank_v<M> == 1 && std::is_same_v<E, char>;
    return false;
}

consteval unsigned scalarSize(uint8_t shape)
{
    switch (shape) {
    case VT_U8: return 1;
    case VT_U16:
    case VT_S16: return 2;
    default: return 4;
    }
}

// The place of a member (or, with Outer, of a field of each record of an
// array member) with its shape; every check fails the build.
template <class M, size_t Off, uint8_t Shape, size_t Outer, size_t OuterStride, uint8_t Base, size_t RecordSize,
          size_t Inner = 0, size_t InnerStride = 0>
consteval CfgAt at()
{
    constexpr bool whole = Shape == VT_BYTES || Shape == VT_TEXT;
    static_assert(!whole || bytesFitMember<M>(Shape), "the row's stored shape disagrees with its member");
    using E = std::conditional_t<whole, M, std::remove_extent_t<M>>;
    constexpr size_t n = whole || !std::is_array_v<M> ? 1 : std::extent_v<M>;
    static_assert(whole || !std::is_array_v<E>, "a member of more than two levels has no row shape");
    static_assert(!Inner || (Outer && n == 1 && !whole), "a grid of records takes a scalar field");
    constexpr uint8_t shape = Shape == VT_AUTO ? autoShape<E>() : Shape;
    static_assert(shape != VT_AUTO, "the member's type has no stored shape: name one with IMG_AS");
    static_assert(whole || shapeFitsElement<E>(shape), "the row's stored shape disagrees with its member");
    constexpr size_t count = Outer ? Outer : n;
    constexpr size_t inner = Inner ? Inner : Outer ? n : 1;
    constexpr size_t stride = Outer ? OuterStride : sizeof(E);
    constexpr size_t innerStride = Inner ? InnerStride : Outer ? sizeof(E) : 0;
    static_assert(count <= 0xffff && inner <= 0xffff, "a family larger than the row's count field");
    static_assert(stride <= 0xffff && sizeof(E) <= 0xffff, "an element stride wider than the row's field");
    static_assert(Off <= 0xffffffffu, "an offset wider than the row's field");
    static_assert(innerStride <= 0xffff, "an element stride wider than the row's field");
    static_assert(Off + (count - 1) * stride + (inner - 1) * innerStride + sizeof(E) <= RecordSize,
                  "the row reaches beyond its record");
    CfgAt a;
    a.offset = static_cast<uint32_t>(Off);
    a.size = static_cast<uint16_t>(whole ? sizeof(M) : sizeof(E));
    a.count = static_cast<uint16_t>(count);
    a.inner = static_cast<uint16_t>(inner);
    a.stride = static_cast<uint16_t>(stride);
    a.innerStride = static_cast<uint16_t>(innerStride);
    a.shape = shape;
    a.base = Base;
    return a;
}

template <size_t Off, size_t Size, uint8_t Shape>
consteval CfgAt unitInfoAt()
{
    static_assert(Off + Size <= UNIT_INFO_BYTES, "the row reaches beyond the unit identity record");
    static_assert(Shape == VT_BYTES || Shape == VT_TEXT || scalarSize(Shape) == Size,
                  "the row's stored shape disagrees with its width");
    CfgAt a;
    a.offset = Off;
    a.size = Size;
    a.shape = Shape;
    a.base = BASE_UNIT_INFO;
    return a;
}

template <size_t Off>
consteval CfgAt wordsAt(CfgAt a)
{
    static_assert(Off % 4 == 0, "a byte field viewed as words must be 4-aligned");
    static_assert(std::endian::native == std::endian::little, "the word view takes the first byte lowest");
    return a;
}

} // namespace cfgdetail

#define CFG_MEMBER_T(m) std::remove_cvref_t<decltype(std::declval<SystemImage&>().m)>
// A member of the image: offset, width, count and shape all come from it.
#define IMG(m) cfgdetail::at<CFG_MEMBER_T(m), offsetof(SystemImage, m), VT_AUTO, 0, 0, BASE_IMAGE, sizeof(SystemImage)>()
// The same with a stored shape that differs from the member's plain type
// (IPv4 words, a low byte kept in a word, byte strings, texts).
#define IMG_AS(m, shape)                                                                           \
    cfgdetail::at<CFG_MEMBER_T(m), offsetof(SystemImage, m), shape, 0, 0, BASE_IMAGE, sizeof(SystemImage)>()
// One field of every record of an array of records; a field that is itself
// an array makes a two-level family.
#define IMG_EACH(arr, field)                                                                       \
    cfgdetail::at<CFG_MEMBER_T(arr[0].field), offsetof(SystemImage, arr[0].field), VT_AUTO,          \
                  std::extent_v<CFG_MEMBER_T(arr)>, sizeof(CFG_MEMBER_T(arr[0])), BASE_IMAGE, sizeof(SystemImage)>()
#define IMG_EACH_AS(arr, field, shape)                                                             \
    cfgdetail::at<CFG_MEMBER_T(arr[0].field), offsetof(SystemImage, arr[0].field), shape,            \
                  std::extent_v<CFG_MEMBER_T(arr)>, sizeof(CFG_MEMBER_T(arr[0])), BASE_IMAGE, sizeof(SystemImage)>()
// A two-dimensional array member: (outer, inner) is m[outer][inner].
#define IMG_GRID(m)                                                                                \
    cfgdetail::at<CFG_MEMBER_T(m[0]), offsetof(SystemImage, m), VT_AUTO, std::extent_v<CFG_MEMBER_T(m)>, \
                  sizeof(CFG_MEMBER_T(m[0])), BASE_IMAGE, sizeof(SystemImage)>()
// One scalar field of every record of a two-dimensional array of records:
// (outer, inner) is the field of arr[outer][inner].
#define IMG_GRID_EACH(arr, field)                                                                  \
    cfgdetail::at<CFG_MEMBER_T(arr[0][0].field), offsetof(SystemImage, arr[0][0].field), VT_AUTO,    \
                  std::extent_v<CFG_MEMBER_T(arr)>, sizeof(CFG_MEMBER_T(arr[0])), BASE_IMAGE,        \
                  sizeof(SystemImage), std::extent_v<CFG_MEMBER_T(arr[0])>, sizeof(CFG_MEMBER_T(arr[0][0]))>()

// A byte array field of every record viewed as 32-bit words (four codes a
// word, the first code in the least significant byte): (outer, inner) is
// word `inner` of the field of record `outer`. The field must be 4-aligned.
#define IMG_EACH_WORDS(arr, field)                                                                 \
    cfgdetail::wordsAt<offsetof(SystemImage, arr[0].field)>(                                       \
        cfgdetail::at<uint32_t[sizeof(CFG_MEMBER_T(arr[0].field)) / 4], offsetof(SystemImage, arr[0].field), \
                      VT_AUTO, std::extent_v<CFG_MEMBER_T(arr)>, sizeof(CFG_MEMBER_T(arr[0])), BASE_IMAGE, \
                      sizeof(SystemImage)>())

// Bytes of the unit identity record, whose layout is the EEPROM record's.
#define UNITINFO(offset, size, shape) cfgdetail::unitInfoAt<offset, size, shape>()

constexpr CfgValidator validU(uint32_t mask, int64_t lo, int64_t hi) { return {VALID_RANGE_U, mask, lo, hi}; }
constexpr CfgValidator validS(int64_t lo, int64_t hi) { return {VALID_RANGE_S, 0xffffffffu, lo, hi}; }
constexpr CfgValidator validS16(int64_t lo, int64_t hi) { return {VALID_RANGE_S16, 0xffffu, lo, hi}; }
// A range bounded by other items (the amplifier's limits): the function
// gets the whole value and gives 1 when it is accepted.
constexpr CfgValidator validBy(int (*fn)(uint32_t v)) { return {VALID_BY_FN, 0xffffffffu, 0, 0, fn}; }

constexpr CfgCell cell(uint8_t s, uint8_t i, uint8_t conv = CONV_VALUE, uint8_t sStep = 0, uint8_t iStep = 0,
                       uint8_t innerStep = 0)
{
    CfgCell c;
    c.section = s;
    c.item = i;
    c.conv = conv;
    c.sectionStep = sStep;
    c.itemStep = iStep;
    c.innerStep = innerStep;
    return c;
}
// `wrap` outer indexes per section, `itemStep` cells apart.
constexpr CfgCell cellWrap(uint8_t s, uint8_t i, uint8_t wrap, uint8_t itemStep, uint8_t innerStep = 0,
                           uint8_t conv = CONV_VALUE)
{
    CfgCell c = cell(s, i, conv, 1, itemStep, innerStep);
    c.rule = CELL_WRAP;
    c.wrap = wrap;
    return c;
}
constexpr CfgCell cellPieces(uint8_t s, CfgCellPiece a, CfgCellPiece b, CfgCellPiece c3 = {0xff, 0, 0},
                             uint8_t conv = CONV_VALUE)
{
    CfgCell c = cell(s, 0, conv);
    c.rule = CELL_PIECES;
    c.pieces[0] = a;
    c.pieces[1] = b;
    c.pieces[2] = c3;
    return c;
}

constexpr CfgAlarm alarmFollows(uint8_t id) { return {ALARM_FOLLOWS_VALUE, id}; }
constexpr CfgAlarm alarmWhenBit0Clear(uint8_t id) { return {ALARM_WHEN_BIT0_CLEAR, id}; }
constexpr CfgHook hook(uint8_t pos, CfgHookFn fn, uint8_t gate = GATE_ALWAYS) { return {pos, gate, fn}; }

// The getter type of each shape: a row's CType must be this one.
template <class C>
consteval bool cfgCTypeFits(uint8_t shape)
{
    switch (shape) {
    case VT_U8:
    case VT_U32_LOW8:
    case VT_BYTES: return std::is_same_v<C, uint8_t>;
    case VT_U16: return std::is_same_v<C, uint16_t>;
    case VT_S16: return std::is_same_v<C, int16_t>;
    case VT_U32:
    case VT_U8_IN_U32:
    case VT_U16_IN_U32:
    case VT_IPV4: return std::is_same_v<C, uint32_t>;
    case VT_S32: return std::is_same_v<C, int32_t>;
    case VT_F32: return std::is_same_v<C, float>;
    case VT_TEXT: return std::is_same_v<C, char>;
    default: return false;
    }
}

// What a kind of row needs of its row (checked for every row at build time).
enum CfgKindShape : uint8_t {
    KIND_ITEM,     // one element
    KIND_FAMILY,   // one index
    KIND_FAMILY2,  // outer and inner index
    KIND_BYTES,    // one byte-string element
    KIND_TEXT,     // one text element
    KIND_ANY,      // accessors written by hand
};

consteval bool cfgKindFits(uint8_t kind, bool named, const CfgKeyDesc& d)
{
    bool hasName = d.name != nullptr;
    if (named != hasName && kind != KIND_ANY)
        return false;
    switch (kind) {
    case KIND_ITEM: return d.at.count == 1 && d.at.inner == 1 && d.at.shape < VT_BYTES;
    case KIND_FAMILY: return d.at.count > 1 && d.at.inner == 1 && d.at.shape < VT_BYTES;
    case KIND_FAMILY2: return d.at.count >= 1 && d.at.inner > 1 && d.at.shape < VT_BYTES;
    case KIND_BYTES: return d.at.count == 1 && d.at.shape == VT_BYTES;
    case KIND_TEXT: return d.at.count == 1 && d.at.shape == VT_TEXT;
    default: return true;
    }
}

// A row's handle, for hand-written accessors: KEYROW(ForceDacLevel).
#define KEYROW(Id) cfgRow_##Id

// ---- The engine ---------------------------------------------------------------
//
// An index is what the accessor passed: reduced to its low byte, less the
// row's indexBase; an index outside the family is refused (setters do
// nothing, getters give 0). A two-level family takes the flat index
// outer * inner + inner-index (cfgPairIndex builds it from the two).

constexpr uint32_t CFG_NO_INDEX = 0xffffffffu;
// The flat index of (outer, inner), each reduced to its low byte;
// CFG_NO_INDEX when either lies outside the family.
uint32_t cfgPairIndex(const CfgKeyDesc* d, uint32_t outer, uint32_t inner);

// The whole generated setter: compare, store, hooks, publish, mark.
void cfgSet(const CfgKeyDesc* d, uint32_t index, uint32_t value);
// The uniform setter: the row's hand-written setter where it has one.
void cfgSetElement(const CfgKeyDesc* d, uint32_t index, uint32_t value);
// The stored value widened to 32 bits as its getter gives it (signed 16-bit
// items sign-extended, floats as their bits).
uint32_t cfgGetElement(const CfgKeyDesc* d, uint32_t index);
int cfgIsValidRow(const CfgKeyDesc* d, uint32_t value);
// Element name of element (outer, inner) of a two-level family: "" for an
// element outside it, except that a NAME_INNER family names any inner
// index by its own rule.
const char* cfgPairName(const CfgKeyDesc* d, uint32_t outer, uint32_t inner);
// Element name of element `index` (nullptr for status items). Literal names
// are the program's constants; numbered and formatted names are built into a
// small per-thread ring of buffers, valid until a few more names were built.
const char* cfgElementName(const CfgKeyDesc* d, uint32_t index);

// Pieces for hand-written setters.
// Stores the value when it differs at the item's width (or always, for
// CMP_ALWAYS rows), running the before- and after-store columns; returns 1
// when it stored, 0 when unchanged, -1 for a refused index.
int cfgStore(const CfgKeyDesc* d, uint32_t index, uint32_t value);
void cfgPublish(const CfgKeyDesc* d, uint32_t index);
void cfgMark(const CfgKeyDesc* d);

// Applies a row's default through its uniform setter, to every element
// (nothing for rows without one).
void cfgApplyDefault(const CfgKeyDesc* d);
// The default a row would apply now (its own, or the one its selector picks).
int64_t cfgDefaultValue(const CfgKeyDesc* d);

// Byte strings (VT_BYTES): the setter stores `n` bytes at byte `at` of the
// element when they differ (always for CMP_ALWAYS), then publishes and marks
// as cfgSet does; the getter copies the whole element.
void cfgSetBytes(const CfgKeyDesc* d, uint32_t index, const void* bytes, size_t n, size_t at = 0);
void cfgGetBytes(const CfgKeyDesc* d, uint32_t index, void* out);
// Texts (VT_TEXT): the address of the field.
char* cfgText(const CfgKeyDesc* d, uint32_t index);

// Texts kept in a family of 32-bit words, four characters a word, the first
// in the most significant byte (names, PIN and PUK, labels): the words of
// outer index `outer` to and from `n` characters (a shorter text is padded
// with zero bytes). Setting goes through the uniform setter word by word.
void cfgSetPackedText(const CfgKeyDesc* d, uint32_t outer, const char* text, size_t n);
void cfgGetPackedText(const CfgKeyDesc* d, uint32_t outer, char* out, size_t n);

// Values to and from the getter's type.
template <class C>
inline C cfgCast(uint32_t raw)
{
    if constexpr (std::is_same_v<C, float>)
        return std::bit_cast<float>(raw);
    else
        return static_cast<C>(raw);
}
inline uint32_t cfgRaw(float v) { return std::bit_cast<uint32_t>(v); }
inline uint32_t cfgRaw(uint32_t v) { return v; }
