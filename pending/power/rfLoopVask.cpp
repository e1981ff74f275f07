// Stand-in for the second-family power loop: no pass changes anything.
#include "power/rfLoopVask.h"

int RFControlLoop_VASK(uint32_t, uint32_t)
{
    return 0;
}
