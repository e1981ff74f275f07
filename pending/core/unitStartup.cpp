// Stand-in for the unit start-up pieces: the identity record is not read and
// no device is brought up; only the two effects later steps rely on happen.
#include "core/unitStartup.h"

#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"

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
