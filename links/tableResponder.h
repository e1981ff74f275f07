// The table responder shared by the unit links: a link's tables, its status
// bits and its writable elements are data (rows below); the engine builds a
// table into a 256-byte buffer, reads and writes elements, and serves the
// DCM requests (list read and write, block read and write) of the change-over
// and slave links.
#pragma once

#include "links/dcmMsg.h"

#include <cstdint>

struct CfgKeyDesc;

constexpr int kTableBufBytes = 256;

// How the words of a table are laid in its buffer.
enum TableOrder : uint8_t {
    TO_MSB_FIRST, // the DCM links: most significant byte first
    TO_HOST,      // as the processor holds them (the UDP link, change-over table 12)
};

using ElemGetter = uint32_t (*)();
// A table with a builder of its own: fills the buffer, returns the count.
using TableBuilder = int (*)(uint8_t* buf);

// One bit of a status byte.
enum StatusKind : uint8_t {
    SB_EVENT,     // event bit a
    SB_NOT_EVENT, // 1 when event bit a is clear
    SB_OR_EVENT,  // event bit a or event bit b
    SB_ONE,       // always 1
    SB_FN,        // a named function
};

struct StatusBit {
    uint8_t byte; // 1-based
    uint8_t bit;
    uint8_t kind;
    uint16_t a;
    uint16_t b;
    uint8_t (*fn)();
};

// Status bytes from their rows; bits no row names are 0.
void TR_BuildStatus(const StatusBit* rows, int n, uint8_t* out, int bytes);

// One table: `count` elements of `width` bytes (4, 2 or 1), each from its
// getter (nullptr: 0), a builder of its own, or status bytes from their
// rows followed by zeros up to the count.
struct TableSpec {
    uint8_t table;
    uint8_t count;
    uint8_t width;
    uint8_t order;
    const ElemGetter* elems; // `count` getters, or nullptr for an all-zero table
    TableBuilder build;      // used in place of elems when set
    uint8_t listWidth;       // width of an element in a list read; 0: not readable by element
    const StatusBit* status; // used in place of elems when set: `nStatus` rows
    uint8_t nStatus;
    uint8_t statusBytes;     // status bytes the rows fill
};

// What a write of an element does.
enum LinkWriteKind : uint8_t {
    LW_KEY,         // the validator (when given), then the setter; refused: `code`
    LW_COMTAB,      // COMTAB_WriteElement(t, e, value); its result unless `code` is 0xFF (then 0)
    LW_CMD,         // command-manager slot `t` with parameter 1 when the value is 1; else 0
    LW_CODE,        // nothing changes; `code`
    LW_HAND,        // a hand-written function
    LW_ROW,         // the key row's validator and setter; refused: `code`; e = 1 takes the low 16 bits signed
};

constexpr uint8_t kLwDropResult = 0xFF;

using LinkWriteHand = uint32_t (*)(uint8_t table, uint8_t element, uint32_t value);

struct LinkWriteRow {
    uint8_t table;
    uint8_t first;
    uint8_t last;
    uint8_t kind;
    uint8_t code;
    uint8_t t; // LW_COMTAB: table; LW_CMD: slot
    uint8_t e; // LW_COMTAB: element
    int (*valid)(uint32_t value);
    void (*set)(uint32_t value);
    LinkWriteHand hand;
    const CfgKeyDesc* const* key; // LW_ROW
};

// A link's table set.
struct TableSet {
    const TableSpec* tables;
    int nTables;
    const LinkWriteRow* writes;
    int nWrites;
    const uint8_t* writable; // tables whose unlisted elements answer 0; others answer 1
    int nWritable;
    // Called after a write that succeeded (0), e.g. for the change code of a
    // reserve unit; may be nullptr.
    void (*afterWrite)(uint8_t table, uint8_t element);
};

// 0 built (count in *count), 9 no such table, 14 the builder's count is not
// the table's.
int TR_BuildTable(const TableSet* set, uint8_t table, int* count, uint8_t* buf);
// Element `element` (1 to the count) at the table's list width: 0, or 1.
int TR_ReadElement(const TableSet* set, uint8_t table, uint8_t element, uint32_t* value);
// The write rows' result.
uint32_t TR_WriteElement(const TableSet* set, uint8_t table, uint8_t element, uint32_t value);

// Byte-order helpers between host order and the DCM links' most significant
// byte first.
uint32_t TR_Swap32(uint32_t v);
uint16_t TR_Swap16(uint16_t v);
void TR_PutWord(uint8_t* buf, int at, uint32_t v, uint8_t width, uint8_t order);

// Serves a decoded DCM request (commands 2 to 5) into `reply`, addressed back
// to the request's address in address mode `addrMode`. 0 a reply is ready,
// 9 the command is ignored (0, 0x7F), 17 an unknown command.
int TR_Serve(const TableSet* set, const DcmMsg* req, DcmMsg* reply, uint32_t addrMode);
