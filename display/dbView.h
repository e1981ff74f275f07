// lumiro's view of the daemon's state: the DbPool cell grid mapped by name,
// the five table images refreshed from it one per loop turn, and the FPGA
// window mapped at start.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumiro {

// Words of each table image (1 to 5).
constexpr int kImageWords[6] = {0, 16, 66, 62, 34, 32};

// Maps DbPool (creating it at its size when the daemon has not yet).
void initDbAreaContainer();
// The program's start calls it through this wrapper.
void initDbPool();
// Unmaps DbPool (tests).
void closeDbPool();

// Cell (key >> 8, key & 0xFF) into *out: 0, or 1 (out unchanged) for a
// table or element outside the readable limits.
int readDbCell(uint16_t key, uint32_t* out);
// Table-4 words 0 to n - 1, each with its bytes reversed.
void copyEventTable(uint32_t* dst, size_t n);
// Refreshes image `table` (1 to 5) from DbPool when local is 1: 0; 9 for
// another local; 0 after a line for an image that does not exist.
int refreshTableCopy(uint8_t peer, uint8_t table, uint32_t length, uint32_t* dst, int local);
// Word `word` of image `image` (0 outside).
uint32_t imageWord(int image, int word);
// Sets a word of an image (a request's state shown before its refresh).
void setImageWord(int image, int word, uint32_t value);
// The system type: the low byte of image-3 word 5.
uint8_t getSystemType();

// Maps the FPGA window: 0, -1 when /dev/mem cannot be opened, or the
// failed mapping's value.
long initAxi();
void closeAxi();
// Reads count values from block base + offset (see the .cpp); -1 for a
// block above 12 or an unmapped window.
int readFpgaBlock(void* dst, int count, int width, int block, uint32_t offset);

} // namespace lumiro
