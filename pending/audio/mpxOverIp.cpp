// Stand-in for the MPX-over-IP status poll: nothing is polled.
#include "audio/mpxOverIp.h"

void GBE_PollStatus() {}
