// Stand-in for the FPGA frame sequences: no frame is sent (each sequence
// reports success), and the FSK identification is never due.
#include "hw/fpgaMaintenance.h"

int Fpga_PulseControlC()
{
    return 0;
}

int checkFskSignSchedule()
{
    return 0;
}

int Fpga_ResetPulse()
{
    return 0;
}

int Fpga_SendConfig()
{
    return 0;
}
