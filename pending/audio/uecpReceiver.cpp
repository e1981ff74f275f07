// Stand-in for the UECP receiver: the port is never polled.
#include "audio/uecpReceiver.h"

void UECP_PollPort() {}

// Stand-in: there is no receive ring to empty yet.
void UECP_InitRxRing() {}
