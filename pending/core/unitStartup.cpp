// Stand-in for the unit start-up pieces after the identity record: no
// device is brought up; only the effect later steps rely on happens.
#include "core/unitStartup.h"

#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"

void initUnitHardware()
{
    // The end of the hardware initialisation: setters may touch hardware.
    setHwReady(1);
}

void initUnitSettings() {}

void startUnitServices() {}
