// Stand-in for the tunable band-pass filter driver: no filter is detected
// and every write reports success without touching a device.
#include "hw/tunableBpf.h"

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
