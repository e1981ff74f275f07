// Common utilities: the hundredths deadline clock, byte-order packing,
// rounding, the logarithmic power index, a two-stage moving average, time
// stamps and the internal debug log.
#pragma once

#include <cstdint>
#include <ctime>

// Hundredths of a second of a time stamp, kept in 32 bits (wraps after about
// 497 days; deadlines are compared by signed difference, so the wrap is
// harmless for deadlines shorter than about 248 days).
uint32_t getCsNow(const struct timespec* ts);
// CLOCK_MONOTONIC now in hundredths plus `offset` (100 = 1 s).
uint32_t getDeadlineCs(uint32_t offset);
// 1 at once when `done` is non-zero; -1 when `deadline` is 0 (none) or has
// passed; 0 while now is at or before it. `remaining` (optional) receives
// deadline - now whenever the clock was read.
int checkDeadlineCs(int done, uint32_t deadline, int32_t* remaining);

void putU32LE(uint32_t v, uint8_t* p);
void putU32BE(uint32_t v, uint8_t* p);
void putU16LE(uint16_t v, uint8_t* p);
uint32_t getU32(const uint8_t* p);
uint32_t getU32BE(const uint8_t* p);
uint32_t getU32LE(const uint8_t* p);
uint16_t getU16LE(const uint8_t* p);

float roundHalfAwayF(float x);
double roundHalfAway(double x);

// Logarithmic index, 100 steps a decade, index 0 = 10 (a power in 0.1 mW
// becomes a level in 0.1 dBm and back).
int32_t convLinToLogIndex(uint32_t x);
uint32_t convLogIndexToLin(int32_t i);

// Local time of `*t` (now when null) as "YYYY-MM-DD hh:mm:ss " into `out`
// (at least 21 bytes). Returns `out`.
char* formatTimestamp(const time_t* t, char* out);
// Appends "<time stamp> <text> \n" to the file and syncs it.
void appendLineToFile(const char* path, const char* text);

// Moving average of `n` samples in `hist1` into `*avg1`, optionally followed
// by an average of `m` first-stage averages in `hist2`. Returns 1 once the
// two stages agreed within 300 on more than seven calls in a row, else 0.
int computeLinearRegression(uint32_t sample, uint32_t n, uint32_t* hist1, uint32_t* avg1, uint32_t* hist2,
                            uint32_t m);

// The internal debug log kept for factory diagnosis (rotated above 150000
// bytes). The first writes a time-stamped message, the second raw text;
// neither adds a newline.
void writeInternalDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
void writeInternalDebugRaw(const char* format, ...) __attribute__((format(printf, 1, 2)));
