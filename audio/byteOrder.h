// Words stored most significant byte first (the byte-order copies of the
// audio-processor set names).
#pragma once

#include <cstdint>

// Stores the word into four bytes, the most significant first.
void packU32BE(const uint32_t* word, uint8_t* dest);
// Reads four words from sixteen bytes stored most significant byte first.
void unpackU32x4BE(const uint8_t* src, uint32_t* dest);
