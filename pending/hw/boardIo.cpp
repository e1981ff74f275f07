// Stand-in for the audio-DAC signals and the serial-port selector of the
// board I/O: nothing is driven;
// each write reports success.
#include "hw/boardIo.h"

int setDacAudioNotReset(uint8_t)
{
    return 0;
}

int setDacAudioMode(uint32_t)
{
    return 0;
}

int setUart1SelHw(uint32_t)
{
    return 0;
}
