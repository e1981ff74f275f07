// I2C EEPROM models: the M24LC512 (64 KiB, 128-byte pages) and the M34D64
// (8 KiB, 32-byte pages), both with a 16-bit address sent high byte first.
//
// As the parts do: a write message sets the address pointer with its first
// two bytes; data bytes after them are latched into the page buffer, the
// pointer wrapping inside the page, and go into the array at the STOP (a
// repeated START drops them). The write cycle then runs for twr=<us> (5000
// by default), during which the device NACKs its address. Reads are
// sequential from the pointer, rolling over at the end of the array. The
// content starts erased (0xFF) and always persists in the sandbox.
//
// Fault knobs beyond the common ones (simctl fault <device> ...):
//   corrupt <address> [mask]  inverts bits of one stored byte (mask 0xFF)
//   failwrite <address> <n>   the next n write cycles of the page holding
//                             <address> store their first byte inverted, so
//                             a read-back check of that page fails n times
#pragma once

#include "sim/simModels.h"

#include <cstdint>

// Factories of the model table.
SimModel* simEepromCreate(SimDevice* dev, uint32_t size, uint32_t page);

// Whether the device is an EEPROM model; its page size (0 when it is not).
uint32_t simEepromPageSize(const SimDevice* dev);

// The knobs above. Both take the bus lock (call them outside a transfer) and
// return 0, or -1 when the device is no EEPROM or the address is outside it.
int simEepromCorruptByte(SimDevice* dev, uint32_t address, uint8_t mask);
int simEepromFailWrites(SimDevice* dev, uint32_t address, int32_t times);
