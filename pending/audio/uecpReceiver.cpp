// Stand-in for the UECP receiver: the port is never polled, and a baud-rate
// change only says on the standard output that it ran.
#include "audio/uecpReceiver.h"

#include <cstdio>

void UECP_PollPort() {}

void UECP_SetBaud(uint32_t code)
{
    printf("standin UECP_SetBaud(%u)\n", code);
}
