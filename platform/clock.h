// The one clock of the system. Monotonic-raw, monotonic, wall and local time
// and every sleep come from here, so tests can run on a virtual clock.
#pragma once

#include <cstdint>
#include <ctime>

int clockGetTime(clockid_t id, struct timespec* ts);
// The same reading for an observer that must not move the virtual clock
// (the simulated board's transaction logs): no step on a read.
int clockPeekTime(clockid_t id, struct timespec* ts);
time_t clockWallSeconds();
void clockSleepUs(uint64_t us);
void clockSleepSeconds(unsigned s);
void clockSleepTs(const struct timespec* ts);
// Sets the wall clock: 0, or -1 with errno. The virtual clock moves its wall
// time; the host simulation never sets the machine's clock (it says so and
// succeeds); the board sets the system clock.
int clockSetWall(time_t seconds);
// The local time zone changed (its link was replaced): local time follows it
// from the next conversion. In the host simulation local time follows the
// sandbox's /usr/local/conf/localtime, as the board's follows its own.
void clockZoneChanged();

// Virtual clock for tests: time stands still except when a test advances it,
// when something sleeps (the sleep advances it instead of waiting), and by
// one microsecond on every read, so that polling loops end.
void clockUseVirtual(int64_t startNs = 1000000000LL, int64_t wallEpochSeconds = 1767225600LL);
void clockUseReal();
bool clockIsVirtual();
void clockAdvanceUs(int64_t us);
// Virtual clock: make sleeps return without advancing time (a frozen clock).
void clockFreeze(bool frozen);
