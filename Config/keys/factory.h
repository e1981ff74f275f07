// Hand-written operations of the factory region (rows: factory.def).
// Included by factoryKeys.h.
#pragma once

#include <cstdint>

// Hooks: the audio-DAC words drive their expander output on every call.
void driveAudioDacReset(uint32_t index, uint32_t value, uint32_t old);
void driveAudioDacMode(uint32_t index, uint32_t value, uint32_t old);

// Hooks of the DAC, NCO and PLL keys: with the hardware-apply word armed
// (and the hardware ready), reprogram the quadrature modulator, the RF
// synthesizer, or the synthesizer and then the modulator; then disarm.
void applyQmSetting(uint32_t index, uint32_t value, uint32_t old);
void applySynthSetting(uint32_t index, uint32_t value, uint32_t old);
void applySynthAndQmSetting(uint32_t index, uint32_t value, uint32_t old);

// Range test of the manual fan level (0..100).
int isValidFanManualLevel(uint32_t v);

// "force_dac_level": a non-zero apply flag pulses the FPGA's control bit C
// after the publish (hardware ready only).
void setForceDacLevel(uint32_t v, uint32_t apply);

// "TlcTlsExtended": stores, publishes and marks when the argument differs
// from the stored byte.
void setTlcTlsExtended(uint32_t v);
