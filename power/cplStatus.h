// The shelf status readers: the full state of one slot per shelf pass, the
// decoding of the status and alarm bytes and the PSU event lines.
#pragma once

#include <cstdint>

// Reads, scales and stores the state of a CP2xxx / CP3xxx slot: the result
// of the last read, or the negative code of a failed main status read.
int CPL2_ReadFullStatus(uint8_t slot);
int CPL3_ReadFullStatus(uint8_t slot);
// PMBus LINEAR11 (low byte, high byte), rounded to the nearest integer.
int32_t CPL_Linear11ToInt(uint8_t low, uint8_t high);
// Writes the In line when the bit comes up and the Out line when it clears,
// against the event-state byte; a value of 0xFF is no data.
void CPL_PsuAlarmEvent(uint8_t slot, uint8_t mask, uint8_t group, uint8_t value, uint8_t* state);

// Forgets the alarm bytes and the reported events of every slot (tests).
void cplStatusResetForTest();
