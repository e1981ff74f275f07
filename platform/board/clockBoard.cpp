// Board clock: the system clock and the system's zone link.
#include "platform/clockSystem.h"

int systemSetWallClock(time_t seconds)
{
    struct timespec ts = {seconds, 0};
    return clock_settime(CLOCK_REALTIME, &ts);
}

void systemZoneChanged()
{
    tzset();
}
