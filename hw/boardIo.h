// Board I/O functions on the I/O expanders.
#pragma once

#include <cstdint>

int setDacAudioNotReset(uint8_t on);
int setDacAudioMode(uint32_t on);

// Output-matrix expander and audio line bits. Each returns 0, or negative
// when the expander could not be written.
int setAesEbuRdsSel(uint8_t on);
int setTsAesEbuSel(uint8_t on);
// Bit 4 of the matrix expander's configuration: set for 1, cleared otherwise.
int configOutputMatrixHw(uint8_t cfg);
// The matrix field (bits 0..2) := mtx & 7, other bits kept.
int writeOutputMatrixHw(uint8_t mtx);
int setAudioLeftTerm(uint8_t on);
int setAudioRightTerm(uint8_t on);
int setAudioRdsTerm(uint8_t on);
int setMpxDigTerm(uint8_t on);
int setPpsTerm(uint8_t on);
