// Stand-in for the tunable band-pass filter driver: no filter is detected,
// every write reports success without touching a device, and the retune
// after a frequency change does nothing (the simulated board takes the
// frequency from the FPGA frame as it is).
#include "hw/tunableBpf.h"

int retuneAfterFrequencyChange()
{
    return 0;
}

int detectTunableBpf()
{
    return 0;
}

int setBpfExpanderFieldA(uint8_t)
{
    return 0;
}

int setBpfExpanderFieldB(uint8_t)
{
    return 0;
}

int applyTunBpfCoarse(uint16_t)
{
    return 0;
}

int applyTunBpfFine(uint16_t)
{
    return 0;
}

int setDtcValue(uint8_t)
{
    return 0;
}
