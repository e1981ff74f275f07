// The rows of the alarm edge handlers: texts, flags, groups, event bits and
// scan lists of every alarm id with a handler (generated rows in
// alarms/gen/alarmTable.inc, tools/genAlarmTable.py).
#pragma once

#include "core/base/logs.h"

#include <cstdint>

// What raises the alarm: its raw byte alone, its raw byte behind a gate of
// the handler, a latched state another module writes, or a rule of its own.
enum AlarmRaise : uint8_t { RAISE_RAW, RAISE_RAW_GATED, RAISE_STATE, RAISE_OTHER };

// Flag bytes set while the alarm is raised; AF_BY_HANDLER: the handler
// chooses them.
enum AlarmFlagBits : uint8_t {
    AF_MUTE = 1,
    AF_ALM = 2,
    AF_WRN = 4,
    AF_FAIL = 8,
    AF_BY_HANDLER = 0x80,
};

// Scan lists: every scan, the amplifier family lists, or called by nothing.
enum AlarmScan : uint8_t {
    SCAN_NONE = 0,
    SCAN_EVERY = 1,
    SCAN_F0 = 2,
    SCAN_F1 = 4,
    SCAN_F2 = 8,
};

// The group column names a group chosen by the handler.
constexpr uint8_t GROUPS_BY_HANDLER = 0xff;

struct AlarmRow {
    uint8_t id;
    const char* inText;  // after "EVENT: " (or "INFO: "); "" writes no line
    const char* outText;
    LogLevel level;      // LVL_EVENT, or LVL_INFO for the book-log-only pair
    AlarmRaise raise;
    uint8_t flags;       // AlarmFlagBits
    uint8_t groups[2];   // 0: none
    uint8_t eventBits[3];
    uint8_t delayedBit;  // DelayedEventBitmap, 0: none
    bool delayedAtEdge;  // the delayed bit is set with the immediate one
    uint8_t ampBit;      // AmpEventBitmap, 0: none
    uint8_t scan;        // AlarmScan
};

extern const AlarmRow kAlarmRows[];
extern const int kAlarmRowCount;

// The row of an alarm id, nullptr when the id has no handler.
const AlarmRow* alarmRow(uint8_t id);
