// Stand-in for the UECP receiver: the port is never polled, and a baud-rate
// change only says on the standard output that it ran. The TMC time stamp is
// taken at its first reading and renewed only by stampTmcTime.
#include "audio/uecpReceiver.h"

#include "platform/clock.h"

#include <cstdio>

namespace {

struct State {
    bool stamped = false;
    struct timespec tmc {};
};

State& st()
{
    static State s;
    return s;
}

} // namespace

void UECP_PollPort() {}

void UECP_SetBaud(uint32_t code)
{
    printf("standin UECP_SetBaud(%u)\n", code);
}
// Stand-in: there is no receive ring to empty yet.
void UECP_InitRxRing() {}

void stampTmcTime()
{
    clockGetTime(CLOCK_MONOTONIC_RAW, &st().tmc);
    st().stamped = true;
}

struct timespec getTmcStamp()
{
    if (!st().stamped)
        stampTmcTime();
    return st().tmc;
}
