// Alarm tables of the system image: for every alarm id 0..168 a raw condition
// byte, a latched state byte and the eight-byte AlarmFlags record, plus the
// summary bytes. The per-byte accessors are rows of the key table
// (setAlarmInput, getAlarmState, setAlarmField0 ... getAlarmField7,
// setAlarmSummary, ...); an id beyond 168 is refused (setters do nothing,
// getters give 0). Here are the operations over ranges and the helpers of
// the setters that raise alarm inputs.
#pragma once

#include <cstdint>

// state := input for every id strictly between a and b.
void copyAlarmInputsToStates(uint32_t a, uint32_t b);
// state := 0 for every id strictly between a and b.
void clearAlarmStates(uint32_t a, uint32_t b);

// Raw condition of an alarm := 1 while bit 0 of a lock or presence word is 0.
void lockStateToAlarm(uint8_t id, uint32_t value);
