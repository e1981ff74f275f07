// Stand-ins: unit start-up pieces and the NTP step.
#include "pending/pending.h"

#include "Config/keys/systemKeys.h"
#include "core/logs.h"

int loadUnitInfo()
{
    // The end of the system-image defaults opens the log gate.
    logEnabled = 1;
    return 0;
}

void initUnitHardware()
{
    // The end of the hardware initialisation: setters may touch hardware.
    setHwReady(1);
}
void initUnitSettings() {}
void startUnitServices() {}
void ntpThreadStep() {}
