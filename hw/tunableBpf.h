// Tunable band-pass filter: detection, the hardware writes of its settings
// (coarse capacitor banks on the filter expander, the two NCD2400M fine
// capacitors, the series capacitor on chip select 16), the band and PLL-mode
// choice by frequency and the retune after a frequency change.
#pragma once

#include <cstdint>

constexpr uint8_t NCD2400M_ADDRESS = 0x60;
constexpr uint8_t DTC_CS = 16;

// 1 when the filter expander answers (with its INFO line), else 0.
int detectTunableBpf();
// Read-modify-write of output register 1 of the filter expander: field 0
// replaces bits 0-2, field 1 bits 4-6 with value & 7, another field writes
// the register back unchanged. The write's result, or the read's negative
// one.
int setBpfExpanderField(uint8_t value, uint8_t field);
// The coarse capacitor codes: bits 0..2 (A) and 4..6 (B) of the filter
// expander.
int setBpfExpanderFieldA(uint8_t code);
int setBpfExpanderFieldB(uint8_t code);
// One 2-byte write / 4-byte read of the selected NCD2400M: 0, -1 on a failed
// transfer, or the negative connect result.
int ncd2400mWrite(const uint8_t* data);
int ncd2400mRead(uint8_t* data);
// A 9-bit fine value into the NCD2400M chosen by select (0 pre-filter, 1
// post-filter), with the enable pulse of expander bit 7. The result of the
// last step.
int applyTunBpf(uint16_t value, uint8_t select);
// The pre- and post-capacitor fine values.
int applyTunBpfCoarse(uint16_t fine);
int applyTunBpfFine(uint16_t fine);
// One byte on a chip select (write only); 0.
int dtcWrite(const uint8_t* data, uint8_t cs);
// One byte in for a zero byte out; 0.
int dtcRead(uint8_t* rx, uint8_t cs);
// The very-fine value (& 31) into the series tunable capacitor.
int setDtcValue(uint8_t value);
// The fine series capacitor is not fitted: a line on standard output, -1.
int applyTunBpf_CsFine(uint16_t value);

// The band of a frequency (0..19), -1 above 108 MHz.
int tunBpfBandOf(uint32_t hz);
// The band's coarse selections and fine values for the output frequency
// (fitted filter only).
void selectTunBpfBand();
// The PLL mode of the output frequency (fitted filter only, and not while
// the Select_Write bit 0x40000 is set); a frequency outside 87.5..108.0 MHz
// leaves the mode as it is.
void selectPllModeForFreq();
// The PLL mode table value of a frequency, -1 outside 87.5..108.0 MHz.
int pllModeOfFreq(uint32_t hz);

// The retune sequence after a frequency change (FPGA frame, detector
// calibration, filter band, power offset, PLL mode, synthesizer, RF DAC,
// FPGA reset pulse); the reset pulse's result.
int retuneAfterFrequencyChange();
