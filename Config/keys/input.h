// Hand-written operations of the input region (rows: input.def): language
// and locale, the primary and secondary input configurations, the routing
// and output-matrix words they drive, and the hooks of the region's rows.
// Included by inputKeys.h.
#pragma once

#include <cstdint>

// Two characters; a null pointer is ignored. A change is stored and marks
// the network group. The locale ignores a code whose second character is 0.
void setLanguage(const char* code);
void setLocale(const char* code);
// Fill two characters; a stored code of two zero characters is first set to
// "en" (language) or "us" (locale).
void getLanguage(char* out);
void getLocale(char* out);

// "output_configuration": a changed code is stored and published, logged to
// the book and event logs ("Input Primary: <name>"), put on air when the
// primary is on air (setOutputCfg) or else held as the standby routing
// (applyInputRouting), and marks the output and output-stage groups.
void setOutputConfiguration(uint32_t code);
// The secondary configuration: the same with "Input Secondary: <name>", on
// air when the secondary is; publishes and marks nothing.
void setSecondaryInputCfg(uint32_t code);
// Puts a configuration on air: a changed code prints "set output cfg <code>",
// sets the routing words (0, 7, 6, 1, 2, 3, 4, 5), the RDS input byte and the
// four matrix words, and publishes (11,18); in every case, once the hardware
// is ready, writes the output matrix.
void setOutputCfg(uint32_t code);
// Holds a configuration as the standby routing: a changed code is stored,
// its selector and special-input flag set and its matrix words applied; in
// every case, once the hardware is ready, writes the output matrix.
void applyInputRouting(uint32_t code);
// Prints the matrix line and writes the matrix code (L/MPX, R/AUX, DIG/AUX
// in bits 0..2) to the output-matrix expander.
void applyOutputMatrix();
// "input_backup" and "input_backup_rds": the backup input, translated into
// a configuration code, becomes the secondary configuration.
void setInputBackup(uint32_t v);
void setInputBackupRds(uint32_t v);

// Transport-stream rate in kb/s (nothing calls them).
void setTSRateKbps(uint32_t kbps);
uint16_t getTSRateKbps();
// Starts (1) the second core and pulses the audio-core reset, or stops it
// (0). Nothing in the program calls it.
void setAudioCoreRunning(uint32_t on);
// Gated output := 0 while the output FIFO alarm is 1 or a PLL or the VCXO is
// not locked; else the configured value, which with the FM receiver as the
// MPX or AUX source also needs the receiver's PLL locked.
void evaluateGatedOutput();

// Hooks of the rows.
void copyInputRx(uint32_t index, uint32_t value, uint32_t old);
void logInputSwitchMode(uint32_t index, uint32_t value, uint32_t old);
void applyAudioLeftTerm(uint32_t index, uint32_t value, uint32_t old);
void applyAudioRightTerm(uint32_t index, uint32_t value, uint32_t old);
void applyRdsTerm(uint32_t index, uint32_t value, uint32_t old);
void applyMpxDigTerm(uint32_t index, uint32_t value, uint32_t old);
void applyPpsTerm(uint32_t index, uint32_t value, uint32_t old);
void applyClipperProfile(uint32_t index, uint32_t value, uint32_t old);
void pushCommonStage(uint32_t index, uint32_t value, uint32_t old);
void publishCommonSwitches(uint32_t index, uint32_t value, uint32_t old);
void reapplyLevels(uint32_t index, uint32_t value, uint32_t old);
void rightInputChanged(uint32_t index, uint32_t value, uint32_t old);
void mpxDigSrcChanged(uint32_t index, uint32_t value, uint32_t old);
void applyMatrixDigAux(uint32_t index, uint32_t value, uint32_t old);
void applyMatrixConfig(uint32_t index, uint32_t value, uint32_t old);
void outFlagChanged(uint32_t index, uint32_t value, uint32_t old);
void evaluateGatedOutputHook(uint32_t index, uint32_t value, uint32_t old);
