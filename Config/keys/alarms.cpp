// Alarm tables: the operations over ranges of ids and the edge logger.
#include "Config/keys/alarmsKeys.h"

#include "Config/StrutturaDati.h"
#include "core/base/logs.h"

void copyAlarmInputsToStates(uint32_t a, uint32_t b)
{
    for (uint32_t id = a + 1; id < b && id < ALARM_ID_COUNT; id++)
        setAlarmState(id, getAlarmInput(id));
}

void clearAlarmStates(uint32_t a, uint32_t b)
{
    for (uint32_t id = a + 1; id < b && id < ALARM_ID_COUNT; id++)
        setAlarmState(id, 0);
}

void foldAlarmFlags(uint8_t* folded)
{
    const AlarmFlags* f = getSystemImage()->alarm.flags;
    for (uint32_t id = 0; id < ALARM_ID_COUNT; id++) {
        folded[0] |= f[id].mute;
        folded[1] |= f[id].muteReset;
        folded[2] |= f[id].field2;
        folded[3] |= f[id].alarm;
        folded[4] |= f[id].fail;
        folded[5] |= f[id].warning;
        folded[6] |= f[id].rxFlag6;
        folded[7] |= f[id].rxFlag7;
    }
}

uint8_t logAlarmEdge(uint8_t* state, uint8_t value, const char* name, uint8_t* changed)
{
    if (*state == value) {
        *changed = 0;
        return 0;
    }
    if (value == 1)
        logEvent("%s --> Alarm ON\n", name);
    else
        logEvent("%s <-- Alarm OFF\n", name);
    *state = value;
    *changed = 1;
    return value == 1 ? 0 : 1;
}
