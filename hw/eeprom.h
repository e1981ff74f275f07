// The unit identity record `UnitInfo` on the board EEPROM (M24LC512 at bus
// 1, 0x51, bytes 0..127) and the other operations on that device.
//
// Record layout (byte offsets of the EEPROM):
//   0        active firmware bank (1 or 2)
//   2..5     a copy of the fourth firmware version word, least significant
//            byte first (written by EepromHeaderUpdate)
//   7, 77    set to 1 by EepromHeaderUpdate
//   8..13    MAC address of the front port
//   14..25   serial number, 12 characters without terminator
//   71..76   MAC address of the rear port
//   98..103  MAC address of the first gigabit port
//   104..109 MAC address of the second gigabit port
//   110      unit flag byte
//   123      flag bits; EepromHeaderUpdate clears bit 0
//   124..127 CRC-32 of bytes 0..123, most significant byte first
// Every other byte is carried through unchanged: a save writes all 128
// bytes of the in-memory record (getUnitInfo, Config/StrutturaDati.h).
#pragma once

#include <cstdint>

constexpr uint32_t UNIT_INFO_CRC_OFFSET = 124;
constexpr uint32_t UNIT_INFO_SERIAL_OFFSET = 14;
constexpr uint32_t UNIT_INFO_SERIAL_BYTES = 12;
constexpr uint32_t UNIT_INFO_MAC_FRONT_OFFSET = 8;
constexpr uint32_t UNIT_INFO_MAC_REAR_OFFSET = 71;
constexpr uint32_t UNIT_INFO_MAC_GBE_A_OFFSET = 98;
constexpr uint32_t UNIT_INFO_MAC_GBE_B_OFFSET = 104;
constexpr uint32_t UNIT_INFO_FLAG_OFFSET = 110;

// The CRC-32 of record bytes 0..123.
uint32_t unitInfoCrc(const uint8_t* record);

// Reads the 128-byte record into buf. 0 valid; -1 bus error (the header is
// then marked faulty for the rest of the run: no save writes it); -2 the CRC
// does not match (buf holds what was read).
int EepromHeaderRead(uint8_t* buf);
// Saves a record (null: the in-memory UnitInfo) when it differs from the
// EEPROM or `force` is set, and its stored CRC does not already match its
// bytes; the new CRC is stored in buf. 0 saved or nothing to do; -1 the
// header is faulty, could not be read, or a page stayed wrong.
int EepromHeaderSave(uint8_t* buf, int force);
// Refreshes bytes 2..5, 7, 77 and bit 0 of 123 of UnitInfo and saves it
// (forced). Returns the save's result.
int EepromHeaderUpdate();

// Reads n bytes at an address of the board EEPROM (the driver's result).
int EepromRead(uint32_t n, uint32_t address, uint8_t* buf);
// 1 when the n bytes at an address differ from buf, 0 when equal, -1 when
// they could not be read.
int EepromCompare(uint32_t n, uint32_t address, const uint8_t* buf);
// Writes the byte at p to address 0.
int EepromWriteFirstByte(const uint8_t* p);
// Writes n bytes at an address (whole: in one write; else only the bytes
// that differ, one write each), then their XOR at address + n. 0 or -1.
int EepromWriteWithXor(int whole, uint32_t n, uint32_t address, const uint8_t* data);
