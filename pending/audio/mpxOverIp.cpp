// Stand-in for the MPX-over-IP status poll: nothing is polled.
#include "audio/mpxOverIp.h"

void GBE_PollStatus() {}

// The simulated board has no MPX-over-IP block.
int GBE_IsBlockFitted()
{
    return 0;
}
