// Keys of the network section, the synchronisation clock loop, the deviation
// and clipper limits and the RF DAC level: the setters with behaviour of
// their own and the hooks of the rows. The plain accessors are generated
// from Config/keyTable.def.
#pragma once

#include <cstdint>

// Hooks: the gateway setters keep the gateway they replace.
void keepFrontOldGateway(uint8_t index, uint32_t value, uint32_t old);
void keepRearOldGateway(uint8_t index, uint32_t value, uint32_t old);
// Hooks: the audio-DAC words drive their expander output on every call.
void driveAudioDacReset(uint8_t index, uint32_t value, uint32_t old);
void driveAudioDacMode(uint8_t index, uint32_t value, uint32_t old);

// "force_dac_level": a non-zero apply flag pulses the FPGA's control bit C
// after the publish (hardware ready only).
void setForceDacLevel(uint32_t v, uint32_t apply);
// "clipper_deviation_limiter": refuses a low byte above 110 (returns 0, stores
// nothing); else stores a change, recomputes the clipper settings, publishes
// and marks; returns 1.
int setClipperDeviationLimiter(uint32_t v);

// Effective limiter, overshoot code and limited flag from the limiter and
// "clipper_overshoot".
void updateClipperLimiter();
// min(x & 0xffff, 8) scaled to 0..2047.
uint16_t clipperScale(uint32_t x);
