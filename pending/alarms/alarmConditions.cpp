// Stand-in for the raw alarm conditions and reprogramming requests: no
// condition is derived and no request is raised yet.
#include "alarms/alarmConditions.h"

void ComputeAlarmConditions() {}

int ServiceReprogramRequests()
{
    return 0;
}
