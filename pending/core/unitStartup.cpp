// Stand-in for the unit start-up pieces after the identity record: of the
// board devices only the expanders (with board detection), the RTC square
// wave, the external PLL detection and the fan controller are brought up;
// the effects later steps rely on happen.
#include "core/unitStartup.h"

#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"
#include "hw/adt7470.h"
#include "hw/extPll.h"
#include "hw/ioExpanders.h"
#include "hw/smallDevices.h"

void initUnitHardware()
{
    initIoExpanders();
    setRtcSqwFreq();
    detectExtPll();
    // The end of the hardware initialisation: setters may touch hardware.
    setHwReady(1);
}

void initUnitSettings() {}

void startUnitServices()
{
    adt7470Configure();
}
