// Words stored most significant byte first (the byte-order copies of the
// audio-processor set names).
#pragma once

#include <cstdint>

// Stores the word into four bytes, the most significant first.
void packU32BE(const uint32_t* word, uint8_t* dest);
// Reads one word from four bytes stored most significant byte first.
void unpackU32BE(const uint8_t* src, uint32_t* dest);
// Four words to sixteen bytes, and back.
void packU32x4BE(const uint32_t* words, uint8_t* dest);
void unpackU32x4BE(const uint8_t* src, uint32_t* dest);
