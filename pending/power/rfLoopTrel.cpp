// Stand-in for the third-family power loop: no pass changes anything.
#include "power/rfLoopTrel.h"

int RFControlLoop_TREL(uint32_t, uint32_t)
{
    return 0;
}
