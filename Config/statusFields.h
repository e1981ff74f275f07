// Status fields that raise alarm inputs or event bits, the upgrade status,
// the port words, the time-request record and the alarm edge logger. The
// plain fields are rows of the key table; their hooks and the operations that
// do not fit a row are here.
#pragma once

#include <cstdint>
#include <ctime>

// Hooks of the rows.
// Alarm input `id` := value, then the reference-valid flag is recomputed.
void flagToAlarmAndRefValid(uint8_t id, uint32_t value);
// Self-shutdown request: a non-zero value takes a CLOCK_MONOTONIC_RAW stamp.
void stampSelfShutdown(uint8_t index, uint32_t value, uint32_t old);
struct timespec getSelfShutdownStamp();

// Reference-valid flag := (reference mask word AND reference state word) != 0.
void updateRefValid();
// The second flag of the same form (nothing calls it).
void updateMaskedFlag();

// Port words 0 and 1: any other index selects nothing; the getter gives the
// second word for 1 and the first otherwise.
void setPortWord(uint32_t i, uint32_t v);
uint32_t getPortWord(uint32_t i);

// Time-request record in the order of struct tm.
void setTimeReqSecond(uint32_t v);
void setTimeReqMinute(uint32_t v);
void setTimeReqHour(uint32_t v);
void setTimeReqDay(uint32_t v);
void setTimeReqMonth(uint32_t m);  // stores m - 1
void setTimeReqYear(uint32_t y);   // stores y - 1900
uint32_t* getTimeRequest();

// k = 0..2 requests asynchronous command 12 + k; returns the low byte of the
// request's result, 128 for any other k.
uint8_t getTelecommandInput(uint32_t k);

// Logs an alarm edge when *state differs from value; returns 1 for an OFF
// edge, else 0.
uint8_t logAlarmEdge(uint8_t* state, uint8_t value, const char* name, uint8_t* changed);
