// FPGA register windows: the one mapping of the FPGA bridges and the word
// copies that address a register by region number and byte offset.
#pragma once

#include <cstdint>

// Region numbers (FpgaRegion): 0 to 25, region 5 does not exist.
constexpr uint8_t kFpgaRegionCount = 26;

// One byte of a sysfs attribute: 0 to 255, -1 when the file cannot be
// opened, -2 when nothing could be read.
int sysfsReadByte(const char* path);
// 0, -1 when the file cannot be opened, -2 when the byte was not written.
int sysfsWriteByte(const char* path, uint8_t byte);

// Enables the bridge of the bridge mode and maps the window; 0 or negative.
int initAxi();
// Undoes the mapping and disables the three bridges: 0, -1 nothing mapped,
// -2 /dev/mem cannot be opened, -3 the unmap failed.
int closeAxi();

// Copies count 32-bit words to a region from a byte offset (width code 2;
// any other width writes nothing and returns 0). -2 for an unknown or
// unmapped region or a misaligned offset; -1 when words beyond 0x40000 bytes
// of the start or beyond the mapping were left out; else 0.
int fpgaWriteWords(const uint32_t* words, uint32_t count, uint8_t width, uint8_t region, uint32_t offset);
// Reads count values: width 2 the 32-bit words at byte i * 4, width 1 the
// upper halves (uint16_t) of the words at byte i * 2, width 0 the top bytes
// (uint8_t) of the words at byte i. -1 for an unknown or unmapped region or
// when values beyond the mapping were left out, -3 for another width, else 0.
int fpgaReadWords(void* dest, uint32_t count, uint8_t width, uint8_t region, uint32_t offset);
// The FPGA version word (region 0); 0 when nothing is mapped.
uint32_t fpgaReadVersionWord();

// The bridge mode item (0 hps2fpga, 1 fpga2hps, 3 lwhps2fpga; 3 from the
// system defaults) and the last byte read from each bridge's enable file.
uint32_t getFpgaBridgeMode();
void setFpgaBridgeMode(uint32_t mode);
uint8_t getFpgaBridgeStatus(uint32_t mode);
