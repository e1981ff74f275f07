// Amplifier lockout and telecommand status poll.
#pragma once

#include <cstdint>

// Called on every main-loop pass; runs its own 80 ms period.
void pollTlcTask();
// Reads the telecommand status word and turns it into the interlock and
// lockout-input alarms. Returns the word.
uint16_t PollingTLC();
// Counts trips of the amplifier's lockout line and locks the transmitter
// out after the allowed re-tries.
void AmpliLockoutManage();

// The status word of the last poll.
uint16_t getTlcStatusWord();
// Trips counted since the last lockout reset.
uint8_t getAmpLockoutRetryCount();

// Returns the module to its start state (tests).
void ampLockoutResetForTest();
