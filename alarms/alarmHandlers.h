// The alarm edge handlers. Each takes the alarm id it runs for (handlers of
// a pair or group ignore it) and runs only inside the alarm scan.
#pragma once

#include <cstdint>

// Alarm ids of the handlers' own names.
constexpr uint8_t ALARM_ID_GROUP_SYNTH = 1, ALARM_ID_GROUP_INPUT_ALM = 2, ALARM_ID_GROUP_REF = 3,
                  ALARM_ID_GROUP_BOARD = 4, ALARM_ID_GROUP_GPS = 5, ALARM_ID_GROUP_INPUT_WRN = 6,
                  ALARM_ID_GROUP_AMP = 7, ALARM_ID_GROUP_AMP_PSU = 131, ALARM_ID_GROUP_AMP_WRN = 132,
                  ALARM_ID_GROUP_AMP_FAIL = 133;
constexpr uint8_t ALARM_ID_INTERLOCK = 101;

// The table's common shape: raised by its raw byte (behind the alarm's gate)
// or by its latched state, with the row's flags, groups and bits.
void handleCommon(uint8_t id);
// Retry handlers: 40, 41, 42, 49, 61.
void handleRetry(uint8_t id);
// Reference lock: 43 (frequency), 46 (time).
void handleReferenceLock(uint8_t id);
// Timed audio states: 54, 55, 56, 57, 58, 64.
void handleTimedAudio(uint8_t id);
// Primary and secondary input (67 and 69).
void handleInputs(uint8_t id);
// Input module: the edges of groups 2 and 6 and the Mute of alarm 2.
void handleInputModule(uint8_t id);
// TX warning and TX alarm edges of the transmitter logic.
void handleTxAlarmWarning(uint8_t id);
// Second family: group 131 and amplifier event bit 4 from 119, 120, 128,
// 130; amplifier event bit 6 (TX ON); bits 1 and 2 from groups 131 and 132.
void handleAmpSummary(uint8_t id);
void handleAmpTxOnBit(uint8_t id);
void handleAmpGroupBits(uint8_t id);
// Interlock (101).
void handleInterlock(uint8_t id);
// Amplifier temperature alarm (123).
void handleAmpTemperature(uint8_t id);
// Fan pair (126 and 127).
void handleFans(uint8_t id);
// Supplies: availability (144) and status (149 to 151).
void handlePsuAvailability(uint8_t id);
void handlePsuStatus(uint8_t id);
// GPS reference (111) and internal PPS (93), scanned by nothing.
void handleGpsReference(uint8_t id);
void handleIntPps(uint8_t id);
// Reference holdover warning (98).
void handleHoldover(uint8_t id);
// A place of the second family's list with nothing to do.
void handleNothing(uint8_t id);
