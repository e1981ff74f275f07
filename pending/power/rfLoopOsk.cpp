// Stand-in for the first-family power loop: no pass changes anything.
#include "power/rfLoopOsk.h"

int RFControlLoop_OSK(uint32_t, uint32_t)
{
    return 0;
}
