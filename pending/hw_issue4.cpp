// Stand-ins for hardware operations that the configuration setters call.
#include "hw/boardIo.h"
#include "hw/fpgaFrame.h"

int setDacAudioNotReset(uint8_t)
{
    return 0;
}

int setDacAudioMode(uint32_t)
{
    return 0;
}

int Fpga_PulseControlC()
{
    return 0;
}
