// Stand-in for the unit start-up pieces: the identity record is not read and
// no board device is brought up; the FPGA steps of the hardware start-up run,
// and the two effects later steps rely on happen.
#include "core/unitStartup.h"

#include "Config/keys/systemKeys.h"
#include "core/base/logs.h"
#include "hw/fpgaMaintenance.h"
#include "hw/fpgaWindows.h"

int loadUnitInfo()
{
    // The end of the system-image defaults opens the log gate.
    logEnabled = 1;
    return 0;
}

void initUnitHardware()
{
    // The FPGA steps: windows and version (4), first frame and version line
    // (7), the mute (8), the pulses and the audio PLL (9), the audio DAC (10).
    initAxi();
    printSystemInformation();
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
    // The end of the hardware initialisation: setters may touch hardware.
    setHwReady(1);
}

void initUnitSettings() {}

void startUnitServices() {}
