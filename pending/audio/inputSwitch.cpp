// Stand-in for the audio input switching and the routing model: the inputs
// are never switched, every code routes the audio path (MpxDigIns 0) and
// uses the L_Mpx input alone.
#include "audio/inputSwitch.h"

void InputSwitchTick() {}

void getInputRoutingMap(uint32_t, uint32_t routing[8], uint32_t*)
{
    routing[7] = 0;
}

void getMatrixEnableVector(uint32_t, uint32_t flags[6])
{
    flags[0] = 1;
}
