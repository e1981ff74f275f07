// Hand-written operations of the alarm region (rows: alarms.def): the
// operations over ranges of alarm ids and the alarm edge logger. Included by
// alarmsKeys.h.
#pragma once

#include <cstdint>

// state := input for every id strictly between a and b.
void copyAlarmInputsToStates(uint32_t a, uint32_t b);
// state := 0 for every id strictly between a and b.
void clearAlarmStates(uint32_t a, uint32_t b);
// ORs byte k of every alarm id's flag record into folded[k] (k 0..7); the
// caller clears folded first.
void foldAlarmFlags(uint8_t* folded);

// Logs an alarm edge when *state differs from value; returns 1 for an OFF
// edge, else 0.
uint8_t logAlarmEdge(uint8_t* state, uint8_t value, const char* name, uint8_t* changed);
