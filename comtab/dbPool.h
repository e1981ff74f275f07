// DbPool: the shared cell grid through which the daemon publishes its state.
//
// 64 sections of 64 unsigned 32-bit cells in one POSIX shared-memory object
// of 16,384 bytes. Cell (section, item), both counted from 1, is word
// (section - 1) * 64 + (item - 1). The daemon is its only writer; the display
// program and the tools map the same object and read it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int DB_SECTIONS = 64;
constexpr int DB_ITEMS = 64;
constexpr size_t DB_POOL_BYTES = DB_SECTIONS * DB_ITEMS * sizeof(uint32_t);
// Marker of a cell that holds no value yet.
constexpr uint32_t DB_NO_VALUE = 0x7fffffff;

// Creates the object anew (an old one is removed first), sizes and maps it.
// Failures print one line each on standard output; start-up goes on, and the
// publishers then store nothing. Returns 0 when the grid is mapped.
int initDbAreaContainer();

// Address of cell (section, item); nullptr while the grid is not mapped or
// when either number is outside 1..64 (the latter logs one ERR line).
uint32_t* getDbAreaCell(uint32_t section, uint32_t item);
// One aligned 32-bit store into the cell; nothing when it has no address.
void setDbAreaCell(uint32_t section, uint32_t item, uint32_t value);
// Reads a cell (0 when it has no address).
uint32_t readDbAreaCell(uint32_t section, uint32_t item);
// Stores byte k of an area that begins at cell (section, item): the area's
// bytes lie in the grid's memory order, four to a cell.
void setDbAreaByte(uint32_t section, uint32_t item, uint32_t k, uint8_t value);

// Section 42 items 9..40 := DB_NO_VALUE.
void resetDbAreaRange();

