// Raw access to flash partitions through the Linux MTD character devices
// (/dev/mtdN), one descriptor at a time. Erase blocks are 128 KiB.
#pragma once

#include <cstdint>

constexpr uint32_t MTD_ERASE_BLOCK = 0x20000;

// Opens the device read-write (a descriptor still open is closed first).
// 0, or -1 with "Open of MTD failed!".
int MtdOpen(const char* path);
// Closes the open descriptor. 0, -1 when the close failed.
int MtdClose();
// Erases `length` bytes from `start` on the open device (MEMERASE). 0 or -1.
int MtdErase(uint32_t start, uint32_t length);
// Open, erase, close. 0 or -1.
int MtdEraseRange(const char* path, uint32_t start, uint32_t length);
// Writes n bytes at `offset`. With `erase`, the erase blocks holding the
// range are read, erased and written back with the new bytes merged in, so
// the rest of those blocks is kept. 0 or -1.
int MtdWrite(const char* path, const uint8_t* buf, uint32_t offset, uint32_t n, int erase);
// Reads n bytes at `offset` in pieces of at most one erase block. 0 or -1.
int MtdRead(const char* path, uint8_t* buf, uint32_t offset, uint32_t n);
