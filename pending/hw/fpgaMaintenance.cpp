// Stand-in for the FPGA frame sequences: no frame is sent, the FSK
// identification is never due and the audio PLL reports its lock at once.
// Each sequence the alarm cycle uses tells the stand-in hook it was called.
#include "hw/fpgaMaintenance.h"

#include "pending/standIns.h"

int Fpga_PulseControlC()
{
    return 0;
}

int checkFskSignSchedule()
{
    return 0;
}

int Fpga_PulseAudioPllReset()
{
    standInCall("Fpga_PulseAudioPllReset");
    return 0;
}

int Fpga_SendConfig()
{
    standInCall("Fpga_SendConfig");
    return 0;
}

int Fpga_SendConfigOff()
{
    standInCall("Fpga_SendConfigOff");
    return 0;
}

int MuteResetOn()
{
    standInCall("MuteResetOn");
    return 0;
}

int Fpga_WaitAudioPllLock(uint8_t withPulses)
{
    standInCall("Fpga_WaitAudioPllLock(%u)", withPulses);
    return 0;
}
