// The rows of the communication-table write handlers: one row per element
// or run of elements of a table, generated into comtab/gen/writeRows.inc.
#pragma once

#include <cstdint>

struct CfgKeyDesc;

enum WriteKind : uint8_t {
    WK_KEY,   // the key's validator, then its setter; a refused value gives `fail`
    WK_CODE,  // a fixed result; nothing changes
    WK_HAND,  // a hand-written function
    WK_TABLE, // the result of an element of the table that no row lists
    WK_FN,    // a key reached through its named validator and setter
};

// How the value is narrowed before the check and the store.
enum WriteWidth : uint8_t {
    W_WORD,
    W_U8,  // the low 8 bits
    W_S16, // the low 16 bits, sign-extended
    W_U16, // the low 16 bits
    W_NET32, // an IPv4 word in network byte order, stored as it arrives
};

// Which element of the key an element writes.
enum WriteIndex : uint8_t {
    I_NONE,        // a plain key
    I_RUN,         // (element - first) / step + base
    I_DATASET,     // the data set: table - 21
    I_DATASET_RUN, // (data set, element - first)
    I_GSM_USER,    // the user of tables 53 and 54 (first and last are positions 1 to 12)
    I_GSM_USER_RUN, // (user, position - first)
};

enum WriteFlags : uint8_t {
    F_NO_CHECK = 1, // stored without a check, always 0
    F_DAC = 2,      // arms the hardware-apply word of the RF DAC first
    F_MARK_COMMON = 4, // the common audio-processor settings become modified first
    F_MARK_CMP = 8,    // the common and compressor settings become modified first
    F_MARK_EQ = 16,    // the common and equaliser settings become modified first
};

using WriteHandFn = uint32_t (*)(int table, uint32_t element, uint32_t value);
using WriteValidFn = int (*)(uint32_t value);
using WriteSetFn = void (*)(uint32_t value);

struct WriteRow {
    uint8_t table;
    uint8_t kind;
    uint16_t first;
    uint16_t last;
    uint8_t step;
    uint8_t base;
    const CfgKeyDesc* const* key; // WK_KEY
    uint8_t width;
    uint8_t index;
    uint8_t fail;  // WK_KEY: the code of a refused value; WK_CODE, WK_TABLE: the result
    uint8_t flags;
    WriteHandFn hand; // WK_HAND
    WriteValidFn valid; // WK_FN: nullptr stores without a check
    WriteSetFn set;     // WK_FN
};

// Every row (tables 22 to 27 share the rows of 21, table 54 those of 53).
const WriteRow* writeRowsBegin();
const WriteRow* writeRowsEnd();
// The row that serves (table, element), or nullptr when none does.
const WriteRow* findWriteRow(int table, uint32_t element);
