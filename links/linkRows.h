// Forms of the table-responder rows of the unit links, as
// tools/genLinkTables.py writes them into links/gen/*.inc: element getters,
// tables, status bits and write rows. A link module defines the getters,
// builders and hand-written functions its rows name, then includes its rows;
// what the links' rows share is here too.
#pragma once

#include "Config/StrutturaDati.h"
#include "Config/keyTable.h"
#include "Config/keys/rdsKeys.h"
#include "links/tableResponder.h"

#include <atomic>

// Element getters.
#define LINK_GET(expr) []() -> uint32_t { return static_cast<uint32_t>(expr); }
#define LINK_KEY(Id) LINK_GET(cfgGetElement(KEYROW(Id), 0))
#define LINK_ZERO nullptr

// Tables: (table, count, width, order, list width, source).
#define TABLE_ELEMS(t, count, width, order, listWidth, elems)                                                         \
    {t, count, width, order, elems, nullptr, listWidth, nullptr, 0, 0}
#define TABLE_ZERO(t, count, width, order, listWidth)                                                                 \
    {t, count, width, order, nullptr, nullptr, listWidth, nullptr, 0, 0}
#define TABLE_BUILT(t, count, width, order, listWidth, fn)                                                            \
    {t, count, width, order, nullptr, fn, listWidth, nullptr, 0, 0}
#define TABLE_STATUS(t, count, order, listWidth, rows, bytes)                                                         \
    {t, count, 1, order, nullptr, nullptr, listWidth, rows, static_cast<uint8_t>(sizeof rows / sizeof rows[0]),       \
     bytes}

// Status bits: (byte counted from 1, bit, ...).
#define STATUS_EVENT(byte, bit, n) {byte, bit, SB_EVENT, n, 0, nullptr}
#define STATUS_NOT(byte, bit, n) {byte, bit, SB_NOT_EVENT, n, 0, nullptr}
#define STATUS_OR(byte, bit, a, b) {byte, bit, SB_OR_EVENT, a, b, nullptr}
#define STATUS_FN(byte, bit, fn) {byte, bit, SB_FN, 0, 0, fn}

// Write rows; a refused value answers 13.
// The key row's own validator and setter (S16: the low 16 bits taken signed).
#define WR_ROW(t, e, Id) {t, e, e, LW_ROW, 13, 0, 0, nullptr, nullptr, nullptr, &KEYROW(Id)}
#define WR_ROW_S16(t, e, Id) {t, e, e, LW_ROW, 13, 0, 1, nullptr, nullptr, nullptr, &KEYROW(Id)}
// A validator and a setter by name; APPLY: the setter's apply flag set, so
// a link write applies at once.
#define WR_FN(t, e, valid, set)                                                                                       \
    {t, e, e, LW_KEY, 13, 0, 0, [](uint32_t v) -> int { return valid(v); }, [](uint32_t v) { set(v); },               \
     nullptr, nullptr}
#define WR_FN_APPLY(t, e, valid, set)                                                                                 \
    {t, e, e, LW_KEY, 13, 0, 0, [](uint32_t v) -> int { return valid(v); }, [](uint32_t v) { set(v, 1); },            \
     nullptr, nullptr}
// A setter without validation.
#define WR_SET(t, e, set) {t, e, e, LW_KEY, 13, 0, 0, nullptr, [](uint32_t v) { set(v); }, nullptr, nullptr}
#define WR_SET_APPLY(t, e, set) {t, e, e, LW_KEY, 13, 0, 0, nullptr, [](uint32_t v) { set(v, 1); }, nullptr, nullptr}
// The key row's setter for values lo to hi, a range the link gives.
#define WR_RANGED(t, e, Id, lo, hi)                                                                                   \
    {t, e, e, LW_HAND, 0, 0, 0, nullptr, nullptr, linkRanged<&KEYROW(Id), lo, hi>, nullptr}
// COMTAB_WriteElement(tt, te, value): its result, or (DROP) 0.
#define WR_COMTAB(t, e, tt, te) {t, e, e, LW_COMTAB, 0, tt, te, nullptr, nullptr, nullptr, nullptr}
#define WR_COMTAB_DROP(t, e, tt, te) {t, e, e, LW_COMTAB, kLwDropResult, tt, te, nullptr, nullptr, nullptr, nullptr}
// Command-manager slot `slot` with parameter 1 on a value of 1.
#define WR_CMD(t, e, slot) {t, e, e, LW_CMD, 0, slot, 0, nullptr, nullptr, nullptr, nullptr}
// Nothing changes; the fixed result.
#define WR_CODE(t, first, last, code) {t, first, last, LW_CODE, code, 0, 0, nullptr, nullptr, nullptr, nullptr}
// A hand-written function of the link module.
#define WR_HAND(t, first, last, fn) {t, first, last, LW_HAND, 0, 0, 0, nullptr, nullptr, fn, nullptr}

// The setter of row `*Row` for values Lo to Hi (signed); 13 outside.
template <const CfgKeyDesc* const* Row, int32_t Lo, int32_t Hi>
uint32_t linkRanged(uint8_t, uint8_t, uint32_t value)
{
    int32_t v = static_cast<int32_t>(value);
    if (v < Lo || v > Hi)
        return 13;
    cfgSetElement(*Row, 0, value);
    return 0;
}

// The TableSet of a link's generated rows `k<Prefix>Tables`, `...Writes` and
// `...Writable`, with the function run after a successful write (or nullptr).
#define LINK_TABLE_SET(Prefix, afterWrite)                                                                            \
    {k##Prefix##Tables,   static_cast<int>(sizeof k##Prefix##Tables / sizeof k##Prefix##Tables[0]),                    \
     k##Prefix##Writes,   static_cast<int>(sizeof k##Prefix##Writes / sizeof k##Prefix##Writes[0]),                    \
     k##Prefix##Writable, static_cast<int>(sizeof k##Prefix##Writable), afterWrite}

// The unit record the rows' getters read.
inline const UnitRegion& linkUnit()
{
    return getSystemImage()->unit;
}

// The RDS flag an external logic writes, kept in the link's `flag`: data set
// 5 is made current while it is set, data set 1 otherwise.
inline uint32_t linkWriteRdsFlag(std::atomic<uint8_t>& flag, uint32_t value)
{
    flag = value != 0;
    setCurrentRDSDSN(value != 0 ? 5 : 1);
    return 0;
}

// The TA an external logic writes, kept in the link's `ta` when valid.
inline uint32_t linkWriteTa(std::atomic<uint8_t>& ta, uint32_t value)
{
    if (isValidTA(value))
        ta = static_cast<uint8_t>(value);
    return 0;
}
