// Alarm objects and alarm sets.
#include "alarms/alarmObjects.h"

#include "Config/changeGroups.h"
#include "Config/configCycle.h"
#include "core/base/logs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void allocationFault()
{
    printf("\n\n\n    Memory  Allocation  Fault   \n\n");
    fflush(stdout);
}

// Names and labels are printed with %s later: at most 31 characters and a
// terminator.
void copyName(char* field, const char* text)
{
    memset(field, 0, ALARM_TEXT_BYTES);
    if (text)
        strncpy(field, text, ALARM_TEXT_BYTES - 1);
}

int opCheck(Alarm*, uint8_t)
{
    return 1;
}

void writeEdgeLine(const Alarm* a, uint8_t s)
{
    const char* kind = nullptr;
    switch (a->severity & 0xff) {
    case 1: kind = "Wrn"; break;
    case 2: kind = "Alm"; break;
    case 3: kind = "Alm+Mute"; break;
    default: return;
    }
    if (s)
        logEvent("%s %s <--- In", kind, a->label);
    else
        logEvent("%s %s ---> Out", kind, a->label);
}

int opSetState(Alarm* a, uint8_t s)
{
    if (a->check(a, s) == 0)
        return -1;
    if (s == a->state)
        return 0;
    a->state = s;
    if (a->owner)
        AlarmSet_RefreshState(a->owner, a->index);
    if (a->log) {
        if (a->eventLogger)
            a->eventLogger(a, s, s);
        else
            writeEdgeLine(a, s);
    }
    return 0;
}

int opSet(Alarm* a, uint8_t s)
{
    return a->setState(a, s);
}

uint8_t opGetState(Alarm* a)
{
    return a->state;
}

void opConfigure(Alarm* a, uint8_t log, uint8_t trap, uint32_t severity)
{
    uint8_t oldLog = a->log;
    a->log = log;
    if (a->onLogChange)
        a->onLogChange(a, oldLog);
    uint8_t oldTrap = a->trap;
    a->trap = trap;
    if (a->onTrapChange)
        a->onTrapChange(a, oldTrap);
    bool changed = log != oldLog || trap != oldTrap;
    uint32_t oldSeverity = a->severity;
    bool severityChanged = (severity & 0xff) != (oldSeverity & 0xff);
    if (severityChanged) {
        // Out with the old severity, In again with the new one.
        uint8_t wasState = a->state;
        a->setState(a, 0);
        a->severity = severity;
        if (wasState)
            a->setState(a, wasState);
        changed = true;
    }
    if (a->onSeverityChange)
        a->onSeverityChange(a, oldSeverity);
    if (changed) {
        if (a->owner) {
            AlarmSet_RefreshConfig(a->owner, a->index);
            if (severityChanged)
                AlarmSet_RefreshState(a->owner, a->index);
        }
        markConfigChanged(CONFIG_GROUP_NETWORK);
    }
}

void opGetConfig(Alarm* a, uint8_t* log, uint8_t* trap, uint32_t* severity)
{
    if (log)
        *log = a->log;
    if (trap)
        *trap = a->trap;
    if (severity)
        *severity = a->severity;
}

void opSetThresholds(Alarm* a, ParamLong* low, ParamLong* high)
{
    if (low)
        a->low = low;
    if (high)
        a->high = high;
}

void opGetThresholds(Alarm* a, ParamLong** low, ParamLong** high)
{
    if (low)
        *low = a->low;
    if (high)
        *high = a->high;
}

// The check never changes the state: the crossing callbacks do.
int builtInThresholdCheck(Alarm* a, int32_t v)
{
    bool below = false, above = false;
    if (a->low) {
        below = v < a->low->get(a->low);
        if (!a->state && below && a->onLowCrossing)
            a->onLowCrossing(a, 0);
        else if (a->state && !below && a->onLowCrossing)
            a->onLowCrossing(a, a->state);
    }
    if (a->high) {
        above = v > a->high->get(a->high);
        if (!a->state && above && a->onHighCrossing)
            a->onHighCrossing(a, 0);
        else if (a->state && !above && a->onHighCrossing)
            a->onHighCrossing(a, a->state);
    }
    return below || above ? 1 : 0;
}

int opInit(Alarm* a, const char* name, const char* label, uint8_t state, uint8_t log, uint8_t trap,
           uint32_t severity, ParamLong* low, ParamLong* high, AlarmSet* owner, uint8_t index)
{
    copyName(a->name, name);
    copyName(a->label, label);
    a->state = state;
    a->log = log;
    a->trap = trap;
    a->severity = severity;
    a->low = low;
    a->high = high;
    a->owner = owner;
    a->index = index;
    a->check = opCheck;
    a->setState = opSetState;
    a->set = opSet;
    a->getState = opGetState;
    a->configure = opConfigure;
    a->getConfig = opGetConfig;
    a->setThresholds = opSetThresholds;
    a->getThresholds = opGetThresholds;
    a->user0 = nullptr;
    a->onLogChange = nullptr;
    a->onTrapChange = nullptr;
    a->onSeverityChange = nullptr;
    a->onLowCrossing = nullptr;
    a->onHighCrossing = nullptr;
    a->thresholdCheck = builtInThresholdCheck;
    a->eventLogger = nullptr;
    return 0;
}

// ---- Sets ----

ParamLong* newThreshold(const char* name, const char* suffix, int32_t id, int32_t def)
{
    if (id == -1)
        return nullptr;
    ParamLong* p = static_cast<ParamLong*>(calloc(1, sizeof(ParamLong)));
    if (!p) {
        allocationFault();
        return nullptr;
    }
    char key[ALARM_TEXT_BYTES + 8];
    snprintf(key, sizeof key, "%s%s", name, suffix);
    Param_InitLong(p, key, key, 1, 1, def, INT32_MIN, INT32_MAX, 1, static_cast<uint32_t>(id), nullptr,
                   nullptr);
    return p;
}

void setAddAlarm(AlarmSet* s, uint32_t i, const char* name, const char* label, int32_t lowId, int32_t lowDefault,
                 int32_t highId, int32_t highDefault, uint8_t state, uint8_t log, uint8_t trap, uint32_t severity)
{
    if (!s->status.self || i >= ALARMSET_SLOTS)
        return;
    Alarm* a = Alarm_New();
    if (!a) {
        s->alarms[i] = nullptr;
        return;
    }
    // The threshold keys are made of the name as the alarm keeps it.
    char stem[ALARM_TEXT_BYTES];
    copyName(stem, name);
    ParamLong* low = newThreshold(stem, "_LoTh", lowId, lowDefault);
    ParamLong* high = newThreshold(stem, "_UpTh", highId, highDefault);
    if (Alarm_Init(a, name, label, state, log, trap, severity, low, high, s, static_cast<uint8_t>(i)) == 0)
        s->alarms[i] = a;
    else
        s->alarms[i] = nullptr;
}

Alarm* setGetAlarm(AlarmSet* s, uint32_t i)
{
    return i < ALARMSET_SLOTS ? s->alarms[i] : nullptr;
}

ParamU32* setGetStatusParam(AlarmSet* s)
{
    return &s->status;
}

ParamU32* setGetConfigParam(AlarmSet* s)
{
    return &s->config;
}

void setInit(AlarmSet* s, int32_t id)
{
    uint32_t next = static_cast<uint32_t>(id) + 1;
    char key[16];
    snprintf(key, sizeof key, "AlmSet%02d%02d", static_cast<int>((next >> 8) & 0xff), static_cast<int>(next & 0xff));
    Param_InitU32(&s->status, nullptr, nullptr, 0, 1, 0, 0, 0xffffffffu, 1, static_cast<uint32_t>(id), nullptr,
                  nullptr);
    Param_InitU32(&s->config, key, key, 0, 1, 0, 0, 0xffffffffu, 1, next, nullptr, nullptr);
    s->addAlarm = setAddAlarm;
    s->getAlarm = setGetAlarm;
    s->getStatusParam = setGetStatusParam;
    s->getConfigParam = setGetConfigParam;
}

void applyAlarmConfig(AlarmSet* s, uint32_t i)
{
    Alarm* a = AlarmSet_GetAlarm(s, i);
    if (!a)
        return;
    uint32_t word = s->config.value;
    uint8_t log = (word >> i) & 1;
    uint8_t trap = (word >> (8 + i)) & 1;
    uint32_t severity = (word >> (16 + 2 * i)) & 3;
    a->configure(a, log, trap, severity);
}

int lowestBit(uint32_t m, int bits)
{
    for (int k = 0; k < bits; k++)
        if (m & (1u << k))
            return k;
    return -1;
}

} // namespace

// ---- Alarms ----

Alarm* Alarm_New()
{
    Alarm* a = static_cast<Alarm*>(calloc(1, sizeof(Alarm)));
    if (!a) {
        allocationFault();
        return nullptr;
    }
    a->init = opInit;
    return a;
}

int Alarm_Init(Alarm* a, const char* name, const char* label, uint8_t state, uint8_t log, uint8_t trap,
               uint32_t severity, ParamLong* low, ParamLong* high, AlarmSet* owner, uint8_t index)
{
    if (!a || !a->init)
        return -1;
    return a->init(a, name, label, state, log, trap, severity, low, high, owner, index);
}

void Alarm_Configure(Alarm* a, uint8_t log, uint8_t trap, uint32_t severity)
{
    if (a && a->configure)
        a->configure(a, log, trap, severity);
}

void Alarm_GetConfig(Alarm* a, uint8_t* log, uint8_t* trap, uint32_t* severity)
{
    if (a && a->getConfig)
        a->getConfig(a, log, trap, severity);
}

void Alarm_SetThresholds(Alarm* a, ParamLong* low, ParamLong* high)
{
    if (a && a->setThresholds)
        a->setThresholds(a, low, high);
}

void Alarm_GetThresholds(Alarm* a, ParamLong** low, ParamLong** high)
{
    if (a && a->getThresholds)
        a->getThresholds(a, low, high);
}

void Alarm_SetCallbacksSafe(Alarm* a, AlarmCallback user0, AlarmCallback onLogChange,
                            AlarmCallback onTrapChange, AlarmCallback onSeverityChange,
                            AlarmCallback onLowCrossing, AlarmCallback onHighCrossing,
                            AlarmThresholdCheck thresholdCheck, AlarmEventLogger eventLogger)
{
    if (!a)
        return;
    if (user0)
        a->user0 = user0;
    if (onLogChange)
        a->onLogChange = onLogChange;
    if (onTrapChange)
        a->onTrapChange = onTrapChange;
    if (onSeverityChange)
        a->onSeverityChange = onSeverityChange;
    if (onLowCrossing)
        a->onLowCrossing = onLowCrossing;
    if (onHighCrossing)
        a->onHighCrossing = onHighCrossing;
    if (thresholdCheck)
        a->thresholdCheck = thresholdCheck;
    if (eventLogger)
        a->eventLogger = eventLogger;
}

int Alarm_Set(Alarm* a, uint8_t state)
{
    if (!a || !a->setState)
        return -1;
    return a->setState(a, state);
}

uint8_t Alarm_GetState(Alarm* a)
{
    return a ? a->state : 0;
}

int32_t Alarm_GetLowerThreshold(Alarm* a)
{
    if (!a || !a->low)
        return ALARM_NOT_AVAILABLE;
    return a->low->get(a->low);
}

int32_t Alarm_GetUpperThreshold(Alarm* a)
{
    if (!a || !a->high)
        return ALARM_NOT_AVAILABLE;
    return a->high->get(a->high);
}

void Alarm_SetLowerThreshold(Alarm* a, int32_t v)
{
    if (a && a->low)
        a->low->set(a->low, v);
}

void Alarm_SetUpperThreshold(Alarm* a, int32_t v)
{
    if (a && a->high)
        a->high->set(a->high, v);
}

int Alarm_Check(Alarm* a, int32_t v)
{
    if (!a || !a->thresholdCheck)
        return 0;
    return a->thresholdCheck(a, v);
}

// ---- Sets ----

AlarmSet* AlarmSet_New()
{
    AlarmSet* s = static_cast<AlarmSet*>(calloc(1, sizeof(AlarmSet)));
    if (!s) {
        allocationFault();
        return nullptr;
    }
    s->init = setInit;
    return s;
}

void AlarmSet_CallInit(AlarmSet* s, int32_t id)
{
    if (s && s->init && id >= 0)
        s->init(s, id);
}

void AlarmSet_CallAddAlarm(AlarmSet* s, uint32_t i, const char* name, const char* label, int32_t lowId,
                           int32_t lowDefault, int32_t highId, int32_t highDefault, uint8_t state,
                           uint8_t log, uint8_t trap, uint32_t severity)
{
    if (s && s->addAlarm)
        s->addAlarm(s, i, name, label, lowId, lowDefault, highId, highDefault, state, log, trap, severity);
}

Alarm* AlarmSet_GetAlarm(AlarmSet* s, uint32_t i)
{
    if (!s || !s->getAlarm)
        return nullptr;
    return s->getAlarm(s, i);
}

uint32_t AlarmSet_GetStatusWord(AlarmSet* s)
{
    if (!s || !s->status.self)
        return 0xffffffffu;
    return s->status.get(&s->status);
}

uint32_t AlarmSet_GetConfigWord(AlarmSet* s)
{
    if (!s || !s->config.self)
        return 0xffffffffu;
    return s->config.get(&s->config);
}

const char* AlarmSet_GetConfigKey(AlarmSet* s)
{
    if (!s || !s->config.self)
        return nullptr;
    return s->config.key;
}

void AlarmSet_RefreshState(AlarmSet* s, uint32_t i)
{
    Alarm* a = AlarmSet_GetAlarm(s, i);
    if (!a || !s->status.self)
        return;
    uint32_t word = s->status.value;
    uint8_t severity = a->severity & 0xff;
    for (uint32_t byte = 0; byte < 4; byte++) {
        bool on = a->state && (byte == 0 || severity == byte);
        uint32_t bit = 1u << (8 * byte + i);
        word = on ? word | bit : word & ~bit;
    }
    s->status.set(&s->status, word);
}

void AlarmSet_RefreshConfig(AlarmSet* s, uint32_t i)
{
    Alarm* a = AlarmSet_GetAlarm(s, i);
    if (!a || !s->config.self)
        return;
    uint32_t word = s->config.value;
    word = a->log ? word | (1u << i) : word & ~(1u << i);
    word = a->trap ? word | (1u << (8 + i)) : word & ~(1u << (8 + i));
    word = (word & ~(3u << (16 + 2 * i))) | ((a->severity & 3) << (16 + 2 * i));
    s->config.set(&s->config, word);
}

void AlarmSet_ApplyConfig(AlarmSet* s, uint32_t value, uint32_t mask)
{
    if (!s || !s->config.self)
        return;
    uint32_t old = s->config.value;
    s->config.set(&s->config, (value & mask) | (old & ~mask));
    if (mask == 0xffffffffu) {
        for (uint32_t i = 0; i < ALARMSET_SLOTS; i++) {
            applyAlarmConfig(s, i);
            AlarmSet_RefreshState(s, i);
        }
        return;
    }
    int k;
    if (mask < 0x100)
        k = lowestBit(mask, 8);
    else if (mask < 0x10000)
        k = lowestBit(mask >> 8, 8);
    else {
        k = lowestBit(mask >> 16, 16);
        if (k >= 0)
            k /= 2;
    }
    if (k < 0)
        return;
    applyAlarmConfig(s, static_cast<uint32_t>(k));
    AlarmSet_RefreshState(s, static_cast<uint32_t>(k));
}

intptr_t CA_ALARMSET_Event_GetP(AlarmSet* s, uint32_t i, uint32_t p)
{
    static char composed[42];
    if (!s || !s->status.self || i >= ALARMSET_SLOTS)
        return ALARM_NOT_AVAILABLE;
    Alarm* a = s->alarms[i];
    if (!a)
        return ALARM_NOT_AVAILABLE;
    switch (p) {
    case 0: return reinterpret_cast<intptr_t>(a->name);
    case 1: return a->state;
    case 2: return a->low ? a->low->get(a->low) : ALARM_NOT_AVAILABLE;
    case 3: return a->low ? reinterpret_cast<intptr_t>(a->low->key) : ALARM_NOT_AVAILABLE;
    case 4: return a->high ? a->high->get(a->high) : ALARM_NOT_AVAILABLE;
    case 5: return a->high ? reinterpret_cast<intptr_t>(a->high->key) : ALARM_NOT_AVAILABLE;
    case 6: return a->severity;
    case 7: snprintf(composed, sizeof composed, "%s_Sev", a->name); return reinterpret_cast<intptr_t>(composed);
    case 8: return a->log;
    case 9: snprintf(composed, sizeof composed, "%s_Log", a->name); return reinterpret_cast<intptr_t>(composed);
    case 10: return a->trap;
    case 11: snprintf(composed, sizeof composed, "%s_Trp", a->name); return reinterpret_cast<intptr_t>(composed);
    default:
        printf("\n CA_ALARMSET_Event_GetP(%d, %d)   Param %i not found \n", static_cast<int>(i), static_cast<int>(p),
               static_cast<int>(p));
        fflush(stdout);
        return -1;
    }
}

void CA_ALARMSET_Event_SetP(AlarmSet* s, uint32_t i, uint32_t p, intptr_t v)
{
    if (!s || !s->status.self || i >= ALARMSET_SLOTS)
        return;
    Alarm* a = s->alarms[i];
    if (!a)
        return;
    switch (p) {
    case 0:
    case 3:
    case 5:
    case 7:
    case 9:
    case 11:
        printf("\n CA_ALARMSET_Event_GetP(%d, %d)   Param %d is Read Only \n", static_cast<int>(i),
               static_cast<int>(p), static_cast<int>(p));
        fflush(stdout);
        return;
    case 1: a->setState(a, static_cast<uint8_t>(v)); return;
    case 2: Alarm_SetLowerThreshold(a, static_cast<int32_t>(v)); return;
    case 4: Alarm_SetUpperThreshold(a, static_cast<int32_t>(v)); return;
    case 6:
        if (static_cast<uint32_t>(v) != a->severity)
            a->configure(a, a->log, a->trap, static_cast<uint32_t>(v));
        return;
    case 8:
        if (static_cast<uint8_t>(v) != a->log)
            a->configure(a, static_cast<uint8_t>(v), a->trap, a->severity);
        return;
    case 10:
        if (static_cast<uint8_t>(v) != a->trap)
            a->configure(a, a->log, static_cast<uint8_t>(v), a->severity);
        return;
    default: return;
    }
}
