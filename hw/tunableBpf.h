// Tunable band-pass filter: detection, the hardware writes of its settings,
// and the retune after a frequency change.
#pragma once

#include <cstdint>

// The retune sequence after a frequency change (FPGA, tunable band-pass
// filter, power offset, PLL mode, receiver); 0 done.
int retuneAfterFrequencyChange();

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
