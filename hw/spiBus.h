// SPI bus layer: one spidev node per chip select of controller 0, opened on
// its first transfer and kept; the chip selects with fixed settings get them
// written before every transfer.
#pragma once

#include <cstdint>

// What the spidev mode, bit-order, word-size and speed requests carry.
struct SpiSettings {
    uint8_t mode;
    uint8_t lsbFirst;    // 0: most significant bit first
    uint8_t bitsPerWord;
    uint32_t maxSpeedHz;
};

// The cached descriptor of a chip select, opening /dev/spidev0.<cs> on first
// use (a failed open stays cached). -1 for a chip select the board lacks.
int SPI_Open(uint32_t cs);
// Closes a descriptor that is none of the cached ones.
void SPI_Close(int fd);
// Reads / writes mode, lsb first, bits per word and maximum speed, in that
// order, stopping at the first failure; the last request's result.
int SPI_GetParams(int fd, SpiSettings* settings);
int SPI_SetParams(int fd, const SpiSettings* settings);
// One write-only transfer of len bytes: wordMode 0 8-bit words, 1 16-bit
// words, anything else sends nothing (the chip select is still opened and
// its fixed settings written).
void SPI_WriteData(const uint8_t* tx, uint8_t len, uint8_t wordMode, uint8_t cs);
// One full-duplex transfer: wordMode 0 8-bit words, anything else 16-bit.
void SPI_WriteReadData(const uint8_t* tx, uint8_t* rx, uint8_t len, uint8_t wordMode, uint8_t cs);
