// Hand-written operations of the tunable band-pass filter (rows:
// tunBpf.def). Included by tunBpfKeys.h.
#pragma once

#include "Config/keys/tunBpfDefaults.h"

#include <cstdint>

// The band of the output frequency: whole MHz minus 88, 0 below 89 MHz, at
// most 19.
uint32_t getTunBpfCurrentBand();

// The filter settings; each stores on every call (hardware writes only once
// the hardware is ready).
// Coarse code A and B (0..7): the capacitance word of the code (codes 6 and
// 7 leave it), the expander field, the factory group marked.
void setTunBpfCoarseA(uint32_t code);
void setTunBpfCoarseB(uint32_t code);
uint8_t getTunBpfCoarseA();
uint8_t getTunBpfCoarseB();
// Fine values A and B (0..511): applied, derived word 355 v + 12500, kept as
// the current band's pre- and post-capacitor fine value.
void setTunBpfFineA(uint32_t v);
void setTunBpfFineB(uint32_t v);
uint16_t getTunBpfFineA();
uint16_t getTunBpfFineB();
// Very-fine value (0..31): into the tunable capacitor, derived word
// 50 v + 850, kept as the current band's very-fine value; factory group.
void setTunBpfVeryFine(uint32_t v);
uint8_t getTunBpfVeryFine();
// The fifth filter byte: accepted and ignored.
void ignoreSettingByte(uint32_t v);
uint8_t getTunBpfByte5();
// The capacitance of a coarse code (0..5); 0 for the others.
uint32_t tunBpfCoarseCapacitance(uint32_t code);

// Range tests of the table writers.
int isValidTunBpfCoarse(uint32_t v);
int isValidTunBpfFine(uint32_t v);
int isValidTunBpfVeryFine(uint32_t v);
int isValidTunBpfByte5(uint32_t v);

// Detects the filter; a fitted filter is recorded in the unit state.
// Returns the detection's result.
int detectTunableBpfOption();
