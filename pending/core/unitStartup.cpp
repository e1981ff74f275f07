// Stand-in for the unit start-up pieces after the identity record: of the
// hardware start-up the FPGA steps, the filter detection, the expanders
// (with board detection), the RF clock and RF DAC, the RTC square wave and
// the external PLL detection run, in their order; of the services only the
// fan controller is configured. The effects later
// steps rely on happen.
#include "core/unitStartup.h"

#include "Config/keys/systemKeys.h"
#include "Config/keys/tunBpf.h"
#include "Config/keys/tunBpfKeys.h"
#include "core/base/logs.h"
#include "hw/adt7470.h"
#include "hw/extPll.h"
#include "hw/fpgaMaintenance.h"
#include "hw/fpgaWindows.h"
#include "hw/ioExpanders.h"
#include "hw/rfDac.h"
#include "hw/rfSynth.h"
#include "hw/smallDevices.h"

void initUnitHardware()
{
    initAxi();
    printSystemInformation();
    detectTunableBpfOption();
    initIoExpanders();
    initRfSynth();
    InitQM();
    Fpga_SendConfig();
    Fpga_PrintVersion();
    logInfo("Mute On");
    Fpga_PulseControlB();
    Fpga_PulseAudioPllReset();
    if (Fpga_WaitAudioPllLock(1) != 0)
        logErr("Lock Pll Audio FAILURE");
    else
        logInfo("Lock Pll Audio OK");
    Fpga_ResetAudioDac();
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
