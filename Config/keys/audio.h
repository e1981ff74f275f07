// Hand-written operations of the audio region (rows: audio.def): the
// clipper settings. Included by audioKeys.h.
#pragma once

#include <cstdint>

// "clipper_deviation_limiter": refuses a low byte above 110 (returns 0, stores
// nothing); else stores a change, recomputes the clipper settings, publishes
// and marks; returns 1.
int setClipperDeviationLimiter(uint32_t v);
// "clipper_overshoot": the same test and order for the 16-bit overshoot.
int setClipperOvershoot(uint32_t v);

// Effective limiter, overshoot code and limited flag from the limiter and
// "clipper_overshoot".
void updateClipperLimiter();
// min(x & 0xffff, 8) scaled to 0..2047.
uint16_t clipperScale(uint32_t x);
