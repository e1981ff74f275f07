// Hand-written operations of the audio region (rows: audio.def): the
// clipper settings and the external output stage. Included by audioKeys.h.
#pragma once

#include <bit>
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

// ---- Levels and deviations ----

// Hooks of the deviation rows: each stores its partner key and the codes
// directly (no publish, no mark of their own), then publishes the partner's
// cell after its own.
void pilotPercentageChanged(uint32_t index, uint32_t value, uint32_t old);
void pilotDevHzChanged(uint32_t index, uint32_t value, uint32_t old);
void rdsDevHzChanged(uint32_t index, uint32_t value, uint32_t old);
void publishPilotDevHz(uint32_t index, uint32_t value, uint32_t old);
void publishPilotPercentage(uint32_t index, uint32_t value, uint32_t old);
void publishRdsPercentage(uint32_t index, uint32_t value, uint32_t old);
// "level_rx_dBu": the receiver gain code follows the level.
void levelRxChanged(uint32_t index, uint32_t value, uint32_t old);

// Pilot code (nothing calls it): "level_pilot_percentage" follows the code;
// the pilot output code is updated.
void setPilotCode(uint32_t code);
// Pilot output code := 0 while both audio output flags are 0, else the pilot
// code.
void updatePilotOutputCode();

// "level_cod_dig_mpx_dBFS": a changed value is stored, the digital MPX gain
// set from it, published and marked; on every call, once the hardware is
// ready, the FPGA gets the gain (writeDigMpxGain).
void setLevelCodDigMpx_dBFS(uint32_t v);
// Stores a changed gain; once the hardware is ready, writes it.
void setDigMpxGain(float g);
// Start-up: repeats the FPGA write from the stored level.
void reapplyLevelOnFlag();
// The digital MPX gain as one float word to FPGA region 17, offset 0, unless
// it equals the last value written.
void writeDigMpxGain(float g);

// A code of 3 is stored as 0 while the AES/EBU alarm is 0; publishes (12,1).
void setAesEbuAlCode(uint32_t v);
// Right-channel gain := 0 while the right input is off (routing word 5),
// else the gain of "level_right_dBu"; stored when changed, marks the levels.
void updateRightChannelGain();

int isValidMpxOptionA(uint32_t v);
int isValidMpxOptionB(uint32_t v);
int isValidMpxOptionC(uint32_t v);

// ---- Audio alarms ----

// Book and event lines of the enables' changes.
void logTotAudioAlmEnable(uint32_t index, uint32_t value, uint32_t old);
void logAudioLeftAlmEnable(uint32_t index, uint32_t value, uint32_t old);
void logAudioRightAlmEnable(uint32_t index, uint32_t value, uint32_t old);
void logAudioAuxAlmEnable(uint32_t index, uint32_t value, uint32_t old);
void logInputPresAlmEnable(uint32_t index, uint32_t value, uint32_t old);
// The input-presence threshold goes to thresholds C, A and B, in that order.
void copyInputPresThresholds(uint32_t index, uint32_t value, uint32_t old);
