// Stand-in for the unit start-up pieces: the identity record is not read;
// of the board devices only the filter detection, the expanders (with board
// detection), the RF clock and RF DAC, the RTC square wave, the external PLL
// detection and the fan controller are brought up; the two effects later
// steps rely on happen.
#include "core/unitStartup.h"

#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpfKeys.h"
#include "core/base/logs.h"
#include "hw/adt7470.h"
#include "hw/extPll.h"
#include "hw/ioExpanders.h"
#include "hw/rfDac.h"
#include "hw/rfSynth.h"
#include "hw/smallDevices.h"

int loadUnitInfo()
{
    // The end of the system-image defaults opens the log gate.
    logEnabled = 1;
    return 0;
}

void initUnitHardware()
{
    detectTunableBpfOption();
    initIoExpanders();
    initRfSynth();
    InitQM();
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
