// Alarm tables: range operations and input helpers.
#include "Config/alarmTables.h"

#include "Config/keyTable.h"

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

void lockStateToAlarm(uint8_t id, uint32_t value)
{
    setAlarmInput(id, (value & 1u) ? 0 : 1);
}
