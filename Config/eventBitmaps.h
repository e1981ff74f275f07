// Event bitmaps of the system image, with 1-based bit numbers: bit n is byte
// (n - 1) / 8, mask 1 << ((n - 1) % 8). Bit 0 and bits beyond a bitmap select
// nothing: setting them changes nothing, reading them gives 0.
#pragma once

#include <cstdint>

// EventBitmap, 16 bytes (bits 1..128); a changed byte k is mirrored into byte
// k of the DbPool area that begins at cell (4, 1).
void setEventBit(uint8_t on, uint16_t n);
// Bit `bit` of byte `byte + 4 * group` (bits 8 and above select nothing).
void setEventBitAt(uint8_t on, uint8_t bit, uint8_t byte, uint8_t group);
uint8_t getEventBit(uint16_t n);
// Byte k (0..15); 0 beyond the bitmap.
uint8_t getEventBitmapByte(uint32_t k);
// Copies the 16 bytes into buffer; a null buffer logs an error.
void exportEventBitmap(uint8_t* buffer);
void dbUpdateEventBitmapByte(uint32_t k);

// DelayedEventBitmap, 32 bytes, not published.
void setStatusBitA(uint8_t on, uint16_t n);
uint8_t getStatusBitA(uint16_t n);
// AmpEventBitmap, 4 bytes; a changed byte k is mirrored into the area that
// begins at cell (40, 44).
void setStatusBitB(uint8_t on, uint16_t n);
uint8_t getStatusBitB(uint16_t n);
uint8_t getStatusBitmapBByte(uint32_t k);
void dbUpdateAmpEventBitmapByte(uint32_t k);
// SmsEventBitmap, 32 bytes, not published.
void setStatusBitC(uint8_t on, uint16_t n);
uint8_t getStatusBitC(uint16_t n);
