// Operations of the tunable band-pass filter settings. Until the filter's
// rows are in the key table they stand in pending/Config/keys/tunBpf.cpp.
// Included by tunBpfKeys.h.
#pragma once

#include <cstdint>

// The filter settings; each stores its value and, once the hardware is
// ready, writes it to the filter.
void setTunBpfCoarseA(uint32_t code);
void setTunBpfCoarseB(uint32_t code);
uint8_t getTunBpfCoarseA();
uint8_t getTunBpfCoarseB();
void setTunBpfFineA(uint32_t v);
void setTunBpfFineB(uint32_t v);
uint16_t getTunBpfFineA();
uint16_t getTunBpfFineB();
void setTunBpfVeryFine(uint32_t v);
uint8_t getTunBpfVeryFine();

// Fine tables by band (88 + band MHz), 20 entries each.
uint16_t getTunBpfCpPreFine(uint32_t i);
void setTunBpfCpPreFine(uint32_t i, uint32_t v);
uint16_t getTunBpfCpPostFine(uint32_t i);
void setTunBpfCpPostFine(uint32_t i, uint32_t v);
uint8_t getTunBpfCsVeryFine(uint32_t i);
void setTunBpfCsVeryFine(uint32_t i, uint32_t v);

// Detects the filter; a fitted filter is recorded in the unit state.
// Returns the detection's result.
int detectTunableBpfOption();
