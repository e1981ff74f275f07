// Communication tables: the single entry of element and block writes of
// every client, routed to the write handler of each table.
#pragma once

#include <cstdint>

// Result codes.
constexpr uint32_t COMTAB_OK = 0;
constexpr uint32_t COMTAB_NO_ELEMENT = 1;
constexpr uint32_t COMTAB_BUSY = 9;
constexpr uint32_t COMTAB_OUT_OF_RANGE = 11;
constexpr uint32_t COMTAB_REFUSED = 13;
constexpr uint32_t COMTAB_NOT_WRITABLE = 15;
constexpr uint32_t COMTAB_READ_REFUSED = 22;

// Writes one element; after a successful write of a unit in N+1 operation
// the reserve configuration no longer matches (unless the element is one
// that does not change the configuration).
uint32_t COMTAB_WriteElement(int32_t table, uint32_t element, uint32_t value);
// Writes a block: the RDS sequence of tables 21 to 27 (at most 16 bytes) and
// the FM receiver alarm words of table 47 (8 bytes).
uint32_t COMTAB_WriteBlock(int32_t table, uint32_t element, const uint8_t* data, uint32_t length);
// Reads are served from DbPool, never here: both give 22.
uint32_t COMTAB_RefuseRead(int32_t table, uint32_t element, uint32_t* destination);
uint32_t COMTAB_RefuseReadTable(int32_t table, uint8_t* destination, uint32_t length);
// Sets alarm input 44 while a reserve configuration directory of an N+1
// reserve is missing.
void checkConkDirs();
