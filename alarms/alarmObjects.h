// Alarm objects and alarm sets: alarms of a function built at run time (the
// FM receiver monitor, for one), up to eight to a set. A set keeps its status
// and configuration words in two parameter objects, so they reach DbPool and
// the configuration files. Every public call is null-safe.
#pragma once

#include "alarms/param.h"

#include <cstdint>

struct Alarm;
struct AlarmSet;

constexpr int ALARM_TEXT_BYTES = 32;
constexpr int ALARMSET_SLOTS = 8;
// The answer for a set, slot or threshold that is not there.
constexpr intptr_t ALARM_NOT_AVAILABLE = 0x7fffffff;

using AlarmCallback = void (*)(Alarm* a, uint32_t v);
using AlarmThresholdCheck = int (*)(Alarm* a, int32_t v);
using AlarmEventLogger = void (*)(Alarm* a, uint8_t state, uint8_t s2);

struct Alarm {
    char name[ALARM_TEXT_BYTES];
    char label[ALARM_TEXT_BYTES];
    uint8_t index;
    uint8_t state;
    uint8_t log;
    uint8_t trap;
    uint32_t severity; // 1 Wrn, 2 Alm, 3 Alm+Mute (its low byte)
    ParamLong* low;
    ParamLong* high;
    AlarmSet* owner;
    // Operations.
    int (*init)(Alarm* a, const char* name, const char* label, uint8_t state, uint8_t log, uint8_t trap,
                uint32_t severity, ParamLong* low, ParamLong* high, AlarmSet* owner, uint8_t index);
    int (*check)(Alarm* a, uint8_t state);
    int (*setState)(Alarm* a, uint8_t state);
    int (*set)(Alarm* a, uint8_t state);
    uint8_t (*getState)(Alarm* a);
    void (*configure)(Alarm* a, uint8_t log, uint8_t trap, uint32_t severity);
    void (*getConfig)(Alarm* a, uint8_t* log, uint8_t* trap, uint32_t* severity);
    void (*setThresholds)(Alarm* a, ParamLong* low, ParamLong* high);
    void (*getThresholds)(Alarm* a, ParamLong** low, ParamLong** high);
    // Callbacks.
    AlarmCallback user0; // kept, never called by the alarm
    AlarmCallback onLogChange;
    AlarmCallback onTrapChange;
    AlarmCallback onSeverityChange;
    AlarmCallback onLowCrossing;
    AlarmCallback onHighCrossing;
    AlarmThresholdCheck thresholdCheck;
    AlarmEventLogger eventLogger;
};

// Status word: bit i active, bit 8+i Wrn, 16+i Alm, 24+i Alm+Mute.
// Configuration word: bit i log, bit 8+i trap, bits 16+2i..17+2i severity.
struct AlarmSet {
    Alarm* alarms[ALARMSET_SLOTS];
    ParamU32 status;
    ParamU32 config;
    void (*init)(AlarmSet* s, int32_t id);
    void (*addAlarm)(AlarmSet* s, uint32_t i, const char* name, const char* label, int32_t lowId,
                     int32_t lowDefault, int32_t highId, int32_t highDefault, uint8_t state, uint8_t log,
                     uint8_t trap, uint32_t severity);
    Alarm* (*getAlarm)(AlarmSet* s, uint32_t i);
    ParamU32* (*getStatusParam)(AlarmSet* s);
    ParamU32* (*getConfigParam)(AlarmSet* s);
};

Alarm* Alarm_New();
int Alarm_Init(Alarm* a, const char* name, const char* label, uint8_t state, uint8_t log, uint8_t trap,
               uint32_t severity, ParamLong* low, ParamLong* high, AlarmSet* owner, uint8_t index);
void Alarm_Configure(Alarm* a, uint8_t log, uint8_t trap, uint32_t severity);
void Alarm_GetConfig(Alarm* a, uint8_t* log, uint8_t* trap, uint32_t* severity);
void Alarm_SetThresholds(Alarm* a, ParamLong* low, ParamLong* high);
void Alarm_GetThresholds(Alarm* a, ParamLong** low, ParamLong** high);
void Alarm_SetCallbacksSafe(Alarm* a, AlarmCallback user0, AlarmCallback onLogChange,
                            AlarmCallback onTrapChange, AlarmCallback onSeverityChange,
                            AlarmCallback onLowCrossing, AlarmCallback onHighCrossing,
                            AlarmThresholdCheck thresholdCheck, AlarmEventLogger eventLogger);
int Alarm_Set(Alarm* a, uint8_t state);
uint8_t Alarm_GetState(Alarm* a);
int32_t Alarm_GetLowerThreshold(Alarm* a);
int32_t Alarm_GetUpperThreshold(Alarm* a);
void Alarm_SetLowerThreshold(Alarm* a, int32_t v);
void Alarm_SetUpperThreshold(Alarm* a, int32_t v);
// 1 when v lies below the low or above the high threshold.
int Alarm_Check(Alarm* a, int32_t v);

AlarmSet* AlarmSet_New();
// Key "AlmSet%02d%02d" of the bytes of id + 1; status to cell id, the
// configuration to cell id + 1 (section = high byte, item = low byte).
void AlarmSet_CallInit(AlarmSet* s, int32_t id);
void AlarmSet_CallAddAlarm(AlarmSet* s, uint32_t i, const char* name, const char* label, int32_t lowId,
                           int32_t lowDefault, int32_t highId, int32_t highDefault, uint8_t state,
                           uint8_t log, uint8_t trap, uint32_t severity);
Alarm* AlarmSet_GetAlarm(AlarmSet* s, uint32_t i);
uint32_t AlarmSet_GetStatusWord(AlarmSet* s);
uint32_t AlarmSet_GetConfigWord(AlarmSet* s);
// The configuration parameter's key name; none (not an address of -1) for
// a set that is none.
const char* AlarmSet_GetConfigKey(AlarmSet* s);
void AlarmSet_RefreshState(AlarmSet* s, uint32_t i);
void AlarmSet_RefreshConfig(AlarmSet* s, uint32_t i);
// Configuration word := (value AND mask) OR (old AND NOT mask); mask
// 0xFFFFFFFF applies every alarm, any other the alarm its lowest bit names.
void AlarmSet_ApplyConfig(AlarmSet* s, uint32_t value, uint32_t mask);

// Field p of alarm i: 0 name, 1 state, 2 low threshold, 3 its key, 4 high
// threshold, 5 its key, 6 severity, 7 "<name>_Sev", 8 log, 9 "<name>_Log",
// 10 trap, 11 "<name>_Trp". Texts are returned as their address; the
// composed ones live in one buffer until the next such call.
intptr_t CA_ALARMSET_Event_GetP(AlarmSet* s, uint32_t i, uint32_t p);
void CA_ALARMSET_Event_SetP(AlarmSet* s, uint32_t i, uint32_t p, intptr_t v);
