// Time base, elapsed time and timers.
#pragma once

#include <cstdint>
#include <ctime>

// The shared 10 ms time base. Published as one 64-bit word so that no reader
// ever sees the seconds of one reading with the nanoseconds of another.
struct timespec getMonoTimeNow();
void setMonoTimeNow(const struct timespec& ts);
struct timespec getBootTime();
void setBootTime(const struct timespec& ts);

// Body of "Time Thread": one CLOCK_MONOTONIC_RAW reading into the time base.
void timeThread();

uint32_t getElapsedUs(const struct timespec* start, const struct timespec* now);

void updateHysteresis(int32_t value, int32_t low, int32_t high, uint8_t* flag, uint8_t* inverse);
int checkWindowHyst(int32_t value, int32_t low, int32_t high, int32_t margin, uint8_t* state);

// A pulse of delaySeconds on `out` after an edge of the input, per index;
// timed on CLOCK_MONOTONIC_RAW (the time-stamp argument is not used).
void risingEdgeTimer(uint8_t input, uint16_t index, const struct timespec* ref, uint32_t delaySeconds,
                     uint8_t* out);
void fallingEdgeTimer(uint8_t input, uint16_t index, const struct timespec* ref, uint32_t delaySeconds,
                      uint8_t* out);

time_t mktimeLocal(struct tm* t);
time_t mktimeWrapper(struct tm* t);

// The shape every periodic step shares: a started flag and a stamp; the first
// call stamps, later calls are due when more than period - 1 us has elapsed
// against the time base. Steps that run on their first call keep a ran-once
// flag. A due step's caller runs its work and then calls periodicStepDone.
struct PeriodicStep {
    uint8_t started;
    uint8_t ranOnce;
    struct timespec stamp;
};
bool periodicStepDue(PeriodicStep* step, uint32_t periodUs, bool runsOnFirstCall = false);
void periodicStepDone(PeriodicStep* step);
