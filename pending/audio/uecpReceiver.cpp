// Stand-in for the UECP receiver: the port is never polled.
#include "audio/uecpReceiver.h"

void UECP_PollPort() {}
