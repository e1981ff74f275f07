// Hand-written operations of the system region (rows: system.def): the
// hooks of its status fields and the operations that do not fit a row.
// Included by systemKeys.h.
#pragma once

#include <cstdint>
#include <ctime>

// Hooks of the rows.
// The reference-valid flag is recomputed after an FPGA or PPS flag changed.
void refreshRefValid(uint32_t index, uint32_t value, uint32_t old);
// Self-shutdown request: a non-zero value takes a CLOCK_MONOTONIC_RAW stamp.
void stampSelfShutdown(uint32_t index, uint32_t value, uint32_t old);
struct timespec getSelfShutdownStamp();

// Reference-valid flag := (reference mask word AND reference state word) != 0.
void updateRefValid();
// The second flag of the same form (nothing calls it).
void updateMaskedFlag();

// Port words 0 and 1: any other index selects nothing; a changed word
// re-publishes the network port address. The getter gives the second word
// for 1 and the first otherwise.
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

// "MpxDig_MaxDeltaClock": stores a changed 16-bit value, publishes and marks;
// on every call, once the hardware is ready, hands 1680 / v to the MPX
// digital resampler.
void setMpxDigMaxDeltaClock(uint32_t v);

// "UART1_connection_selection": stores v (0 while the debug-console
// override is set), drives the UART 1 selector and marks; returns what it
// stored.
uint32_t setUart1ConnSel(uint32_t v);
