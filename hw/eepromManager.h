// EEPROM manager: the small persistent state of the transmitter logic, kept
// as items of one to four bytes at fixed offsets of a 4096-byte data bank.
//
// The store (65536 bytes, the size of the emulated EEPROM) holds a 128-byte
// header and two copies of the data bank:
//   0     header: bytes 0..123 a copy of the unit identity record taken at
//         start-up, except byte 79
//   79    bank byte: 0 bank 0 is active, 1 bank 1 is active
//   124   CRC-32 of header bytes 0..123, least significant byte first
//   128   data bank 0
//   4224  data bank 1
//   8320  zero to the end
// A bank: byte 0 the XOR of bank bytes 3..20 (its check byte), items at
// offsets 1..17 (1 LOCAL/REMOTE mode, 2 web control, 3 TX on, 4 lockout
// state, 5 slave flag, 6 lockout retry count, 7 lockout start time (4
// bytes), 11 local start time (4), 16 reserve configuration state, 17 its
// mismatch), stored as the caller's bytes.
//
// A write goes to the inactive bank, is verified, and that bank becomes the
// active one by the bank byte; 3 s later EEM_Task copies the item into the
// other bank too. This build keeps the store in /mnt/ubi0/conf/EE_File.img.
//
// EEM_Init, EEM_ReadData, EEM_WriteData, EEM_Task and EEM_RemoveEEP may be
// called from different threads; they are serialised.
#pragma once

#include <cstdint>

// Store modes.
constexpr int EEM_MODE_EMUL = 1; // the emulation file
constexpr int EEM_MODE_I2C = 2;  // the board EEPROM

constexpr uint32_t EEM_STORE_SIZE = 65536;
constexpr uint32_t EEM_HEADER_SIZE = 128;
constexpr uint32_t EEM_BANK_BYTE = 79;
constexpr uint32_t EEM_BANK_SIZE = 4096;
constexpr uint32_t EEM_BANK0 = 128;
constexpr uint32_t EEM_BANK1 = 4224;

// Outcomes kept in the manager's status.
enum EemStatus : uint8_t {
    EEM_STATUS_OK = 1,
    EEM_STATUS_HEADER = 2,      // header CRC error or header not loaded
    EEM_STATUS_BANKS = 3,       // both banks failed their check
    EEM_STATUS_ITEM = 5,        // a written item did not read back
    EEM_STATUS_CHECK_BYTE = 9,  // the check byte did not read back
    EEM_STATUS_NO_FILE = 10,    // the emulation file could not be created
};

// Start-up (a and b have no effect). 0, or 9 on a header or bank failure.
int EEM_Init(int a, int b, int mode);
// Reads n bytes at an offset of the active bank. 0, else 6 (file mode or
// an item outside the bank) or the EEPROM driver's result.
int EEM_ReadData(uint8_t* buf, uint32_t offset, uint32_t n);
// Writes an item. 0; 5 it did not read back (or lies outside the bank); 9
// the check byte did not read back. The active bank is unchanged on failure.
int EEM_WriteData(const uint8_t* buf, uint32_t offset, uint32_t n);
// Every logic step: commits the pending copy once its 3 s have passed.
void EEM_Task();
// Removes the emulation file; 1 on success, -1 on failure.
int EEM_RemoveEEP();

// Steps of the above, each on the store of `mode` (0: the manager's mode).
int eem_Read(uint8_t* buf, uint16_t offset, uint16_t n, int mode);  // 0 or 6 (I2C: the driver's result)
int eem_Write(const uint8_t* buf, uint16_t offset, uint16_t n, int mode); // 0 or 5 (I2C: the driver's result)
// Creates the emulation file of zeros. 0, or 9.
int EEM_CreateFile();
// Checks the store's header CRC. 0, or 8 (status 2).
int EEM_CheckHeaderCrc();
// Checks a bank's check byte. 0, or 9 (status 3).
int EEM_CheckBankXor(int bank);
// Writes header bytes and renews the header CRC, loading the header first
// when it was not taken over in this run. 0; 2 the header could not be
// loaded; 5 the bytes or the CRC did not read back.
int EEM_WriteHeader(const uint8_t* buf, uint32_t offset, uint32_t n, int mode);
// Takes the header over from store `src` into store `dst` (called with 2,
// 1) and renews the bank byte. 0, or 9.
int EEM_LoadHeader(int src, int dst);
// Writes the pending item into the inactive bank and forgets it. 0, or the
// write's code (5, 9).
int EEM_CommitPending();

// Raw operations on absolute store offsets. The first loads the header
// first when needed; the others do not.
int EEM_ReadAbsolute(uint8_t* buf, uint32_t offset, uint32_t n);
int EEM_ReadRaw(uint8_t* buf, uint32_t offset, uint32_t n);
int EEM_WriteRaw(const uint8_t* buf, uint32_t offset, uint32_t n);
// Writes the 4096-byte work buffer at an offset and reads it back: 0 equal,
// 5 different (status 5), 7 when the status was not 1.
int EEM_VerifyBuffer(uint32_t offset);
