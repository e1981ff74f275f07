// Drivers of the I2C EEPROMs of bus 1: the M24LC512 (64 KiB, 128-byte
// pages; the board EEPROM at 0x51, the RF EEPROM at 0x52) and the M34D64
// (32-byte pages; the power-supply module's EEPROM at 0x50).
//
// Addresses are 16-bit byte addresses sent high byte first. The byte
// operations frame every transfer as the bus layer's convention says (bus-1
// semaphore for the slave, I2C_Connect, transfer, I2C_Disconnect, release).
// The wait for a change of direction belongs to the transfer and is spent
// under the bus lock; the write cycle after a page and the pauses between
// pieces are spent outside it.
#pragma once

#include <cstdint>

constexpr uint8_t EEPROM_BOARD_ADDRESS = 0x51;
constexpr uint32_t M24LC512_PAGE_SIZE = 128;
constexpr uint32_t M34D64_PAGE_SIZE = 32;

// One raw transfer on an open bus descriptor whose slave is selected:
// direction 1 reads n bytes at `address` into buf (address write, then a
// read), 0 writes n bytes of buf there. A change of direction against the
// previous call of the same device type first waits (M24LC512 10 ms, M34D64
// 5 ns). Returns n, or 0 on failure (logged, and counted in the bus error
// counters as every transfer is).
int M24LC512_SendRecv(int fd, int direction, uint8_t* buf, uint16_t address, int n);
int M34D64_SendRecv(int fd, int direction, uint8_t* buf, uint16_t address, int n);

// Reads n bytes at `address` in pieces of at most 4096. 0 when all were
// read; -1 when a piece failed, the bus could not be opened ("Cannot open
// eeprom device") or the range leaves the 16-bit address space.
int M24LC512_ReadBytes(uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave);
int M34D64_ReadBytes(uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave);

// Writes n bytes at `address` page by page (never across a page boundary),
// waiting 10 ms for the write cycle after each page. The M24LC512 reads
// every page back and rewrites it up to three times while it differs. 0 when
// every byte is written (and verified); -1 when a page write failed, a page
// still read back wrong after its retries, the bus could not be opened, or
// the range leaves the 16-bit address space.
int M24LC512_WriteBytes(const uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave);
int M34D64_WriteBytes(const uint8_t* buf, uint32_t address, uint32_t n, uint8_t slave);
