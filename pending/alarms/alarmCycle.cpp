// Stand-in for the alarm cycle: no alarm is latched yet, so the mute
// decision is the global mute alone.
#include "alarms/alarmCycle.h"

#include "core/base/rfMute.h"

void ScanAlarms() {}

void SetAlarms()
{
    rfMuteState = globalMute.load() ? 1 : 0;
}
