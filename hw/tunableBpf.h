// Tunable band-pass filter: detection and the hardware writes of its
// settings.
#pragma once

#include <cstdint>

// 1 when the filter is fitted.
int detectTunableBpf();
// The coarse capacitor codes: bits 0..2 (A) and 4..6 (B) of the filter
// expander.
int setBpfExpanderFieldA(uint8_t code);
int setBpfExpanderFieldB(uint8_t code);
// The pre- and post-capacitor fine values.
int applyTunBpfCoarse(uint16_t fine);
int applyTunBpfFine(uint16_t fine);
// The very-fine value into the series tunable capacitor.
int setDtcValue(uint8_t value);
