// Hand-written operations of the audio region (rows: audio.def): the
// clipper settings and the external output stage. Included by audioKeys.h.
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

// Re-applies the external output stage (audio/extAnalog.h), as the apply of
// group 0x100000 does: tunes it to the output frequency, then sets its level
// with mode 1, the MPX level as a signed byte and the frequency deviation
// when the routing mode word is 1, else with mode 0, level 0 and the
// deviation.
void reapplyOutputStage();
