// Write handlers of the communication tables that hold keys: the element
// pattern (narrow, check with the key's validator, store with its setter)
// and the elements with behaviour of their own.
#pragma once

#include <cstdint>

// One element write of a handler table: a result code (0 done, 1 no such
// element, 11 out of range, 13 refused, 15 not writable).
uint32_t writeTableElement(int table, uint32_t element, uint32_t value);
// True when `table` is served by writeTableElement.
bool isHandlerTable(int table);
// The RDS sequence of data set table - 21, written as a block to element 56
// or 60: 1 for another element, 11 without data, else 0.
uint32_t writeRdsSequenceBlock(int table, uint32_t element, const uint8_t* data, uint32_t length);
// The FM receiver alarm configuration (table 47, block writes only).
uint32_t writeFmRxAlarmBlock(uint32_t element, uint32_t word, uint32_t mask);
